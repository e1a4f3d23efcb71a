#include "cdt/ConstrainedDelaunay.h"

#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

#include <cmath>
#include <stdexcept>

namespace cdt {
namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
constexpr int kUnnumbered = -1;

// The vertex's index in our numbering; vertices the library creates start unnumbered.
struct VertexIndex {
    int value = kUnnumbered;
};

using VertexBase = CGAL::Triangulation_vertex_base_with_info_2<VertexIndex, Kernel>;
using FaceBase = CGAL::Constrained_triangulation_face_base_2<Kernel>;
using Storage = CGAL::Triangulation_data_structure_2<VertexBase, FaceBase>;
// Exact_predicates_tag: constraints may cross; the crossing point becomes a new vertex.
using Cdt = CGAL::Constrained_Delaunay_triangulation_2<Kernel, Storage, CGAL::Exact_predicates_tag>;

}  // namespace

struct ConstrainedDelaunay::Impl {
    Cdt cdt;
    std::vector<Cdt::Vertex_handle> handles;  // by input index
    int created = 0;                          // vertices numbered after the input ones
    bool read = false;                        // numbering has been handed out

    // Gives every vertex created at a constraint crossing the next free index, in the
    // library's vertex order.
    void numberCreatedVertices() {
        read = true;
        for (auto v = cdt.finite_vertices_begin(); v != cdt.finite_vertices_end(); ++v) {
            if (v->info().value == kUnnumbered) {
                v->info().value = static_cast<int>(handles.size()) + created++;
            }
        }
    }

    int vertexCount() const { return static_cast<int>(handles.size()) + created; }
};

ConstrainedDelaunay::ConstrainedDelaunay() : impl_(std::make_unique<Impl>()) {}
ConstrainedDelaunay::~ConstrainedDelaunay() = default;

void ConstrainedDelaunay::insertVertices(const std::vector<Point2>& points) {
    if (impl_->read)
        throw std::logic_error("vertices inserted after the result was read");
    for (const Point2& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            throw std::invalid_argument("non-finite vertex");
        }
        const auto handle = impl_->cdt.insert(Cdt::Point(p.x, p.y));
        if (handle->info().value == kUnnumbered) {
            handle->info().value = static_cast<int>(impl_->handles.size());
        }
        impl_->handles.push_back(handle);
    }
}

void ConstrainedDelaunay::insertEdges(const std::vector<Edge>& edges) {
    const auto count = static_cast<int>(impl_->handles.size());
    for (const auto& [a, b] : edges) {
        if (a < 0 || b < 0 || a >= count || b >= count)
            throw std::out_of_range("edge index");
        if (impl_->handles[a] == impl_->handles[b])
            continue;  // both ends on one vertex
        impl_->cdt.insert_constraint(impl_->handles[a], impl_->handles[b]);
    }
}

std::vector<Point2> ConstrainedDelaunay::vertices() {
    impl_->numberCreatedVertices();
    std::vector<Point2> out(static_cast<std::size_t>(impl_->vertexCount()));
    for (auto v = impl_->cdt.finite_vertices_begin(); v != impl_->cdt.finite_vertices_end(); ++v) {
        out[static_cast<std::size_t>(v->info().value)] = {v->point().x(), v->point().y()};
    }
    // An input point that repeated an earlier one keeps its own entry, at the shared position.
    for (std::size_t i = 0; i < impl_->handles.size(); ++i) {
        out[i] = {impl_->handles[i]->point().x(), impl_->handles[i]->point().y()};
    }
    return out;
}

std::vector<Triangle> ConstrainedDelaunay::triangles() {
    impl_->numberCreatedVertices();
    std::vector<Triangle> out;
    out.reserve(impl_->cdt.number_of_faces());
    for (auto f = impl_->cdt.finite_faces_begin(); f != impl_->cdt.finite_faces_end(); ++f) {
        out.push_back(
            {f->vertex(0)->info().value, f->vertex(1)->info().value, f->vertex(2)->info().value});
    }
    return out;
}

}  // namespace cdt
