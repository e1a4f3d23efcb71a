#pragma once
// A thin layer over the constrained Delaunay triangulation library: create a triangulation,
// insert vertices, insert constraint edges, read the finite triangles. Every call may throw
// std::exception when the library refuses its input (non-finite coordinates, say); callers treat
// that as "no triangulation".

#include <array>
#include <memory>
#include <utility>
#include <vector>

namespace cdt {

struct Point2 {
    double x = 0.0;
    double y = 0.0;
};

using Edge = std::pair<int, int>;
using Triangle = std::array<int, 3>;

class ConstrainedDelaunay {
public:
    // Exact predicates; constraint edges that cross are split at their crossing point.
    ConstrainedDelaunay();
    ~ConstrainedDelaunay();
    ConstrainedDelaunay(const ConstrainedDelaunay&) = delete;
    ConstrainedDelaunay& operator=(const ConstrainedDelaunay&) = delete;

    // Vertex i of the list keeps index i (counted on from earlier calls). A point equal to an
    // earlier one shares that vertex.
    void insertVertices(const std::vector<Point2>& points);

    // Edges between inserted vertex indices; an index outside them throws std::out_of_range.
    void insertEdges(const std::vector<Edge>& edges);

    // The vertices: the inserted ones first, by index, then those the library created where
    // constraints cross, in the library's order. Indices in triangles() refer to this list.
    std::vector<Point2> vertices();

    // The finite triangles, counter-clockwise.
    std::vector<Triangle> triangles();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace cdt
