#include "WebPalette.h"

#include "ExceptionText.h"

#include "WebAssets.h"

namespace webpalette {
namespace {

// The text of the page's argument: a string value as UTF-8, anything else (no argument, another
// value, an object or an array) as the empty text, which the bridge refuses as no message.
std::string messageText(const GS::Ref<JS::Base>& argument) {
    const GS::Ref<JS::Value> value = GS::DynamicCast<JS::Value>(argument);
    if (value == nullptr || value->GetType() != JS::Value::STRING)
        return {};
    return value->GetString().ToUtf8();
}

// Hands the page's message to the bridge. Exceptions must not reach the host's script engine
// (the bridge lets those not derived from std::exception through): they become the bridge's
// internal error.
void dispatchGuarded(Bridge& bridge, const GS::Ref<JS::Base>& argument) {
    std::string what;
    try {
        bridge.dispatch(messageText(argument));
        return;
    } catch (...) {
        what = currentExceptionText("nieznany wyjatek");
    }
    bridge.send("error", {{"msg", "Blad wewnetrzny: " + what}}, Bridge::Utf8::Replace);
}

}  // namespace

void connect(DG::Browser& browser, Bridge& bridge) {
    bridge.setSender([&browser](const std::string& text) {
        browser.ExecuteJS(GS::UniString("GISBridge.receive(" + text + ");"));
    });
    auto gis = GS::NewRef<JS::Object>("GIS");
    gis->AddItem(GS::NewRef<JS::Function>(
        "postMessage", [&bridge](GS::Ref<JS::Base> argument) -> GS::Ref<JS::Base> {
            dispatchGuarded(bridge, argument);
            return GS::NewRef<JS::Value>(true);
        }));
    browser.RegisterAsynchJSObject(gis);
}

void logLoadEvents(DG::Browser& browser) {
    browser.onLoadError += [](Int32 code, const GS::UniString& url) {
        webdiag::log("onLoadError code=" + std::to_string(code) + " url=" + url.ToUtf8());
    };
    browser.onLoadingStateChange += [](bool isLoading) {
        webdiag::log(std::string("onLoadingState isLoading=") + (isLoading ? "1" : "0"));
    };
}

void setMenuItemChecked(short item, bool checked) {
    const API_MenuItemRef ref{kMenuId, item};
    GSFlags flags = 0;
    ACAPI_MenuItem_GetMenuItemFlags(&ref, &flags);
    if (checked) {
        flags |= API_MenuItemChecked;
    } else {
        flags &= ~API_MenuItemChecked;
    }
    ACAPI_MenuItem_SetMenuItemFlags(&ref, &flags);
}

Int32 referenceOf(const GS::Guid& guid) {
    const auto& bytes = guid.GetBytes();
    UInt32 sum = 0;
    for (std::size_t word = 0; word < 4; ++word) {
        const std::size_t at = word * 4;
        sum += UInt32(bytes[at]) | UInt32(bytes[at + 1]) << 8 | UInt32(bytes[at + 2]) << 16 |
               UInt32(bytes[at + 3]) << 24;
    }
    return static_cast<Int32>(sum);
}

}  // namespace webpalette
