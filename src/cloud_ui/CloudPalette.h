#pragma once
// The point-cloud palette: a host palette whose whole surface is a browser control showing the
// local page "cloud.html". Its page talks to the program through the palette's own Bridge;
// the point-cloud controller registers its messages there and pushes events through
// SendToBrowser. One palette per process, created on first use and released when the host
// quits.

#include <nlohmann/json.hpp>
#include <string>

#include "APIdefs.h"
#include "Bridge.h"
#include "DG.h"

class CloudPalette : public DG::Palette, public DG::PanelObserver {
    struct Key {
        explicit Key() = default;
    };

public:
    static bool HasInstance();
    // Builds the palette (its page files written out and loaded), releasing any earlier one,
    // and asks the host to keep the add-on loaded.
    static void CreateInstance();
    // Throws GS::NullReferenceException when there is no palette.
    static CloudPalette& GetInstance();
    // Sends one message to the page when the palette exists; a text that is not valid UTF-8
    // goes with U+FFFD in place of the invalid bytes. Main thread only.
    static void SendToBrowser(const std::string& type, const nlohmann::json& payload);

    // The host's palette messages 1 to 7; always 0.
    static GSErrCode PaletteControlCallBack(Int32 referenceID, API_PaletteMessageID message,
                                            GS::IntPtr param);
    // Registers the palette as a modeless window of the host; the host's error code.
    static GSErrCode RegisterPaletteControlCallBack();
    static const GS::Guid& Guid();

    explicit CloudPalette(Key);
    ~CloudPalette() override;

    // Show and hide, with the check mark of menu item 2.
    void Show();
    void Hide();

    void PanelResized(const DG::PanelResizeEvent& event) override;
    void PanelCloseRequested(const DG::PanelCloseRequestEvent& event, bool* accepted) override;

private:
    void InitBrowserControl();
    void RegisterBridgeHandlers();
    void RegisterBridgeJSObject();

    DG::Browser browser;
    Bridge bridge;
};
