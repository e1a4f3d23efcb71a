#pragma once
// GS::UniString: the host's text, held as UTF-16 like the host's own. Texts enter and leave the
// program as UTF-8; a byte sequence that is not valid UTF-8 becomes U+FFFD on the way in, and an
// unpaired surrogate becomes U+FFFD on the way out.

#include <compare>
#include <string>
#include <string_view>

#include "GSTypes.h"

enum GSCharCode { CC_Default = 0, CC_UTF8 = 1 };

namespace GS {

class UniString {
public:
    // A narrow text as UniString::ToCStr gives it; Get() stays valid while this object lives.
    class CStr {
    public:
        explicit CStr(std::string text) : text_(std::move(text)) {}
        const char* Get() const { return text_.c_str(); }

    private:
        std::string text_;
    };

    UniString() = default;
    UniString(const char* text, GSCharCode = CC_UTF8);        // NOLINT: implicit, as the host's
    UniString(std::string_view text, GSCharCode = CC_UTF8);   // NOLINT
    UniString(const std::string& text, GSCharCode = CC_UTF8)  // NOLINT
        : UniString(std::string_view(text)) {}

    static UniString FromUtf16(std::u16string units);

    CStr ToCStr(GSCharCode = CC_UTF8) const { return CStr(ToUtf8()); }
    std::string ToUtf8() const;
    const std::u16string& ToUtf16() const { return units_; }

    // Length in UTF-16 code units.
    USize GetLength() const { return static_cast<USize>(units_.size()); }
    bool IsEmpty() const { return units_.empty(); }

    UniString& Append(const UniString& other) {
        units_ += other.units_;
        return *this;
    }
    UniString& operator+=(const UniString& other) { return Append(other); }
    friend UniString operator+(UniString a, const UniString& b) { return a.Append(b); }

    friend bool operator==(const UniString& a, const UniString& b) = default;
    friend auto operator<=>(const UniString& a, const UniString& b) = default;

private:
    std::u16string units_;
};

}  // namespace GS
