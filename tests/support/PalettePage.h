#pragma once
// Playing a palette's web page in tests: post messages as the page's GIS.postMessage does and
// read back what the program sent through "GISBridge.receive(...);". Header-only: it needs the
// stand-in host, which the test kit itself does not link. Namespace `pagekit`.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "HostTestApi.h"

namespace pagekit {

// The message in one script the program ran in a page: "GISBridge.receive(" + JSON + ");".
// A script of any other shape fails the test and gives null.
inline nlohmann::json messageOf(const std::string& script) {
    const std::string head = "GISBridge.receive(", tail = ");";
    const bool shaped = script.rfind(head, 0) == 0 && script.size() >= head.size() + tail.size() &&
                        script.compare(script.size() - tail.size(), tail.size(), tail) == 0;
    EXPECT_TRUE(shaped) << script;
    if (!shaped)
        return nullptr;
    return nlohmann::json::parse(
        script.substr(head.size(), script.size() - head.size() - tail.size()));
}

// The page of the palette with that GUID (its recording browser control).
class PalettePage {
public:
    explicit PalettePage(const GS::Guid& palette) : palette_(palette) {}

    bool exists() const { return host::recorderOf(palette_) != nullptr; }
    // The URLs the palette loaded into its browser.
    std::vector<std::string> loadedUrls() const { return recorder().LoadedUrls(); }

    // The page calls GIS.postMessage(argument); returns the messages it received meanwhile
    // (the reply and anything pushed before it). The function must answer true.
    std::vector<nlohmann::json> post(const GS::Ref<JS::Base>& argument) {
        received();
        const auto result =
            GS::DynamicCast<JS::Value>(recorder().CallFromPage("GIS", "postMessage", argument));
        EXPECT_TRUE(result != nullptr && result->GetType() == JS::Value::BOOL && result->GetBool());
        return received();
    }
    std::vector<nlohmann::json> post(const std::string& text) {
        return post(GS::NewRef<JS::Value>(GS::UniString(text)));
    }
    std::vector<nlohmann::json> post(const nlohmann::json& message) { return post(message.dump()); }
    std::vector<nlohmann::json> post(const char* text) { return post(std::string(text)); }

    // The one message received in answer to a post (fails the test when there is not exactly one).
    nlohmann::json ask(const std::string& text) {
        const auto messages = post(text);
        EXPECT_EQ(messages.size(), 1u) << text;
        return messages.empty() ? nlohmann::json() : messages.back();
    }

    // Messages received since the last look (pushed events, after host::pump for instance).
    std::vector<nlohmann::json> received() {
        std::vector<nlohmann::json> messages;
        for (const auto& script : recorder().Scripts())
            messages.push_back(messageOf(script));
        recorder().ClearScripts();
        return messages;
    }

private:
    host::RecordingBrowser& recorder() const {
        host::RecordingBrowser* r = host::recorderOf(palette_);
        if (r == nullptr)
            throw std::runtime_error("no palette with a recording browser");
        return *r;
    }

    GS::Guid palette_;
};

}  // namespace pagekit
