#pragma once
// What stands behind a browser control (DG::Browser). The stand-in host has two flavours: the
// recording one below, which keeps what the program asked of the page and lets tests play the
// page's part, and a loopback one that serves the page to a real browser over HTTP. Which one new
// browser controls get is decided by host::setBrowserBackendFactory (HostTestApi.h).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GSRoot.h"
#include "JS.h"

namespace DG {
class Browser;
}

namespace host {

class BrowserBackend {
public:
    explicit BrowserBackend(DG::Browser& browser) : browser_(browser) {}
    BrowserBackend(const BrowserBackend&) = delete;
    BrowserBackend& operator=(const BrowserBackend&) = delete;
    virtual ~BrowserBackend() = default;

    virtual bool LoadURL(const GS::UniString& url) = 0;
    virtual bool ExecuteJS(const GS::UniString& script) = 0;

    // Keeps the object; the page can call its functions from then on (CallFromPage).
    bool RegisterAsynchJSObject(GS::Ref<JS::Object> object);

    // The page calls objectName.functionName(argument): the registered function's result, or an
    // empty reference when no such object or function is registered. Exceptions of the function
    // pass through to the caller (the page's side).
    GS::Ref<JS::Base> CallFromPage(const GS::UniString& objectName,
                                   const GS::UniString& functionName, GS::Ref<JS::Base> argument);

    DG::Browser& GetBrowser() const { return browser_; }
    // The registered objects, in registration order.
    const std::vector<GS::Ref<JS::Object>>& Objects() const { return objects_; }

private:
    DG::Browser& browser_;
    std::vector<GS::Ref<JS::Object>> objects_;
};

// Records every URL loaded and every script run; the page never answers on its own.
class RecordingBrowser : public BrowserBackend {
public:
    using BrowserBackend::BrowserBackend;

    bool LoadURL(const GS::UniString& url) override;
    bool ExecuteJS(const GS::UniString& script) override;

    const std::vector<std::string>& LoadedUrls() const { return urls_; }
    const std::vector<std::string>& Scripts() const { return scripts_; }
    void ClearScripts() { scripts_.clear(); }

private:
    std::vector<std::string> urls_;
    std::vector<std::string> scripts_;
};

using BrowserBackendFactory = std::function<std::unique_ptr<BrowserBackend>(DG::Browser&)>;

}  // namespace host
