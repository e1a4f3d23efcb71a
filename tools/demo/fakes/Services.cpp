#include "fakes/Services.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <nlohmann/json.hpp>

#include "fakes/Wfs.h"

namespace fakes {
namespace {

using json = nlohmann::json;

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string percentEncoded(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string decimal(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

// The places matching the request's "q", at most its "limit".
std::vector<Place> matching(const std::vector<Place>& places, const loopback::Request& request) {
    const std::string query = lowerCase(param(request.query, "q"));
    const std::string limitText = param(request.query, "limit");
    std::size_t limit = places.size();
    std::from_chars(limitText.data(), limitText.data() + limitText.size(), limit);
    std::vector<Place> hits;
    for (const Place& place : places) {
        if (hits.size() < limit && lowerCase(labelOf(place)).find(query) != std::string::npos)
            hits.push_back(place);
    }
    return hits;
}

// The first commune code of a register query; "" when the query names none.
std::string firstCode(const std::string& text) {
    const json body = json::parse(text, nullptr, false);
    const json::json_pointer at("/criteria/tercCodeList/0");
    if (!body.is_object() || !body.contains(at) || !body.at(at).is_string())
        return {};
    return body.at(at).get<std::string>();
}

json actJson(const PlanAct& act) {
    return {{"publishedActId", act.id},       {"title", act.title},
            {"planType", act.planType},       {"spatialPlanningActStatus", act.status},
            {"publishDate", act.publishDate}, {"tercCode", act.tercCode}};
}

}  // namespace

void PlanningRegister::mount(loopback::LoopbackServer& server) const {
    server.onRequest(kQueryPath, [acts = acts_](const loopback::Request& request) {
        const std::string code = firstCode(request.body);
        json found = json::array();
        for (const PlanAct& act : acts) {
            if (!code.empty() && act.tercCode.starts_with(code))
                found.push_back(actJson(act));
        }
        return loopback::ok(json{{"publishedActs", found}}.dump(), "application/json");
    });
    for (const PlanAct& act : acts_) {
        server.on("/api/public/published/" + percentEncoded(act.id) + "/download",
                  loopback::ok(featureCollection(kZoneTypename, act.zones, 2180, false),
                               "application/xml"));
    }
}

Nominatim::Nominatim(std::vector<Place> places)
    : places_(std::make_shared<const std::vector<Place>>(std::move(places))) {}

loopback::Answer Nominatim::operator()(const loopback::Request& request) const {
    json hits = json::array();
    for (const Place& place : matching(*places_, request)) {
        hits.push_back({{"lat", decimal(place.lat)},
                        {"lon", decimal(place.lon)},
                        {"display_name", labelOf(place)}});
    }
    return loopback::ok(hits.dump(), "application/json");
}

Photon::Photon(std::vector<Place> places)
    : places_(std::make_shared<const std::vector<Place>>(std::move(places))) {}

loopback::Answer Photon::operator()(const loopback::Request& request) const {
    json features = json::array();
    for (const Place& place : matching(*places_, request)) {
        json properties = json::object();
        for (const auto& [key, value] : {std::pair{"name", place.name},
                                         {"street", place.street},
                                         {"housenumber", place.housenumber},
                                         {"city", place.city},
                                         {"county", place.county}}) {
            if (!value.empty())
                properties[key] = value;
        }
        features.push_back(
            {{"type", "Feature"},
             {"geometry", {{"type", "Point"}, {"coordinates", {place.lon, place.lat}}}},
             {"properties", std::move(properties)}});
    }
    return loopback::ok(json{{"type", "FeatureCollection"}, {"features", features}}.dump(),
                        "application/json");
}

std::string labelOf(const Place& place) {
    std::string street = place.street;
    if (!street.empty() && !place.housenumber.empty())
        street += " " + place.housenumber;
    std::string label;
    for (const std::string& part : {place.name, street, place.city, place.county}) {
        if (part.empty())
            continue;
        if (!label.empty())
            label += ", ";
        label += part;
    }
    return label;
}

}  // namespace fakes
