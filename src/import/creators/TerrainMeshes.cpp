// Terrain meshes: one per terrain tile with its points as level points, one over the fetch frame
// with the contour lines as level lines. Each mesh tried leaves one line in the terrain
// diagnostics file.

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "ACAPinc.h"
#include "Platform.h"
#include "import/creators/AcImporter.h"
#include "import/creators/ElementBuild.h"

namespace AcImporter {
namespace {

using detail::NewElement;

constexpr const char* kDiagnosticsFile = "tovelmark_teren_diag.txt";
// Squared plan distance that any real point beats.
constexpr double kFarAway = 1e18;
// Contour lines shorter than this (metres) are stubs and left out.
constexpr double kShortestContour = 1.0;
// A frame side not longer than this (metres) has no length.
constexpr double kNoLength = 1e-6;

// A level point as the mesh gets it: local plan position, project height.
struct LevelPoint {
    double x;
    double y;
    double z;
};

// The lowest and highest value seen.
struct Span {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();

    void add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
};

struct PlanSpan {
    Span x;
    Span y;

    void add(const GisPoint& p) {
        x.add(p.x);
        y.add(p.y);
    }
};

// Whole metres toward zero, as the diagnostics print plan extents.
long long metres(double v) {
    return std::isfinite(v) ? static_cast<long long>(std::trunc(v)) : 0;
}

std::ostringstream diagnosticsStream() {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    return out;
}

void writeSpan(std::ostream& out, const PlanSpan& span) {
    out << '[' << metres(span.x.lo) << ".." << metres(span.x.hi) << ',' << metres(span.y.lo) << ".."
        << metres(span.y.hi) << ']';
}

void appendDiagnostics(const std::string& line) {
    std::ofstream file(Platform::diagPath(kDiagnosticsFile), std::ios::app);
    file << line << '\n';
}

// The height of the candidate nearest to the corner in plan (the first of equals), else fallback.
template <class Points, class Plan, class Height>
double nearestHeight(const GisPoint& corner, const Points& points, Plan plan, Height height,
                     double fallback) {
    double best = kFarAway, result = fallback;
    for (const auto& p : points) {
        const GisPoint q = plan(p);
        const double d = (q.x - corner.x) * (q.x - corner.x) + (q.y - corner.y) * (q.y - corner.y);
        if (d < best) {
            best = d;
            result = height(p);
        }
    }
    return result;
}

std::array<GisPoint, 4> localCorners(const MeshCorners& corners, const GeoTransform& frame) {
    std::array<GisPoint, 4> local{};
    for (std::size_t i = 0; i < 4; ++i)
        local[i] = frame.toLocal(corners[i]);
    return local;
}

bool finiteCorners(const std::array<GisPoint, 4>& corners) {
    return std::all_of(corners.begin(), corners.end(), detail::isFinite);
}

// The outline over the local corners, closed on the first one, with a height for each of its
// coordinates: the corners' heights, the closing one repeating the first.
GSErrCode writeOutline(NewElement& mesh, const std::array<GisPoint, 4>& corners,
                       const std::array<double, 4>& heights) {
    API_ElementMemo& memo = mesh.memo();
    const std::vector<GisPoint> ring = {corners[0], corners[1], corners[2], corners[3], corners[0]};
    if (const GSErrCode err = detail::fillPolyMemo(memo, {ring}, false))
        return err;
    API_Polygon& poly = mesh.record().mesh.poly;
    detail::setPolySizes(poly, memo);
    memo.meshPolyZ = BMAllocateTypedHandle<double>(poly.nCoords + 1);
    if (memo.meshPolyZ == nullptr)
        return kNoHandle;
    for (Int32 i = 1; i <= poly.nCoords; ++i)
        (*memo.meshPolyZ)[i] = heights[static_cast<std::size_t>(i - 1) % heights.size()];
    return NoError;
}

// The level points and the running point count at the end of each level line.
GSErrCode writeLevels(API_ElementMemo& memo, const std::vector<LevelPoint>& points,
                      const std::vector<Int32>& lineEnds) {
    memo.meshLevelCoords =
        BMAllocateTypedHandle<API_MeshLevelCoord>(static_cast<GSSize>(points.size()));
    memo.meshLevelEnds = BMAllocateTypedHandle<Int32>(static_cast<GSSize>(lineEnds.size()));
    if (memo.meshLevelCoords == nullptr || memo.meshLevelEnds == nullptr)
        return kNoHandle;
    for (std::size_t i = 0; i < points.size(); ++i)
        (*memo.meshLevelCoords)[i] = {{points[i].x, points[i].y, points[i].z}, 0};
    std::copy(lineEnds.begin(), lineEnds.end(), *memo.meshLevelEnds);
    return NoError;
}

// A mesh whose record starts from the defaults, on the layer at level 0.
GSErrCode startMesh(NewElement& mesh, API_AttributeIndex layer, API_MeshLevelLineID levelLines) {
    if (const GSErrCode err = mesh.loadDefaults())
        return err;
    mesh.record().header.layer = layer;
    mesh.record().mesh.level = 0.0;
    mesh.record().mesh.levelLines = levelLines;
    return NoError;
}

// ---- Tile meshes ------------------------------------------------------------------------------

// The tile's points whose plan position and offset height are numbers.
std::vector<TerrainPoint> usablePoints(const TerrainTile& tile, double zOffset) {
    std::vector<TerrainPoint> points;
    points.reserve(tile.pts.size());
    for (const TerrainPoint& p : tile.pts) {
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z - zOffset))
            points.push_back(p);
    }
    return points;
}

void writeTileDiagnostics(std::size_t count, GSErrCode err, const std::vector<LevelPoint>& levels,
                          const std::array<GisPoint, 4>& corners,
                          const std::array<double, 4>& heights) {
    PlanSpan plan, ring;
    Span z;
    for (const LevelPoint& p : levels) {
        plan.add({p.x, p.y});
        z.add(p.z);
    }
    for (const GisPoint& c : corners)
        ring.add(c);
    std::ostringstream line = diagnosticsStream();
    line << "createMesh nPts=" << count << " err=" << err << " ptXY=";
    writeSpan(line, plan);
    line << " ringXY=";
    writeSpan(line, ring);
    line << " ptZ=[" << z.lo << ".." << z.hi << "] ringZ=[" << heights[0] << ',' << heights[1]
         << ',' << heights[2] << ',' << heights[3] << ']';
    appendDiagnostics(line.str());
}

// ---- Contour meshes ---------------------------------------------------------------------------

// One contour line kept for the mesh: its height (not offset) and its local points.
struct Podlinia {
    double z;
    std::vector<GisPoint> pts;
};

double lineLength(const std::vector<GisPoint>& pts) {
    double length = 0.0;
    for (std::size_t i = 1; i < pts.size(); ++i)
        length += std::hypot(pts[i].x - pts[i - 1].x, pts[i].y - pts[i - 1].y);
    return length;
}

struct ContourLines {
    std::vector<Podlinia> lines;
    std::size_t points = 0;
    int stubs = 0;  // lines left out for being shorter than a metre
};

ContourLines keptLines(const std::vector<Warstwica>& contours, const GeoTransform& frame,
                       double zOffset) {
    ContourLines kept;
    for (const Warstwica& contour : contours) {
        const std::vector<GisPoint> pts = detail::finitePoints(contour.pts);
        if (pts.size() < 2 || !std::isfinite(contour.z - zOffset))
            continue;
        if (lineLength(pts) < kShortestContour) {
            ++kept.stubs;
            continue;
        }
        Podlinia line{contour.z, {}};
        line.pts.reserve(pts.size());
        for (const GisPoint& p : pts)
            line.pts.push_back(frame.toLocal(p));
        kept.points += line.pts.size();
        kept.lines.push_back(std::move(line));
    }
    return kept;
}

// The level points of the kept lines in order, at their lines' offset heights, and the running
// point count at each line's end.
void flattenLines(const std::vector<Podlinia>& lines, double zOffset,
                  std::vector<LevelPoint>& levels, std::vector<Int32>& ends) {
    for (const Podlinia& line : lines) {
        for (const GisPoint& p : line.pts)
            levels.push_back({p.x, p.y, line.z - zOffset});
        ends.push_back(static_cast<Int32>(levels.size()));
    }
}

bool isClosedLine(const std::vector<GisPoint>& pts) {
    return std::abs(pts.front().x - pts.back().x) < kNoLength &&
           std::abs(pts.front().y - pts.back().y) < kNoLength;
}

struct Frame {
    double width;
    double height;
};

void writeContourDiagnostics(const ContourLines& kept, GSErrCode err,
                             const std::vector<LevelPoint>& levels, const Frame& frame,
                             const std::array<double, 4>& heights, double zOffset) {
    int closed = 0;
    Span length, z;
    for (const Podlinia& line : kept.lines) {
        closed += isClosedLine(line.pts) ? 1 : 0;
        length.add(lineLength(line.pts));
        z.add(line.z - zOffset);
    }
    PlanSpan plan;
    for (const LevelPoint& p : levels)
        plan.add({p.x, p.y});
    const int open = static_cast<int>(kept.lines.size()) - closed;
    std::ostringstream line = diagnosticsStream();
    line << "createMeshFromContours nPts=" << kept.points << " nSub=" << kept.lines.size()
         << " (zamk=" << closed << " otw=" << open << " stubOdrzuc=" << kept.stubs
         << " lenMin=" << length.lo << " lenMax=" << length.hi << ") err=" << err << " ptXY=";
    writeSpan(line, plan);
    line << " ramka=" << metres(frame.width) << 'x' << metres(frame.height) << " fkZ=["
         << heights[0] << ',' << heights[1] << ',' << heights[2] << ',' << heights[3] << ']'
         << " cZ=[" << z.lo << ".." << z.hi << ']';
    appendDiagnostics(line.str());
}

double distance(const GisPoint& a, const GisPoint& b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

GisPoint planOf(const LevelPoint& p) {
    return {p.x, p.y};
}

}  // namespace

GSErrCode createMesh(const TerrainTile& tile, const GeoTransform& frame, double zOffset,
                     API_AttributeIndex layer, const MeshCorners& corners, bool* created) {
    detail::nothingCreatedYet(created);
    const std::vector<TerrainPoint> points = usablePoints(tile, zOffset);
    const std::array<GisPoint, 4> local = localCorners(corners, frame);
    if (points.empty() || !finiteCorners(local))
        return NoError;
    NewElement mesh(API_MeshID);
    if (const GSErrCode err = startMesh(mesh, layer, APIMeshLevel_Smooth))
        return err;
    std::array<double, 4> heights{};
    for (std::size_t i = 0; i < 4; ++i) {
        heights[i] = nearestHeight(
            corners[i], points,
            [](const TerrainPoint& p) {
                return GisPoint{p.x, p.y};
            },
            [&](const TerrainPoint& p) { return p.z - zOffset; }, 0.0 - zOffset);
    }
    std::vector<LevelPoint> levels;
    std::vector<Int32> ends;
    levels.reserve(points.size());
    ends.reserve(points.size());
    for (const TerrainPoint& p : points) {
        const GisPoint l = frame.toLocal({p.x, p.y});
        levels.push_back({l.x, l.y, p.z - zOffset});
        ends.push_back(static_cast<Int32>(levels.size()));
    }
    if (const GSErrCode err = writeOutline(mesh, local, heights))
        return err;
    if (const GSErrCode err = writeLevels(mesh.memo(), levels, ends))
        return err;
    const GSErrCode err = mesh.create(created);
    writeTileDiagnostics(points.size(), err, levels, local, heights);
    return err;
}

GSErrCode createMeshFromContours(const std::vector<Warstwica>& contours, const GeoTransform& frame,
                                 double zOffset, API_AttributeIndex layer,
                                 const MeshCorners& corners, bool* created) {
    detail::nothingCreatedYet(created);
    const ContourLines kept = keptLines(contours, frame, zOffset);
    if (kept.lines.empty() || kept.points < 3)
        return NoError;
    const std::array<GisPoint, 4> local = localCorners(corners, frame);
    const Frame size{distance(local[0], local[1]), distance(local[1], local[2])};
    if (!(size.width > kNoLength) || !(size.height > kNoLength) || !finiteCorners(local))
        return NoError;
    NewElement mesh(API_MeshID);
    if (const GSErrCode err = startMesh(mesh, layer, APIMeshLevel_Ridge))
        return err;
    std::vector<LevelPoint> levels;
    std::vector<Int32> ends;
    levels.reserve(kept.points);
    flattenLines(kept.lines, zOffset, levels, ends);
    std::array<double, 4> heights{};
    for (std::size_t i = 0; i < 4; ++i) {
        heights[i] = nearestHeight(
            local[i], levels, planOf, [](const LevelPoint& p) { return p.z; }, 0.0);
    }
    if (const GSErrCode err = writeOutline(mesh, local, heights))
        return err;
    if (const GSErrCode err = writeLevels(mesh.memo(), levels, ends))
        return err;
    const GSErrCode err = mesh.create(created);
    writeContourDiagnostics(kept, err, levels, size, heights, zOffset);
    return err;
}

}  // namespace AcImporter
