#include "geometry/lod2fit/ObjWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "MeshChecks.h"

namespace lod2fit {
namespace {

class ObjWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tw_obj_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }

    static std::string read(const std::string& file) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir_;
};

TEST_F(ObjWriterTest, WritesVertexAndOneBasedFaceLines) {
    SolidMesh triangle;
    triangle.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    triangle.faces = {{0, 1, 2}};
    writeObj(path("t.obj"), triangle);
    EXPECT_EQ(read(path("t.obj")), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
}

TEST_F(ObjWriterTest, MapCoordinatesReadBackExactly) {
    SolidMesh mesh;
    mesh.vertices = {{512345.67, 6001234.123456789, 103.25}, {0.1, -1e-7, 1.0 / 3}};
    writeObj(path("m.obj"), mesh);
    std::istringstream in(read(path("m.obj")));
    for (const Vec3& expected : mesh.vertices) {
        std::string tag;
        Vec3 got;
        in >> tag >> got.x >> got.y >> got.z;
        EXPECT_EQ(tag, "v");
        EXPECT_EQ(got, expected);
    }
}

TEST_F(ObjWriterTest, ReplacesAnExistingFile) {
    {
        std::ofstream old(path("r.obj"));
        old << "old content that is longer than the new one\n";
    }
    SolidMesh point;
    point.vertices = {{1, 2, 3}};
    writeObj(path("r.obj"), point);
    EXPECT_EQ(read(path("r.obj")), "v 1 2 3\n");
}

TEST_F(ObjWriterTest, GridPlacesObjectsSideBySideWithRunningIndices) {
    SolidMesh tri;
    tri.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    tri.faces = {{0, 1, 2}};
    writeObjGrid(path("g.obj"), {{"a", tri}, {"b", tri}}, 10);
    EXPECT_EQ(read(path("g.obj")),
              "o a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
              "o b\nv 10 0 0\nv 11 0 0\nv 10 1 0\nf 4 5 6\n");

    writeObjGrid(path("e.obj"), {}, 10);
    EXPECT_TRUE(std::filesystem::exists(path("e.obj")));
    EXPECT_EQ(read(path("e.obj")), "");
}

TEST_F(ObjWriterTest, UnwritablePathIsSilentlySkipped) {
    writeObj(path("missing/dir/x.obj"), testing::outwardCube());
    EXPECT_FALSE(std::filesystem::exists(path("missing/dir/x.obj")));
}

}  // namespace
}  // namespace lod2fit
