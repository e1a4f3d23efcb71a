// The test-facing view of the in-memory project (HostTestApi.h).

#include <cstring>

#include "ACAPinc.h"
#include "HostState.h"

namespace host {
namespace {

using detail::state;
using detail::StoredElement;

template <class T>
std::vector<T> entriesOf(const StoredElement& e, std::size_t field, bool oneBased) {
    const auto it = e.memo.find(field);
    if (it == e.memo.end())
        return {};
    std::vector<T> all(it->second.size() / sizeof(T));
    if (!all.empty())
        std::memcpy(all.data(), it->second.data(), all.size() * sizeof(T));
    if (oneBased && !all.empty())
        all.erase(all.begin());
    return all;
}

// Whether the element is of the type; every element is of API_ZombieElemID.
bool isOfType(const StoredElement& e, API_ElemTypeID type) {
    return type == API_ZombieElemID || e.element.header.type.typeID == type;
}

ElementSnapshot snapshotOf(const StoredElement& e);

void addDrawing(const std::optional<detail::DrawingData>& drawing, ElementSnapshot& s) {
    if (!drawing)
        return;
    s.drawingScale = drawing->scale;
    for (const StoredElement& inside : drawing->elements)
        s.drawing.push_back(snapshotOf(inside));
}

ElementSnapshot snapshotOf(const StoredElement& e) {
    ElementSnapshot s;
    s.element = e.element;
    s.coords = entriesOf<API_Coord>(e, detail::kCoords, true);
    s.pends = entriesOf<Int32>(e, detail::kPends, true);
    s.arcs = entriesOf<API_PolyArc>(e, detail::kParcs, false);
    s.meshPolyZ = entriesOf<double>(e, detail::kMeshPolyZ, true);
    s.meshLevelCoords = entriesOf<API_MeshLevelCoord>(e, detail::kMeshLevelCoords, false);
    s.meshLevelEnds = entriesOf<Int32>(e, detail::kMeshLevelEnds, false);
    const auto text = e.memo.find(detail::kTextContent);
    if (text != e.memo.end())
        s.textContent = std::string(text->second.c_str());
    s.infoString = e.infoString;
    if (const auto picture = e.memo.find(detail::kPicture); picture != e.memo.end())
        s.picture = picture->second;
    s.pictureBytes = s.picture.size();
    const auto body = e.memo.find(detail::kMorphBody);
    if (body != e.memo.end())
        s.body = detail::decodeBody(body->second);
    if (const auto data = e.memo.find(detail::kDrawingData); data != e.memo.end())
        addDrawing(detail::decodeDrawing(data->second), s);
    return s;
}

std::string bytesOfVector(const void* data, std::size_t bytes) {
    return std::string(static_cast<const char*>(data), bytes);
}

API_Guid store(StoredElement e) {
    e.element.header.guid = GSGuid2APIGuid(GS::Guid::Generate());
    e.element.header.hasMemo = !e.memo.empty();
    const API_Guid guid = e.element.header.guid;
    state().project.elements.add(std::move(e));
    detail::projectChanged();
    return guid;
}

StoredElement blank(API_ElemTypeID type, API_AttributeIndex layer, short floor) {
    StoredElement e{};
    e.element.header.type = type;
    e.element.header.layer = layer;
    e.element.header.floorInd = floor;
    return e;
}

// The revision outlives reset(), so that a view never takes a new project for one it has seen.
struct Revision {
    std::uint64_t count = 0;
    std::function<void(std::uint64_t)> listener;
};

Revision& revision() {
    static detail::Immortal<Revision> instance;
    return instance.get();
}

}  // namespace

namespace detail {
void projectChanged() {
    Revision& r = revision();
    ++r.count;
    if (r.listener)
        r.listener(r.count);
}
}  // namespace detail

std::vector<ElementSnapshot> elements(API_ElemTypeID type) {
    std::vector<ElementSnapshot> all;
    for (const auto& e : state().project.elements.all()) {
        if (isOfType(e, type))
            all.push_back(snapshotOf(e));
    }
    return all;
}

std::optional<ElementSnapshot> element(const API_Guid& guid) {
    const StoredElement* e = detail::findElement(guid);
    if (e == nullptr)
        return std::nullopt;
    return snapshotOf(*e);
}

std::size_t elementCount(API_ElemTypeID type) {
    std::size_t n = 0;
    for (const auto& e : state().project.elements.all()) {
        if (isOfType(e, type))
            ++n;
    }
    return n;
}

API_Guid addPolyline(const std::vector<API_Coord>& points, API_AttributeIndex layer, short floor,
                     const std::vector<API_PolyArc>& arcs) {
    StoredElement e = blank(API_PolyLineID, layer, floor);
    e.element.polyLine.poly.nCoords = static_cast<Int32>(points.size());
    e.element.polyLine.poly.nArcs = static_cast<Int32>(arcs.size());
    std::vector<API_Coord> oneBased(1);
    oneBased.insert(oneBased.end(), points.begin(), points.end());
    e.memo[detail::kCoords] = bytesOfVector(oneBased.data(), oneBased.size() * sizeof(API_Coord));
    if (!arcs.empty()) {
        e.memo[detail::kParcs] = bytesOfVector(arcs.data(), arcs.size() * sizeof(API_PolyArc));
    }
    return store(std::move(e));
}

API_Guid addText(const API_Coord& loc, const std::string& content, API_AttributeIndex layer,
                 short floor) {
    StoredElement e = blank(API_TextID, layer, floor);
    e.element.text.loc = loc;
    e.memo[detail::kTextContent] = content + '\0';
    return store(std::move(e));
}

API_Guid addElement(API_ElemTypeID type, API_AttributeIndex layer, short floor) {
    return store(blank(type, layer, floor));
}

std::vector<API_Attribute> attributes(API_AttrTypeID type) {
    const auto& all = state().project.attributes;
    const auto it = all.find(type);
    return it == all.end() ? std::vector<API_Attribute>{} : it->second;
}

API_AttributeIndex addAttribute(API_AttrTypeID type, const std::string& name, GSFlags flags) {
    auto& list = state().project.attributes[type];
    API_Attribute a{};
    a.header.typeID = type;
    a.header.flags = flags;
    std::snprintf(a.header.name, sizeof a.header.name, "%s", name.c_str());
    API_AttributeIndex last = 0;
    for (const auto& other : list)
        last = std::max(last, other.header.index);
    a.header.index = last + 1;
    list.push_back(a);
    return a.header.index;
}

API_AttributeIndex addLayer(const std::string& name, bool locked) {
    return addAttribute(API_LayerID, name, locked ? APILay_Locked : 0);
}

void setSelection(const std::vector<API_Guid>& selected) {
    state().project.selection = selected;
}

std::vector<API_Guid> selection() {
    return state().project.selection;
}

void addFloor(short index) {
    state().project.floors.push_back(detail::Floor{index});
}

void setActiveFloor(short index) {
    state().project.activeFloor = index;
}

short activeFloor() {
    return state().project.activeFloor;
}

API_GeoLocation geoLocation() {
    return state().geo;
}

void setGeoLocation(const API_GeoLocation& location) {
    state().geo = location;
}

std::size_t undoDepth() {
    return state().undo.size();
}

bool undo() {
    auto& s = state();
    if (s.undo.empty())
        return false;
    s.project = std::move(s.undo.back().before);
    s.undo.pop_back();
    detail::projectChanged();
    return true;
}

std::uint64_t projectRevision() {
    return revision().count;
}

void setProjectListener(std::function<void(std::uint64_t revision)> listener) {
    revision().listener = std::move(listener);
}

std::vector<std::string> undoNames() {
    std::vector<std::string> names;
    for (const auto& step : state().undo)
        names.push_back(step.name);
    return names;
}

void setElementDefaults(const API_Element& defaults) {
    state().userDefaults[defaults.header.type.typeID] = defaults;
}

bool drawingDataOpen() {
    return state().openDrawing.has_value();
}

void refuseBodies(BodyRule rule) {
    state().bodyRefusal = std::move(rule);
}

void scriptAlertAnswers(const std::vector<short>& answers) {
    state().ui.alertAnswers = answers;
}

std::vector<AlertRecord> alerts() {
    return state().ui.alerts;
}

}  // namespace host
