#pragma once
// The loopback flavour of the browser control: a page loaded from a "file://" URL is served with
// the rest of its folder over HTTP on 127.0.0.1, so that a real browser shows it. The served HTML
// gains one script of the stand-in's own (the page files stay as they are) that
//   - defines the registered script objects ("GIS" with "postMessage"), whose functions hand the
//     page's argument to the program: a string as that string, a number or boolean as such, no
//     argument as none, anything else as a value of another kind; an argument longer than
//     kMaxMessageBytes reaches the program as a value that is not a string, never whole;
//   - runs every ExecuteJS text in the page, in order (server-sent events). At most
//     kMaxEventStreams pages listen at once: a page that starts listening past that takes the
//     place of the one that listens longest, which then stops listening.
// Only files inside the page's folder are served, never through a link out of it; only requests
// addressed to the server's own host name are answered, and only same-origin script can call.

#include <cstddef>
#include <memory>
#include <string>

#include "BrowserBackend.h"

namespace host {

class LoopbackBrowser : public BrowserBackend {
public:
    // The largest page argument handed over as it is.
    static constexpr std::size_t kMaxMessageBytes = std::size_t{4} << 20;
    // The most pages (tabs, reloads not yet noticed as gone) that get the page scripts at once.
    static constexpr std::size_t kMaxEventStreams = 4;

    struct Options {
        int port = 0;  // 0: any free port
    };

    LoopbackBrowser(DG::Browser& browser, Options options);
    ~LoopbackBrowser() override;

    // The URL must be a "file://" URL of an existing file; anything else fails with the browser's
    // load error (code -1). The page gets the script objects registered until now.
    bool LoadURL(const GS::UniString& url) override;
    bool ExecuteJS(const GS::UniString& script) override;

    // "http://127.0.0.1:PORT", or empty when the server could not start.
    std::string Origin() const;
    // The loaded page's address, or empty before a page has loaded.
    const std::string& PageAddress() const { return pageAddress_; }
    // Why the server does not run (a text for the user); empty when it runs.
    std::string Error() const;

private:
    class Server;

    // Main thread: the page calls a registered function; the reply for the page as JSON text.
    std::string callFromPage(const std::string& object, const std::string& function,
                             GS::Ref<JS::Base> argument);

    std::unique_ptr<Server> server_;
    std::string pageAddress_;
};

}  // namespace host
