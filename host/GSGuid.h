#pragma once
// GS::Guid: a 128-bit identifier. Its binary form is the 16 bytes of the usual GUID layout:
// the first three fields little-endian, then the eight bytes as written.

#include <array>
#include <compare>

#include "GSTypes.h"
#include "GSUniString.h"

namespace GS {

class Guid {
public:
    using Bytes = std::array<UInt8, 16>;

    Guid() = default;  // the null identifier
    // Reads "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces; any other text
    // gives the null identifier.
    explicit Guid(const char* text);
    explicit Guid(const Bytes& bytes) : bytes_(bytes) {}

    static Guid Generate();

    bool IsNull() const { return bytes_ == Bytes{}; }
    const Bytes& GetBytes() const { return bytes_; }
    // Upper-case hexadecimal with hyphens, without braces.
    UniString ToUniString() const;

    friend bool operator==(const Guid&, const Guid&) = default;
    friend auto operator<=>(const Guid&, const Guid&) = default;

private:
    Bytes bytes_{};
};

}  // namespace GS
