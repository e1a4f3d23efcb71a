#pragma once
// The map page in the import tests: the map palette on the stand-in host, its page played through
// the bridge, the fake outside world every service points at, and its own folders (settings,
// download cache, diagnostics).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "AddOnResources.h"
#include "HostTestApi.h"
#include "MapPalette.h"
#include "support/PalettePage.h"
#include "support/TempDir.h"
#include "support/fakes/Hosts.h"

namespace importtest {

using json = nlohmann::json;

// The messages of one type among those the page received.
inline std::vector<json> ofType(const std::vector<json>& messages, const std::string& type) {
    std::vector<json> found;
    for (const json& m : messages) {
        if (m.value("type", "") == type)
            found.push_back(m);
    }
    return found;
}

class ImportPage : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        host::installResources(addOnResources());
        ASSERT_EQ(ACAPI_MenuItem_RegisterMenu(32500, 0, MenuCode_UserDef, 0), NoError);
        services::setEndpoints(hosts.endpoints());
        MapPalette::CreateInstance();
    }
    void TearDown() override {
        MapPalette::DestroyInstance();
        services::resetEndpoints();
    }

    // Posts the message, then runs the main loop until the page has received a message of the
    // given type (at most 30 s); everything the page received, in order.
    std::vector<json> postUntil(const json& message, const std::string& type) {
        std::vector<json> messages = page.post(message);
        const auto arrived = [&] {
            for (json& m : page.received())
                messages.push_back(std::move(m));
            return !ofType(messages, type).empty();
        };
        EXPECT_TRUE(host::pumpUntil(arrived, std::chrono::seconds(30))) << message.dump();
        return messages;
    }

    // A "fetch" of the keys for the frame, up to its "fetchDone".
    std::vector<json> fetch(const std::array<double, 4>& frameWgs84,
                            const std::vector<std::string>& keys) {
        return postUntil({{"type", "fetch"}, {"bboxWgs84", frameWgs84}, {"layers", keys}},
                         "fetchDone");
    }

    // Starts a fetch, waits for a progress of the label, cancels; the messages up to "fetchDone".
    std::vector<json> cancelAt(const std::array<double, 4>& frameWgs84,
                               const std::vector<std::string>& keys, const std::string& label) {
        std::vector<json> messages =
            page.post(json{{"type", "fetch"}, {"bboxWgs84", frameWgs84}, {"layers", keys}});
        const auto reached = [&] {
            for (json& m : page.received())
                messages.push_back(std::move(m));
            return std::any_of(messages.begin(), messages.end(),
                               [&label](const json& m) { return m.value("label", "") == label; });
        };
        EXPECT_TRUE(host::pumpUntil(reached, std::chrono::seconds(30))) << label;
        for (json& m : postUntil({{"type", "cancel"}}, "fetchDone"))
            messages.push_back(std::move(m));
        return messages;
    }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::ScopedEnv tmp{"TMPDIR", dir.path().c_str()};
    fakes::Hosts hosts;
    pagekit::PalettePage page{MapPalette::Guid()};
};

}  // namespace importtest
