#include "fakes/Records.h"

#include <algorithm>
#include <limits>

namespace fakes {

Feature rectangle(std::string id, const Bbox& box, Properties props) {
    GisPolygon ring;
    ring.outer = {{box.minx, box.miny},
                  {box.maxx, box.miny},
                  {box.maxx, box.maxy},
                  {box.minx, box.maxy},
                  {box.minx, box.miny}};
    return {std::move(id), {std::move(ring)}, {}, std::move(props)};
}

Feature square(std::string id, GisPoint centre, double half, Properties props) {
    return rectangle(std::move(id),
                     {centre.x - half, centre.y - half, centre.x + half, centre.y + half},
                     std::move(props));
}

Feature polyline(std::string id, std::vector<GisPoint> points, Properties props) {
    return {std::move(id), {}, {std::move(points)}, std::move(props)};
}

Bbox envelope(const Feature& feature) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    Bbox box{kInf, kInf, -kInf, -kInf};
    const auto take = [&box](const std::vector<GisPoint>& points) {
        for (const GisPoint& p : points) {
            box.minx = std::min(box.minx, p.x);
            box.miny = std::min(box.miny, p.y);
            box.maxx = std::max(box.maxx, p.x);
            box.maxy = std::max(box.maxy, p.y);
        }
    };
    for (const GisPolygon& polygon : feature.polygons) {
        take(polygon.outer);
        for (const auto& hole : polygon.holes)
            take(hole);
    }
    for (const auto& line : feature.lines)
        take(line);
    return box;
}

Feature municipality(const std::string& teryt, const Bbox& area) {
    return rectangle("gmina." + teryt, area, {{"JPT_KOD_JE", teryt}, {"JPT_NAZWA_", "Gmina"}});
}

}  // namespace fakes
