#pragma once
// Builders of small WFS answers for the GML reader's tests and benchmark.

#include <string>

namespace gmlfix {

inline std::string collection(const std::string& members, const std::string& rootAttributes = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<wfs:FeatureCollection xmlns:wfs=\"http://www.opengis.net/wfs/2.0\" "
           "xmlns:gml=\"http://www.opengis.net/gml/3.2\" xmlns:ms=\"http://mapserver.gis.umn.edu/"
           "mapserver\"" +
           rootAttributes + ">" + members + "</wfs:FeatureCollection>";
}

inline std::string member(const std::string& feature, const std::string& tag = "wfs:member") {
    return "<" + tag + ">" + feature + "</" + tag + ">";
}

inline std::string ring(const std::string& boundary, const std::string& posList) {
    return "<gml:" + boundary + "><gml:LinearRing><gml:posList>" + posList +
           "</gml:posList></gml:LinearRing></gml:" + boundary + ">";
}

// A polygon with an exterior ring and, optionally, one interior ring.
inline std::string polygon(const std::string& outer, const std::string& srsName = "",
                           const std::string& inner = "") {
    std::string p = "<gml:Polygon";
    if (!srsName.empty())
        p += " srsName=\"" + srsName + "\"";
    p += ">" + ring("exterior", outer);
    if (!inner.empty())
        p += ring("interior", inner);
    return p + "</gml:Polygon>";
}

inline std::string parcel(const std::string& id, const std::string& geometry,
                          const std::string& props = "") {
    return "<ms:dzialki gml:id=\"" + id + "\" id=\"" + id + "\">" + props + "<ms:msGeometry>" +
           geometry + "</ms:msGeometry></ms:dzialki>";
}

}  // namespace gmlfix
