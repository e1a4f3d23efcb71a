#include "geodata/RuClient.h"

#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>

#include "geodata/GmlParser.h"
#include "geodata/Net.h"
#include "geodata/ServiceConfig.h"

namespace {

using nlohmann::json;
using namespace std::chrono_literals;

constexpr std::array kPauses = {350ms, 900ms};
constexpr std::string_view kQueryPath = "/api/public/published/query";
constexpr std::string_view kActPath = "/api/public/published/";

std::string registerUrl(std::string_view path) {
    return services::endpoints().planningRegister + std::string(path);
}

bool is2xx(int status) {
    return status >= 200 && status <= 299;
}

// Asks up to three times, pausing between attempts, until an answer is good or the thread's
// cancel comes.
template <class Ask, class Good>
WfsClient::HttpResult withRetries(const Ask& ask, const Good& good) {
    WfsClient::HttpResult answer = ask();
    for (const auto pause : kPauses) {
        if (good(answer) || !net::pauseFor(pause))
            break;
        answer = ask();
    }
    return answer;
}

json textOrNull(std::string_view text) {
    return text.empty() ? json(nullptr) : json(std::string(text));
}

std::string textMember(const json& act, const char* name) {
    const auto member = act.find(name);
    return member != act.end() && member->is_string() ? member->get<std::string>() : std::string();
}

// A text, or a whole number written in decimal.
std::string identifier(const json& act) {
    const auto id = act.find("publishedActId");
    if (id == act.end())
        return {};
    if (id->is_string())
        return id->get<std::string>();
    if (id->is_number_unsigned())
        return std::to_string(id->get<std::uint64_t>());
    if (id->is_number_integer())
        return std::to_string(id->get<std::int64_t>());
    if (id->is_number_float()) {
        const double value = id->get<double>();
        if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9e15)
            return std::to_string(static_cast<std::int64_t>(value));
    }
    return {};
}

RuClient::RuAct actOf(const json& act) {
    return {identifier(act),
            textMember(act, "title"),
            textMember(act, "planType"),
            textMember(act, "spatialPlanningActStatus"),
            textMember(act, "publishDate"),
            textMember(act, "tercCode")};
}

}  // namespace

std::string RuClient::buildQueryBody(std::string_view parcelId, std::string_view teryt) {
    json criteria = {
        {"levelList", nullptr},
        {"parcelIdentifier", textOrNull(parcelId)},
        {"planTypeList", {"MUNICIPAL_GENERAL_PLAN", "LOCAL_SPATIAL_DEVELOPMENT_PLAN"}},
        {"planValidFrom", nullptr},
        {"planValidTo", nullptr},
        {"plansGroup", "ALL"},
        {"publishDateFrom", nullptr},
        {"publishDateTo", nullptr},
        {"publishedActVersions", "CURRENT"},
        {"query", nullptr},
        {"statusList", json::array()},
        {"tercCodeList", teryt.empty() ? json(nullptr) : json::array({std::string(teryt)})},
    };
    const json page = {
        {"number", 1}, {"size", 10}, {"sort", {{"direction", "desc"}, {"sortBy", "publishDate"}}}};
    const json body = {{"criteria", std::move(criteria)}, {"page", page}};
    return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::vector<RuClient::RuAct> RuClient::query(const std::string& body) {
    const std::string url = registerUrl(kQueryPath);
    const auto good = [](const WfsClient::HttpResult& answer) {
        return is2xx(answer.status) && answer.body.find("\"publishedActs\"") != std::string::npos;
    };
    const WfsClient::HttpResult answer =
        withRetries([&] { return client_.postJson(url, body); }, good);
    reach_ = WfsClient::reachOf(answer, good(answer));
    return good(answer) ? parseQueryResponse(answer.body) : std::vector<RuAct>{};
}

std::vector<RuClient::RuAct> RuClient::queryByTeryt(std::string_view teryt) {
    return query(buildQueryBody("", teryt));
}

std::vector<RuClient::RuAct> RuClient::queryByParcel(std::string_view parcelId) {
    return query(buildQueryBody(parcelId, ""));
}

std::vector<RuClient::RuAct> RuClient::parseQueryResponse(const std::string& body) {
    const json answer = json::parse(body, nullptr, false);
    std::vector<RuAct> acts;
    if (!answer.is_object() || !answer.contains("publishedActs"))
        return acts;
    for (const json& value : answer["publishedActs"]) {
        if (!value.is_object())
            continue;
        RuAct act = actOf(value);
        if (!act.publishedActId.empty())
            acts.push_back(std::move(act));
    }
    return acts;
}

bool RuClient::pickBest(const std::vector<RuAct>& acts, RuAct& out, std::string_view planType) {
    const auto latest = [&](const std::function<bool(const RuAct&)>& wanted) -> const RuAct* {
        const RuAct* best = nullptr;
        for (const RuAct& act : acts) {
            const bool matches = planType.empty() || act.planType == planType;
            if (matches && wanted(act) && (best == nullptr || act.publishDate > best->publishDate))
                best = &act;
        }
        return best;
    };
    const auto statusHolds = [](std::string_view word) {
        return [word](const RuAct& act) {
            return act.spatialPlanningActStatus.find(word) != std::string::npos;
        };
    };
    for (const std::string_view status : {"wi", "przyjmowani", "opracowaniu", ""}) {
        if (const RuAct* best = latest(statusHolds(status))) {
            out = *best;
            return true;
        }
    }
    return false;
}

std::vector<GisFeature> RuClient::downloadZones(const RuAct& act, DataType kind) {
    reach_ = {};
    if (act.publishedActId.empty())
        return {};
    const std::string url =
        registerUrl(std::string(kActPath) + WfsClient::urlEncode(act.publishedActId) + "/download");
    const auto good = [](const WfsClient::HttpResult& answer) {
        return is2xx(answer.status) && !answer.body.empty() && !looksLikeWebPage(answer.body);
    };
    const WfsClient::HttpResult answer = withRetries([&] { return client_.get(url); }, good);
    reach_ = WfsClient::reachOf(answer, good(answer));
    return good(answer) ? GmlParser::parseFeatureCollection(answer.body, kind)
                        : std::vector<GisFeature>{};
}
