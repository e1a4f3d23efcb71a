#pragma once
// The map page in the import tests: the map palette on the stand-in host, its page played through
// the bridge, the fake outside world every service points at, and its own folders (settings,
// download cache, diagnostics).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "AddOnResources.h"
#include "HostTestApi.h"
#include "MapPalette.h"
#include "fakes/Hosts.h"
#include "import/ImportController.h"
#include "loopback/TempDir.h"
#include "support/PalettePage.h"

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

// A feature service whose every answer comes after the delay.
inline std::function<loopback::Answer(const loopback::Request&)> slowly(
    fakes::FeatureWfs service, std::chrono::milliseconds delay) {
    return [service = std::move(service), delay](const loopback::Request& r) {
        loopback::Answer answer = service(r);
        answer.delay = delay;
        return answer;
    };
}

class ImportPage : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        host::installResources(addOnResources());
        ASSERT_EQ(ACAPI_MenuItem_RegisterMenu(32500, 0, MenuCode_UserDef, 0), NoError);
        services::setEndpoints(hosts.endpoints());
        MapPalette::CreateInstance();
        ImportController::Instance().forgetMunicipalityForTest();
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

    // A fetch cancelled while it runs: the messages up to its "fetchDone", and how long after
    // the cancel that came.
    struct CancelledFetch {
        std::vector<json> messages;
        std::chrono::steady_clock::duration afterCancel{};
    };

    // Starts a fetch of the keys for the frame, runs the main loop until a message arrives that
    // `reached` accepts (at most 30 s), then cancels.
    CancelledFetch cancelWhen(const std::array<double, 4>& frameWgs84,
                              const std::vector<std::string>& keys,
                              const std::function<bool(const json&)>& reached) {
        CancelledFetch fetch{
            page.post(json{{"type", "fetch"}, {"bboxWgs84", frameWgs84}, {"layers", keys}})};
        const auto arrived = [&] {
            for (json& m : page.received())
                fetch.messages.push_back(std::move(m));
            return std::any_of(fetch.messages.begin(), fetch.messages.end(), reached);
        };
        EXPECT_TRUE(host::pumpUntil(arrived, std::chrono::seconds(30)));
        const auto cancelled = std::chrono::steady_clock::now();
        for (json& m : postUntil({{"type", "cancel"}}, "fetchDone"))
            fetch.messages.push_back(std::move(m));
        fetch.afterCancel = std::chrono::steady_clock::now() - cancelled;
        return fetch;
    }

    // ... once a "progress" of the label has arrived; the messages.
    std::vector<json> cancelAt(const std::array<double, 4>& frameWgs84,
                               const std::vector<std::string>& keys, const std::string& label) {
        return cancelWhen(frameWgs84, keys,
                          [&label](const json& m) { return m.value("label", "") == label; })
            .messages;
    }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::ScopedEnv tmp{"TMPDIR", dir.path().c_str()};
    fakes::Hosts hosts;
    pagekit::PalettePage page{MapPalette::Guid()};
};

}  // namespace importtest
