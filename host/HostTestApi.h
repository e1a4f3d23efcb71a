#pragma once
// The stand-in host seen from tests and from terraweft-host: reset the project, look into it,
// play the user's part (menus, palette messages, project events, alert answers, the page) and
// make host calls fail on purpose. Add-on code never includes this header.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "APIdefs.h"
#include "BrowserBackend.h"
#include "DG.h"

namespace host {

// ---- Whole host --------------------------------------------------------------------------------

// Empties the project (one floor 0, active; one layer "Warstwa podstawowa" with index 1; the
// fills 1 "Wypelnienie pelne" (solid), 2 "Puste" (empty), 3 "Kreskowanie 45", 4 "Siatka
// kwadratowa" and 5 "Cegla" (vector); the building materials 1 "Beton" and 2 "Grunt"; no
// surface materials, elements or selection; zero geo-location), the undo history, the interface
// registrations (menus, handlers, palette callbacks, project-event handlers, menu flags, the
// keep-in-memory flag), report lines, alert records and answers, injected failures, call counts,
// queued main-thread tasks, installed resources, open drawing data and the user's element
// defaults. Live palettes are not touched.
void reset();

// ---- Main thread -------------------------------------------------------------------------------

// The host's main thread is the thread that started the process, unless another one adopts the
// role. Every ACAPI_, DG:: and RS call checks it.
void adoptCurrentThreadAsMain();
bool onMainThread();

// What happens when a host call arrives on another thread. The default prints the call's name to
// standard error and aborts the process: a fault never passes silently. Tests of the check itself
// may install a handler that records instead; an empty function restores the default.
using OffMainThreadHandler = std::function<void(const std::string& function)>;
void setOffMainThreadHandler(OffMainThreadHandler handler);

// Runs the queued main-thread tasks (GS::MessageLoopExecutor), first in first out, tasks queued
// meanwhile included, until none is left or maxTasks have run. Returns how many ran. Main thread
// only; an exception of a task passes through to the caller.
std::size_t pump(std::size_t maxTasks = static_cast<std::size_t>(-1));
// Runs tasks as they arrive for the given time; returns how many ran.
std::size_t pumpFor(std::chrono::milliseconds duration);
// Runs tasks as they arrive until done() holds (checked after each task and at least every 10
// ms) or the time is up; returns done().
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
std::size_t pendingTasks();

// ---- Failures on purpose and call counts -------------------------------------------------------

// The next `times` calls of the named function (e.g. "ACAPI_Element_Create") fail with code after
// `skip` calls have succeeded. A negative times means every call from then on. Functions that
// return a handle (BMAllocateHandle, RSLoadResource) return null instead of the code.
void failCalls(const std::string& function, GSErrCode code, int times = 1, int skip = 0);
void clearFailures();
// How often the function was called since reset().
int callCount(const std::string& function);

// ---- Project -----------------------------------------------------------------------------------

// A morph's body: vertices, edges (vertex pairs) and polygons (signed edge indices and a
// material), each numbered from 1 in the order added.
struct MorphBody {
    struct Edge {
        UInt32 from;
        UInt32 to;
    };
    struct Polygon {
        std::vector<Int32> edges;
        API_AttributeIndex material;
    };
    std::vector<API_Coord3D> vertices;
    std::vector<Edge> edges;
    std::vector<Polygon> polygons;
};

// From now on ACAPI_Element_Create refuses (APIERR_BADPOLY) every morph whose body the rule
// holds for, as the host refuses a body it cannot make a solid of; an empty rule ends this.
// reset() ends it too.
using BodyRule = std::function<bool(const MorphBody& body)>;
void refuseBodies(BodyRule rule);

// Whether drawing data is open (ACAPI_Drawing_StartDrawingData not yet stopped): new elements
// go into it, not into the project.
bool drawingDataOpen();

// Body builders opened with ACAPI_Body_Create and not yet disposed: check for leaks.
std::size_t liveBodyBuilders();

struct ElementSnapshot {
    API_Element element;
    // Memo contents, as plain values (entry 0 of the 1-based arrays left out).
    std::vector<API_Coord> coords;
    std::vector<Int32> pends;
    std::vector<API_PolyArc> arcs;
    std::vector<double> meshPolyZ;
    std::vector<API_MeshLevelCoord> meshLevelCoords;
    std::vector<Int32> meshLevelEnds;
    std::string textContent;
    std::string infoString;
    std::size_t pictureBytes = 0;
    std::string picture;            // the picture's image bytes
    std::optional<MorphBody> body;  // morphs
    // Drawings: the scale their drawing data was opened at and the elements it holds, in the
    // drawing's own coordinates.
    double drawingScale = 0;
    std::vector<ElementSnapshot> drawing;
};

// Every element of the project in creation order; of one type only when a type is given.
std::vector<ElementSnapshot> elements(API_ElemTypeID type = API_ZombieElemID);
std::optional<ElementSnapshot> element(const API_Guid& guid);
std::size_t elementCount(API_ElemTypeID type = API_ZombieElemID);

// From now on ACAPI_Element_GetDefaults gives elements of defaults.header.type this record (the
// user's last settings of that tool, whatever they hold) in place of the template's; reset() ends
// it.
void setElementDefaults(const API_Element& defaults);

// Adds elements directly, without an undoable command (fixtures). Returns the identifier.
API_Guid addPolyline(const std::vector<API_Coord>& points, API_AttributeIndex layer = 1,
                     short floor = 0, const std::vector<API_PolyArc>& arcs = {});
API_Guid addText(const API_Coord& loc, const std::string& content, API_AttributeIndex layer = 1,
                 short floor = 0);
// An element of any type with no memo (for example a wall).
API_Guid addElement(API_ElemTypeID type, API_AttributeIndex layer = 1, short floor = 0);

// Layers, materials, fills... in the host's order. addAttribute returns the new index.
std::vector<API_Attribute> attributes(API_AttrTypeID type);
API_AttributeIndex addAttribute(API_AttrTypeID type, const std::string& name, GSFlags flags = 0);
API_AttributeIndex addLayer(const std::string& name, bool locked = false);

void setSelection(const std::vector<API_Guid>& selected);
std::vector<API_Guid> selection();

// Floors: the project always has floor 0; addFloor adds another. The active floor is what
// APIFilt_OnActFloor filters on.
void addFloor(short index);
void setActiveFloor(short index);
short activeFloor();

API_GeoLocation geoLocation();
void setGeoLocation(const API_GeoLocation& location);

// Undo history: how many steps can be undone; undo() reverts the last successful command.
std::size_t undoDepth();
bool undo();
std::vector<std::string> undoNames();

// The project's revision: grows by one with every change of the project, that is every undoable
// command that succeeds, every undo, every element added directly (addPolyline and friends) and
// reset(); a command that fails leaves the project, and so the revision, as it was.
std::uint64_t projectRevision();
// Called on the main thread with the new revision after every change (terraweft-host's views of
// the project reload on it); an empty function ends this. reset() keeps the listener.
void setProjectListener(std::function<void(std::uint64_t revision)> listener);

// Live memory handles (BM.h); a rising count across a test is a leak.
std::size_t liveHandles();

// ---- Interface ---------------------------------------------------------------------------------

// The user picks item `item` of menu `menu`: calls the installed handler and returns its result
// (APIERR_BADID when no handler is installed for the menu).
GSErrCode chooseMenu(short menu, short item);
GSFlags menuItemFlags(short menu, short item);
bool menuRegistered(short menu);

struct ModelessWindow {
    GS::IntPtr referenceID;
    APIPaletteControlCallBackProc* callback;
    GSFlags flags;
    API_Guid guid;
};
std::vector<ModelessWindow> modelessWindows();
// Sends a palette message to the window registered under that GUID; returns the callback's
// result (APIERR_BADID when there is none).
GSErrCode paletteMessage(const API_Guid& guid, API_PaletteMessageID message, GS::IntPtr param = 0);
// Sends the message to every registered window, in registration order (as the host does when
// it hides all palettes).
void paletteMessageToAll(API_PaletteMessageID message, GS::IntPtr param = 0);

// Reports the project event to every handler that caught it.
void projectEvent(API_NotifyEventID event, Int32 param = 0);

bool keptInMemory();

// Lines written with ACAPI_WriteReport, in order.
std::vector<std::string> reportLines();
void clearReport();
// Called for every report line as it is written (terraweft-host prints them).
void setReportListener(std::function<void(const std::string& line)> listener);

struct AlertRecord {
    std::string kind;  // "warning", "information", "error"; "alert" for DGAlert
    std::string largeText;
    std::string smallText;
    std::vector<std::string> buttons;
    short answer;
    std::string title;  // DGAlert only
    short type = 0;     // DGAlert's alert kind
};
// Answers for the next alerts, in order; once they run out every alert answers 1.
void scriptAlertAnswers(const std::vector<short>& answers);
std::vector<AlertRecord> alerts();
// Called for every alert as it is shown (terraweft-host's serve mode prints them).
void setAlertListener(std::function<void(const AlertRecord& alert)> listener);

// ---- Palettes and their pages ------------------------------------------------------------------

// The live palette (DG::Palette) with that GUID, or null.
DG::ModelessBase* findPalette(const GS::Guid& guid);
// The backend of the first browser control on that palette, or null.
BrowserBackend* browserOf(const GS::Guid& paletteGuid);
// The recording backend of that palette's browser, or null (no palette, or another flavour).
RecordingBrowser* recorderOf(const GS::Guid& paletteGuid);

// Which backend new browser controls get; an empty factory restores the recording one.
void setBrowserBackendFactory(BrowserBackendFactory factory);
// Called for every script a recording browser runs, with the GUID of its palette.
void setScriptListener(
    std::function<void(const GS::Guid& palette, const std::string& script)> listener);

// ---- Resources ---------------------------------------------------------------------------------

// One module's resources: string lists by id (items 1-based in use, stored from index 0) and
// typed data blocks.
struct ResourceSet {
    std::map<GSResID, std::vector<std::string>> stringLists;
    std::map<std::pair<GSResType, GSResID>, std::string> data;
};
// The module ACAPI_GetOwnResModule returns.
GSResModule ownResModule();
// Replaces the resources of a module (by default the add-on's own).
void installResources(ResourceSet resources, GSResModule module = ownResModule());
const ResourceSet& installedResources(GSResModule module = ownResModule());

}  // namespace host
