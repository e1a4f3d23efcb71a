#include "ProjectDump.h"

#include "HostTestApi.h"

namespace host {
namespace {

using out_json = nlohmann::ordered_json;

out_json coordsJson(const std::vector<API_Coord>& coords) {
    out_json out = out_json::array();
    for (const auto& c : coords)
        out.push_back({c.x, c.y});
    return out;
}

out_json colourJson(const API_RGBColor& c) {
    return {c.f_red, c.f_green, c.f_blue};
}

out_json boxJson(const API_Box& b) {
    return {b.xMin, b.yMin, b.xMax, b.yMax};
}

void addPolyLine(const API_PolyLineType& polyLine, out_json& out) {
    out["pen"] = polyLine.contPen;
}

void addHatch(const API_HatchType& hatch, out_json& out) {
    out["pens"] = {
        {"contour", hatch.contPen}, {"fill", hatch.fillFgPen}, {"background", hatch.fillBgPen}};
    out["fill"] = hatch.fillInd;
    if ((hatch.hatchFlags & APIHatch_OwnFillColor) != 0)
        out["ownColor"] = colourJson(hatch.ownColor);
}

void addSlab(const API_SlabType& slab, out_json& out) {
    out["level"] = slab.level;
    out["thickness"] = slab.thickness;
    out["reference"] = slab.referencePlane == APISlabRef_Bottom ? "bottom" : "top";
    out["buildingMaterial"] = slab.buildingMaterial;
}

void addMesh(const ElementSnapshot& e, out_json& out) {
    out["level"] = e.element.mesh.level;
    out["levelLines"] = e.element.mesh.levelLines == APIMeshLevel_Ridge ? "ridge" : "smooth";
    out_json points = out_json::array();
    for (const auto& p : e.meshLevelCoords)
        points.push_back({p.c.x, p.c.y, p.c.z});
    out["levelPoints"] = points;
    out["levelEnds"] = e.meshLevelEnds;
}

void addText(const ElementSnapshot& e, out_json& out) {
    const API_TextType& text = e.element.text;
    out["text"] = e.textContent;
    out["loc"] = {text.loc.x, text.loc.y};
    out["pen"] = text.pen;
    out["size"] = text.size;
    out["angle"] = text.angle;
    out["anchor"] = static_cast<int>(text.anchor);
}

void addPicture(const ElementSnapshot& e, out_json& out) {
    const API_PictureType& picture = e.element.picture;
    out["mime"] = picture.mimeType;
    out["bytes"] = e.picture.size();
    out["destBox"] = boxJson(picture.destBox);
    out["origBox"] = boxJson(picture.origBox);
    out["rotation"] = picture.rotAngle;
    out["stretch"] = picture.stretchToBox;
}

out_json elementJson(const ElementSnapshot& e);

// A drawing's place and name, and its drawing data: the scale and the elements it holds, each as
// the project's elements are dumped, in the drawing's own coordinates.
void addDrawing(const ElementSnapshot& e, out_json& out) {
    const API_DrawingType& drawing = e.element.drawing;
    out["name"] = drawing.name;
    out["pos"] = {drawing.pos.x, drawing.pos.y};
    out["scale"] = e.drawingScale;
    out_json content = out_json::array();
    for (const ElementSnapshot& inside : e.drawing)
        content.push_back(elementJson(inside));
    out["content"] = content;
}

void addBody(const MorphBody& body, out_json& out) {
    out_json vertices = out_json::array(), edges = out_json::array(), polygons = out_json::array(),
             materials = out_json::array();
    for (const auto& v : body.vertices)
        vertices.push_back({v.x, v.y, v.z});
    for (const auto& e : body.edges)
        edges.push_back({e.from, e.to});
    for (const auto& p : body.polygons) {
        polygons.push_back(p.edges);
        materials.push_back(p.material);
    }
    out["body"] = {
        {"vertices", vertices}, {"edges", edges}, {"polygons", polygons}, {"materials", materials}};
}

// The fields of the element's own type.
void addTypeFields(const ElementSnapshot& e, out_json& out) {
    switch (e.element.header.type.typeID) {
        case API_PolyLineID:
            return addPolyLine(e.element.polyLine, out);
        case API_HatchID:
            return addHatch(e.element.hatch, out);
        case API_SlabID:
            return addSlab(e.element.slab, out);
        case API_MeshID:
            return addMesh(e, out);
        case API_TextID:
            return addText(e, out);
        case API_PictureID:
            return addPicture(e, out);
        case API_DrawingID:
            return addDrawing(e, out);
        default:
            return;
    }
}

out_json elementJson(const ElementSnapshot& e) {
    const auto& head = e.element.header;
    out_json out = {{"guid", APIGuidToString(head.guid).ToUtf8()},
                    {"type", static_cast<int>(head.type.typeID)},
                    {"layer", head.layer},
                    {"floor", head.floorInd}};
    if (!e.coords.empty())
        out["coords"] = coordsJson(e.coords);
    if (!e.pends.empty())
        out["pends"] = e.pends;
    if (!e.meshPolyZ.empty())
        out["z"] = e.meshPolyZ;
    if (!e.arcs.empty()) {
        out_json arcs = out_json::array();
        for (const auto& a : e.arcs)
            arcs.push_back({a.begIndex, a.endIndex, a.arcAngle});
        out["arcs"] = arcs;
    }
    addTypeFields(e, out);
    if (e.body)
        addBody(*e.body, out);
    if (!e.infoString.empty())
        out["id"] = e.infoString;
    return out;
}

out_json attributesJson(API_AttrTypeID type) {
    out_json out = out_json::array();
    for (const auto& a : attributes(type)) {
        out.push_back(
            {{"index", a.header.index}, {"name", a.header.name}, {"flags", a.header.flags}});
    }
    return out;
}

out_json geoLocationJson(const API_GeoLocation& g) {
    const auto& p = g.placeInfo;
    const auto& s = g.surveyPoint;
    const auto& r = s.geoReferenceData;
    return {{"longitude", p.longitude},
            {"latitude", p.latitude},
            {"altitude", p.altitude},
            {"north", p.north},
            {"timeZoneInMinutes", p.timeZoneInMinutes},
            {"surveyPoint",
             {{"position", {s.position.x, s.position.y, s.position.z}},
              {"eastings", s.eastings},
              {"northings", s.northings},
              {"orthogonalHeight", s.orthogonalHeight},
              {"xAxisAbscissa", s.xAxisAbscissa},
              {"xAxisOrdinate", s.xAxisOrdinate},
              {"scale", s.scale}}},
            {"crs",
             {{"name", r.name.ToUtf8()},
              {"description", r.description.ToUtf8()},
              {"geodeticDatum", r.geodeticDatum.ToUtf8()},
              {"verticalDatum", r.verticalDatum.ToUtf8()},
              {"mapProjection", r.mapProjection.ToUtf8()},
              {"mapZone", r.mapZone.ToUtf8()}}}};
}

// The selected elements by their position in the project's element list.
out_json selectionJson(const std::vector<ElementSnapshot>& all) {
    out_json out = out_json::array();
    for (const API_Guid& guid : selection()) {
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i].element.header.guid == guid)
                out.push_back(i);
        }
    }
    return out;
}

}  // namespace

nlohmann::ordered_json projectJson() {
    const auto all = elements();
    out_json list = out_json::array();
    for (const auto& e : all)
        list.push_back(elementJson(e));
    return {{"layers", attributesJson(API_LayerID)},
            {"materials", attributesJson(API_MaterialID)},
            {"elements", list},
            {"geoLocation", geoLocationJson(geoLocation())},
            {"selection", selectionJson(all)},
            {"undoDepth", undoDepth()}};
}

}  // namespace host
