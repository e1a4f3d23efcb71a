// The recording browser backend and the choice of backend for new browser controls.

#include "BrowserBackend.h"

#include "DG.h"
#include "HostState.h"

namespace host {
namespace {

BrowserBackendFactory& factorySlot() {
    static detail::Immortal<BrowserBackendFactory> factory;
    return factory.get();
}

std::function<void(const GS::Guid&, const std::string&)>& scriptListener() {
    static detail::Immortal<std::function<void(const GS::Guid&, const std::string&)>> listener;
    return listener.get();
}

}  // namespace

bool BrowserBackend::RegisterAsynchJSObject(GS::Ref<JS::Object> object) {
    if (object == nullptr)
        return false;
    std::erase_if(objects_, [&](const auto& o) { return o->GetName() == object->GetName(); });
    objects_.push_back(std::move(object));
    return true;
}

GS::Ref<JS::Base> BrowserBackend::CallFromPage(const GS::UniString& objectName,
                                               const GS::UniString& functionName,
                                               GS::Ref<JS::Base> argument) {
    (void)detail::enter("host::CallFromPage");
    for (const auto& object : objects_) {
        if (object->GetName() != objectName)
            continue;
        const GS::Ref<JS::Function> function = object->FindFunction(functionName);
        if (function == nullptr)
            return nullptr;
        return function->Call(std::move(argument));
    }
    return nullptr;
}

bool RecordingBrowser::LoadURL(const GS::UniString& url) {
    urls_.push_back(url.ToUtf8());
    return true;
}

bool RecordingBrowser::ExecuteJS(const GS::UniString& script) {
    scripts_.push_back(script.ToUtf8());
    detail::emitScript(GetBrowser().GetPanel().GetGuid(), scripts_.back());
    return true;
}

namespace detail {

void emitScript(const GS::Guid& palette, const std::string& script) {
    if (scriptListener())
        scriptListener()(palette, script);
}

std::unique_ptr<BrowserBackend> makeBrowserBackend(DG::Browser& browser) {
    if (factorySlot())
        return factorySlot()(browser);
    return std::make_unique<RecordingBrowser>(browser);
}

}  // namespace detail

void setBrowserBackendFactory(BrowserBackendFactory factory) {
    factorySlot() = std::move(factory);
}

void setScriptListener(std::function<void(const GS::Guid&, const std::string&)> listener) {
    scriptListener() = std::move(listener);
}

DG::ModelessBase* findPalette(const GS::Guid& guid) {
    for (DG::ModelessBase* p : detail::state().palettes) {
        if (p->GetGuid() == guid)
            return p;
    }
    return nullptr;
}

BrowserBackend* browserOf(const GS::Guid& paletteGuid) {
    const DG::ModelessBase* palette = findPalette(paletteGuid);
    if (palette == nullptr)
        return nullptr;
    for (DG::Item* item : palette->Items()) {
        if (auto* browser = dynamic_cast<DG::Browser*>(item))
            return &browser->GetBackend();
    }
    return nullptr;
}

RecordingBrowser* recorderOf(const GS::Guid& paletteGuid) {
    return dynamic_cast<RecordingBrowser*>(browserOf(paletteGuid));
}

}  // namespace host
