#pragma once
// A county land-registry WFS on the loopback kit. It keeps parcels in PL-1992 and answers
// GetFeature the way a real county server of a given kind would: it reads the BBOX in its own
// axis order, may speak only WFS 1.1.0, may refuse boxes in EPSG:2180, answers in the reference
// system asked for with SRSNAME, counts with resultType=hits and serves the whole layer without
// a BBOX. Anything it does not understand gets an exception report.

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/ProjConv.h"
#include "support/LoopbackServer.h"

namespace egibfake {

inline constexpr const char* kPath = "/egib/wfs";

struct Parcel {
    std::string id;
    std::vector<GisPoint> outer;  // PL-1992
    std::vector<GisPoint> hole;   // PL-1992, may be empty
};

// A square parcel of side 2 * half around a centre.
inline Parcel square(const std::string& id, GisPoint c, double half = 5.0) {
    return {id,
            {{c.x - half, c.y - half},
             {c.x + half, c.y - half},
             {c.x + half, c.y + half},
             {c.x - half, c.y + half},
             {c.x - half, c.y - half}},
            {}};
}

struct Behaviour {
    bool northingFirst = true;  // how the server reads a BBOX of WFS 2.0.0
    bool wfs20 = true;          // false: 2.0.0 requests get an exception report
    bool refuses2180 = false;   // true: only boxes in a PL-2000 zone are served
    long long hits = -1;        // resultType=hits count; -1: the number of parcels
    std::string capabilities =
        "<wfs:WFS_Capabilities><FeatureTypeList><FeatureType>"
        "<Name>ms:dzialki</Name></FeatureType><FeatureType>"
        "<Name>ms:budynki</Name></FeatureType></FeatureTypeList>"
        "</wfs:WFS_Capabilities>";
};

inline std::string decoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

// The value of a query parameter (name compared without case); "" when absent.
inline std::string param(const std::string& query, const std::string& name) {
    std::istringstream in(query);
    std::string pair;
    while (std::getline(in, pair, '&')) {
        const std::size_t eq = pair.find('=');
        std::string key = pair.substr(0, eq);
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (key == name && eq != std::string::npos)
            return decoded(pair.substr(eq + 1));
    }
    return {};
}

inline std::string exceptionReport() {
    return "<?xml version=\"1.0\"?><ows:ExceptionReport xmlns:ows=\"http://www.opengis.net/ows/"
           "1.1\"><ows:Exception exceptionCode=\"InvalidParameterValue\"/></ows:ExceptionReport>";
}

class CountyWfs {
public:
    CountyWfs(Behaviour behaviour, std::vector<Parcel> parcels)
        : behaviour_(std::move(behaviour)), parcels_(std::move(parcels)) {
        server_.onRequest(kPath, [this](const loopback::Request& r) { return answer(r.query); });
    }

    std::string url() const { return server_.url(kPath); }
    loopback::LoopbackServer& server() { return server_; }
    // The raw queries of the GetFeature requests that carried a BBOX, in order.
    std::vector<std::string> boxQueries() const {
        std::vector<std::string> queries;
        for (const loopback::Request& r : server_.requests(kPath)) {
            if (!param(r.query, "bbox").empty())
                queries.push_back(r.query);
        }
        return queries;
    }

private:
    loopback::Answer answer(const std::string& query) const {
        const std::string request = param(query, "request");
        if (request == "GetCapabilities")
            return loopback::ok(behaviour_.capabilities, "application/xml");
        if (request != "GetFeature")
            return loopback::ok(exceptionReport(), "application/xml");
        const bool v110 = param(query, "version") == "1.1.0";
        if (!v110 && !behaviour_.wfs20)
            return loopback::ok(exceptionReport(), "application/xml");
        if (param(query, "resulttype") == "hits") {
            const long long n =
                behaviour_.hits >= 0 ? behaviour_.hits : static_cast<long long>(parcels_.size());
            return loopback::ok("<wfs:FeatureCollection numberMatched=\"" + std::to_string(n) +
                                    "\" numberReturned=\"0\"/>",
                                "application/xml");
        }
        const std::string bbox = param(query, "bbox");
        if (bbox.empty())
            return loopback::ok(collection(parcels_, 2180, v110), "application/xml");
        return boxAnswer(bbox, param(query, "srsname"), v110);
    }

    loopback::Answer boxAnswer(const std::string& bbox, const std::string& srsName,
                               bool v110) const {
        double v[4] = {0, 0, 0, 0};
        int code = 0;
        if (std::sscanf(bbox.c_str(), "%lf,%lf,%lf,%lf,urn:ogc:def:crs:EPSG::%d", &v[0], &v[1],
                        &v[2], &v[3], &code) != 5)
            return loopback::ok(exceptionReport(), "application/xml");
        if (code == 2180 && behaviour_.refuses2180)
            return loopback::ok(exceptionReport(), "application/xml");
        // WFS 1.1.0 servers of this kind read the box northing first whatever they do in 2.0.0.
        const bool northingFirst = v110 || behaviour_.northingFirst;
        const Bbox box =
            northingFirst ? Bbox{v[1], v[0], v[3], v[2]} : Bbox{v[0], v[1], v[2], v[3]};
        const int answerCode = srsName.empty() ? 2180 : std::atoi(srsName.substr(5).c_str());
        std::vector<Parcel> hit;
        for (const Parcel& p : parcels_) {
            if (touches(p, box, code))
                hit.push_back(p);
        }
        return loopback::ok(collection(hit, answerCode, v110), "application/xml");
    }

    static GisPoint inSystem(const GisPoint& p, int code) {
        return code == 2180 ? p : ProjConv::pl1992ToPl2000(p.x, p.y, code);
    }

    static bool touches(const Parcel& parcel, const Bbox& box, int code) {
        for (const GisPoint& p : parcel.outer) {
            const GisPoint q = inSystem(p, code);
            if (q.x >= box.minx && q.x <= box.maxx && q.y >= box.miny && q.y <= box.maxy)
                return true;
        }
        return false;
    }

    // Positions northing first, as the URN form of the system requires.
    static std::string posList(const std::vector<GisPoint>& ring, int code) {
        std::ostringstream out;
        out.precision(17);
        for (const GisPoint& p : ring) {
            const GisPoint q = inSystem(p, code);
            out << q.y << ' ' << q.x << ' ';
        }
        return out.str();
    }

    static std::string collection(const std::vector<Parcel>& parcels, int code, bool v110) {
        const std::string memberTag = v110 ? "gml:featureMember" : "wfs:member";
        std::string doc =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><wfs:FeatureCollection "
            "xmlns:wfs=\"http://www.opengis.net/wfs/2.0\" xmlns:gml=\"http://www.opengis.net/gml/"
            "3.2\" xmlns:ms=\"http://mapserver.gis.umn.edu/mapserver\" numberMatched=\"unknown\" "
            "numberReturned=\"" +
            std::to_string(parcels.size()) + "\">";
        const std::string srs = "urn:ogc:def:crs:EPSG::" + std::to_string(code);
        for (const Parcel& p : parcels) {
            doc += "<" + memberTag + "><ms:dzialki gml:id=\"" + p.id + "\"><ms:ID_DZIALKI>" + p.id +
                   "</ms:ID_DZIALKI><ms:geom><gml:Polygon srsName=\"" + srs +
                   "\"><gml:exterior><gml:LinearRing><gml:posList>" + posList(p.outer, code) +
                   "</gml:posList></gml:LinearRing></gml:exterior>";
            if (!p.hole.empty()) {
                doc += "<gml:interior><gml:LinearRing><gml:posList>" + posList(p.hole, code) +
                       "</gml:posList></gml:LinearRing></gml:interior>";
            }
            doc += "</gml:Polygon></ms:geom></ms:dzialki></" + memberTag + ">";
        }
        return doc + "</wfs:FeatureCollection>";
    }

    Behaviour behaviour_;
    std::vector<Parcel> parcels_;
    loopback::LoopbackServer server_;
};

}  // namespace egibfake
