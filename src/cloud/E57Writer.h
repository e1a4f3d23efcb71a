#pragma once
// Writes a list of coloured points as an ASTM E57 file, format version 1.0: one scan in one
// compressed-vector binary section with single-precision Cartesian coordinates and 8-bit colour,
// no images. The file is assembled in memory, then written in pages of 1020 data bytes and a
// CRC-32C checksum.

#include <string>
#include <vector>

#include "geodata/GisTypes.h"

namespace cloud {

// Writes the points (x, y, z and colour; the class is not stored) to path, which is created or
// truncated. False with a Polish error text when there is no point ("Brak punktow do zapisu.",
// nothing touched), when the file cannot be opened ("Nie mozna zapisac pliku e57.") or when it
// cannot be written whole, closing included; a partly written file is removed. error is left as
// it was on success.
bool writeE57(const std::string& path, const std::vector<ClPoint>& points, std::string& error);

}  // namespace cloud
