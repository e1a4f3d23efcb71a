#include "Bridge.h"

#include <exception>

#include "PageFields.h"
#include "geodata/ServiceReach.h"

namespace {

// The JSON library's own texts speak of its internals, not of the message: none reaches the page.
constexpr const char* kJsonFault = "Blad wewnetrzny: nieprawidlowe dane JSON.";

}  // namespace

void Bridge::on(const std::string& type, Handler handler) {
    handlers_[type] = std::move(handler);
}

void Bridge::setSender(Sender sender) {
    sender_ = std::move(sender);
}

void Bridge::send(const std::string& type, json payload, Utf8 utf8) {
    payload["type"] = type;
    if (!sender_)
        return;
    const auto errors =
        utf8 == Utf8::Strict ? json::error_handler_t::strict : json::error_handler_t::replace;
    sender_(payload.dump(-1, ' ', true, errors));
}

void Bridge::dispatch(const std::string& text) {
    const json message = json::parse(text, nullptr, false, false);
    if (!message.is_object() || !message.contains("type") || !message["type"].is_string()) {
        send("error", {{"msg", "Nieprawidlowa wiadomosc z UI (JSON)"}});
        return;
    }
    const std::string type = message["type"].get<std::string>();
    const auto handler = handlers_.find(type);
    if (handler == handlers_.end()) {
        send("error", {{"msg", "Brak obslugi wiadomosci: " + reachtext::shortened(type)}});
        return;
    }
    // A copy: the handler may register handlers, replacing itself, while it runs.
    const Handler handle = handler->second;
    try {
        json reply = handle(message);
        if (reply.is_null())
            return;
        if (!(reply.is_object() && reply.contains("type")))
            reply["type"] = type + "Result";
        const std::string replyType = reply["type"].get<std::string>();
        send(replyType, std::move(reply));
    } catch (const pagefield::Refusal& refusal) {
        send("error", {{"msg", refusal.what()}});
    } catch (const json::exception&) {
        send("error", {{"msg", kJsonFault}});
    } catch (const std::exception& e) {
        // The text may come from anywhere (a server, the system): it need not be UTF-8.
        send("error", {{"msg", std::string("Blad wewnetrzny: ") + e.what()}}, Utf8::Replace);
    }
}
