#pragma once
// Rings arrive from the sources with or without a repeated closing point; the roof code works on
// open rings.

#include <vector>

// The ring without its last point when that point repeats the first.
template <class Point>
std::vector<Point> withoutClosingPoint(std::vector<Point> ring) {
    if (ring.size() >= 2 && ring.front() == ring.back()) {
        ring.pop_back();
    }
    return ring;
}
