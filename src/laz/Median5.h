#pragma once
// Running median of the last five coordinate differences, kept as a sorted window that drops
// its highest or its lowest value: a value arriving on the side being dropped switches the
// side. Starts as five zeros.

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
        if (high_) {
            addDroppingHighest(x);
        } else {
            addDroppingLowest(x);
        }
    }

private:
    void addDroppingHighest(std::int32_t x) {
        if (x < v_[2]) {
            v_[4] = v_[3];
            v_[3] = v_[2];
            if (x < v_[0]) {
                v_[2] = v_[1];
                v_[1] = v_[0];
                v_[0] = x;
            } else if (x < v_[1]) {
                v_[2] = v_[1];
                v_[1] = x;
            } else {
                v_[2] = x;
            }
        } else {
            if (x < v_[3]) {
                v_[4] = v_[3];
                v_[3] = x;
            } else {
                v_[4] = x;
            }
            high_ = false;
        }
    }
    void addDroppingLowest(std::int32_t x) {
        if (v_[2] < x) {
            v_[0] = v_[1];
            v_[1] = v_[2];
            if (v_[4] < x) {
                v_[2] = v_[3];
                v_[3] = v_[4];
                v_[4] = x;
            } else if (v_[3] < x) {
                v_[2] = v_[3];
                v_[3] = x;
            } else {
                v_[2] = x;
            }
        } else {
            if (v_[1] < x) {
                v_[0] = v_[1];
                v_[1] = x;
            } else {
                v_[0] = x;
            }
            high_ = true;
        }
    }

    std::int32_t v_[5] = {0, 0, 0, 0, 0};
    bool high_ = true;
};

}  // namespace laz
