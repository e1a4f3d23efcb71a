#include "HostState.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace host {
namespace detail {
namespace {

// Taken during static initialisation, which runs on the thread that starts the process.
std::thread::id g_mainThread = std::this_thread::get_id();

struct Failure {
    GSErrCode code;
    int times;  // negative: for ever
    int skip;
};

// Injected failures and call counts: reached from any thread (memory handles), hence locked.
struct CallBook {
    std::mutex mutex;
    std::map<std::string, Failure> failures;
    std::map<std::string, int> counts;
    OffMainThreadHandler offThread;
};

CallBook& book() {
    static Immortal<CallBook> instance;
    return instance.get();
}

std::optional<GSErrCode> countAndInject(const char* function) {
    CallBook& b = book();
    const std::lock_guard lock(b.mutex);
    ++b.counts[function];
    const auto it = b.failures.find(function);
    if (it == b.failures.end())
        return std::nullopt;
    Failure& f = it->second;
    if (f.skip > 0) {
        --f.skip;
        return std::nullopt;
    }
    const GSErrCode code = f.code;
    if (f.times > 0 && --f.times == 0)
        b.failures.erase(it);
    return code;
}

void reportOffMainThread(const char* function) {
    OffMainThreadHandler handler;
    {
        CallBook& b = book();
        const std::lock_guard lock(b.mutex);
        handler = b.offThread;
    }
    if (handler) {
        handler(function);
        return;
    }
    std::fprintf(stderr, "host: %s called off the main thread\n", function);
    std::abort();
}

API_Attribute attribute(API_AttrTypeID type, API_AttributeIndex index, const char* name) {
    API_Attribute a{};
    a.header.typeID = type;
    a.header.index = index;
    std::snprintf(a.header.name, sizeof a.header.name, "%s", name);
    return a;
}

API_Attribute fill(API_AttributeIndex index, const char* name, API_FillSubtypeID subType) {
    API_Attribute a = attribute(API_FilltypeID, index, name);
    a.filltype.subType = subType;
    return a;
}

// An empty project as a new one from the host's template: floor 0, active; the one layer every
// project has; the template's fills and building materials; no surface materials.
State freshState() {
    State s;
    s.project.floors.push_back(Floor{0});
    s.project.attributes[API_LayerID] = {attribute(API_LayerID, 1, "Warstwa podstawowa")};
    s.project.attributes[API_FilltypeID] = {
        fill(1, "Wypelnienie pelne", APIFill_Solid), fill(2, "Puste", APIFill_Empty),
        fill(3, "Kreskowanie 45", APIFill_Vector), fill(4, "Siatka kwadratowa", APIFill_Vector),
        fill(5, "Cegla", APIFill_Vector)};
    s.project.attributes[API_BuildingMaterialID] = {attribute(API_BuildingMaterialID, 1, "Beton"),
                                                    attribute(API_BuildingMaterialID, 2, "Grunt")};
    return s;
}

}  // namespace

State& state() {
    static Immortal<State> instance(freshState());
    return instance.get();
}

std::optional<GSErrCode> enter(const char* function) {
    if (std::this_thread::get_id() != g_mainThread)
        reportOffMainThread(function);
    return countAndInject(function);
}

std::optional<GSErrCode> enterAnyThread(const char* function) {
    return countAndInject(function);
}

StoredElement* ElementStore::find(const API_Guid& guid) {
    const auto it = index_.find(guid);
    return it == index_.end() ? nullptr : &elements_[it->second];
}

void ElementStore::add(StoredElement element) {
    index_[element.element.header.guid] = elements_.size();
    elements_.push_back(std::move(element));
}

void ElementStore::remove(const std::unordered_set<API_Guid>& guids) {
    std::erase_if(elements_,
                  [&](const StoredElement& e) { return guids.count(e.element.header.guid) > 0; });
    index_.clear();
    for (std::size_t i = 0; i < elements_.size(); ++i)
        index_[elements_[i].element.header.guid] = i;
}

StoredElement* findElement(const API_Guid& guid) {
    return state().project.elements.find(guid);
}

const API_Attribute* findAttribute(API_AttrTypeID type, API_AttributeIndex index) {
    const auto& all = state().project.attributes;
    const auto it = all.find(type);
    if (it == all.end())
        return nullptr;
    for (const auto& a : it->second) {
        if (a.header.index == index)
            return &a;
    }
    return nullptr;
}

}  // namespace detail

void adoptCurrentThreadAsMain() {
    detail::g_mainThread = std::this_thread::get_id();
}

bool onMainThread() {
    return std::this_thread::get_id() == detail::g_mainThread;
}

void setOffMainThreadHandler(OffMainThreadHandler handler) {
    auto& b = detail::book();
    const std::lock_guard lock(b.mutex);
    b.offThread = std::move(handler);
}

void failCalls(const std::string& function, GSErrCode code, int times, int skip) {
    auto& b = detail::book();
    const std::lock_guard lock(b.mutex);
    b.failures[function] = detail::Failure{code, times, skip};
}

void clearFailures() {
    auto& b = detail::book();
    const std::lock_guard lock(b.mutex);
    b.failures.clear();
}

int callCount(const std::string& function) {
    auto& b = detail::book();
    const std::lock_guard lock(b.mutex);
    const auto it = b.counts.find(function);
    return it == b.counts.end() ? 0 : it->second;
}

void reset() {
    auto& s = detail::state();
    auto palettes = std::move(s.palettes);
    s = detail::freshState();
    s.palettes = std::move(palettes);
    {
        auto& b = detail::book();
        const std::lock_guard lock(b.mutex);
        b.failures.clear();
        b.counts.clear();
    }
    detail::clearMainLoop();
    detail::projectChanged();
}

}  // namespace host
