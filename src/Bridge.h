#pragma once
// The message bridge between one palette's web page and the program. The page sends one JSON
// text per message; dispatch routes it by its "type" to the handler registered for that type and
// sends the handler's reply back. send also carries the messages the program pushes on its own.
// How texts travel to and from the page is the palette's business: the bridge sees only texts.

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

class Bridge {
public:
    using json = nlohmann::json;
    using Handler = std::function<json(const json&)>;
    using Sender = std::function<void(const std::string&)>;

    // How send treats a text that is not valid UTF-8: Strict throws (json::type_error), Replace
    // writes U+FFFD in place of the invalid bytes.
    enum class Utf8 { Strict, Replace };

    // Stores the handler under type; a second registration replaces the first.
    void on(const std::string& type, Handler handler);
    void setSender(Sender sender);

    // Sets payload's "type" (a null payload becomes {"type": type}) and hands the compact,
    // ASCII-only JSON text to the sender; without a sender the message is dropped. A payload that
    // is neither null nor an object throws, as does invalid UTF-8 under Utf8::Strict.
    void send(const std::string& type, json payload, Utf8 utf8 = Utf8::Strict);

    // Handles one message from the page; every answer leaves through send. Malformed messages,
    // unknown types and std::exception from handling become "error" messages: a
    // pagefield::Refusal with its own sentence, an exception of the JSON library with a general
    // internal-error sentence (its text is not for the user), any other with "Blad wewnetrzny: "
    // and its text. Exceptions of other kinds pass through.
    void dispatch(const std::string& text);

private:
    std::map<std::string, Handler> handlers_;
    Sender sender_;
};
