#include "Settings.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "loopback/TempDir.h"

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Loads text written to a fresh file, and checks that loading left the file as it was.
Settings loadText(const std::string& text) {
    const loopback::TempDir dir;
    const std::string path = dir.file("settings.json");
    writeFile(path, text);
    Settings settings = Settings::loadFrom(path);
    EXPECT_EQ(readFile(path), text);
    return settings;
}

bool sameAsDefaults(const Settings& s) {
    const Settings d = Settings::defaults();
    return s.layers == d.layers && s.upgToken == d.upgToken && s.basemap == d.basemap &&
           s.hasZAnchor == d.hasZAnchor && s.zAnchor == d.zAnchor;
}

}  // namespace

TEST(DataKinds, KeysAndDefaultLayersFollowTheValues) {
    const auto& all = Settings::wszystkieTypy();
    ASSERT_EQ(all.size(), 20u);
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(static_cast<std::size_t>(all[i]), i);
    EXPECT_EQ(&all, &Settings::wszystkieTypy());

    EXPECT_STREQ(Settings::keyOf(DataType::Dzialki), "dzialki");
    EXPECT_STREQ(Settings::keyOf(DataType::BudynkiNdsm), "budynkindsm");
    EXPECT_STREQ(Settings::keyOf(DataType::WodaChmura), "wodachmura");
    EXPECT_STREQ(Settings::defaultLayerOf(DataType::BudynkiNdsm), "GIS_BUDYNKI_NMPT");
    EXPECT_STREQ(Settings::defaultLayerOf(DataType::BudynkiRekon), "GIS_BUDYNKI_LOD2_REKON");

    for (const std::int32_t outside : {20, -1, std::numeric_limits<std::int32_t>::min(),
                                       std::numeric_limits<std::int32_t>::max()}) {
        EXPECT_STREQ(Settings::keyOf(static_cast<DataType>(outside)), "inne") << outside;
        EXPECT_STREQ(Settings::defaultLayerOf(static_cast<DataType>(outside)), "") << outside;
    }
}

TEST(SettingsFile, DefaultsAreSavedAsThisExactText) {
    const loopback::TempDir dir;
    const std::string path = dir.file("settings.json");
    ASSERT_TRUE(Settings::defaults().saveTo(path));
    EXPECT_EQ(readFile(path),
              "{\n"
              "  \"basemap\": \"osm\",\n"
              "  \"layers\": {\n"
              "    \"bdot500\": \"GIS_BDOT500\",\n"
              "    \"budynki\": \"GIS_BUDYNKI\",\n"
              "    \"budynki3d\": \"GIS_BUDYNKI_3D\",\n"
              "    \"budynkilod2\": \"GIS_BUDYNKI_LOD2\",\n"
              "    \"budynkindsm\": \"GIS_BUDYNKI_NMPT\",\n"
              "    \"budynkirekon\": \"GIS_BUDYNKI_LOD2_REKON\",\n"
              "    \"drogi\": \"GIS_DROGI\",\n"
              "    \"dzialki\": \"GIS_DZIALKI\",\n"
              "    \"gesut\": \"GIS_GESUT\",\n"
              "    \"mosty\": \"GIS_MOSTY\",\n"
              "    \"mpzp\": \"GIS_MPZP\",\n"
              "    \"pog\": \"GIS_POG\",\n"
              "    \"poziomice2d\": \"GIS_POZIOMICE_2D\",\n"
              "    \"poziomice3d\": \"GIS_POZIOMICE_3D\",\n"
              "    \"poziomicechmura2d\": \"GIS_POZIOMICE_CHMURA_2D\",\n"
              "    \"poziomicechmura3d\": \"GIS_POZIOMICE_CHMURA_3D\",\n"
              "    \"rastry\": \"GIS_RASTRY\",\n"
              "    \"teren\": \"GIS_TEREN\",\n"
              "    \"terenchmura\": \"GIS_TEREN_CHMURA\",\n"
              "    \"wodachmura\": \"GIS_WODA_CHMURA\"\n"
              "  },\n"
              "  \"upgToken\": \"\"\n"
              "}");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds the token";
}

TEST(SettingsFile, RoundTripKeepsAnchorTokenAndPolishNames) {
    const loopback::TempDir dir;
    const std::string path = dir.file("settings.json");
    Settings settings = Settings::defaults();
    settings.layers[DataType::Mosty] = "Mosty łódzkie – żółte";
    settings.upgToken = "abc.def";
    settings.basemap = "ortho";
    settings.zAnchor = 101.35;
    settings.hasZAnchor = true;
    ASSERT_TRUE(settings.saveTo(path));

    const std::string text = readFile(path);
    EXPECT_NE(text.find("\"Mosty łódzkie – żółte\""), std::string::npos) << "written unescaped";
    EXPECT_NE(text.find("\"zAnchor\": 101.35"), std::string::npos);

    const Settings back = Settings::loadFrom(path);
    EXPECT_EQ(back.layers, settings.layers);
    EXPECT_EQ(back.upgToken, "abc.def");
    EXPECT_EQ(back.basemap, "ortho");
    EXPECT_TRUE(back.hasZAnchor);
    EXPECT_EQ(back.zAnchor, 101.35);

    settings.hasZAnchor = false;
    ASSERT_TRUE(settings.saveTo(path));
    EXPECT_EQ(readFile(path).find("zAnchor"), std::string::npos);
    EXPECT_FALSE(Settings::loadFrom(path).hasZAnchor);
}

TEST(SettingsFile, UsableMembersAreKeptAndTheRestDefaults) {
    const Settings onlyBridges = loadText(R"({"layers":{"mosty":"MOJE_MOSTY"}})");
    Settings expected = Settings::defaults();
    expected.layers[DataType::Mosty] = "MOJE_MOSTY";
    EXPECT_EQ(onlyBridges.layers, expected.layers);

    const Settings wrongTypes =
        loadText(R"({"layers":{"dzialki":7,"budynki":"B","obce":"X"},"upgToken":5,"basemap":"sat",)"
                 R"("zAnchor":"120"})");
    EXPECT_EQ(wrongTypes.layers.at(DataType::Dzialki), "GIS_DZIALKI");
    EXPECT_EQ(wrongTypes.layers.at(DataType::Budynki), "B");
    EXPECT_EQ(wrongTypes.layers.size(), 20u);
    EXPECT_EQ(wrongTypes.upgToken, "");
    EXPECT_EQ(wrongTypes.basemap, "sat");
    EXPECT_FALSE(wrongTypes.hasZAnchor);

    const Settings layersNotObject = loadText(R"({"layers":["x"],"upgToken":"t"})");
    EXPECT_EQ(layersNotObject.layers, Settings::defaults().layers);
    EXPECT_EQ(layersNotObject.upgToken, "t");

    const Settings integerAnchor = loadText(R"({"zAnchor":120})");
    EXPECT_TRUE(integerAnchor.hasZAnchor);
    EXPECT_EQ(integerAnchor.zAnchor, 120.0);
}

TEST(SettingsFile, UnusableFilesGiveTheDefaults) {
    for (const char* text : {"", "nie json", "[1,2]", "\"napis\"", "{\"layers\":", "// x\n{}",
                             "{\"a\":1} {\"b\":2}"}) {
        EXPECT_TRUE(sameAsDefaults(loadText(text))) << text;
    }
    const loopback::TempDir dir;
    const std::string missing = dir.file("settings.json");
    EXPECT_TRUE(sameAsDefaults(Settings::loadFrom(missing)));
    EXPECT_FALSE(fs::exists(missing)) << "loading never writes";
}

TEST(SettingsFile, AnEmptyLayerEntryMeansTheDefaultWhereItIsUsed) {
    const Settings settings = loadText(R"({"layers":{"teren":"","mosty":"M"}})");
    EXPECT_EQ(settings.layers.at(DataType::Teren), "");
    EXPECT_EQ(settings.layerFor(DataType::Teren), "GIS_TEREN");
    EXPECT_EQ(settings.layerFor(DataType::Mosty), "M");

    Settings sparse;
    EXPECT_EQ(sparse.layerFor(DataType::Drogi), "GIS_DROGI");
}

TEST(SettingsFile, EmptyLayerMapIsSavedAsAnEmptyObject) {
    const loopback::TempDir dir;
    const std::string path = dir.file("settings.json");
    Settings settings;
    ASSERT_TRUE(settings.saveTo(path));
    EXPECT_EQ(readFile(path),
              "{\n  \"basemap\": \"osm\",\n  \"layers\": {},\n  \"upgToken\": \"\"\n}");
}

// A failed save, at whatever step, must leave the earlier file as it was.
TEST(SettingsSave, InvalidTextKeepsTheEarlierFile) {
    const loopback::TempDir dir;
    const std::string path = dir.file("settings.json");
    writeFile(path, "{\"basemap\":\"stare\"}");
    Settings settings = Settings::defaults();
    settings.upgToken = std::string("\xff\xfe", 2);  // not UTF-8: the text cannot be written
    EXPECT_FALSE(settings.saveTo(path));
    EXPECT_EQ(readFile(path), "{\"basemap\":\"stare\"}");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(SettingsSave, AWriteCutShortKeepsTheEarlierFile) {
    const loopback::TempDir dir;
    const std::string path = dir.file("settings.json");
    writeFile(path, "{\"basemap\":\"stare\"}");

    // A file size limit makes the write fail part-way, as a full disk would.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = Settings::defaults().saveTo(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(path), "{\"basemap\":\"stare\"}");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "no temporary file is left behind";
}

TEST(SettingsSave, AFolderThatCannotBeWrittenKeepsTheEarlierFile) {
    const loopback::TempDir dir;
    const std::string path = dir.file("settings.json");
    writeFile(path, "{\"basemap\":\"stare\"}");
    ::chmod(dir.path().c_str(), 0555);
    ::chmod(path.c_str(), 0666);

    // The save runs in a child process; as root the child gives up its rights first, since
    // root writes into any folder.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr || ::setgid(nobody->pw_gid) != 0 ||
                ::setuid(nobody->pw_uid) != 0) {
                ::_exit(2);
            }
        }
        ::_exit(Settings::defaults().saveTo(path) ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(dir.path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 2) << "could not drop root rights for the test";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save must report failure";
    EXPECT_EQ(readFile(path), "{\"basemap\":\"stare\"}");
}

TEST(SettingsSave, DefaultPathLiesInTheAddOnFolder) {
    const loopback::TempDir base;
    const loopback::ScopedEnv data("XDG_DATA_HOME", base.path().c_str());
    EXPECT_EQ(Settings::defaultPath(), base.path() + "/TERRAWEFT/settings.json");
    Settings settings = Settings::defaults();
    settings.basemap = "ortho";
    EXPECT_TRUE(settings.save());
    EXPECT_EQ(Settings::load().basemap, "ortho");
}
