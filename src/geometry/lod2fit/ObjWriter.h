#pragma once
// Wavefront OBJ output of solids, for looking at them in a viewer.

#include <string>
#include <utility>
#include <vector>

#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

// Writes one "v x y z" line per vertex and one "f i j k ..." line (1-based) per face, replacing
// the file. Numbers are written in their shortest form that reads back to the same double, so map
// coordinates keep every digit. A file that cannot be written is silently skipped.
void writeObj(const std::string& path, const SolidMesh& mesh);

// Writes the meshes as named objects ("o name") of one file, the k-th moved by k * spacing along x
// so that they stand side by side.
void writeObjGrid(const std::string& path,
                  const std::vector<std::pair<std::string, SolidMesh>>& meshes, double spacing);

}  // namespace lod2fit
