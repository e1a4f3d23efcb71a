// The page message bridge: routing, the reply envelope and the exact error texts.

#include "Bridge.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using json = nlohmann::json;

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        bridge.setSender([this](const std::string& text) { sent.push_back(text); });
    }

    // The one message the last dispatch sent (fails when there was not exactly one).
    std::string only() {
        EXPECT_EQ(sent.size(), 1u);
        const std::string text = sent.empty() ? "" : sent.back();
        sent.clear();
        return text;
    }

    Bridge bridge;
    std::vector<std::string> sent;
};

TEST_F(BridgeTest, MalformedMessagesGetTheInvalidMessageError) {
    bridge.on("ping", [](const json&) { return json{{"type", "pong"}}; });
    const std::string invalid = R"j({"msg":"Nieprawidlowa wiadomosc z UI (JSON)","type":"error"})j";
    for (const std::string text :
         {"", "abc", "[1,2]", "{}", R"({"type":5})", "{\"type\":\"ping\" /* komentarz */}",
          R"({"typ":"ping"})", "\"ping\"", "{\"type\":\"ping\"} x"}) {
        bridge.dispatch(text);
        EXPECT_EQ(only(), invalid) << text;
    }
}

TEST_F(BridgeTest, TypesWithoutHandlerAreNamedInTheErrorAndMatchedExactly) {
    bridge.on("ping", [](const json&) { return json{{"type", "pong"}}; });
    bridge.dispatch(R"({"type":"Ping"})");
    EXPECT_EQ(only(), R"({"msg":"Brak obslugi wiadomosci: Ping","type":"error"})");
    bridge.dispatch(R"({"type":"zażółć"})");
    EXPECT_EQ(only(),
              R"({"msg":"Brak obslugi wiadomosci: za\u017c\u00f3\u0142\u0107","type":"error"})");
    // A long type is repeated only in its first hundred bytes, cut between characters; a leading
    // blank is no word's end to cut at.
    std::string ties = "a";
    for (int i = 0; i < 60; ++i)
        ties += "ż";
    for (const auto& [type, shown] :
         {std::pair{std::string(3 << 20, 'x'), std::string(100, 'x') + "..."},
          std::pair{ties, ties.substr(0, 99) + "..."},
          std::pair{" " + std::string(200, 'x'), " " + std::string(99, 'x') + "..."}}) {
        bridge.dispatch(json{{"type", type}}.dump());
        EXPECT_EQ(json::parse(only()),
                  json({{"type", "error"}, {"msg", "Brak obslugi wiadomosci: " + shown}}));
    }
}

TEST_F(BridgeTest, RepliesKeepTheirTypeOrGetTheRequestTypeWithResult) {
    json seen;
    bridge.on("x", [&](const json& m) {
        seen = m;
        return json{{"a", 1}};
    });
    bridge.on("ping", [](const json&) { return json{{"type", "pong"}, {"b", true}}; });
    bridge.on("later", [](const json&) { return json(); });
    bridge.dispatch(R"({"type":"x","k":[1]})");
    EXPECT_EQ(only(), R"({"a":1,"type":"xResult"})");
    EXPECT_EQ(seen, json::parse(R"({"type":"x","k":[1]})"));  // the whole message, type included
    bridge.dispatch(R"({"type":"ping"})");
    EXPECT_EQ(only(), R"({"b":true,"type":"pong"})");
    bridge.dispatch(R"({"type":"later"})");
    EXPECT_TRUE(sent.empty());
}

TEST_F(BridgeTest, FaultyRepliesAndHandlerExceptionsBecomeInternalErrors) {
    bridge.on("arr", [](const json&) { return json::array({1}); });
    bridge.on("str", [](const json&) { return json("s"); });
    bridge.on("num", [](const json&) { return json(3); });
    bridge.on("numtype", [](const json&) { return json{{"type", 5}}; });
    bridge.on("throws", [](const json&) -> json { throw std::runtime_error("awaria"); });
    bridge.on("empty", Bridge::Handler());
    bridge.on("badutf", [](const json&) { return json{{"t", "\xC3"}}; });
    for (const char* type : {"arr", "str", "num", "numtype", "empty", "badutf"}) {
        bridge.dispatch(json{{"type", type}}.dump());
        const json reply = json::parse(only());
        EXPECT_EQ(reply["type"], "error") << type;
        EXPECT_EQ(reply["msg"].get<std::string>().rfind("Blad wewnetrzny: ", 0), 0u) << type;
        EXPECT_EQ(reply.size(), 2u);
        // The JSON library's own words ("[json.exception.type_error...") are not for the user.
        if (std::string(type) != "empty") {
            EXPECT_EQ(reply["msg"], "Blad wewnetrzny: nieprawidlowe dane JSON.") << type;
        }
    }
    bridge.dispatch(R"({"type":"throws"})");
    EXPECT_EQ(only(), R"({"msg":"Blad wewnetrzny: awaria","type":"error"})");
    // An exception text that is not UTF-8 (a server's or the system's words) still reaches the
    // page, its invalid bytes replaced.
    bridge.on("throwsBytes", [](const json&) -> json { throw std::runtime_error("awaria\xFF"); });
    bridge.dispatch(R"({"type":"throwsBytes"})");
    EXPECT_EQ(only(), R"({"msg":"Blad wewnetrzny: awaria\ufffd","type":"error"})");
}

TEST_F(BridgeTest, OtherExceptionsPassThroughDispatch) {
    struct Foreign {};
    bridge.on("f", [](const json&) -> json { throw Foreign{}; });
    EXPECT_THROW(bridge.dispatch(R"({"type":"f"})"), Foreign);
    EXPECT_TRUE(sent.empty());
}

TEST_F(BridgeTest, TextsForThePageAreCompactAndAsciiOnly) {
    bridge.send(
        "progress",
        json{{"label", "Pobieranie działek"}, {"z", "\xF0\x9F\x97\xBA"}, {"type", "stare"}});
    EXPECT_EQ(only(),
              R"({"label":"Pobieranie dzia\u0142ek","type":"progress","z":"\ud83d\uddfa"})");
    bridge.send("done", json());
    EXPECT_EQ(only(), R"({"type":"done"})");
}

TEST_F(BridgeTest, PushedMessagesWithInvalidUtf8ThrowUnlessReplaced) {
    EXPECT_THROW(bridge.send("e", json{{"t", "a\xFF"}}), json::type_error);
    EXPECT_TRUE(sent.empty());
    bridge.send("e", json{{"t", "a\xFF"}}, Bridge::Utf8::Replace);
    EXPECT_EQ(only(), R"({"t":"a\ufffd","type":"e"})");
    EXPECT_THROW(bridge.send("e", json::array()), json::type_error);
}

TEST(BridgeLifecycle, LaterRegistrationsWinAndSendWithoutSenderIsSilent) {
    Bridge bridge;
    EXPECT_NO_THROW(bridge.send("x", json{{"a", 1}}));
    bridge.on("ping", [](const json&) { return json{{"type", "first"}}; });
    bridge.on("ping", [](const json&) { return json{{"type", "second"}}; });
    std::vector<std::string> sent;
    bridge.setSender([&](const std::string& t) { sent.push_back(t); });
    bridge.dispatch(R"({"type":"ping"})");
    EXPECT_EQ(sent, std::vector<std::string>{R"({"type":"second"})"});
}

TEST(BridgeLifecycle, AMessagePushedDuringAHandlerArrivesBeforeItsReply) {
    Bridge bridge;
    std::vector<std::string> sent;
    bridge.setSender([&](const std::string& t) { sent.push_back(t); });
    bridge.on("go", [&](const json&) {
        bridge.send("progress", json{{"done", 1}});
        bridge.on("go", [](const json&) { return json(); });  // replaces itself mid-call
        return json{{"ok", true}};
    });
    bridge.dispatch(R"({"type":"go"})");
    EXPECT_EQ(sent, (std::vector<std::string>{R"({"done":1,"type":"progress"})",
                                              R"({"ok":true,"type":"goResult"})"}));
}

}  // namespace
