#pragma once
// Client of the national urban-planning register's REST API: the published planning acts of a
// commune (or a parcel), the choice of the act that best fits a plan type, and the download of
// that act's zones as GML features. Every request is tried up to three times, with pauses of
// 350 ms and 900 ms (the thread's cancel ends them: net::AbortScope); nothing is cached.

#include <string>
#include <string_view>
#include <vector>

#include "DataType.h"
#include "geodata/GisTypes.h"
#include "geodata/WfsClient.h"

class RuClient {
public:
    // One published act; a member the register did not give as text stays "".
    struct RuAct {
        std::string publishedActId;  // also taken from a JSON integer
        std::string title;
        std::string planType;
        std::string spatialPlanningActStatus;
        std::string publishDate;
        std::string tercCode;
    };

    explicit RuClient(WfsClient& client) : client_(client) {}

    // The query body, compact, members in byte order of their names; an empty argument is
    // written as null.
    static std::string buildQueryBody(std::string_view parcelId, std::string_view teryt);

    // Acts of a POSTed query; empty when three attempts brought no answer with "publishedActs".
    std::vector<RuAct> query(const std::string& body);
    std::vector<RuAct> queryByTeryt(std::string_view teryt);
    std::vector<RuAct> queryByParcel(std::string_view parcelId);

    // The acts of a query answer that have an identifier; elements that are no objects are
    // skipped, and an answer that is no JSON object gives none.
    static std::vector<RuAct> parseQueryResponse(const std::string& body);

    // The latest (by publishDate) act of the plan type ("" for any), preferring a status holding
    // "wi", then "przyjmowani", then "opracowaniu", then any; false, out untouched, when no act
    // matches.
    static bool pickBest(const std::vector<RuAct>& acts, RuAct& out, std::string_view planType);

    // The act's zones, read as a GML feature collection of that kind; empty when three attempts
    // brought no answer.
    std::vector<GisFeature> downloadZones(const RuAct& act, DataType kind);

    // Whether the register answered the last query or download: after three attempts without a
    // good answer it did not, and the reason is that of the last attempt.
    const ServiceReach& reach() const { return reach_; }

private:
    WfsClient& client_;
    ServiceReach reach_;
};
