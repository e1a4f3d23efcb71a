#include "PageFields.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace pagefield {
namespace {

// The member, or null when the message holds none.
const json* memberOf(const json& message, const char* key) {
    if (!message.is_object())
        return nullptr;
    const auto member = message.find(key);
    return member == message.end() ? nullptr : &*member;
}

}  // namespace

void refuse(const char* key, const std::string& rule) {
    throw Refusal("Pole \"" + std::string(key) + "\" " + rule + ".");
}

double number(const json& message, const char* key, double fallback) {
    const json* member = memberOf(message, key);
    if (member == nullptr)
        return fallback;
    if (!member->is_number())
        refuse(key, "musi byc liczba");
    return member->get<double>();
}

int integer(const json& message, const char* key, int fallback) {
    const json* member = memberOf(message, key);
    if (member == nullptr)
        return fallback;
    if (!member->is_number() || member->get<double>() != std::trunc(member->get<double>()))
        refuse(key, "musi byc liczba calkowita");
    const double value = member->get<double>();
    if (value < INT_MIN || value > INT_MAX)
        refuse(key, "ma wartosc spoza zakresu");
    return static_cast<int>(value);
}

bool flag(const json& message, const char* key, bool fallback) {
    const json* member = memberOf(message, key);
    if (member == nullptr)
        return fallback;
    if (!member->is_boolean())
        refuse(key, "musi byc wartoscia true albo false");
    return member->get<bool>();
}

std::string text(const json& message, const char* key, const std::string& fallback) {
    const json* member = memberOf(message, key);
    if (member == nullptr)
        return fallback;
    if (!member->is_string())
        refuse(key, "musi byc tekstem");
    return member->get<std::string>();
}

std::vector<std::string> texts(const json& message, const char* key) {
    const json* member = memberOf(message, key);
    if (member == nullptr)
        return {};
    const auto isText = [](const json& value) { return value.is_string(); };
    if (!member->is_array() || !std::all_of(member->begin(), member->end(), isText))
        refuse(key, "musi byc lista tekstow");
    return member->get<std::vector<std::string>>();
}

std::vector<double> numbers(const json& message, const char* key, std::size_t count) {
    const json* member = memberOf(message, key);
    const auto isNumber = [](const json& value) { return value.is_number(); };
    if (member == nullptr || !member->is_array() || member->size() != count ||
        !std::all_of(member->begin(), member->end(), isNumber))
        refuse(key, "musi byc lista " + std::to_string(count) + " liczb");
    return member->get<std::vector<double>>();
}

}  // namespace pagefield
