#pragma once
// What the creators share: the steps of making one element, and the point lists and polygon memo
// as the host keeps them.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "APIdefs.h"
#include "ElementMemo.h"
#include "geodata/GisTypes.h"

namespace AcImporter::detail {

// One element on its way into the project: its record starts from the host's defaults for the
// type, the creator fills in its fields and memo, and the memo's handles are released when it
// ends, whether the element was created or not.
class NewElement {
public:
    explicit NewElement(API_ElemTypeID type);

    // ACAPI_Element_GetDefaults of the type; the memo is left empty.
    GSErrCode loadDefaults();
    API_Element& record() { return element_; }
    API_ElementMemo& memo() { return *memo_.get(); }
    // ACAPI_Element_Create of the record and memo; *created (when given) tells whether it was.
    GSErrCode create(bool* created);
    // Gives the created element the ID text; a failure leaves it without one.
    void setId(const std::string& id) const;

private:
    API_Element element_{};
    MemoGuard memo_;
};

// Writes the text into a fixed text field of a host record: cut to fit, zero-terminated, the rest
// of the field cleared, whatever the field held before.
template <std::size_t N>
void copyText(char (&field)[N], std::string_view text) {
    static_assert(N > 0);
    const std::size_t length = std::min(text.size(), N - 1);
    std::fill(std::copy_n(text.begin(), length, field), field + N, '\0');
}

// Sets *created (when given) to no; creators start with it.
inline void nothingCreatedYet(bool* created) {
    if (created != nullptr)
        *created = false;
}

inline bool isFinite(const GisPoint& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The points that are finite numbers, in order.
std::vector<GisPoint> finitePoints(const std::vector<GisPoint>& points);

// Whether the points hold at least 3 different positions.
bool hasThreeDistinct(const std::vector<GisPoint>& points);

// A copy of the ring ending on its first point: the first point is appended when the last one
// differs from it (exactly). An empty ring stays empty.
std::vector<GisPoint> closedRing(const std::vector<GisPoint>& points);

// Writes the rings into the memo's coordinate and ring-end handles as the host keeps a polygon:
// coordinates from entry 1, ring by ring, with entry 0 a dummy point whose x is -1 for a polyline
// (0 otherwise); ring ends from entry 1, each the index of its ring's last coordinate, entry 0
// being 0. kNoHandle when a handle cannot be had (what was allocated stays in the memo).
GSErrCode fillPolyMemo(API_ElementMemo& memo, const std::vector<std::vector<GisPoint>>& rings,
                       bool polylineMarker);

// The polygon's counts as the memo's handles give them; no arcs.
void setPolySizes(API_Polygon& polygon, const API_ElementMemo& memo);

}  // namespace AcImporter::detail
