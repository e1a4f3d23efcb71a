#include "fakes/Wfs.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "geodata/ProjConv.h"

namespace fakes {
namespace {

constexpr const char* kXml = "application/xml";

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string decoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int byte = 0;
            std::from_chars(text.data() + i + 1, text.data() + i + 3, byte, 16);
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string number(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("nan");
}

GisPoint inSystem(const GisPoint& p, int epsg) {
    return epsg == 2180 ? p : ProjConv::pl1992ToPl2000(p.x, p.y, epsg);
}

std::string posList(const std::vector<GisPoint>& points, int epsg) {
    std::string out;
    for (const GisPoint& p : points) {
        const GisPoint q = inSystem(p, epsg);
        out += number(q.y) + ' ' + number(q.x) + ' ';
    }
    return out;
}

std::string ring(const char* boundary, const std::vector<GisPoint>& points, int epsg) {
    return std::string("<gml:") + boundary + "><gml:LinearRing><gml:posList>" +
           posList(points, epsg) + "</gml:posList></gml:LinearRing></gml:" + boundary + ">";
}

std::string geometry(const Feature& feature, int epsg) {
    const std::string srs = "urn:ogc:def:crs:EPSG::" + std::to_string(epsg);
    std::string out;
    for (const GisPolygon& polygon : feature.polygons) {
        out += "<gml:Polygon srsName=\"" + srs + "\">" + ring("exterior", polygon.outer, epsg);
        for (const auto& hole : polygon.holes)
            out += ring("interior", hole, epsg);
        out += "</gml:Polygon>";
    }
    for (const auto& line : feature.lines) {
        out += "<gml:LineString srsName=\"" + srs + "\"><gml:posList>" + posList(line, epsg) +
               "</gml:posList></gml:LineString>";
    }
    return out;
}

// "ms" of "ms:dzialki"; "" for a name without prefix.
std::string prefixOf(const std::string& typeName) {
    const std::size_t colon = typeName.find(':');
    return colon == std::string::npos ? std::string() : typeName.substr(0, colon + 1);
}

std::string featureElement(const std::string& typeName, const Feature& feature, int epsg) {
    const std::string prefix = prefixOf(typeName);
    std::string out = "<" + typeName;
    if (!feature.id.empty())
        out += " gml:id=\"" + escaped(feature.id) + "\"";
    out += ">";
    for (const auto& [key, value] : feature.props)
        out += "<" + prefix + key + ">" + escaped(value) + "</" + prefix + key + ">";
    out += "<" + prefix + "geom>" + geometry(feature, epsg) + "</" + prefix + "geom>";
    return out + "</" + typeName + ">";
}

std::string namespaceDeclaration(const std::string& typeName) {
    const std::string prefix = prefixOf(typeName);
    if (prefix.empty() || prefix == "ms:" || prefix == "gml:" || prefix == "wfs:")
        return {};
    return " xmlns:" + prefix.substr(0, prefix.size() - 1) + "=\"http://fake.invalid/" +
           prefix.substr(0, prefix.size() - 1) + "\"";
}

bool meets(const Bbox& a, const Bbox& b) {
    return a.minx <= b.maxx && b.minx <= a.maxx && a.miny <= b.maxy && b.miny <= a.maxy;
}

Bbox envelopeIn(const Feature& feature, int epsg) {
    if (epsg == 2180)
        return envelope(feature);
    Feature moved = feature;
    const auto move = [epsg](std::vector<GisPoint>& points) {
        for (GisPoint& p : points)
            p = inSystem(p, epsg);
    };
    for (GisPolygon& polygon : moved.polygons) {
        move(polygon.outer);
        for (auto& hole : polygon.holes)
            move(hole);
    }
    for (auto& line : moved.lines)
        move(line);
    return envelope(moved);
}

long long integerParam(std::string_view query, std::string_view name, long long fallback) {
    const std::string text = param(query, name);
    long long value = fallback;
    if (!text.empty())
        std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

struct FeatureWfs::State {
    std::vector<Layer> layers;
    WfsBehaviour behaviour;

    const Layer* layer(const std::string& name) const {
        const auto found = std::find_if(layers.begin(), layers.end(),
                                        [&name](const Layer& l) { return l.name == name; });
        return found != layers.end() ? &*found : nullptr;
    }

    std::string capabilities() const {
        std::string text = "<?xml version=\"1.0\"?><wfs:WFS_Capabilities><FeatureTypeList>";
        for (const Layer& l : layers)
            text += "<FeatureType><Name>" + escaped(l.name) + "</Name></FeatureType>";
        return text + "</FeatureTypeList></wfs:WFS_Capabilities>";
    }

    loopback::Answer features(const std::string& query) const {
        const bool v110 = param(query, "version") == "1.1.0";
        if (!v110 && !behaviour.wfs20)
            return loopback::ok(exceptionReport(), kXml);
        const Layer* asked = layer(param(query, v110 ? "typename" : "typenames"));
        if (asked == nullptr)
            return loopback::ok(exceptionReport(), kXml);
        if (lowerCase(param(query, "resulttype")) == "hits") {
            const long long n = behaviour.hits >= 0
                                    ? behaviour.hits
                                    : static_cast<long long>(asked->features.size());
            return loopback::ok("<wfs:FeatureCollection numberMatched=\"" + std::to_string(n) +
                                    "\" numberReturned=\"0\"/>",
                                kXml);
        }
        const std::string bbox = param(query, "bbox");
        if (bbox.empty())
            return loopback::ok(featureCollection(asked->name, asked->features, 2180, v110), kXml);
        return boxAnswer(*asked, query, bbox, v110);
    }

    loopback::Answer boxAnswer(const Layer& asked, const std::string& query,
                               const std::string& bbox, bool v110) const {
        double v[4] = {0, 0, 0, 0};
        int code = 0;
        if (std::sscanf(bbox.c_str(), "%lf,%lf,%lf,%lf,urn:ogc:def:crs:EPSG::%d", &v[0], &v[1],
                        &v[2], &v[3], &code) != 5)
            return loopback::ok(exceptionReport(), kXml);
        if (code == 2180 && behaviour.refuses2180)
            return loopback::ok(exceptionReport(), kXml);
        const bool northingFirst = v110 || behaviour.northingFirst;
        const Bbox box =
            northingFirst ? Bbox{v[1], v[0], v[3], v[2]} : Bbox{v[0], v[1], v[2], v[3]};
        const std::string srsName = param(query, "srsname");
        const int answerCode = srsName.size() > 5 ? std::atoi(srsName.c_str() + 5) : 2180;
        std::vector<Feature> hit;
        for (const Feature& f : asked.features) {
            if (meets(envelopeIn(f, code), box))
                hit.push_back(f);
        }
        return loopback::ok(
            featureCollection(asked.name, page(std::move(hit), query, v110), answerCode, v110),
            kXml);
    }

    std::vector<Feature> page(std::vector<Feature> hit, const std::string& query, bool v110) const {
        if (!behaviour.paging)
            return hit;
        const PageRange range = pageOf(query, hit.size(), v110);
        return {hit.begin() + static_cast<std::ptrdiff_t>(range.first),
                hit.begin() + static_cast<std::ptrdiff_t>(range.end)};
    }
};

FeatureWfs::FeatureWfs(std::vector<Layer> layers, WfsBehaviour behaviour)
    : state_(std::make_shared<const State>(State{std::move(layers), behaviour})) {}

loopback::Answer FeatureWfs::operator()(const loopback::Request& request) const {
    const std::string kind = param(request.query, "request");
    if (kind == "GetCapabilities")
        return loopback::ok(state_->capabilities(), kXml);
    if (kind == "GetFeature")
        return state_->features(request.query);
    return loopback::ok(exceptionReport(), kXml);
}

std::string param(std::string_view query, std::string_view name) {
    const std::string wanted = lowerCase(name);
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view pair = query.substr(start, end - start);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && lowerCase(pair.substr(0, eq)) == wanted)
            return decoded(pair.substr(eq + 1));
        start = end + 1;
    }
    return {};
}

PageRange pageOf(std::string_view query, std::size_t matched, bool wfs110) {
    const long long count = integerParam(query, wfs110 ? "maxfeatures" : "count", -1);
    const long long start = std::max(0LL, integerParam(query, "startindex", 0));
    const std::size_t first = std::min(static_cast<std::size_t>(start), matched);
    const std::size_t end =
        count < 0 ? matched : std::min(matched, first + static_cast<std::size_t>(count));
    return {first, end};
}

std::string pagedMembers(const std::vector<std::string>& members, std::string_view query,
                         bool countsMatched) {
    const PageRange range = pageOf(query, members.size());
    std::string text = "<?xml version=\"1.0\"?><wfs:FeatureCollection numberMatched=\"" +
                       (countsMatched ? std::to_string(members.size()) : "unknown") +
                       "\" numberReturned=\"" + std::to_string(range.end - range.first) + "\">";
    for (std::size_t i = range.first; i < range.end; ++i)
        text += members[i];
    return text + "</wfs:FeatureCollection>";
}

std::vector<std::string> boxQueries(const loopback::LoopbackServer& server, std::string_view path) {
    std::vector<std::string> queries;
    for (const loopback::Request& r : server.requests(path)) {
        if (!param(r.query, "bbox").empty())
            queries.push_back(r.query);
    }
    return queries;
}

std::string featureCollection(const std::string& typeName, const std::vector<Feature>& features,
                              int epsg, bool wfs110) {
    const std::string member = wfs110 ? "gml:featureMember" : "wfs:member";
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><wfs:FeatureCollection "
        "xmlns:wfs=\"http://www.opengis.net/wfs/2.0\" xmlns:gml=\"http://www.opengis.net/gml/3.2\" "
        "xmlns:ms=\"http://mapserver.gis.umn.edu/mapserver\"" +
        namespaceDeclaration(typeName) + " numberMatched=\"unknown\" numberReturned=\"" +
        std::to_string(features.size()) + "\">";
    for (const Feature& f : features)
        doc += "<" + member + ">" + featureElement(typeName, f, epsg) + "</" + member + ">";
    return doc + "</wfs:FeatureCollection>";
}

std::string exceptionReport() {
    return "<?xml version=\"1.0\"?><ows:ExceptionReport xmlns:ows=\"http://www.opengis.net/ows/"
           "1.1\"><ows:Exception exceptionCode=\"InvalidParameterValue\"/></ows:ExceptionReport>";
}

}  // namespace fakes
