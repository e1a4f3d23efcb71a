#pragma once
// The host's dialog library as the add-on uses it: palettes (modeless dialogs) with their panel
// observers, items, the browser control and alerts. Every call belongs to the main thread.

#include <functional>
#include <memory>
#include <vector>

#include "BrowserBackend.h"
#include "GSRoot.h"
#include "JS.h"

// The script engine of a browser control: loads a page, runs script in it and holds the script
// objects the page can call.
class JavascriptEngine {
public:
    bool LoadURL(const GS::UniString& url);
    bool ExecuteJS(const GS::UniString& script);
    bool RegisterAsynchJSObject(GS::Ref<JS::Object> object);

    // What stands behind this engine (the recording or the loopback flavour).
    host::BrowserBackend& GetBackend() const { return *backend_; }

protected:
    explicit JavascriptEngine(std::unique_ptr<host::BrowserBackend> backend)
        : backend_(std::move(backend)) {}
    JavascriptEngine(const JavascriptEngine&) = delete;
    JavascriptEngine& operator=(const JavascriptEngine&) = delete;
    ~JavascriptEngine() = default;

private:
    std::unique_ptr<host::BrowserBackend> backend_;
};

namespace DG {

class Panel;

class PanelResizeEvent {
public:
    PanelResizeEvent(const Panel& source, short dh, short dv) : source_(source), dh_(dh), dv_(dv) {}
    const Panel& GetSource() const { return source_; }
    short GetHorizontalChange() const { return dh_; }
    short GetVerticalChange() const { return dv_; }

private:
    const Panel& source_;
    short dh_;
    short dv_;
};

class PanelCloseRequestEvent {
public:
    explicit PanelCloseRequestEvent(const Panel& source) : source_(source) {}
    const Panel& GetSource() const { return source_; }

private:
    const Panel& source_;
};

class PanelObserver {
public:
    PanelObserver() = default;
    PanelObserver(const PanelObserver&) = delete;
    PanelObserver& operator=(const PanelObserver&) = delete;
    virtual ~PanelObserver() = default;
    virtual void PanelResized(const PanelResizeEvent&) {}
    virtual void PanelCloseRequested(const PanelCloseRequestEvent&, bool* /*accepted*/) {}
};

class Item {
public:
    Item(const Panel& panel, short index);
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;
    virtual ~Item();

    const Panel& GetPanel() const { return panel_; }
    short GetIndex() const { return index_; }
    short GetWidth() const { return width_; }
    short GetHeight() const { return height_; }
    void Resize(short dh, short dv);

private:
    const Panel& panel_;
    short index_;
    short width_;
    short height_;
};

// A window surface with items; palettes are panels. The host delivers resize and close requests
// to attached observers while event processing is on.
class Panel {
public:
    Panel(GSResModule resModule, short resId, const GS::Guid& guid);
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;
    virtual ~Panel();

    void Attach(PanelObserver& observer);
    void Detach(PanelObserver& observer);
    void DisableItems();
    void EnableItems();
    bool AreItemsEnabled() const { return itemsEnabled_; }

    const GS::Guid& GetGuid() const { return guid_; }
    short GetResourceId() const { return resId_; }
    short GetWidth() const { return width_; }
    short GetHeight() const { return height_; }

    const std::vector<PanelObserver*>& Observers() const { return observers_; }
    const std::vector<Item*>& Items() const { return items_; }

protected:
    void Resized(short dh, short dv) {
        width_ = short(width_ + dh);
        height_ = short(height_ + dv);
    }

private:
    friend class Item;
    GSResModule resModule_;
    short resId_;
    GS::Guid guid_;
    short width_ = 360;
    short height_ = 540;
    bool itemsEnabled_ = true;
    std::vector<PanelObserver*> observers_;  // not owned
    mutable std::vector<Item*> items_;       // not owned: items register themselves
};

class Dialog : public Panel {
public:
    using Panel::Panel;
    void BeginMoveResizeItems();
    void EndMoveResizeItems();
    bool IsMovingItems() const { return moveResizeDepth_ > 0; }

private:
    int moveResizeDepth_ = 0;
};

class ModelessBase : public Dialog {
public:
    using Dialog::Dialog;
    ~ModelessBase() override;

    void Show(short refDialog = 0);
    void Hide();
    bool IsVisible() const { return visible_; }
    void BeginEventProcessing();
    void EndEventProcessing();
    bool IsProcessingEvents() const { return processing_; }

    // The host's side: the user drags the palette's edge or presses its close box. Delivered to
    // the observers only while event processing is on. Returns whether closing was accepted.
    void HostResize(short dh, short dv);
    bool HostRequestClose();

private:
    bool visible_ = false;
    bool processing_ = false;
};

class Palette : public ModelessBase {
public:
    Palette(GSResModule resModule, short resId, GSResModule dialogResModule, const GS::Guid& guid);
};

// Events of a browser control: each handler added with += is called in order.
template <class... Args>
class EventProperty {
public:
    EventProperty& operator+=(std::function<void(Args...)> handler) {
        handlers_.push_back(std::move(handler));
        return *this;
    }
    void Fire(Args... args) const {
        for (const auto& h : handlers_)
            h(args...);
    }

private:
    std::vector<std::function<void(Args...)>> handlers_;
};

class Browser : public Item, public JavascriptEngine {
public:
    Browser(const Panel& panel, short index);
    ~Browser() override;

    EventProperty<Int32, const GS::UniString&> onLoadError;  // error code, URL
    EventProperty<bool> onLoadingStateChange;                // true while loading
};

// Alerts: the host shows the dialog and returns the number (1 to 3) of the button pressed. In
// the stand-in the answers come from host::scriptAlertAnswers (HostTestApi.h).
short WarningAlert(const GS::UniString& largeText, const GS::UniString& smallText,
                   const GS::UniString& button1Text, const GS::UniString& button2Text = {},
                   const GS::UniString& button3Text = {});
short InformationAlert(const GS::UniString& largeText, const GS::UniString& smallText,
                       const GS::UniString& button1Text, const GS::UniString& button2Text = {},
                       const GS::UniString& button3Text = {});
short ErrorAlert(const GS::UniString& largeText, const GS::UniString& smallText,
                 const GS::UniString& button1Text, const GS::UniString& button2Text = {},
                 const GS::UniString& button3Text = {});

}  // namespace DG

// A modal alert with a title, of one of the host's alert kinds (a negative number); returns the
// number (1 to 3) of the button pressed once the user has closed it. Empty button texts show no
// button.
short DGAlert(short type, const GS::UniString& title, const GS::UniString& largeText,
              const GS::UniString& smallText, const GS::UniString& button1Text,
              const GS::UniString& button2Text = {}, const GS::UniString& button3Text = {});
