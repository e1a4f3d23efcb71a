// Plan elements: polylines, hatches, slabs, texts and pictures.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "ACAPinc.h"
#include "geodata/ProjConv.h"
#include "import/ImageType.h"
#include "import/creators/AcImporter.h"
#include "import/creators/ElementBuild.h"

namespace AcImporter {
namespace {

using detail::NewElement;
using Rings = std::vector<std::vector<GisPoint>>;

// Whether r, g, b (each 0..255) give a colour: none of them is negative.
bool hasColour(int r, int g, int b) {
    return (r | g | b) >= 0;
}

void setOwnColour(API_HatchType& hatch, int r, int g, int b) {
    hatch.hatchFlags |= APIHatch_OwnFillColor;
    hatch.ownColor = {r / 255.0, g / 255.0, b / 255.0};
}

// The rings of an area, each closed, the outline first; holes with fewer than 3 distinct points
// are left out. Nothing when the outline has fewer than 3 distinct points.
std::optional<Rings> areaRings(const GisPolygon& polygon) {
    const std::vector<GisPoint> outer = detail::finitePoints(polygon.outer);
    if (!detail::hasThreeDistinct(outer))
        return std::nullopt;
    Rings rings{detail::closedRing(outer)};
    for (const auto& hole : polygon.holes) {
        const std::vector<GisPoint> finite = detail::finitePoints(hole);
        if (detail::hasThreeDistinct(finite))
            rings.push_back(detail::closedRing(finite));
    }
    return rings;
}

// A hatch of the polygon whose fields `style` sets after the layer.
template <class Style>
GSErrCode createArea(const GisPolygon& polygon, API_AttributeIndex layer, Style style,
                     bool* created) {
    detail::nothingCreatedYet(created);
    const std::optional<Rings> rings = areaRings(polygon);
    if (!rings)
        return NoError;
    NewElement hatch(API_HatchID);
    if (const GSErrCode err = hatch.loadDefaults())
        return err;
    hatch.record().header.layer = layer;
    style(hatch.record().hatch);
    if (const GSErrCode err = detail::fillPolyMemo(hatch.memo(), *rings, false))
        return err;
    detail::setPolySizes(hatch.record().hatch.poly, hatch.memo());
    return hatch.create(created);
}

// The image's box corners A (minx, miny), B (maxx, miny) and C (minx, maxy) in the project's zone;
// nothing when the conversion does not know one of the codes.
std::optional<std::array<GisPoint, 3>> cornersInZone(const Bbox& box, int boxEpsg,
                                                     int projectEpsg) {
    std::array<GisPoint, 3> corners = {GisPoint{box.minx, box.miny}, GisPoint{box.maxx, box.miny},
                                       GisPoint{box.minx, box.maxy}};
    if (boxEpsg == projectEpsg)
        return corners;
    try {
        for (GisPoint& c : corners) {
            const GisPoint pl1992 =
                boxEpsg == 2180 ? c : ProjConv::pl2000toPl1992(c.x, c.y, boxEpsg);
            c = ProjConv::pl1992ToPl2000(pl1992.x, pl1992.y, projectEpsg);
        }
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
    return corners;
}

GSErrCode fillPicture(NewElement& picture, const std::string& image, std::string_view mimeType,
                      const std::array<GisPoint, 3>& local) {
    const GisPoint& a = local[0];
    const double width = std::hypot(local[1].x - a.x, local[1].y - a.y);
    const double height = std::hypot(local[2].x - a.x, local[2].y - a.y);
    API_PictureType& record = picture.record().picture;
    record.destBox = {a.x, a.y, a.x + width, a.y + height};
    record.origBox = record.destBox;
    record.rotAngle = std::atan2(local[1].y - a.y, local[1].x - a.x);
    detail::copyText(record.mimeType, mimeType);
    record.stretchToBox = true;
    const GSHandle bytes = BMAllocateHandle(static_cast<GSSize>(image.size()));
    if (bytes == nullptr)
        return kNoHandle;
    std::memcpy(*bytes, image.data(), image.size());
    picture.memo().pictHdl = bytes;
    return NoError;
}

// A picture of the image over the local corners A (lower left), B (lower right) and C (upper
// left).
GSErrCode placePicture(const std::string& image, std::string_view mimeType,
                       const std::array<GisPoint, 3>& local, API_AttributeIndex layer,
                       bool* created) {
    NewElement picture(API_PictureID);
    if (const GSErrCode err = picture.loadDefaults())
        return err;
    picture.record().header.layer = layer;
    if (const GSErrCode err = fillPicture(picture, image, mimeType, local))
        return err;
    return picture.create(created);
}

// The name of a drawing that holds a map image.
constexpr std::string_view kRasterDrawingName = "GIS rastr";

// A drawing of the drawing data (which its memo owns from the start, whatever happens) with its
// origin at the corner, showing the whole extent.
GSErrCode placeDrawing(GSHandle data, const API_Box& extent, const GisPoint& corner,
                       API_AttributeIndex layer) {
    NewElement drawing(API_DrawingID);
    drawing.memo().drawingData = data;
    if (const GSErrCode err = drawing.loadDefaults())
        return err;
    API_Element& record = drawing.record();
    record.header.layer = layer;
    record.drawing.pos = {corner.x, corner.y};
    detail::copyText(record.drawing.name, kRasterDrawingName);
    const std::vector<GisPoint> clip = {{extent.xMin, extent.yMin},
                                        {extent.xMax, extent.yMin},
                                        {extent.xMax, extent.yMax},
                                        {extent.xMin, extent.yMax}};
    if (const GSErrCode err =
            detail::fillPolyMemo(drawing.memo(), {detail::closedRing(clip)}, false))
        return err;
    detail::setPolySizes(record.drawing.poly, drawing.memo());
    return drawing.create(nullptr);
}

}  // namespace

GSErrCode createPolyLine(const std::vector<GisPoint>& points, API_AttributeIndex layer, short pen,
                         bool* created) {
    detail::nothingCreatedYet(created);
    const std::vector<GisPoint> line = detail::finitePoints(points);
    if (line.size() < 2)
        return NoError;
    NewElement polyline(API_PolyLineID);
    if (const GSErrCode err = polyline.loadDefaults())
        return err;
    polyline.record().header.layer = layer;
    polyline.record().polyLine.contPen = pen;
    if (const GSErrCode err = detail::fillPolyMemo(polyline.memo(), {line}, true))
        return err;
    detail::setPolySizes(polyline.record().polyLine.poly, polyline.memo());
    return polyline.create(created);
}

GSErrCode createHatchArea(const GisPolygon& polygon, API_AttributeIndex layer, short pen,
                          const char* fill, int r, int g, int b, bool* created) {
    return createArea(
        polygon, layer,
        [&](API_HatchType& hatch) {
            hatch.contPen = pen;
            hatch.fillFgPen = pen;
            hatch.fillBgPen = 0;
            const API_AttributeIndex vectorFill =
                AttributeCache::vectorFillIndex(fill != nullptr ? fill : "");
            if (vectorFill != 0)
                hatch.fillInd = vectorFill;
            if (hasColour(r, g, b))
                setOwnColour(hatch, r, g, b);
        },
        created);
}

GSErrCode createFill(const GisPolygon& polygon, API_AttributeIndex layer, short pen, int r, int g,
                     int b, bool* created) {
    return createArea(
        polygon, layer,
        [&](API_HatchType& hatch) {
            hatch.contPen = pen;
            if (!hasColour(r, g, b))
                return;
            if (const API_AttributeIndex solid = AttributeCache::solidFillIndex())
                hatch.fillInd = solid;
            setOwnColour(hatch, r, g, b);
        },
        created);
}

GSErrCode createSlabBox(const std::vector<GisPoint>& ring, double baseZ, double height,
                        API_AttributeIndex layer, const std::string& id, bool* created) {
    detail::nothingCreatedYet(created);
    const std::vector<GisPoint> outline = detail::finitePoints(ring);
    if (!(height > 0) || !std::isfinite(height) || !std::isfinite(baseZ) ||
        !detail::hasThreeDistinct(outline)) {
        return NoError;
    }
    NewElement slab(API_SlabID);
    if (const GSErrCode err = slab.loadDefaults())
        return err;
    API_Element& record = slab.record();
    record.header.layer = layer;
    record.slab.level = baseZ;
    record.slab.referencePlane = APISlabRef_Bottom;
    record.slab.thickness = height;
    if (const API_AttributeIndex material = AttributeCache::buildingMaterialForMasses())
        record.slab.buildingMaterial = material;
    if (const GSErrCode err =
            detail::fillPolyMemo(slab.memo(), {detail::closedRing(outline)}, false))
        return err;
    detail::setPolySizes(record.slab.poly, slab.memo());
    if (const GSErrCode err = slab.create(created))
        return err;
    if (!id.empty())
        slab.setId(id);
    return NoError;
}

GSErrCode createText(const GisPoint& position, const std::string& text, API_AttributeIndex layer,
                     short pen, double size, double angle, bool* created) {
    detail::nothingCreatedYet(created);
    if (text.empty() || !detail::isFinite(position))
        return NoError;
    NewElement label(API_TextID);
    if (const GSErrCode err = label.loadDefaults())
        return err;
    API_TextType& record = label.record().text;
    label.record().header.layer = layer;
    record.pen = pen;
    record.size = size;
    record.loc = {position.x, position.y};
    if (std::isfinite(angle))
        record.angle = angle;
    record.anchor = APIAnc_LM;
    record.nonBreaking = true;
    const std::string content = GS::UniString(text).ToUtf8();  // invalid UTF-8 replaced
    char** handle = BMAllocateTypedHandle<char>(static_cast<GSSize>(content.size()) + 1);
    if (handle == nullptr)
        return kNoHandle;
    std::memcpy(*handle, content.c_str(), content.size() + 1);
    label.memo().textContent = handle;
    return label.create(created);
}

GSErrCode createPicture(const std::string& image, const Bbox& box, int boxEpsg,
                        const GeoTransform& frame, int projectEpsg, API_AttributeIndex layer,
                        bool* created) {
    detail::nothingCreatedYet(created);
    if (image.empty())
        return NoError;
    const std::string_view mimeType = imageMimeType(image);
    const auto corners = cornersInZone(box, boxEpsg, projectEpsg);
    if (mimeType.empty() || !corners)
        return APIERR_BADPARS;
    std::array<GisPoint, 3> local{};
    std::transform(corners->begin(), corners->end(), local.begin(),
                   [&](const GisPoint& c) { return frame.toLocal(c); });
    if (!std::all_of(local.begin(), local.end(), detail::isFinite))
        return NoError;
    return placePicture(image, mimeType, local, layer, created);
}

GSErrCode createDrawingRaster(const std::string& image, const Bbox& box, const GeoTransform& frame,
                              API_AttributeIndex layer) {
    const double width = box.maxx - box.minx;
    const double height = box.maxy - box.miny;
    if (image.empty() || !(width > 0) || !(height > 0))
        return NoError;
    const std::string_view mimeType = imageMimeType(image);
    if (mimeType.empty())
        return APIERR_BADPARS;
    const GisPoint corner = frame.toLocal({box.minx, box.miny});
    if (!detail::isFinite(corner))
        return NoError;
    if (const GSErrCode err = ACAPI_Drawing_StartDrawingData(1.0, nullptr))
        return err;
    // Whatever becomes of the picture, the drawing data is closed; a picture that could not be
    // made leaves it empty, which the missing data below tells.
    placePicture(image, mimeType, {GisPoint{0, 0}, GisPoint{width, 0}, GisPoint{0, height}}, layer,
                 nullptr);
    GSHandle data = nullptr;
    API_Box extent{};
    if (const GSErrCode err = ACAPI_Drawing_StopDrawingData(&data, &extent))
        return err;
    if (data == nullptr)
        return kNoDrawingData;
    return placeDrawing(data, extent, corner, layer);
}

}  // namespace AcImporter
