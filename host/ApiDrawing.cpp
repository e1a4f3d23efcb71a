// Drawing data: elements gathered apart from the project, handed back as one block of bytes for a
// drawing element's memo.

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "ACAPinc.h"
#include "HandleBytes.h"
#include "HostState.h"

using host::detail::DrawingData;
using host::detail::enter;
using host::detail::put;
using host::detail::state;
using host::detail::StoredElement;
using host::detail::take;

namespace {

static_assert(std::is_trivially_copyable_v<API_Element>);

// Block layout: the scale and the element count; per element its record, its ID text, its memo
// field count and, per field, the field's number and bytes. A text is its length, then its bytes.
void putText(std::string& out, const std::string& text) {
    put(out, static_cast<UInt64>(text.size()));
    out += text;
}

bool takeText(const std::string& in, std::size_t& at, std::string& text) {
    UInt64 size = 0;
    if (!take(in, at, size) || size > in.size() - at)
        return false;
    text = in.substr(at, static_cast<std::size_t>(size));
    at += static_cast<std::size_t>(size);
    return true;
}

void putElement(std::string& out, const StoredElement& e) {
    put(out, e.element);
    putText(out, e.infoString);
    put(out, static_cast<UInt32>(e.memo.size()));
    for (const auto& [field, bytes] : e.memo) {
        put(out, static_cast<UInt32>(field));
        putText(out, bytes);
    }
}

bool takeElement(const std::string& in, std::size_t& at, StoredElement& e) {
    UInt32 fields = 0;
    if (!take(in, at, e.element) || !takeText(in, at, e.infoString) || !take(in, at, fields))
        return false;
    for (UInt32 i = 0; i < fields; ++i) {
        UInt32 field = 0;
        std::string bytes;
        if (!take(in, at, field) || field >= host::detail::kMemoFieldCount ||
            !takeText(in, at, bytes)) {
            return false;
        }
        e.memo[field] = std::move(bytes);
    }
    return true;
}

// The smallest box around the points given to it.
class Extent {
public:
    void add(const API_Coord& c) {
        box_ = {std::min(box_.xMin, c.x), std::min(box_.yMin, c.y), std::max(box_.xMax, c.x),
                std::max(box_.yMax, c.y)};
    }
    // The box, or an empty one at the origin when no point was given.
    API_Box box() const { return box_.xMin <= box_.xMax ? box_ : API_Box{}; }

private:
    static constexpr double kInf = std::numeric_limits<double>::infinity();
    API_Box box_{kInf, kInf, -kInf, -kInf};
};

// The destination box's corners, turned about its lower-left corner as the picture is.
void addPicture(Extent& extent, const API_PictureType& picture) {
    const API_Box& b = picture.destBox;
    const double c = std::cos(picture.rotAngle), s = std::sin(picture.rotAngle);
    for (const API_Coord& corner : {API_Coord{b.xMin, b.yMin}, API_Coord{b.xMax, b.yMin},
                                    API_Coord{b.xMax, b.yMax}, API_Coord{b.xMin, b.yMax}}) {
        const double x = corner.x - b.xMin, y = corner.y - b.yMin;
        extent.add({b.xMin + c * x - s * y, b.yMin + s * x + c * y});
    }
}

// The polygon coordinates of the memo (entry 0 unused).
void addCoords(Extent& extent, const StoredElement& e) {
    const auto it = e.memo.find(host::detail::kCoords);
    if (it == e.memo.end())
        return;
    const std::string& bytes = it->second;
    std::size_t at = sizeof(API_Coord);
    for (API_Coord c{}; take(bytes, at, c);)
        extent.add(c);
}

// Where the elements lie: their polygons' coordinates, pictures' boxes and texts' anchors.
API_Box extentOf(const std::vector<StoredElement>& elements) {
    Extent extent;
    for (const StoredElement& e : elements) {
        addCoords(extent, e);
        if (e.element.header.type.typeID == API_PictureID)
            addPicture(extent, e.element.picture);
        if (e.element.header.type.typeID == API_TextID)
            extent.add(e.element.text.loc);
    }
    return extent.box();
}

}  // namespace

namespace host::detail {

std::string encodeDrawing(const DrawingData& drawing) {
    std::string out;
    put(out, drawing.scale);
    put(out, static_cast<UInt32>(drawing.elements.size()));
    for (const StoredElement& e : drawing.elements)
        putElement(out, e);
    return out;
}

std::optional<DrawingData> decodeDrawing(const std::string& bytes) {
    std::size_t at = 0;
    DrawingData drawing;
    UInt32 count = 0;
    if (!take(bytes, at, drawing.scale) || !take(bytes, at, count))
        return std::nullopt;
    for (UInt32 i = 0; i < count; ++i) {
        StoredElement e{};
        if (!takeElement(bytes, at, e))
            return std::nullopt;
        drawing.elements.push_back(std::move(e));
    }
    if (at != bytes.size())
        return std::nullopt;
    return drawing;
}

}  // namespace host::detail

GSErrCode ACAPI_Drawing_StartDrawingData(double drawingScale, const API_PenType* penTable) {
    if (const auto err = enter("ACAPI_Drawing_StartDrawingData"))
        return *err;
    if (!(drawingScale > 0) || !std::isfinite(drawingScale))
        return APIERR_BADPARS;
    if (penTable != nullptr)
        return APIERR_NOTSUPPORTED;
    auto& open = state().openDrawing;
    if (open)
        return APIERR_REFUSEDCMD;
    open = DrawingData{drawingScale, {}};
    return NoError;
}

GSErrCode ACAPI_Drawing_StopDrawingData(GSHandle* drawingData, API_Box* boundingBox) {
    if (const auto err = enter("ACAPI_Drawing_StopDrawingData"))
        return *err;
    if (drawingData == nullptr || boundingBox == nullptr)
        return APIERR_BADPARS;
    auto& open = state().openDrawing;
    if (!open)
        return APIERR_REFUSEDCMD;
    const DrawingData drawing = std::move(*open);
    open.reset();
    *drawingData = nullptr;
    *boundingBox = {};
    if (drawing.elements.empty())
        return NoError;
    *drawingData = host::detail::handleOf(host::detail::encodeDrawing(drawing));
    if (*drawingData == nullptr)
        return APIERR_MEMFULL;
    *boundingBox = extentOf(drawing.elements);
    return NoError;
}
