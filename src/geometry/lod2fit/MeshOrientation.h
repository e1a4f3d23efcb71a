#pragma once
// Outward orientation of the faces of building solids.

#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

// Turns every face so that its corners run counter-clockwise seen from outside; returns the number
// of faces reversed.
//
// Each separate part of the mesh (vertices connected by faces) is handled on its own. A closed
// part, where every edge joins exactly two faces, gets one consistent winding across its shared
// edges, and each of its shells is then turned as a whole so that its signed volume is positive;
// this holds for non-convex solids (courtyards, L-shaped wings) too. An open or non-manifold part,
// or a shell without volume, falls back to facing each face away from the part's centroid, which
// is right for convex parts only.
int normalizeOutwardNormals(SolidMesh& mesh);

}  // namespace lod2fit
