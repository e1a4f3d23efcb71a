#pragma once
// The detail level of a point-cloud download, as the page names it, and the voxel edge that
// thins the cloud to that level.

#include <cstdint>

namespace cloudui {

enum class Detail : std::int32_t { Light = 0, Standard = 1, Full = 2 };

// Voxel edge in metres: 0.5 light, 0.2 standard, 0 (no thinning) full and any other value.
inline double detailVoxelSize(Detail detail) {
    switch (detail) {
        case Detail::Light:
            return 0.5;
        case Detail::Standard:
            return 0.2;
        default:
            return 0.0;
    }
}

}  // namespace cloudui
