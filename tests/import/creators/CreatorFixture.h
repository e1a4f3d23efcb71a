#pragma once
// The stand-in project the creator tests place into: fresh for every test, with the diagnostics
// files in a folder of the test's own, and a check that no memory handle or body builder is left
// behind.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ACAPinc.h"
#include "HostTestApi.h"
#include "geodata/GisTypes.h"
#include "loopback/TempDir.h"

// Coordinates as test failures print them.
inline void PrintTo(const API_Coord& c, std::ostream* out) {
    *out << '(' << c.x << ", " << c.y << ')';
}

// Runs the creator inside one undoable command, as the placement does; the command keeps what was
// created. Returns the creator's result.
inline GSErrCode placed(const std::function<GSErrCode()>& creator) {
    GSErrCode result = NoError;
    ACAPI_CallUndoableCommand("test", [&] {
        result = creator();
        return NoError;
    });
    return result;
}

// The one element of the list (a blank one, after a failed expectation, when there is not one).
inline host::ElementSnapshot only(const std::vector<host::ElementSnapshot>& all) {
    EXPECT_EQ(all.size(), 1u);
    return all.size() == 1 ? all.front() : host::ElementSnapshot{};
}

inline std::vector<GisPoint> square(double x, double y, double side) {
    return {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
}

inline Lod2Face face(const std::vector<std::array<double, 3>>& points) {
    Lod2Face f;
    for (const auto& [x, y, z] : points) {
        f.xy.push_back({x, y});
        f.z.push_back(z);
    }
    return f;
}

// A house on a 10 x 6 m plan: walls up to 3 m, a gable roof with its ridge at 5 m along x; every
// face turned outward.
inline std::vector<Lod2Face> house() {
    return {
        face({{0, 0, 0}, {0, 6, 0}, {10, 6, 0}, {10, 0, 0}}),
        face({{0, 0, 0}, {10, 0, 0}, {10, 0, 3}, {0, 0, 3}}),
        face({{10, 0, 0}, {10, 6, 0}, {10, 6, 3}, {10, 3, 5}, {10, 0, 3}}),
        face({{10, 6, 0}, {0, 6, 0}, {0, 6, 3}, {10, 6, 3}}),
        face({{0, 6, 0}, {0, 0, 0}, {0, 0, 3}, {0, 3, 5}, {0, 6, 3}}),
        face({{0, 0, 3}, {10, 0, 3}, {10, 3, 5}, {0, 3, 5}}),
        face({{0, 6, 3}, {0, 3, 5}, {10, 3, 5}, {10, 6, 3}}),
    };
}

// Whether the body is a closed, consistently turned solid: each edge used once in each direction.
inline bool isClosedSolid(const host::MorphBody& body) {
    std::map<std::pair<UInt32, UInt32>, int> uses;
    for (const auto& polygon : body.polygons) {
        for (const Int32 e : polygon.edges) {
            const auto& edge = body.edges[static_cast<std::size_t>(std::abs(e)) - 1];
            ++uses[e > 0 ? std::make_pair(edge.from, edge.to) : std::make_pair(edge.to, edge.from)];
        }
    }
    for (const auto& [edge, count] : uses) {
        const auto back = uses.find({edge.second, edge.first});
        if (count != 1 || back == uses.end() || back->second != 1)
            return false;
    }
    return !uses.empty();
}

class CreatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        handlesAtStart_ = host::liveHandles();
    }
    void TearDown() override {
        EXPECT_EQ(host::liveHandles(), handlesAtStart_) << "a memory handle was not released";
        EXPECT_EQ(host::liveBodyBuilders(), 0u) << "a body builder was not disposed";
    }

    std::vector<std::string> diagnosticsLines() const {
        std::ifstream file(home_.file("tovelmark_teren_diag.txt"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }

    loopback::TempDir home_;
    loopback::ScopedEnv homeEnv_{"HOME", home_.path().c_str()};
    std::size_t handlesAtStart_ = 0;
};
