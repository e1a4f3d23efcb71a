#pragma once
// Running median of the last five coordinate differences, kept as a sorted window that drops
// its highest or its lowest value: a value arriving on the side being dropped switches the
// side. Starts as five zeros.
//
// The differences are close to noise, so comparisons on them are coin tosses: a value goes into
// the window by minimum and maximum alone, without a branch a processor would mispredict.

#include <algorithm>
#include <cstdint>

namespace laz {

class Median5 {
public:
    void reset() {
        v_[0] = v_[1] = v_[2] = v_[3] = v_[4] = 0;
        high_ = true;
    }
    std::int32_t get() const { return v_[2]; }

    void add(std::int32_t x) {
        // The four values kept: the lowest while the highest is dropped, else the highest.
        const std::int32_t* kept = high_ ? v_ : v_ + 1;
        const std::int32_t a0 = kept[0], a1 = kept[1], a2 = kept[2], a3 = kept[3];
        // Dropping the highest, a value at or above the median switches to dropping the
        // lowest; dropping the lowest, a value at or below it switches back.
        high_ = high_ ? x < v_[2] : x <= v_[2];
        v_[0] = std::min(a0, x);
        v_[1] = std::min(a1, std::max(a0, x));
        v_[2] = std::min(a2, std::max(a1, x));
        v_[3] = std::min(a3, std::max(a2, x));
        v_[4] = std::max(a3, x);
    }

private:
    std::int32_t v_[5] = {0, 0, 0, 0, 0};
    bool high_ = true;
};

}  // namespace laz
