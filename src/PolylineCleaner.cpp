#include "PolylineCleaner.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>

#include "ACAPinc.h"
#include "DG.h"
#include "ElementMemo.h"

namespace PolylineCleaner {
namespace {

// One number of a key: rounded to 0.001 with halves going up, a zero of either sign written
// as 0, then "%.17g|". Every piece ends with the only '|' it holds, so the pieces are
// prefix-free and comparing two keys byte by byte compares them piece by piece.
void appendRounded(std::string& out, double value) {
    double rounded = std::floor(value * 1000.0 + 0.5) / 1000.0;
    if (rounded == 0.0)
        rounded = 0.0;
    char text[40];
    const auto written =
        std::to_chars(text, text + sizeof text - 1, rounded, std::chars_format::general, 17);
    *written.ptr = '|';
    out.append(text, written.ptr + 1);
}

// The key pieces of one path, each formatted once: "x|y|" per vertex, and the angle of each
// segment in both senses.
struct PathTexts {
    std::vector<std::string> vertices;
    std::vector<std::string> angles;  // forward angles, then the same negated
};

// One piece of the path between consecutive vertices: indices into PathTexts.
struct Segment {
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t angle = 0;
};

// The angle of the first arc from vertex i to vertex i + 1, per segment i; 0 where none.
std::vector<double> segmentAngles(const PolylineGeometry& polyline, std::size_t segmentCount) {
    std::vector<double> angles(segmentCount, 0.0);
    std::vector<bool> taken(segmentCount, false);
    for (const ArcBulge& arc : polyline.arcs) {
        if (arc.from < 0 || static_cast<std::int64_t>(arc.to) - arc.from != 1)
            continue;
        const auto segment = static_cast<std::size_t>(arc.from);
        if (segment < segmentCount && !taken[segment]) {
            angles[segment] = arc.angle;
            taken[segment] = true;
        }
    }
    return angles;
}

PathTexts pathTexts(const PolylineGeometry& polyline) {
    PathTexts texts;
    texts.vertices.resize(polyline.points.size());
    for (std::size_t i = 0; i < polyline.points.size(); ++i) {
        appendRounded(texts.vertices[i], polyline.points[i].x);
        appendRounded(texts.vertices[i], polyline.points[i].y);
    }
    const std::vector<double> angles = segmentAngles(polyline, polyline.points.size() - 1);
    texts.angles.resize(2 * angles.size());
    for (std::size_t k = 0; k < angles.size(); ++k) {
        appendRounded(texts.angles[k], angles[k]);
        appendRounded(texts.angles[angles.size() + k], -angles[k]);
    }
    return texts;
}

std::vector<Segment> forwardSegments(std::size_t segmentCount) {
    std::vector<Segment> segments(segmentCount);
    for (std::size_t k = 0; k < segmentCount; ++k)
        segments[k] = {k, k + 1, k};
    return segments;
}

// The same path walked backwards: segments in reverse order, ends swapped, angles negated.
std::vector<Segment> reversedSegments(std::size_t segmentCount) {
    std::vector<Segment> segments(segmentCount);
    for (std::size_t j = 0; j < segmentCount; ++j) {
        const std::size_t k = segmentCount - 1 - j;
        segments[j] = {k + 1, k, segmentCount + k};
    }
    return segments;
}

// The start point of segment `first`, then per segment from `first` on (cyclically) its
// angle and its end point.
std::string Serialize(const PathTexts& texts, const std::vector<Segment>& segments,
                      std::size_t first) {
    std::string text = texts.vertices[segments[first].start];
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const Segment& segment = segments[(first + k) % segments.size()];
        text += texts.angles[segment.angle];
        text += texts.vertices[segment.end];
    }
    return text;
}

// Dense ranks 0, 1, ... of the values in ascending order; equal values share a rank.
template <class T>
std::vector<int> denseRanks(const std::vector<T>& values) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    std::vector<int> ranks(values.size());
    int rank = -1;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k == 0 || values[order[k - 1]] < values[order[k]])
            ++rank;
        ranks[order[k]] = rank;
    }
    return ranks;
}

// Stable counting sort of positions by their class (classes lie in 0 .. n-1).
std::vector<int> sortByClass(const std::vector<int>& positions, const std::vector<int>& classes) {
    std::vector<int> count(classes.size() + 1, 0);
    for (const int p : positions)
        ++count[static_cast<std::size_t>(classes[p]) + 1];
    std::partial_sum(count.begin(), count.end(), count.begin());
    std::vector<int> sorted(positions.size());
    for (const int p : positions)
        sorted[count[static_cast<std::size_t>(classes[p])]++] = p;
    return sorted;
}

// Classes of the rotations of a cyclic sequence of dense ranks: rotation s is smaller than
// rotation t exactly when its class is smaller; equal rotations share a class. Prefix
// doubling over cyclic substrings of length 1, 2, 4, ... in O(n log n); once the length
// reaches n, equal prefixes mean equal rotations.
std::vector<int> rotationClasses(const std::vector<int>& symbols) {
    const int n = static_cast<int>(symbols.size());
    std::vector<int> classes = symbols;
    std::vector<int> order(symbols.size());
    std::iota(order.begin(), order.end(), 0);
    order = sortByClass(order, classes);
    for (int length = 1; length < n; length *= 2) {
        // Sorted by the second half already: shift the order back by length.
        std::vector<int> bySecondHalf(order.size());
        for (std::size_t k = 0; k < order.size(); ++k) {
            bySecondHalf[k] = (order[k] - length + n) % n;
        }
        order = sortByClass(bySecondHalf, classes);
        std::vector<int> next(classes.size());
        const auto halves = [&](int p) { return std::pair(classes[p], classes[(p + length) % n]); };
        next[order[0]] = 0;
        for (std::size_t k = 1; k < order.size(); ++k) {
            next[order[k]] = next[order[k - 1]] + (halves(order[k - 1]) < halves(order[k]) ? 1 : 0);
        }
        classes = std::move(next);
        if (classes[order.back()] == n - 1)
            break;  // all rotations told apart
    }
    return classes;
}

// The start s minimising (starts[s], symbols[s], symbols[s+1], ... cyclically); the first
// such s on ties.
std::size_t smallestRotation(const std::vector<int>& starts, const std::vector<int>& symbols) {
    const std::vector<int> classes = rotationClasses(symbols);
    std::size_t best = 0;
    for (std::size_t s = 1; s < symbols.size(); ++s) {
        if (std::pair(starts[s], classes[s]) < std::pair(starts[best], classes[best]))
            best = s;
    }
    return best;
}

// The starting segments whose start point has the smallest text.
std::vector<std::size_t> startsAtLowestPoint(const PathTexts& texts,
                                             const std::vector<Segment>& segments) {
    std::vector<std::size_t> lowest{0};
    for (std::size_t s = 1; s < segments.size(); ++s) {
        const int order = texts.vertices[segments[s].start].compare(
            texts.vertices[segments[lowest.front()].start]);
        if (order < 0)
            lowest.clear();
        if (order <= 0)
            lowest.push_back(s);
    }
    return lowest;
}

// The smallest serialisation of a closed path over all its starting segments, found without
// building them all. Since pieces are prefix-free, byte order of candidates is the order of
// their piece sequences: the start point's pieces, then per segment its angle's piece and its
// end point's pieces. A start point lower than all others decides at once; otherwise each
// piece is replaced by its rank and the rotations are compared as sequences of ranks.
std::string smallestClosedCandidate(const PathTexts& texts, const std::vector<Segment>& segments) {
    const std::vector<std::size_t> lowest = startsAtLowestPoint(texts, segments);
    if (lowest.size() == 1)
        return Serialize(texts, segments, lowest.front());

    const std::vector<int> vertexRanks = denseRanks(texts.vertices);
    const std::vector<int> angleRanks = denseRanks(texts.angles);
    std::vector<int> starts(segments.size());
    std::vector<std::pair<int, int>> pieces(segments.size());
    for (std::size_t k = 0; k < segments.size(); ++k) {
        starts[k] = vertexRanks[segments[k].start];
        pieces[k] = {angleRanks[segments[k].angle], vertexRanks[segments[k].end]};
    }
    return Serialize(texts, segments, smallestRotation(starts, denseRanks(pieces)));
}

template <class Element, class KeyOf>
DedupResult findDuplicates(const std::vector<Element>& elements, KeyOf keyOf) {
    std::set<std::pair<int, std::string>> seen;
    DedupResult result;
    for (const Element& element : elements) {
        if (!seen.emplace(element.layer, keyOf(element)).second) {
            result.toDelete.push_back(element.sourceIndex);
        }
    }
    return result;
}

}  // namespace

std::string ComputeCanonicalKey(const PolylineGeometry& polyline) {
    const std::string kind = polyline.closed ? "closed:" : "open:";
    if (polyline.points.size() < 2)
        return kind + "empty";

    const PathTexts texts = pathTexts(polyline);
    const std::size_t segmentCount = polyline.points.size() - 1;
    const std::vector<Segment> forward = forwardSegments(segmentCount);
    const std::vector<Segment> reversed = reversedSegments(segmentCount);
    if (!polyline.closed) {
        return kind + std::min(Serialize(texts, forward, 0), Serialize(texts, reversed, 0));
    }
    return kind + std::min(smallestClosedCandidate(texts, forward),
                           smallestClosedCandidate(texts, reversed));
}

std::string ComputeTextKey(const TextGeometry& text) {
    std::string key;
    appendRounded(key, text.x);
    appendRounded(key, text.y);
    return key + text.text;
}

DedupResult FindDuplicatesToDelete(const std::vector<PolylineGeometry>& polylines) {
    return findDuplicates(polylines, ComputeCanonicalKey);
}

DedupResult FindDuplicateTextsToDelete(const std::vector<TextGeometry>& texts) {
    return findDuplicates(texts, ComputeTextKey);
}

namespace {

// ---- The menu command --------------------------------------------------------------------------

constexpr const char* kConfirmTitle = "Czyszczenie duplikatow";
constexpr const char* kConfirmText =
    "Usuwa zduplikowane POLILINIE i TEKSTY (ta sama geometria/tresc, pozycja i warstwa). Z "
    "kazdej grupy duplikatow zostaje jeden element, reszta jest kasowana.\n\nDziala na "
    "ZAZNACZENIU; gdy nic nie zaznaczono - na wszystkich poliliniach i tekstach aktywnego rzutu. "
    "Operacja cofalna (Undo).";
constexpr const char* kNothingToCheck = "Brak polilinii i tekstow do sprawdzenia.";
constexpr const char* kUndoName = "Usun duplikaty (polilinie + teksty)";
constexpr const char* kDeleteFailed =
    "Nie udalo sie usunac duplikatow - sprawdz, czy elementy nie leza na zablokowanej warstwie "
    "lub nie sa zablokowane/zgrupowane.";
constexpr const char* kNoneFound = "Nie znaleziono zduplikowanych polilinii ani tekstow.";

void inform(const std::string& text) {
    DG::InformationAlert(text, "", "OK");
}

std::optional<API_Element> readElement(const API_Guid& guid, API_ElemTypeID type) {
    API_Element element{};
    element.header.guid = guid;
    if (ACAPI_Element_Get(&element) != NoError || element.header.type.typeID != type) {
        return std::nullopt;
    }
    return element;
}

void CollectGuids(API_ElemTypeID type, const GS::Array<API_Neig>& selection, bool useSelection,
                  std::vector<API_Guid>& out) {
    if (!useSelection) {
        GS::Array<API_Guid> list;
        if (ACAPI_Element_GetElemList(type, &list, APIFilt_OnActFloor, APINULLGuid) != NoError) {
            return;
        }
        out.assign(list.begin(), list.end());
        return;
    }
    std::unordered_set<API_Guid> seen(out.begin(), out.end());
    for (const API_Neig& neig : selection) {
        if (readElement(neig.guid, type) && seen.insert(neig.guid).second)
            out.push_back(neig.guid);
    }
}

// A host vertex number (1-based) counted from 0; -1, which names no vertex, for one below 1.
int zeroBased(Int32 index) {
    return index > 0 ? index - 1 : -1;
}

bool allFinite(const std::vector<Point>& points, const std::vector<ArcBulge>& arcs) {
    const auto finitePoint = [](const Point& p) {
        return std::isfinite(p.x) && std::isfinite(p.y);
    };
    const auto finiteArc = [](const ArcBulge& a) { return std::isfinite(a.angle); };
    return std::all_of(points.begin(), points.end(), finitePoint) &&
           std::all_of(arcs.begin(), arcs.end(), finiteArc);
}

// The polyline's shape from its memo; nothing when it cannot be read, has fewer than two
// points, or holds coordinates or angles that are not numbers.
std::optional<PolylineGeometry> readPolyline(const API_Guid& guid, std::int64_t sourceIndex) {
    const auto element = readElement(guid, API_PolyLineID);
    if (!element)
        return std::nullopt;
    MemoGuard memo;
    if (ACAPI_Element_GetMemo(guid, memo.get(), APIMemoMask_Polygon) != NoError ||
        (*memo).coords == nullptr) {
        return std::nullopt;
    }
    const GSSize entries = BMGetTypedCount((*memo).coords);  // 1-based: entry 0 unused
    if (entries < 3)
        return std::nullopt;

    PolylineGeometry polyline;
    polyline.sourceIndex = sourceIndex;
    polyline.layer = element->header.layer;
    const API_Coord* coords = *(*memo).coords;
    for (GSSize i = 1; i < entries; ++i)
        polyline.points.push_back({coords[i].x, coords[i].y});
    const Point& first = polyline.points.front();
    const Point& last = polyline.points.back();
    polyline.closed = polyline.points.size() >= 3 && first.x == last.x && first.y == last.y;
    if ((*memo).parcs != nullptr) {
        const GSSize arcCount = BMGetTypedCount((*memo).parcs);
        for (GSSize i = 0; i < arcCount; ++i) {
            const API_PolyArc& arc = (*(*memo).parcs)[i];
            polyline.arcs.push_back(
                {zeroBased(arc.begIndex), zeroBased(arc.endIndex), arc.arcAngle});
        }
    }
    if (!allFinite(polyline.points, polyline.arcs))
        return std::nullopt;
    return polyline;
}

std::optional<TextGeometry> readText(const API_Guid& guid, std::int64_t sourceIndex) {
    const auto element = readElement(guid, API_TextID);
    if (!element)
        return std::nullopt;
    MemoGuard memo;
    if (ACAPI_Element_GetMemo(guid, memo.get(), APIMemoMask_TextContent) != NoError) {
        return std::nullopt;
    }
    const API_Coord& anchor = element->text.loc;
    if (!std::isfinite(anchor.x) || !std::isfinite(anchor.y))
        return std::nullopt;
    TextGeometry text{sourceIndex, element->header.layer, anchor.x, anchor.y, {}};
    if ((*memo).textContent != nullptr) {
        const char* content = *(*memo).textContent;
        const auto size = static_cast<std::size_t>(
            BMGetHandleSize(reinterpret_cast<GSConstHandle>((*memo).textContent)));
        text.text.assign(content, ::strnlen(content, size));
    }
    return text;
}

template <class Geometry, class Reader>
std::vector<Geometry> readAll(const std::vector<API_Guid>& guids, Reader read) {
    std::vector<Geometry> result;
    for (std::size_t i = 0; i < guids.size(); ++i) {
        if (auto geometry = read(guids[i], static_cast<std::int64_t>(i))) {
            result.push_back(std::move(*geometry));
        }
    }
    return result;
}

void appendGuids(const std::vector<API_Guid>& guids, const DedupResult& result,
                 GS::Array<API_Guid>& out) {
    for (const std::int64_t index : result.toDelete)
        out.Push(guids[static_cast<std::size_t>(index)]);
}

std::string summary(std::size_t polylines, std::size_t texts) {
    if (polylines + texts == 0)
        return kNoneFound;
    return "Usunieto duplikaty:\n- polilinie: " + std::to_string(polylines) +
           "\n- teksty: " + std::to_string(texts);
}

}  // namespace

void RunRemoveDuplicatesCommand() {
    if (DG::WarningAlert(kConfirmTitle, kConfirmText, "Uruchom", "Anuluj", "") != 1)
        return;

    API_SelectionInfo selectionInfo{};
    GS::Array<API_Neig> selection;
    const bool useSelection = ACAPI_Selection_Get(&selectionInfo, &selection, false, true,
                                                  API_InsidePartially) == NoError &&
                              selectionInfo.typeID != API_SelEmpty && !selection.IsEmpty();

    std::vector<API_Guid> polylineGuids;
    std::vector<API_Guid> textGuids;
    CollectGuids(API_PolyLineID, selection, useSelection, polylineGuids);
    CollectGuids(API_TextID, selection, useSelection, textGuids);
    if (polylineGuids.empty() && textGuids.empty()) {
        inform(kNothingToCheck);
        return;
    }

    const DedupResult polylines =
        FindDuplicatesToDelete(readAll<PolylineGeometry>(polylineGuids, readPolyline));
    const DedupResult texts =
        FindDuplicateTextsToDelete(readAll<TextGeometry>(textGuids, readText));
    GS::Array<API_Guid> toDelete;
    appendGuids(polylineGuids, polylines, toDelete);
    appendGuids(textGuids, texts, toDelete);

    if (!toDelete.IsEmpty() && ACAPI_CallUndoableCommand(kUndoName, [&] {
                                   return ACAPI_Element_Delete(toDelete);
                               }) != NoError) {
        inform(kDeleteFailed);
        return;
    }
    inform(summary(polylines.toDelete.size(), texts.toDelete.size()));
}

}  // namespace PolylineCleaner
