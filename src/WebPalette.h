#pragma once
// What the add-on's web palettes share besides their page files (WebAssets.h): the page channel
// between a browser control and a Bridge, the diagnostic logging of the browser's events, the
// menu check mark that follows a palette, and the host's palette-message protocol.

#include "ACAPinc.h"
#include "Bridge.h"
#include "DG.h"

namespace webpalette {

inline constexpr short kMenuId = 32500;
inline constexpr GSFlags kPaletteFlags = 1015;  // 0x3F7

// The page channel. The bridge's sender runs "GISBridge.receive(" + text + ");" in the page; the
// page's script object "GIS" gets the function "postMessage", which hands its argument (a string
// value as UTF-8; no argument or any other value as the empty text) to bridge.dispatch and
// returns true. Whatever handling throws stays on the program's side, the host's
// GS::ClassCastException for an argument that is not a script value included: the page gets the
// bridge's internal error ("Blad wewnetrzny: " + the exception's text) instead.
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

}  // namespace webpalette
