#pragma once
// The records of roofs and surfaces built from point clouds and surface models. Plan coordinates
// are PL-1992 metres (x easting, y northing), heights metres as the sources give them.

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

// A point in space.
struct Pt3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    bool operator==(const Pt3&) const = default;
};

// The plane nx*x + ny*y + nz*z + d = 0 with a unit normal. Every producer gives nz >= 0; the
// horizontal plane at height h is {0, 0, 1, -h}.
struct Plane {
    double nx = 0.0;
    double ny = 0.0;
    double nz = 1.0;
    double d = 0.0;

    bool operator==(const Plane&) const = default;
};

// One planar face as an open ring: the first corner is not repeated at the end.
struct RoofFace {
    std::vector<Pt3> pts;

    bool operator==(const RoofFace&) const = default;
};

// Triangles over shared corners, as a surface draped over a sampling lattice gives them: every
// corner is stored once and a triangle is three indices into the corners, so that a road of
// thousands of cells costs two flat arrays rather than an allocation per triangle.
struct TriangleMesh {
    std::vector<Pt3> vertices;
    std::vector<std::array<std::uint32_t, 3>> triangles;

    bool operator==(const TriangleMesh&) const = default;
};

// The result of one roof or surface builder for one footprint or ring. Each builder states what
// its quality share means.
struct RoofModel {
    std::vector<RoofFace> faces;
    int flag = 0;  // 0: built from data; 1: the input failed or the builder fell back
    double quality = 0.0;
    TriangleMesh mesh;  // further faces, after `faces`: the triangles of a draped surface

    bool empty() const { return faces.empty() && mesh.triangles.empty(); }

    // Calls visit(std::span<const Pt3>) with the corners of every face in order: the planar
    // faces, then the mesh's triangles.
    template <class Visit>
    void forEachFace(Visit&& visit) const {
        for (const RoofFace& face : faces)
            visit(std::span<const Pt3>(face.pts));
        for (const auto& [a, b, c] : mesh.triangles) {
            const std::array<Pt3, 3> corners{mesh.vertices[a], mesh.vertices[b], mesh.vertices[c]};
            visit(std::span<const Pt3>(corners));
        }
    }
};

// A plan ring: open, in any orientation.
using PlanPoint = std::pair<double, double>;
using PlanRing = std::vector<PlanPoint>;
