#pragma once
// Removal of duplicate polylines and texts. Two polylines are duplicates when they lie on the
// same layer and have the same shape after rounding to millimetres, whatever their direction
// and, for closed ones, whatever vertex they start at; two texts when they lie on the same
// layer at the same rounded position with the same content. The first of each group stays.
//
// The key and grouping functions are pure; RunRemoveDuplicatesCommand is the menu command
// that reads the elements from the host and deletes the duplicates in one undoable step.

#include <cstdint>
#include <string>
#include <vector>

namespace PolylineCleaner {

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// An arc between vertex `from` and vertex `to` (0-based), with the host's signed arc angle.
struct ArcBulge {
    int from = 0;
    int to = 0;
    double angle = 0.0;
};

struct PolylineGeometry {
    std::int64_t sourceIndex = 0;  // position in the list of collected polylines
    int layer = 0;
    bool closed = false;
    std::vector<Point> points;
    std::vector<ArcBulge> arcs;
};

struct TextGeometry {
    std::int64_t sourceIndex = 0;
    int layer = 0;
    double x = 0.0;
    double y = 0.0;
    std::string text;  // UTF-8
};

struct DedupResult {
    std::vector<std::int64_t> toDelete;  // sourceIndex values, in input order
};

// "open:" or "closed:" followed by the smallest of the polyline's serialisations over both
// directions and, when closed, every starting segment; "open:empty" / "closed:empty" below
// two points.
std::string ComputeCanonicalKey(const PolylineGeometry& polyline);

// Rounded x, rounded y, then the text's bytes.
std::string ComputeTextKey(const TextGeometry& text);

DedupResult FindDuplicatesToDelete(const std::vector<PolylineGeometry>& polylines);
DedupResult FindDuplicateTextsToDelete(const std::vector<TextGeometry>& texts);

// The menu command: confirmation, the selection or else the active floor plan, one undoable
// deletion, a summary.
void RunRemoveDuplicatesCommand();

}  // namespace PolylineCleaner
