// Morphs: free-form solids built face by face through the host's body builder.

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

#include "ACAPinc.h"
#include "import/creators/AcImporter.h"
#include "import/creators/ElementBuild.h"
#include "import/creators/FaceTriangulation.h"

namespace AcImporter {
namespace {

using detail::NewElement;
using facetri::Point3;

// A last point this close to the first (metres, on every axis) closes the ring.
constexpr double kClosingPoint = 1e-6;
// Points farther than this (metres) from the plane of the first ones make a face not planar.
constexpr double kPlanarTolerance = 0.05;
// Welding grid: points on the same millimetre are one vertex.
constexpr double kWeldCellsPerMetre = 1000.0;

// A body builder, disposed however the building ends.
class BodyBuilder {
public:
    BodyBuilder() : openError_(ACAPI_Body_Create(nullptr, nullptr, &body_)) {}
    ~BodyBuilder() {
        if (body_ != nullptr)
            ACAPI_Body_Dispose(&body_);
    }
    BodyBuilder(const BodyBuilder&) = delete;
    BodyBuilder& operator=(const BodyBuilder&) = delete;

    GSErrCode openError() const { return openError_; }
    API_BodyBuilder* get() const { return body_; }

private:
    API_BodyBuilder* body_ = nullptr;
    GSErrCode openError_;
};

// The vertices, edges and polygons of one morph. With welding, points on the same millimetre
// share a vertex and an edge is added once, its second use running it backwards.
class MorphBody {
public:
    MorphBody(API_BodyBuilder* body, bool weld, API_AttributeIndex material)
        : body_(body), weld_(weld), material_{true, material} {}

    UInt32 vertex(const Point3& p) {
        if (!weld_)
            return addVertex(p);
        const std::array<long long, 3> key = {std::llround(p.x * kWeldCellsPerMetre),
                                              std::llround(p.y * kWeldCellsPerMetre),
                                              std::llround(p.z * kWeldCellsPerMetre)};
        const auto [entry, added] = vertices_.try_emplace(key, 0);
        if (added)
            entry->second = addVertex(p);
        return entry->second;
    }

    // A polygon over the ring of vertices; consecutive repeats are passed over, and a ring left
    // with fewer than 3 edges adds nothing.
    void addPolygon(const std::vector<UInt32>& ring) {
        GS::Array<Int32> edges;
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const UInt32 a = ring[i], b = ring[(i + 1) % ring.size()];
            if (a != b)
                edges.Push(edge(a, b));
        }
        if (edges.GetSize() < 3)
            return;
        UInt32 index = 0;
        if (ACAPI_Body_AddPolygon(body_, edges, 0, material_, index) == NoError)
            ++polygons_;
    }

    int polygons() const { return polygons_; }

private:
    UInt32 addVertex(const Point3& p) {
        UInt32 index = 0;
        ACAPI_Body_AddVertex(body_, API_Coord3D{p.x, p.y, p.z}, index);
        return index;
    }

    Int32 edge(UInt32 a, UInt32 b) {
        if (weld_) {
            if (const auto same = edges_.find({a, b}); same != edges_.end())
                return same->second;
            if (const auto back = edges_.find({b, a}); back != edges_.end())
                return -back->second;
        }
        Int32 index = 0;
        ACAPI_Body_AddEdge(body_, a, b, index);
        if (weld_)
            edges_[{a, b}] = index;
        return index;
    }

    API_BodyBuilder* body_;
    bool weld_;
    API_OverriddenAttribute material_;
    std::map<std::array<long long, 3>, UInt32> vertices_;
    std::map<std::pair<UInt32, UInt32>, Int32> edges_;
    int polygons_ = 0;
};

// The face's points without a closing repeat of the first; nothing when the face is unusable
// (fewer than 3 points, heights not one per point, a coordinate that is not a number).
std::optional<std::vector<Point3>> facePoints(const Lod2Face& face) {
    if (face.xy.size() < 3 || face.z.size() != face.xy.size())
        return std::nullopt;
    std::vector<Point3> points;
    points.reserve(face.xy.size());
    for (std::size_t i = 0; i < face.xy.size(); ++i) {
        const Point3 p{face.xy[i].x, face.xy[i].y, face.z[i]};
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return std::nullopt;
        points.push_back(p);
    }
    const Point3& first = points.front();
    const Point3& last = points.back();
    if (std::abs(last.x - first.x) <= kClosingPoint &&
        std::abs(last.y - first.y) <= kClosingPoint &&
        std::abs(last.z - first.z) <= kClosingPoint) {
        points.pop_back();
    }
    if (points.size() < 3)
        return std::nullopt;
    return points;
}

void raise(std::int32_t& largest, std::size_t n) {
    largest = std::max(largest, static_cast<std::int32_t>(n));
}

// Whether the face can go whole: planar and convex. Counts why it cannot.
bool goesWhole(const std::vector<Point3>& points, TriDiag& diag) {
    const std::optional<Point3> normal = facetri::firstNormal(points);
    if (!normal || !facetri::isPlanar(points, *normal, kPlanarTolerance)) {
        ++diag.triangulatedNonPlanar;
        return false;
    }
    if (!facetri::isConvex(facetri::projectAlong(points, *normal))) {
        ++diag.triangulatedConcave;
        return false;
    }
    ++diag.whole;
    return true;
}

void addTriangles(const std::vector<Point3>& points, const std::vector<UInt32>& ids,
                  MorphBody& body, TriDiag& diag) {
    const facetri::Result result = facetri::triangulate(points);
    if (result.earClipped) {
        ++diag.earClipped;
    } else {
        ++diag.fanned;
        raise(diag.largestFanned, points.size());
    }
    if (result.fanLike) {
        ++diag.fanLike;
        raise(diag.largestFanLike, points.size());
    }
    if (result.fanLikeAfterFlips)
        ++diag.fanLikeAfterFlips;
    for (const facetri::Triangle& t : result.triangles) {
        const auto id = [&](int corner) { return ids[static_cast<std::size_t>(corner)]; };
        body.addPolygon({id(t.a), id(t.b), id(t.c)});
    }
}

void addFace(const std::vector<Point3>& points, bool triangulate, MorphBody& body, TriDiag& diag) {
    std::vector<UInt32> ids;
    ids.reserve(points.size());
    for (const Point3& p : points)
        ids.push_back(body.vertex(p));
    ++diag.facesTaken;
    if (triangulate)
        ++diag.triangulatedConcave;
    if (!triangulate && goesWhole(points, diag))
        body.addPolygon(ids);
    else
        addTriangles(points, ids, body, diag);
}

// Builds the faces into the morph's memo; kNoFaces when no polygon came of them.
GSErrCode buildBody(const std::vector<Lod2Face>& faces, bool triangulate, bool weld,
                    API_AttributeIndex material, TriDiag& diag, API_ElementMemo& memo) {
    const BodyBuilder builder;
    if (const GSErrCode err = builder.openError())
        return err;
    MorphBody body(builder.get(), weld, material);
    for (const Lod2Face& face : faces) {
        if (const auto points = facePoints(face))
            addFace(*points, triangulate, body, diag);
    }
    if (body.polygons() == 0)
        return kNoFaces;
    return ACAPI_Body_Finish(builder.get(), &memo.morphBody, &memo.morphMaterialMap);
}

}  // namespace

GSErrCode createMorph(const std::vector<Lod2Face>& faces, API_AttributeIndex layer,
                      bool triangulate, bool weld, API_AttributeIndex material, TriDiag* diag,
                      const std::string& id) {
    if (faces.empty())
        return kNoFaces;
    NewElement morph(API_MorphID);
    if (const GSErrCode err = morph.loadDefaults())
        return err;
    API_Element& record = morph.record();
    record.header.layer = layer;
    std::fill(std::begin(record.morph.tranmat), std::end(record.morph.tranmat), 0.0);
    record.morph.tranmat[0] = record.morph.tranmat[5] = record.morph.tranmat[10] = 1.0;
    TriDiag unused;
    if (const GSErrCode err = buildBody(faces, triangulate, weld, material,
                                        diag != nullptr ? *diag : unused, morph.memo())) {
        return err;
    }
    if (const GSErrCode err = morph.create(nullptr))
        return err;
    if (!id.empty())
        morph.setId(id);
    return NoError;
}

GSErrCode createRoofMorph(const std::vector<Lod2Face>& faces, API_AttributeIndex layer,
                          API_AttributeIndex material) {
    struct Options {
        bool triangulate;
        bool weld;
    };
    constexpr Options kAttempts[] = {{false, true}, {true, true}, {true, false}};
    GSErrCode err = NoError;
    for (const Options& options : kAttempts) {
        err = createMorph(faces, layer, options.triangulate, options.weld, material, nullptr, "");
        if (err == NoError)
            break;
    }
    return err;
}

}  // namespace AcImporter
