// Menus, modeless windows, project events, the report window and the add-on's own module.

#include <algorithm>

#include "ACAPinc.h"
#include "HostState.h"

using host::detail::enter;
using host::detail::state;

namespace {

constexpr GSResModule kOwnModule = 1;

std::function<void(const std::string&)>& reportListener() {
    static host::detail::Immortal<std::function<void(const std::string&)>> listener;
    return listener.get();
}

bool menuKnown(short menu) {
    const auto& menus = state().ui.menus;
    return std::find(menus.begin(), menus.end(), menu) != menus.end();
}

bool itemKnown(const API_MenuItemRef* ref) {
    if (ref == nullptr || !menuKnown(ref->menuResID))
        return false;
    const auto& lists = state().resources[kOwnModule].stringLists;
    const auto it = lists.find(ref->menuResID);
    return it != lists.end() && ref->itemIndex >= 1 &&
           static_cast<std::size_t>(ref->itemIndex) <= it->second.size();
}

}  // namespace

namespace host::detail {
void emitReport(const std::string& line) {
    state().ui.report.push_back(line);
    if (reportListener())
        reportListener()(line);
}
}  // namespace host::detail

GSResModule ACAPI_GetOwnResModule() {
    (void)enter("ACAPI_GetOwnResModule");
    return kOwnModule;
}

GSErrCode ACAPI_MenuItem_RegisterMenu(short menuStrResID, short, APIMenuCodeID, GSFlags) {
    if (const auto err = enter("ACAPI_MenuItem_RegisterMenu"))
        return *err;
    const auto& lists = state().resources[kOwnModule].stringLists;
    if (lists.find(menuStrResID) == lists.end())
        return APIERR_BADID;
    if (menuKnown(menuStrResID))
        return APIERR_MENUEXIST;
    state().ui.menus.push_back(menuStrResID);
    return NoError;
}

GSErrCode ACAPI_MenuItem_InstallMenuHandler(short menuStrResID, APIMenuCommandProc* handlerProc) {
    if (const auto err = enter("ACAPI_MenuItem_InstallMenuHandler"))
        return *err;
    if (handlerProc == nullptr)
        return APIERR_BADPARS;
    if (!menuKnown(menuStrResID))
        return APIERR_BADID;
    state().ui.menuHandlers[menuStrResID] = handlerProc;
    return NoError;
}

GSErrCode ACAPI_MenuItem_GetMenuItemFlags(const API_MenuItemRef* menuItemRef, GSFlags* itemFlags) {
    if (const auto err = enter("ACAPI_MenuItem_GetMenuItemFlags"))
        return *err;
    if (itemFlags == nullptr)
        return APIERR_BADPARS;
    if (!itemKnown(menuItemRef))
        return APIERR_BADID;
    *itemFlags = state().ui.menuFlags[{menuItemRef->menuResID, menuItemRef->itemIndex}];
    return NoError;
}

GSErrCode ACAPI_MenuItem_SetMenuItemFlags(const API_MenuItemRef* menuItemRef, GSFlags* itemFlags) {
    if (const auto err = enter("ACAPI_MenuItem_SetMenuItemFlags"))
        return *err;
    if (itemFlags == nullptr)
        return APIERR_BADPARS;
    if (!itemKnown(menuItemRef))
        return APIERR_BADID;
    state().ui.menuFlags[{menuItemRef->menuResID, menuItemRef->itemIndex}] = *itemFlags;
    return NoError;
}

GSErrCode ACAPI_RegisterModelessWindow(GS::IntPtr referenceID,
                                       APIPaletteControlCallBackProc* callBackProc,
                                       GSFlags controlFlags, const API_Guid& paletteGuid) {
    if (const auto err = enter("ACAPI_RegisterModelessWindow"))
        return *err;
    if (callBackProc == nullptr)
        return APIERR_BADPARS;
    auto& windows = state().ui.windows;
    for (const auto& w : windows) {
        if (w.guid == paletteGuid || w.referenceID == referenceID)
            return APIERR_NAMEALREADYUSED;
    }
    windows.push_back(host::ModelessWindow{referenceID, callBackProc, controlFlags, paletteGuid});
    return NoError;
}

GSErrCode ACAPI_UnregisterModelessWindow(GS::IntPtr referenceID) {
    if (const auto err = enter("ACAPI_UnregisterModelessWindow"))
        return *err;
    auto& windows = state().ui.windows;
    const auto removed =
        std::erase_if(windows, [&](const auto& w) { return w.referenceID == referenceID; });
    return removed > 0 ? NoError : APIERR_BADID;
}

GSErrCode ACAPI_ProjectOperation_CatchProjectEvent(GSFlags eventTypes,
                                                   APIProjectEventHandlerProc* handlerProc) {
    if (const auto err = enter("ACAPI_ProjectOperation_CatchProjectEvent"))
        return *err;
    if (handlerProc == nullptr)
        return APIERR_BADPARS;
    auto& handlers = state().ui.eventHandlers;
    for (auto& [proc, mask] : handlers) {
        if (proc == handlerProc) {
            mask = eventTypes;
            return NoError;
        }
    }
    handlers.emplace_back(handlerProc, eventTypes);
    return NoError;
}

GSErrCode ACAPI_KeepInMemory(bool keepIt) {
    if (const auto err = enter("ACAPI_KeepInMemory"))
        return *err;
    state().ui.keepInMemory = keepIt;
    return NoError;
}

GSErrCode ACAPI_WriteReport(const GS::UniString& text, bool withDialog) {
    if (const auto err = enter("ACAPI_WriteReport"))
        return *err;
    host::detail::emitReport(text.ToUtf8());
    if (withDialog) {
        state().ui.alerts.push_back(host::AlertRecord{"report", text.ToUtf8(), "", {"OK"}, 1});
    }
    return NoError;
}

namespace host {

GSResModule ownResModule() {
    return kOwnModule;
}

GSErrCode chooseMenu(short menu, short item) {
    (void)detail::enter("host::chooseMenu");
    const auto& handlers = detail::state().ui.menuHandlers;
    const auto it = handlers.find(menu);
    if (it == handlers.end())
        return APIERR_BADID;
    const API_MenuParams params{API_MenuItemRef{menu, item}};
    return it->second(&params);
}

GSFlags menuItemFlags(short menu, short item) {
    const auto& flags = detail::state().ui.menuFlags;
    const auto it = flags.find({menu, item});
    return it == flags.end() ? 0 : it->second;
}

bool menuRegistered(short menu) {
    return menuKnown(menu);
}

std::vector<ModelessWindow> modelessWindows() {
    return detail::state().ui.windows;
}

GSErrCode paletteMessage(const API_Guid& guid, API_PaletteMessageID message, GS::IntPtr param) {
    (void)detail::enter("host::paletteMessage");
    for (const auto& w : modelessWindows()) {
        if (w.guid == guid)
            return w.callback(static_cast<Int32>(w.referenceID), message, param);
    }
    return APIERR_BADID;
}

void paletteMessageToAll(API_PaletteMessageID message, GS::IntPtr param) {
    (void)detail::enter("host::paletteMessageToAll");
    for (const auto& w : modelessWindows()) {
        w.callback(static_cast<Int32>(w.referenceID), message, param);
    }
}

void projectEvent(API_NotifyEventID event, Int32 param) {
    (void)detail::enter("host::projectEvent");
    const auto handlers = detail::state().ui.eventHandlers;  // a handler may install others
    for (const auto& [proc, mask] : handlers) {
        if ((mask & static_cast<GSFlags>(event)) != 0)
            proc(event, param);
    }
}

bool keptInMemory() {
    return detail::state().ui.keepInMemory;
}

std::vector<std::string> reportLines() {
    return detail::state().ui.report;
}

void clearReport() {
    detail::state().ui.report.clear();
}

void setReportListener(std::function<void(const std::string& line)> listener) {
    reportListener() = std::move(listener);
}

}  // namespace host
