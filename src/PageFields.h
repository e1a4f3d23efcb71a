#pragma once
// Reading the members of a page message by their JSON type. A member of another type than the
// message's own rules give it (null included) is no value to guess from: the reader throws a
// Refusal whose text is the Polish sentence for the page naming the member, and the bridge
// answers it as it is, with {"type": "error", "msg": sentence}. A handler reads every member it
// needs before it changes anything, so a refused message leaves the program as it was.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace pagefield {

using json = nlohmann::json;

// A page message that cannot be served as sent; what() is the sentence for the page.
class Refusal : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The answer of a handler that refuses a message it can read: {"type": "error", "msg": sentence}.
json errorReply(const std::string& sentence);

// Throws the Refusal "Pole \"key\" " + rule + ".", e.g. rule "musi byc liczba".
[[noreturn]] void refuse(const char* key, const std::string& rule);

// The readers. A member the message does not hold (or a message that is no object) gives the
// fallback; one of another type throws a Refusal naming it.
double number(const json& message, const char* key, double fallback);
// A number with a whole value within the 32-bit range.
int integer(const json& message, const char* key, int fallback);
bool flag(const json& message, const char* key, bool fallback);
std::string text(const json& message, const char* key, const std::string& fallback = {});
// An array of texts; empty when absent.
std::vector<std::string> texts(const json& message, const char* key);
// An array of exactly `count` numbers; required: an absent member is refused as well.
std::vector<double> numbers(const json& message, const char* key, std::size_t count);

}  // namespace pagefield
