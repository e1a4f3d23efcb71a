#pragma once
// What the fuzz harnesses of the surface-model builders share: the input read as numbers and as
// plan points, the small surface model they sample, and what their results must be.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry/NdsmModel.h"
#include "geometry/RoofModel.h"
#include "support/NdsmGrids.h"

namespace surfacefuzz {

// The fetch frame over the model.
inline constexpr Bbox kFrame{0, 0, 40, 40};

// The numbers of the text, separated by any bytes that start no number, as std::from_chars reads
// them ("nan", "inf" and "1e308" included).
inline std::vector<double> numbers(const std::uint8_t* data, std::size_t size) {
    const char* p = reinterpret_cast<const char*>(data);
    const char* const end = p + size;
    std::vector<double> found;
    while (p < end) {
        double value = 0.0;
        const auto [next, error] = std::from_chars(p, end, value);
        if (error == std::errc() && next != p) {
            found.push_back(value);
            p = next;
        } else {
            ++p;
        }
    }
    return found;
}

// The numbers as points (x, y); an unpaired last one is dropped.
inline PlanRing points(const std::vector<double>& values) {
    PlanRing found;
    for (std::size_t k = 0; k + 1 < values.size(); k += 2)
        found.emplace_back(values[k], values[k + 1]);
    return found;
}

// The frame in 0.5 m cells: ground rising 0.1 m a metre eastwards, a block standing 8 m over
// [10, 30] x [10, 30], and a hole without data in both grids at its centre.
inline NdsmModel model() {
    const auto ground = [](double x, double y) {
        return x > 19 && x < 21 && y > 19 && y < 21 ? std::nan("") : 100.0 + 0.1 * x;
    };
    const auto surface = [ground](double x, double y) {
        return ground(x, y) + (x > 10 && x < 30 && y > 10 && y < 30 ? 8.0 : 0.0);
    };
    return ndsmfix::modelOf(kFrame.minx, kFrame.miny, 0.5, 80, 80, surface, ground);
}

// Whether every triangle names corners the mesh holds and every corner of every face is finite,
// as the placement needs them.
inline bool wellFormed(const RoofModel& model) {
    const std::size_t corners = model.mesh.vertices.size();
    for (const auto& triangle : model.mesh.triangles) {
        for (const std::uint32_t corner : triangle) {
            if (corner >= corners)
                return false;
        }
    }
    bool finite = true;
    model.forEachFace([&finite](std::span<const Pt3> face) {
        for (const Pt3& p : face)
            finite = finite && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    });
    return finite;
}

}  // namespace surfacefuzz
