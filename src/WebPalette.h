#pragma once
// What the add-on's web palettes share besides their page files (WebAssets.h): the page channel
// between a browser control and a Bridge, the diagnostic logging of the browser's events, the
// menu check mark that follows a palette, and the host's palette-message protocol.

#include <nlohmann/json.hpp>
#include <string>

#include "ACAPinc.h"
#include "Bridge.h"
#include "DG.h"
#include "WebAssets.h"

namespace webpalette {

inline constexpr short kMenuId = 32500;
inline constexpr GSFlags kPaletteFlags = 1015;  // 0x3F7

// The page channel. The bridge's sender runs "GISBridge.receive(" + text + ");" in the page; the
// page's script object "GIS" gets the function "postMessage", which hands its argument (a string
// value as UTF-8; no argument, any other value, an object or an array as the empty text) to
// bridge.dispatch and returns true. Whatever handling throws stays on the program's side: the
// page gets the bridge's internal error ("Blad wewnetrzny: " + the exception's text) instead.
void connect(DG::Browser& browser, Bridge& bridge);

// Logs load errors and loading-state changes of the browser to the diagnostic log.
void logLoadEvents(DG::Browser& browser);

// Sets or clears the check mark (flag 2) of an item of the add-on's menu.
void setMenuItemChecked(short item, bool checked);

// The reference value a palette registers with: the four 32-bit little-endian words of the
// GUID's binary form, summed modulo 2^32.
Int32 referenceOf(const GS::Guid& guid);

// The host's palette messages 1 to 7 for the palette class P (static HasInstance,
// CreateInstance, GetInstance; members IsVisible, Show, Hide, DisableItems, EnableItems).
// wasVisible remembers, across messages 2 and 3, whether the palette was visible when the host
// hid all palettes.
template <class P>
void controlPalette(API_PaletteMessageID message, GS::IntPtr param, bool& wasVisible) {
    const bool exists = P::HasInstance();
    switch (message) {
        case APIPalMsg_ClosePalette:
            if (exists)
                P::GetInstance().Hide();
            break;
        case APIPalMsg_HidePalette_Begin:
            wasVisible = exists && P::GetInstance().IsVisible();
            if (wasVisible)
                P::GetInstance().Hide();
            break;
        case APIPalMsg_HidePalette_End:
            if (exists && wasVisible && !P::GetInstance().IsVisible())
                P::GetInstance().Show();
            break;
        case APIPalMsg_DisableItems_Begin:
            if (exists && P::GetInstance().IsVisible())
                P::GetInstance().DisableItems();
            break;
        case APIPalMsg_DisableItems_End:
            if (exists && P::GetInstance().IsVisible())
                P::GetInstance().EnableItems();
            break;
        case APIPalMsg_OpenPalette:
            if (!exists)
                P::CreateInstance();
            P::GetInstance().Show();
            break;
        case APIPalMsg_IsPaletteVisible:
            *reinterpret_cast<bool*>(param) = exists && P::GetInstance().IsVisible();
            break;
        default:
            break;
    }
}

// A host palette whose whole surface is a browser control showing one local page, connected to
// the program through its own Bridge. One process-wide instance per palette class P, built on
// first use (which writes the page files out and loads the page), shown and hidden from the
// add-on's menu and by the host's palette messages, released when the host reports project
// event 64. P supplies:
//   static constexpr short kResourceId, kMenuItem;   the palette resource, its menu item
//   static const GS::Guid& Guid();                   the palette's GUID
//   static const webasset::PageFiles& Pages();       its page files
//   static void RegisterBridgeHandlers(Bridge&);     the page messages it answers
template <class P>
class Palette : public DG::Palette, public DG::PanelObserver {
protected:
    struct Key {
        explicit Key() = default;
    };

public:
    static bool HasInstance() { return instance() != nullptr; }

    // Builds a new palette (releasing any earlier one) and keeps the add-on loaded.
    static void CreateInstance() {
        instance() = GS::NewRef<P>(Key());
        ACAPI_KeepInMemory(true);
    }

    // Throws GS::NullReferenceException ("Null reference.") when there is no palette.
    static P& GetInstance() { return *instance(); }

    static void DestroyInstance() { instance() = nullptr; }

    // Sends a message to the page when a palette exists; a text that is not valid UTF-8 goes
    // with U+FFFD in place of the invalid bytes. Main thread only.
    static void SendToBrowser(const std::string& type, const nlohmann::json& payload) {
        if (HasInstance())
            GetInstance().bridge.send(type, payload, Bridge::Utf8::Replace);
    }

    // The host's palette messages 1 to 7; always 0.
    static GSErrCode PaletteControlCallBack(Int32 /*referenceID*/, API_PaletteMessageID message,
                                            GS::IntPtr param) {
        controlPalette<P>(message, param, wasVisibleBeforeHide());
        return NoError;
    }

    // Registers the palette as a modeless window of the host; the host's error code.
    static GSErrCode RegisterPaletteControlCallBack() {
        return ACAPI_RegisterModelessWindow(referenceOf(P::Guid()), PaletteControlCallBack,
                                            kPaletteFlags, GSGuid2APIGuid(P::Guid()));
    }

    explicit Palette(Key)
        : DG::Palette(ACAPI_GetOwnResModule(), P::kResourceId, ACAPI_GetOwnResModule(), P::Guid()),
          browser(*this, kBrowserItem) {
        ACAPI_ProjectOperation_CatchProjectEvent(APINotify_Quit, NotificationHandler);
        Attach(*this);
        BeginEventProcessing();
        InitBrowserControl();
    }

    ~Palette() override {
        EndEventProcessing();
        Detach(*this);
    }

    // Show and hide, with the check mark of the palette's menu item.
    void Show() {
        DG::ModelessBase::Show(kShowAtDefaultPlace);
        SetMenuItemCheckedState(true);
    }
    void Hide() {
        DG::ModelessBase::Hide();
        SetMenuItemCheckedState(false);
    }
    void SetMenuItemCheckedState(bool checked) { setMenuItemChecked(P::kMenuItem, checked); }

    void PanelResized(const DG::PanelResizeEvent& event) override {
        BeginMoveResizeItems();
        browser.Resize(event.GetHorizontalChange(), event.GetVerticalChange());
        EndMoveResizeItems();
    }

    // Closing only hides: the page and its state stay loaded.
    void PanelCloseRequested(const DG::PanelCloseRequestEvent& /*event*/, bool* accepted) override {
        Hide();
        *accepted = true;
    }

private:
    static constexpr short kBrowserItem = 1;
    static constexpr short kShowAtDefaultPlace = -32768;

    static GS::Ref<P>& instance() {
        static GS::Ref<P> palette;
        return palette;
    }

    // Whether the palette was visible when the host last hid all palettes.
    static bool& wasVisibleBeforeHide() {
        static bool visible = false;
        return visible;
    }

    static GSErrCode NotificationHandler(API_NotifyEventID event, Int32 /*param*/) {
        if (event == APINotify_Quit)
            instance() = nullptr;
        return NoError;
    }

    void InitBrowserControl() {
        P::RegisterBridgeHandlers(bridge);
        RegisterBridgeJSObject();
        logLoadEvents(browser);
        if (const auto url = webasset::extract(P::Pages()))
            browser.LoadURL(GS::UniString(*url));
    }

    void RegisterBridgeJSObject() { connect(browser, bridge); }

    DG::Browser browser;
    Bridge bridge;
};

}  // namespace webpalette
