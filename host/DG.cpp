// Palettes, items, the browser control and alerts of the stand-in's dialog library.

#include "DG.h"

#include <algorithm>

#include "HostState.h"

using host::detail::enter;
using host::detail::state;

bool JavascriptEngine::LoadURL(const GS::UniString& url) {
    (void)enter("JavascriptEngine::LoadURL");
    return backend_->LoadURL(url);
}

bool JavascriptEngine::ExecuteJS(const GS::UniString& script) {
    (void)enter("JavascriptEngine::ExecuteJS");
    return backend_->ExecuteJS(script);
}

bool JavascriptEngine::RegisterAsynchJSObject(GS::Ref<JS::Object> object) {
    (void)enter("JavascriptEngine::RegisterAsynchJSObject");
    return backend_->RegisterAsynchJSObject(std::move(object));
}

namespace DG {

Item::Item(const Panel& panel, short index)
    : panel_(panel), index_(index), width_(panel.GetWidth()), height_(panel.GetHeight()) {
    (void)enter("DG::Item::Item");
    panel.items_.push_back(this);
}

Item::~Item() {
    std::erase(panel_.items_, this);
}

void Item::Resize(short dh, short dv) {
    (void)enter("DG::Item::Resize");
    width_ = short(width_ + dh);
    height_ = short(height_ + dv);
}

Panel::Panel(GSResModule resModule, short resId, const GS::Guid& guid)
    : resModule_(resModule), resId_(resId), guid_(guid) {
    (void)enter("DG::Panel::Panel");
}

Panel::~Panel() = default;

void Panel::Attach(PanelObserver& observer) {
    (void)enter("DG::Panel::Attach");
    if (std::find(observers_.begin(), observers_.end(), &observer) == observers_.end()) {
        observers_.push_back(&observer);
    }
}

void Panel::Detach(PanelObserver& observer) {
    (void)enter("DG::Panel::Detach");
    std::erase(observers_, &observer);
}

void Panel::DisableItems() {
    (void)enter("DG::Panel::DisableItems");
    itemsEnabled_ = false;
}

void Panel::EnableItems() {
    (void)enter("DG::Panel::EnableItems");
    itemsEnabled_ = true;
}

void Dialog::BeginMoveResizeItems() {
    (void)enter("DG::Dialog::BeginMoveResizeItems");
    ++moveResizeDepth_;
}

void Dialog::EndMoveResizeItems() {
    (void)enter("DG::Dialog::EndMoveResizeItems");
    if (moveResizeDepth_ > 0)
        --moveResizeDepth_;
}

ModelessBase::~ModelessBase() {
    std::erase(state().palettes, this);
}

void ModelessBase::Show(short) {
    (void)enter("DG::ModelessBase::Show");
    visible_ = true;
}

void ModelessBase::Hide() {
    (void)enter("DG::ModelessBase::Hide");
    visible_ = false;
}

void ModelessBase::BeginEventProcessing() {
    (void)enter("DG::ModelessBase::BeginEventProcessing");
    processing_ = true;
}

void ModelessBase::EndEventProcessing() {
    (void)enter("DG::ModelessBase::EndEventProcessing");
    processing_ = false;
}

void ModelessBase::HostResize(short dh, short dv) {
    (void)enter("host::resizePalette");
    Resized(dh, dv);
    if (!processing_)
        return;
    const PanelResizeEvent event(*this, dh, dv);
    for (PanelObserver* o : std::vector<PanelObserver*>(Observers()))
        o->PanelResized(event);
}

bool ModelessBase::HostRequestClose() {
    (void)enter("host::requestClose");
    bool accepted = false;
    if (!processing_)
        return accepted;
    const PanelCloseRequestEvent event(*this);
    for (PanelObserver* o : std::vector<PanelObserver*>(Observers())) {
        o->PanelCloseRequested(event, &accepted);
    }
    return accepted;
}

Palette::Palette(GSResModule resModule, short resId, GSResModule, const GS::Guid& guid)
    : ModelessBase(resModule, resId, guid) {
    state().palettes.push_back(this);
}

Browser::Browser(const Panel& panel, short index)
    : Item(panel, index), JavascriptEngine(host::detail::makeBrowserBackend(*this)) {}

Browser::~Browser() = default;

namespace {

std::function<void(const host::AlertRecord&)>& alertListener() {
    static std::function<void(const host::AlertRecord&)> listener;
    return listener;
}

short alert(const char* kind, const GS::UniString& largeText, const GS::UniString& smallText,
            const GS::UniString& b1, const GS::UniString& b2, const GS::UniString& b3,
            const GS::UniString& title = {}, short type = 0) {
    (void)enter("DG::Alert");
    auto& ui = state().ui;
    short answer = 1;
    if (!ui.alertAnswers.empty()) {
        answer = ui.alertAnswers.front();
        ui.alertAnswers.erase(ui.alertAnswers.begin());
    }
    std::vector<std::string> buttons;
    for (const auto* b : {&b1, &b2, &b3}) {
        if (!b->IsEmpty())
            buttons.push_back(b->ToUtf8());
    }
    ui.alerts.push_back(host::AlertRecord{kind, largeText.ToUtf8(), smallText.ToUtf8(),
                                          std::move(buttons), answer, title.ToUtf8(), type});
    if (alertListener())
        alertListener()(ui.alerts.back());
    return answer;
}

}  // namespace

short WarningAlert(const GS::UniString& largeText, const GS::UniString& smallText,
                   const GS::UniString& button1Text, const GS::UniString& button2Text,
                   const GS::UniString& button3Text) {
    return alert("warning", largeText, smallText, button1Text, button2Text, button3Text);
}

short InformationAlert(const GS::UniString& largeText, const GS::UniString& smallText,
                       const GS::UniString& button1Text, const GS::UniString& button2Text,
                       const GS::UniString& button3Text) {
    return alert("information", largeText, smallText, button1Text, button2Text, button3Text);
}

short ErrorAlert(const GS::UniString& largeText, const GS::UniString& smallText,
                 const GS::UniString& button1Text, const GS::UniString& button2Text,
                 const GS::UniString& button3Text) {
    return alert("error", largeText, smallText, button1Text, button2Text, button3Text);
}

}  // namespace DG

short DGAlert(short type, const GS::UniString& title, const GS::UniString& largeText,
              const GS::UniString& smallText, const GS::UniString& button1Text,
              const GS::UniString& button2Text, const GS::UniString& button3Text) {
    return DG::alert("alert", largeText, smallText, button1Text, button2Text, button3Text, title,
                     type);
}

namespace host {

void setAlertListener(std::function<void(const AlertRecord& alert)> listener) {
    DG::alertListener() = std::move(listener);
}

}  // namespace host
