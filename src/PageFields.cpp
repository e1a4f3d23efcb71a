#include "PageFields.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

namespace pagefield {
namespace {

// The member, or null when the message holds none.
const json* memberOf(const json& message, const char* key) {
    if (!message.is_object())
        return nullptr;
    const auto member = message.find(key);
    return member == message.end() ? nullptr : &*member;
}

// The member as a T when isType holds for it; the fallback when the message holds none.
template <class T, class IsType>
T typed(const json& message, const char* key, T fallback, IsType isType, const char* rule) {
    const json* member = memberOf(message, key);
    if (member == nullptr)
        return fallback;
    if (!std::invoke(isType, *member))
        refuse(key, rule);
    return member->get<T>();
}

}  // namespace

json errorReply(const std::string& sentence) {
    return {{"type", "error"}, {"msg", sentence}};
}

void refuse(const char* key, const std::string& rule) {
    throw Refusal("Pole \"" + std::string(key) + "\" " + rule + ".");
}

double number(const json& message, const char* key, double fallback) {
    return typed(message, key, fallback, &json::is_number, "musi byc liczba");
}

int integer(const json& message, const char* key, int fallback) {
    const auto isWhole = [](const json& v) {
        return v.is_number() && v.get<double>() == std::trunc(v.get<double>());
    };
    const double value =
        typed(message, key, double(fallback), isWhole, "musi byc liczba calkowita");
    if (value < INT_MIN || value > INT_MAX)
        refuse(key, "ma wartosc spoza zakresu");
    return static_cast<int>(value);
}

bool flag(const json& message, const char* key, bool fallback) {
    return typed(message, key, fallback, &json::is_boolean, "musi byc wartoscia true albo false");
}

std::string text(const json& message, const char* key, const std::string& fallback) {
    return typed(message, key, fallback, &json::is_string, "musi byc tekstem");
}

std::vector<std::string> texts(const json& message, const char* key) {
    const auto isTextList = [](const json& v) {
        return v.is_array() && std::all_of(v.begin(), v.end(), std::mem_fn(&json::is_string));
    };
    return typed(message, key, std::vector<std::string>(), isTextList, "musi byc lista tekstow");
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
