#include "geometry/lod2fit/MeshOrientation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <map>
#include <utility>

#include "geometry/lod2fit/MeshComponents.h"

namespace lod2fit {
namespace {

// A shell whose volume is below this share of its extent cubed has no inside to face away from.
constexpr double kFlatShellShare = 1e-9;

struct Component {
    Vec3 centroid;
    std::vector<std::size_t> faces;  // faces of at least 3 corners whose first index lies here
};

// Per face: whether its corner order is to be reversed.
using Reversals = std::vector<char>;

std::map<std::int32_t, Component> componentsWithFaces(const SolidMesh& mesh) {
    const std::vector<std::int32_t> label = vertexComponents(mesh);
    std::map<std::int32_t, std::pair<Vec3, int>> sums;
    for (std::size_t v = 0; v < label.size(); ++v) {
        auto& [sum, count] = sums[label[v]];
        sum = sum + mesh.vertices[v];
        ++count;
    }
    std::map<std::int32_t, Component> components;
    for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
        const Face& face = mesh.faces[f];
        if (face.size() < 3 || !indicesInRange(face, label.size())) {
            continue;
        }
        const std::int32_t root = label[face[0]];
        Component& part = components[root];
        if (part.faces.empty()) {
            const auto& [sum, count] = sums[root];
            part.centroid = (1.0 / count) * sum;
        }
        part.faces.push_back(f);
    }
    return components;
}

Vec3 faceCentroid(const SolidMesh& mesh, const Face& face) {
    Vec3 sum;
    for (const std::int32_t i : face) {
        sum = sum + mesh.vertices[i];
    }
    return (1.0 / static_cast<double>(face.size())) * sum;
}

// Newell's normal, summed about the face's centroid (the same vector, without the rounding that
// map coordinates of six digits would bring into the products).
Vec3 newellNormal(const SolidMesh& mesh, const Face& face, Vec3 origin) {
    Vec3 n;
    for (std::size_t k = 0; k < face.size(); ++k) {
        const Vec3 a = mesh.vertices[face[k]] - origin;
        const Vec3 b = mesh.vertices[face[(k + 1) % face.size()]] - origin;
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

void faceAwayFromCentroid(const SolidMesh& mesh, const std::vector<std::size_t>& faces,
                          Vec3 centroid, Reversals& reversed) {
    for (const std::size_t f : faces) {
        const Vec3 middle = faceCentroid(mesh, mesh.faces[f]);
        reversed[f] = dot(newellNormal(mesh, mesh.faces[f], middle), middle - centroid) < 0;
    }
}

struct EdgeUse {
    std::size_t face = 0;
    bool forward = false;  // the face runs the edge from the smaller index to the larger
};

struct EdgeUses {
    std::array<EdgeUse, 2> use;
    int count = 0;
};

using EdgeKey = std::pair<std::int32_t, std::int32_t>;
using EdgeTable = std::map<EdgeKey, EdgeUses>;

EdgeKey edgeKey(const Face& face, std::size_t k) {
    return std::minmax(face[k], face[(k + 1) % face.size()]);
}

// The two faces of every edge; false when some edge has another number of faces, or one face
// twice, or a face repeats a corner: the part is then open or not a manifold.
bool pairEdges(const SolidMesh& mesh, const std::vector<std::size_t>& faces, EdgeTable& edges) {
    for (const std::size_t f : faces) {
        const Face& face = mesh.faces[f];
        for (std::size_t k = 0; k < face.size(); ++k) {
            const std::int32_t a = face[k];
            const std::int32_t b = face[(k + 1) % face.size()];
            EdgeUses& uses = edges[edgeKey(face, k)];
            if (a == b || uses.count == 2 || (uses.count == 1 && uses.use[0].face == f)) {
                return false;
            }
            uses.use[uses.count++] = {f, a < b};
        }
    }
    return std::all_of(edges.begin(), edges.end(),
                       [](const auto& e) { return e.second.count == 2; });
}

// Sets the reversals so that the two faces of every edge run it in opposite directions, spreading
// from one face of each shell (a set of faces connected through edges) to its neighbours, and
// collects the shells. False when a shell cannot be wound consistently (a one-sided surface).
bool windConsistently(const SolidMesh& mesh, const std::vector<std::size_t>& faces,
                      const EdgeTable& edges, Reversals& reversed,
                      std::vector<std::vector<std::size_t>>& shells) {
    std::vector<char> placed(mesh.faces.size(), 0);
    for (const std::size_t seed : faces) {
        if (placed[seed]) {
            continue;
        }
        std::vector<std::size_t>& shell = shells.emplace_back();
        reversed[seed] = 0;
        placed[seed] = 1;
        std::deque<std::size_t> queue{seed};
        while (!queue.empty()) {
            const std::size_t f = queue.front();
            queue.pop_front();
            shell.push_back(f);
            const Face& face = mesh.faces[f];
            for (std::size_t k = 0; k < face.size(); ++k) {
                const EdgeUses& uses = edges.at(edgeKey(face, k));
                const EdgeUse& mine = uses.use[0].face == f ? uses.use[0] : uses.use[1];
                const EdgeUse& other = uses.use[0].face == f ? uses.use[1] : uses.use[0];
                const bool runsForward = mine.forward != (reversed[f] != 0);
                const char wanted = other.forward == runsForward ? 1 : 0;
                if (!placed[other.face]) {
                    reversed[other.face] = wanted;
                    placed[other.face] = 1;
                    queue.push_back(other.face);
                } else if (reversed[other.face] != wanted) {
                    return false;
                }
            }
        }
    }
    return true;
}

// Six times the signed volume of a closed shell with the reversals applied, from the fan
// triangles of its faces about a point near the shell.
double sixfoldVolume(const SolidMesh& mesh, const std::vector<std::size_t>& shell,
                     const Reversals& reversed, Vec3 origin) {
    double sum = 0.0;
    for (const std::size_t f : shell) {
        const Face& face = mesh.faces[f];
        const Vec3 a = mesh.vertices[face[0]] - origin;
        double faceSum = 0.0;
        for (std::size_t k = 1; k + 1 < face.size(); ++k) {
            const Vec3 b = mesh.vertices[face[k]] - origin;
            const Vec3 c = mesh.vertices[face[k + 1]] - origin;
            faceSum += dot(a, cross(b, c));
        }
        sum += reversed[f] ? -faceSum : faceSum;
    }
    return sum;
}

double cubedExtent(const SolidMesh& mesh, const std::vector<std::size_t>& shell, Vec3 origin) {
    double reach = 0.0;
    for (const std::size_t f : shell) {
        for (const std::int32_t i : mesh.faces[f]) {
            const Vec3 d = mesh.vertices[i] - origin;
            reach = std::max({reach, std::abs(d.x), std::abs(d.y), std::abs(d.z)});
        }
    }
    return reach * reach * reach;
}

void orientComponent(const SolidMesh& mesh, const Component& part, Reversals& reversed) {
    EdgeTable edges;
    std::vector<std::vector<std::size_t>> shells;
    if (!pairEdges(mesh, part.faces, edges) ||
        !windConsistently(mesh, part.faces, edges, reversed, shells)) {
        faceAwayFromCentroid(mesh, part.faces, part.centroid, reversed);
        return;
    }
    for (const std::vector<std::size_t>& shell : shells) {
        const double volume = sixfoldVolume(mesh, shell, reversed, part.centroid);
        if (std::abs(volume) <= 6 * kFlatShellShare * cubedExtent(mesh, shell, part.centroid)) {
            faceAwayFromCentroid(mesh, shell, part.centroid, reversed);
        } else if (volume < 0) {
            for (const std::size_t f : shell) {
                reversed[f] = reversed[f] ? 0 : 1;
            }
        }
    }
}

}  // namespace

int normalizeOutwardNormals(SolidMesh& mesh) {
    if (mesh.vertices.empty()) {
        return 0;
    }
    Reversals reversed(mesh.faces.size(), 0);
    for (const auto& [root, part] : componentsWithFaces(mesh)) {
        orientComponent(mesh, part, reversed);
    }
    int count = 0;
    for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
        if (reversed[f]) {
            std::reverse(mesh.faces[f].begin(), mesh.faces[f].end());
            ++count;
        }
    }
    return count;
}

}  // namespace lod2fit
