#pragma once
// Inside of the stand-in host: the in-memory project and interface state behind ACAPinc.h,
// DG.h, RS.h and HostTestApi.h. Not for add-on code.

#include <map>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "APIdefs.h"
#include "DG.h"
#include "HostTestApi.h"

namespace host::detail {

// A process-wide object that is built on first use and never destroyed, so that add-on objects
// released during the process's exit (static palette instances) still find the host in place.
template <class T>
class Immortal {
public:
    template <class... Args>
    explicit Immortal(Args&&... args) {
        new (storage_) T(std::forward<Args>(args)...);
    }
    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

// An element as the project keeps it: the record and the memo's handles as byte blocks.
struct StoredElement {
    API_Element element;
    std::map<std::size_t, std::string> memo;  // memo field number (MemoField) -> bytes
    std::string infoString;
};

// The handle fields of API_ElementMemo, numbered; see memoHandle().
enum MemoField : std::size_t {
    kCoords,
    kPends,
    kParcs,
    kVertexIDs,
    kMeshPolyZ,
    kMeshLevelCoords,
    kMeshLevelEnds,
    kTextContent,
    kPicture,
    kMorphBody,
    kMorphMaterialMap,
    kDrawingData,
    kMemoFieldCount
};
GSHandle memoHandle(const API_ElementMemo& memo, std::size_t field);
void setMemoHandle(API_ElementMemo& memo, std::size_t field, GSHandle handle);
UInt64 memoMaskOf(std::size_t field);

// Drawing data: the scale it was opened at and the elements created into it, in creation order.
struct DrawingData {
    double scale = 1.0;
    std::vector<StoredElement> elements;
};

struct Floor {
    short index;
};

// The elements in creation order, found by identifier in constant time.
class ElementStore {
public:
    const std::vector<StoredElement>& all() const { return elements_; }
    StoredElement* find(const API_Guid& guid);
    void add(StoredElement element);
    // Removes the elements with these identifiers, keeping the others' order.
    void remove(const std::unordered_set<API_Guid>& guids);

private:
    std::vector<StoredElement> elements_;
    std::unordered_map<API_Guid, std::size_t> index_;  // identifier -> position in elements_
};

// Everything an undo step restores.
struct Project {
    ElementStore elements;
    std::map<API_AttrTypeID, std::vector<API_Attribute>> attributes;
    std::vector<API_Guid> selection;
    std::vector<Floor> floors;
    short activeFloor = 0;
};

struct UndoStep {
    std::string name;
    Project before;
};

struct Interface {
    std::map<std::pair<short, short>, GSFlags> menuFlags;  // (menu, item) -> flags
    std::map<short, APIMenuCommandProc*> menuHandlers;
    std::vector<short> menus;
    std::vector<ModelessWindow> windows;
    std::vector<std::pair<APIProjectEventHandlerProc*, GSFlags>> eventHandlers;
    bool keepInMemory = false;
    std::vector<std::string> report;
    std::vector<AlertRecord> alerts;
    std::vector<short> alertAnswers;
};

struct State {
    Project project;
    // The project's geo-location is a project setting, not model content: undo leaves it as the
    // last write made it.
    API_GeoLocation geo{};
    std::vector<UndoStep> undo;
    int commandDepth = 0;
    Interface ui;
    std::map<GSResModule, ResourceSet> resources;
    std::vector<DG::ModelessBase*> palettes;  // live palettes, not owned
    BodyRule bodyRefusal;                     // morph bodies ACAPI_Element_Create refuses
    // The drawing data open now (ACAPI_Drawing_StartDrawingData): new elements go there.
    std::optional<DrawingData> openDrawing;
    // The user's own defaults of an element type (setElementDefaults), in place of the template's.
    std::map<API_ElemTypeID, API_Element> userDefaults;
};

// The host's state; only the main thread touches it.
State& state();

// Entry of every host call made on the main thread: checks the thread, counts the call and
// returns the injected failure, if one is due.
std::optional<GSErrCode> enter(const char* function);
// The same for calls allowed on any thread (memory handles): no thread check.
std::optional<GSErrCode> enterAnyThread(const char* function);

// A morph body in a memo handle's bytes, and back; nothing when the bytes are not a body.
std::string encodeBody(const MorphBody& body);
std::optional<MorphBody> decodeBody(const std::string& bytes);
// Whether every polygon is a closed ring of at least three existing edges over existing vertices.
bool isClosedBody(const MorphBody& body);

// Drawing data in a memo handle's bytes, and back; nothing when the bytes are not drawing data.
std::string encodeDrawing(const DrawingData& drawing);
std::optional<DrawingData> decodeDrawing(const std::string& bytes);

StoredElement* findElement(const API_Guid& guid);
const API_Attribute* findAttribute(API_AttrTypeID type, API_AttributeIndex index);

// Raises the project's revision and tells the project listener (see setProjectListener).
void projectChanged();

void emitReport(const std::string& line);
void emitScript(const GS::Guid& palette, const std::string& script);
std::unique_ptr<BrowserBackend> makeBrowserBackend(DG::Browser& browser);

void clearMainLoop();

}  // namespace host::detail
