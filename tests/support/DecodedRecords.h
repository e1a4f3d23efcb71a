#pragma once
// The records that independent decoders read from the synthetic LAZ files of the shared test
// data (laz-gen/FILE.expect): a line `COUNT FORMAT`, then per point the scaled coordinates, the
// high bytes of red, green and blue, and the classification byte.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace fixtures {

struct DecodedPoint {
    double x = 0, y = 0, z = 0;
    int r = 0, g = 0, b = 0, cls = 0;
    bool operator==(const DecodedPoint&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const DecodedPoint& p) {
    const auto precision = os.precision(17);
    os << p.x << ' ' << p.y << ' ' << p.z << ' ' << p.r << ' ' << p.g << ' ' << p.b << ' ' << p.cls;
    os.precision(precision);
    return os;
}

struct DecodedFile {
    std::uint64_t count = 0;
    int format = -1;
    std::vector<DecodedPoint> points;
};

inline DecodedFile readDecodedRecords(const std::filesystem::path& expectFile) {
    std::ifstream in(expectFile);
    DecodedFile f;
    in >> f.count >> f.format;
    DecodedPoint p;
    while (in >> p.x >> p.y >> p.z >> p.r >> p.g >> p.b >> p.cls) {
        f.points.push_back(p);
    }
    return f;
}

// The synthetic files, beside the shared LAS/LAZ samples.
inline std::filesystem::path generatedLazDir() {
    return std::filesystem::path(TW_SHARED_TESTDATA) / "laz-gen";
}

}  // namespace fixtures
