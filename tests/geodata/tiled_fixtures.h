#pragma once
// Feature collection documents of the shapes a WFS answers with, and what a spliced document
// holds, for the tiled-download and splice tests.

#include <pugixml.hpp>

#include <string>
#include <vector>

namespace tiled {

inline const char* kRoot20 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<wfs:FeatureCollection xmlns:wfs=\"http://www.opengis.net/wfs/2.0\" "
    "xmlns:gml=\"http://www.opengis.net/gml/3.2\" "
    "xmlns:ms=\"http://mapserver.gis.umn.edu/mapserver\" "
    "numberMatched=\"unknown\" numberReturned=\"1\">\n";
inline const char* kRoot110 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<wfs:FeatureCollection xmlns:wfs=\"http://www.opengis.net/wfs\" "
    "xmlns:gml=\"http://www.opengis.net/gml\" "
    "xmlns:ms=\"http://mapserver.gis.umn.edu/mapserver\">\n";
inline const char* kEnd = "</wfs:FeatureCollection>\n";

inline std::string feature(const std::string& id) {
    return "<ms:dzialki gml:id=\"" + id + "\"><ms:nr>" + id + "</ms:nr></ms:dzialki>";
}

// WFS 2.0: one wfs:member per feature.
inline std::string collection20(const std::vector<std::string>& ids) {
    std::string doc = kRoot20;
    for (const auto& id : ids)
        doc += "  <wfs:member>" + feature(id) + "</wfs:member>\n";
    return doc + kEnd;
}

// GML 3.1 as WFS 1.1.0 answers: one gml:featureMember per feature, or all in gml:featureMembers.
inline std::string collection110(const std::vector<std::string>& ids, bool oneList) {
    std::string doc = kRoot110;
    if (oneList)
        doc += "<gml:featureMembers>";
    for (const auto& id : ids) {
        doc +=
            oneList ? feature(id) : "<gml:featureMember>" + feature(id) + "</gml:featureMember>\n";
    }
    if (oneList)
        doc += "</gml:featureMembers>\n";
    return doc + kEnd;
}

// The same features without gml:id, told apart by their number only.
inline std::string anonymousCollection20(const std::vector<std::string>& ids) {
    std::string doc = kRoot20;
    for (const auto& id : ids)
        doc += "  <wfs:member><ms:dzialki><ms:nr>" + id + "</ms:nr></ms:dzialki></wfs:member>\n";
    return doc + kEnd;
}

inline std::vector<std::string> numbered(const std::string& prefix, int from, int count) {
    std::vector<std::string> ids;
    for (int i = from; i < from + count; ++i)
        ids.push_back(prefix + std::to_string(i));
    return ids;
}

// The gml:id of every feature of a well-formed document, in document order; a document that does
// not parse gives {"<not XML>"}.
inline std::vector<std::string> featureIds(const std::string& doc) {
    pugi::xml_document xml;
    if (!xml.load_string(doc.c_str()))
        return {"<not XML>"};
    struct Collect : pugi::xml_tree_walker {
        std::vector<std::string> ids;
        bool for_each(pugi::xml_node& node) override {
            if (std::string(node.name()) == "ms:dzialki")
                ids.push_back(node.attribute("gml:id").value());
            return true;
        }
    } walker;
    xml.traverse(walker);
    return walker.ids;
}

}  // namespace tiled
