#include "geometry/lod2fit/MeshOrientation.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "geometry/lod2fit/MeshComponents.h"

namespace lod2fit {
namespace {

// A shell whose volume is below this share of its extent cubed has no inside to face away from.
constexpr double kFlatShellShare = 1e-9;

constexpr std::size_t kNoPart = static_cast<std::size_t>(-1);

// The separate parts of the mesh, with the faces to orient (at least 3 corners, all in range).
struct Parts {
    std::vector<std::size_t> partOf;  // per face; kNoPart for faces left as they are
    std::vector<Vec3> centroid;       // per part: mean of its vertices
    std::vector<char> sound;          // per part: closed, manifold and consistently windable
    std::vector<std::size_t> faces;   // the faces to orient, in mesh order
};

Parts findParts(const SolidMesh& mesh) {
    const std::vector<std::int32_t> root = vertexComponents(mesh);
    std::vector<Vec3> sum(root.size());
    std::vector<int> count(root.size(), 0);
    for (std::size_t v = 0; v < root.size(); ++v) {
        sum[root[v]] = sum[root[v]] + mesh.vertices[v];
        ++count[root[v]];
    }
    Parts parts;
    parts.partOf.assign(mesh.faces.size(), kNoPart);
    std::vector<std::size_t> partOfRoot(root.size(), kNoPart);
    for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
        const Face& face = mesh.faces[f];
        if (face.size() < 3 || !indicesInRange(face, root.size())) {
            continue;
        }
        const std::int32_t r = root[face[0]];
        if (partOfRoot[r] == kNoPart) {
            partOfRoot[r] = parts.centroid.size();
            parts.centroid.push_back((1.0 / count[r]) * sum[r]);
            parts.sound.push_back(1);
        }
        parts.partOf[f] = partOfRoot[r];
        parts.faces.push_back(f);
    }
    return parts;
}

// Every corner of the faces to orient stands for the edge to the next corner (a slot); twin links
// it to the slot of the other face on the same edge.
struct EdgeLinks {
    std::vector<std::size_t> firstSlot;  // per face of the mesh
    std::vector<std::size_t> faceOf;     // per slot
    std::vector<char> forward;           // per slot: the face runs the edge from smaller to larger
    std::vector<std::size_t> twin;       // per slot; kNoPart when the edge is not shared by two
};

// Pairs the edges by sorting them. A part where some edge has another number of faces than two,
// or one face twice, or where a face repeats a corner, is open or not a manifold: it is marked
// unsound.
EdgeLinks linkEdges(const SolidMesh& mesh, Parts& parts) {
    struct Side {
        std::pair<std::int32_t, std::int32_t> edge;
        std::size_t slot;
    };
    EdgeLinks links;
    links.firstSlot.assign(mesh.faces.size(), 0);
    std::vector<Side> sides;
    for (const std::size_t f : parts.faces) {
        const Face& face = mesh.faces[f];
        links.firstSlot[f] = sides.size();
        for (std::size_t k = 0; k < face.size(); ++k) {
            const std::int32_t a = face[k];
            const std::int32_t b = face[(k + 1) % face.size()];
            if (a == b) {
                parts.sound[parts.partOf[f]] = 0;
            }
            links.faceOf.push_back(f);
            links.forward.push_back(a < b ? 1 : 0);
            sides.push_back({std::minmax(a, b), sides.size()});
        }
    }
    std::sort(sides.begin(), sides.end(),
              [](const Side& l, const Side& r) { return l.edge < r.edge; });
    links.twin.assign(sides.size(), kNoPart);
    for (std::size_t i = 0; i < sides.size();) {
        std::size_t end = i + 1;
        while (end < sides.size() && sides[end].edge == sides[i].edge) {
            ++end;
        }
        const std::size_t a = sides[i].slot;
        if (end - i == 2 && links.faceOf[a] != links.faceOf[sides[i + 1].slot]) {
            links.twin[a] = sides[i + 1].slot;
            links.twin[sides[i + 1].slot] = a;
        } else {
            parts.sound[parts.partOf[links.faceOf[a]]] = 0;
        }
        i = end;
    }
    return links;
}

// Per face: whether its corner order is to be reversed.
using Reversals = std::vector<char>;

// Sets the reversals of the sound parts so that the two faces of every edge run it in opposite
// directions, spreading from one face of each shell (faces connected through edges) to its
// neighbours, and returns the shells. A part whose shell cannot be wound consistently (a
// one-sided surface) is marked unsound.
std::vector<std::vector<std::size_t>> windConsistently(const SolidMesh& mesh,
                                                       const EdgeLinks& links, Parts& parts,
                                                       Reversals& reversed) {
    std::vector<std::vector<std::size_t>> shells;
    std::vector<char> placed(mesh.faces.size(), 0);
    for (const std::size_t seed : parts.faces) {
        const std::size_t part = parts.partOf[seed];
        if (placed[seed] || !parts.sound[part]) {
            continue;
        }
        std::vector<std::size_t>& shell = shells.emplace_back();
        placed[seed] = 1;
        shell.push_back(seed);
        for (std::size_t next = 0; next < shell.size() && parts.sound[part]; ++next) {
            const std::size_t f = shell[next];
            const std::size_t first = links.firstSlot[f];
            for (std::size_t slot = first; slot < first + mesh.faces[f].size(); ++slot) {
                const std::size_t other = links.twin[slot];
                const std::size_t g = links.faceOf[other];
                const bool runsForward = (links.forward[slot] != 0) != (reversed[f] != 0);
                const char wanted = (links.forward[other] != 0) == runsForward ? 1 : 0;
                if (!placed[g]) {
                    reversed[g] = wanted;
                    placed[g] = 1;
                    shell.push_back(g);
                } else if (reversed[g] != wanted) {
                    parts.sound[part] = 0;
                }
            }
        }
    }
    return shells;
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

void faceAwayFromCentroid(const SolidMesh& mesh, std::size_t f, Vec3 centroid,
                          Reversals& reversed) {
    const Vec3 middle = faceCentroid(mesh, mesh.faces[f]);
    reversed[f] = dot(newellNormal(mesh, mesh.faces[f], middle), middle - centroid) < 0 ? 1 : 0;
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

// A consistently wound shell turned as a whole to a positive volume; one without volume faces
// each face away from its part's centroid.
void turnShellOutward(const SolidMesh& mesh, const std::vector<std::size_t>& shell, Vec3 centroid,
                      Reversals& reversed) {
    const double volume = sixfoldVolume(mesh, shell, reversed, centroid);
    if (std::abs(volume) <= 6 * kFlatShellShare * cubedExtent(mesh, shell, centroid)) {
        for (const std::size_t f : shell) {
            faceAwayFromCentroid(mesh, f, centroid, reversed);
        }
    } else if (volume < 0) {
        for (const std::size_t f : shell) {
            reversed[f] = reversed[f] ? 0 : 1;
        }
    }
}

}  // namespace

int normalizeOutwardNormals(SolidMesh& mesh) {
    if (mesh.vertices.empty()) {
        return 0;
    }
    Parts parts = findParts(mesh);
    const EdgeLinks links = linkEdges(mesh, parts);
    Reversals reversed(mesh.faces.size(), 0);
    for (const auto& shell : windConsistently(mesh, links, parts, reversed)) {
        const std::size_t part = parts.partOf[shell.front()];
        if (parts.sound[part]) {
            turnShellOutward(mesh, shell, parts.centroid[part], reversed);
        }
    }
    for (const std::size_t f : parts.faces) {
        const std::size_t part = parts.partOf[f];
        if (!parts.sound[part]) {
            faceAwayFromCentroid(mesh, f, parts.centroid[part], reversed);
        }
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
