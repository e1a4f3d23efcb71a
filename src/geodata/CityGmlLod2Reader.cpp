#include "geodata/CityGmlLod2Reader.h"

#include <algorithm>
#include <cstdint>

#include "geodata/CityGmlReader.h"
#include "geodata/GeoBounds.h"

namespace {

void append(Lod2Face& face, const std::vector<citygml::P3>& positions) {
    for (const citygml::P3& p : positions) {
        face.xy.push_back({p.x, p.y});
        face.z.push_back(p.z);
    }
}

// One face from a LinearRing: its pos children (the first three numbers of each) and its
// posList children, in document order.
Lod2Face readRing(pugi::xml_node ring) {
    Lod2Face face;
    for (pugi::xml_node child = ring.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        const std::string_view name = citygml::localName(child);
        if (name == "pos") {
            append(face, citygml::parsePosList(child.child_value(), 1));
        } else if (name == "posList") {
            append(face, citygml::parsePosList(child.child_value()));
        }
    }
    return face;
}

// Every ring below the element with at least three points, in document order.
std::vector<Lod2Face> collectFaces(pugi::xml_node element) {
    std::vector<Lod2Face> faces;
    citygml::walkElements(element, [&](pugi::xml_node node) {
        if (citygml::localName(node) != "LinearRing")
            return true;
        Lod2Face face = readRing(node);
        if (face.xy.size() >= 3)
            faces.push_back(std::move(face));
        return false;
    });
    return faces;
}

std::int32_t roofType(pugi::xml_node building) {
    const pugi::xml_node code = citygml::findChild(building, "roofType");
    return code ? citygml::leadingInteger(code.child_value()) : 0;
}

Bbox faceExtent(const std::vector<Lod2Face>& faces) {
    Bbox box = citygml::boxOf(faces.front().xy);
    for (const Lod2Face& face : faces)
        box = citygml::merged(box, citygml::boxOf(face.xy));
    return box;
}

// Whether every point of every face lies within reach of the frame, in plan and in height.
bool isNear(const std::vector<Lod2Face>& faces, const Bbox& frame) {
    return std::all_of(faces.begin(), faces.end(), [&frame](const Lod2Face& face) {
        return geobounds::allNearFrame(face.xy, frame) &&
               std::all_of(face.z.begin(), face.z.end(), geobounds::heightNearFrame);
    });
}

}  // namespace

std::vector<BuildingLod2> CityGmlLod2Reader::parseSheet(std::string_view xml, const Bbox& box,
                                                        citygml::SheetTally* tally) {
    std::vector<BuildingLod2> buildings;
    pugi::xml_document doc;
    citygml::SheetTally unused;
    citygml::SheetTally& told = tally != nullptr ? *tally : unused;
    told.parsed = static_cast<bool>(doc.load_buffer(xml.data(), xml.size()));
    if (!told.parsed)
        return buildings;
    for (const pugi::xml_node element : citygml::findAll(doc, "Building")) {
        BuildingLod2 building;
        building.id = element.attribute("gml:id").value();
        building.roofType = roofType(element);
        building.faces = collectFaces(element);
        if (building.faces.empty())
            continue;
        if (!citygml::boxesMeet(faceExtent(building.faces), box))
            continue;
        if (isNear(building.faces, box))
            buildings.push_back(std::move(building));
        else
            ++told.damaged;
    }
    return buildings;
}
