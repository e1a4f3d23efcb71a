#pragma once
// The map palette: a host palette whose only item is a browser control showing the map page.
// One process-wide instance, built on first use, shown and hidden from the add-on's menu and by
// the host's palette messages, released when the host reports project event 64.

#include <nlohmann/json.hpp>
#include <string>

#include "ACAPinc.h"
#include "Bridge.h"
#include "DG.h"

class MapPalette : public DG::Palette, public DG::PanelObserver {
    struct Key {
        explicit Key() = default;
    };

public:
    static bool HasInstance();
    // Builds a new palette (releasing any earlier one) and keeps the add-on loaded.
    static void CreateInstance();
    // Throws GS::NullReferenceException ("Null reference.") when there is no palette.
    static MapPalette& GetInstance();
    static void DestroyInstance();

    // Sends a message to the page when a palette exists; a text that is not valid UTF-8 goes with
    // U+FFFD in place of the invalid bytes. Main thread only.
    static void SendToBrowser(const std::string& type, const nlohmann::json& payload);

    static GSErrCode PaletteControlCallBack(Int32 referenceID, API_PaletteMessageID message,
                                            GS::IntPtr param);
    static GSErrCode RegisterPaletteControlCallBack();

    static const GS::Guid& Guid();

    explicit MapPalette(Key);
    ~MapPalette() override;

    // Show and hide with the check mark of menu 32500 item 1.
    void Show();
    void Hide();
    void SetMenuItemCheckedState(bool checked);

    void PanelResized(const DG::PanelResizeEvent& event) override;
    void PanelCloseRequested(const DG::PanelCloseRequestEvent& event, bool* accepted) override;

private:
    void InitBrowserControl();
    void RegisterBridgeHandlers();
    void RegisterBridgeJSObject();

    DG::Browser browser;
    Bridge bridge;
};
