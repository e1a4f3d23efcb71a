#pragma once
// What the point-cloud tests share: a frame in Poland, coloured points inside it, sheets of the
// fake LiDAR index that hold them, and worker threads that a test joins. Header-only.

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cloud/CloudController.h"
#include "fakes/Lidar.h"
#include "geodata/ProjConv.h"

namespace cloudtest {

using fakes::ColouredPoint;

// A 100 m square frame (PL-1992) at 20.4 degrees east: its zone is 2178.
inline const Bbox kFrame{600000.0, 400000.0, 600100.0, 400100.0};
inline constexpr int kZone = 2178;

// n x n points (n of 2 or more) spread evenly inside the frame, 5 m from its edges; the
// colour and height tell their row and column.
inline std::vector<ColouredPoint> gridInside(int n) {
    std::vector<ColouredPoint> points;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            points.push_back({kFrame.minx + 5.0 + 90.0 * i / (n - 1),
                              kFrame.miny + 5.0 + 90.0 * j / (n - 1), 110.0 + i,
                              static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j), 77});
        }
    }
    return points;
}

// The same points in the zone's coordinates, for a sheet that the index names as PL-2000.
inline std::vector<ColouredPoint> inZone(std::vector<ColouredPoint> points) {
    for (ColouredPoint& p : points) {
        const GisPoint z = ProjConv::pl1992ToPl2000(p.x, p.y, kZone);
        p.x = z.x;
        p.y = z.y;
    }
    return points;
}

inline fakes::LidarSheet sheet(const std::vector<ColouredPoint>& points,
                               std::string uklad = "PL-1992") {
    fakes::LidarSheet s;
    s.godlo = "N-34-1";
    s.file = fakes::colouredLas(points);
    s.uklad = std::move(uklad);
    return s;
}

// [west, south, east, north] in degrees of a box that holds the PL-1992 box.
inline std::vector<double> wgs84Around(const Bbox& box) {
    std::vector<double> w{180.0, 90.0, -180.0, -90.0};
    for (const double x : {box.minx, box.maxx}) {
        for (const double y : {box.miny, box.maxy}) {
            double lat = 0.0, lon = 0.0;
            ProjConv::pl1992ToLatLon(x, y, lat, lon);
            w = {std::min(w[0], lon), std::min(w[1], lat), std::max(w[2], lon),
                 std::max(w[3], lat)};
        }
    }
    return w;
}

// Worker threads that the test joins: started at once, or held until released.
class Workers {
public:
    ~Workers() { join(); }

    CloudController::ThreadLauncher launcher() {
        return [this](std::function<void()> body) {
            if (holding_)
                held_.push_back(std::move(body));
            else
                threads_.emplace_back(std::move(body));
        };
    }
    void hold() { holding_ = true; }
    std::size_t heldCount() const { return held_.size(); }
    // Starts the held worker at that position (in the order they were launched).
    void release(std::size_t at) {
        threads_.emplace_back(std::move(held_.at(at)));
        held_.at(at) = [] {};
    }
    void join() {
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
    }

private:
    bool holding_ = false;
    std::vector<std::function<void()>> held_;
    std::vector<std::thread> threads_;
};

}  // namespace cloudtest
