#include "import/creators/ElementBuild.h"

#include <algorithm>

#include "ACAPinc.h"
#include "import/creators/AcImporter.h"

namespace AcImporter::detail {

NewElement::NewElement(API_ElemTypeID type) {
    element_.header.type = type;
}

GSErrCode NewElement::loadDefaults() {
    return ACAPI_Element_GetDefaults(&element_, nullptr);
}

GSErrCode NewElement::create(bool* created) {
    const GSErrCode err = ACAPI_Element_Create(&element_, memo_.get());
    if (created != nullptr)
        *created = err == NoError;
    return err;
}

void NewElement::setId(const std::string& id) const {
    const GS::UniString text(id);
    ACAPI_Element_ChangeElementInfoString(&element_.header.guid, &text);
}

std::vector<GisPoint> finitePoints(const std::vector<GisPoint>& points) {
    std::vector<GisPoint> finite;
    finite.reserve(points.size());
    std::copy_if(points.begin(), points.end(), std::back_inserter(finite),
                 [](const GisPoint& p) { return isFinite(p); });
    return finite;
}

bool hasThreeDistinct(const std::vector<GisPoint>& points) {
    std::vector<GisPoint> seen;
    for (const GisPoint& p : points) {
        const bool known = std::any_of(seen.begin(), seen.end(),
                                       [&](const GisPoint& q) { return q.x == p.x && q.y == p.y; });
        if (!known)
            seen.push_back(p);
        if (seen.size() == 3)
            return true;
    }
    return false;
}

std::vector<GisPoint> closedRing(const std::vector<GisPoint>& points) {
    std::vector<GisPoint> ring = points;
    if (!ring.empty() && (ring.front().x != ring.back().x || ring.front().y != ring.back().y))
        ring.push_back(ring.front());
    return ring;
}

GSErrCode fillPolyMemo(API_ElementMemo& memo, const std::vector<std::vector<GisPoint>>& rings,
                       bool polylineMarker) {
    GSSize total = 0;
    for (const auto& ring : rings)
        total += static_cast<GSSize>(ring.size());
    memo.coords = BMAllocateTypedHandle<API_Coord>(total + 1);
    memo.pends = BMAllocateTypedHandle<Int32>(static_cast<GSSize>(rings.size()) + 1);
    if (memo.coords == nullptr || memo.pends == nullptr)
        return kNoHandle;
    API_Coord* coords = *memo.coords;
    Int32* ends = *memo.pends;
    coords[0] = {polylineMarker ? -1.0 : 0.0, 0.0};
    ends[0] = 0;
    Int32 at = 0;
    for (std::size_t r = 0; r < rings.size(); ++r) {
        for (const GisPoint& p : rings[r])
            coords[++at] = {p.x, p.y};
        ends[r + 1] = at;
    }
    return NoError;
}

void setPolySizes(API_Polygon& polygon, const API_ElementMemo& memo) {
    polygon.nCoords = static_cast<Int32>(BMGetTypedCount(memo.coords)) - 1;
    polygon.nSubPolys = static_cast<Int32>(BMGetTypedCount(memo.pends)) - 1;
    polygon.nArcs = 0;
}

}  // namespace AcImporter::detail
