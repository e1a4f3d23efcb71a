// Serve mode: the pages on 127.0.0.1 and the main loop until a signal stops it.

#include "ServeMode.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "ACAPinc.h"
#include "AddOn.h"
#include "DemoServices.h"
#include "HostTestApi.h"
#include "LoopbackBrowser.h"
#include "MapPalette.h"
#include "ProjectViews.h"
#include "ScriptMode.h"
#include "cloud_ui/CloudPalette.h"

namespace twhost {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int) {
    stopRequested = 1;
}

// Opens the palette as the host does and gives its page's address; throws why there is none.
std::string openServedPalette(const GS::Guid& guid) {
    host::paletteMessage(GSGuid2APIGuid(guid), APIPalMsg_OpenPalette);
    const auto* page = dynamic_cast<const host::LoopbackBrowser*>(host::browserOf(guid));
    if (page == nullptr)
        throw std::runtime_error("Paleta " + paletteName(guid) + " nie otworzyla sie");
    if (!page->Error().empty())
        throw std::runtime_error(page->Error());
    if (page->PageAddress().empty())
        throw std::runtime_error("Strona palety " + paletteName(guid) + " nie zaladowala sie");
    return page->PageAddress();
}

// The lines of standard input as they arrive, read without waiting for more.
class InputLines {
public:
    // The whole lines that arrived since the last call (the last one also unended once the
    // input has ended).
    std::vector<std::string> ready() {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        while (open_ && poll(&input, 1, 0) > 0) {
            char chunk[4096];
            const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
            if (n <= 0) {
                open_ = false;
                pending_ += '\n';
            } else {
                pending_.append(chunk, static_cast<std::size_t>(n));
            }
        }
        std::vector<std::string> lines;
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            lines.push_back(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        }
        return lines;
    }

private:
    std::string pending_;
    bool open_ = true;
};

// The folder of the views' pages, which the build puts beside the program.
std::filesystem::path viewsFolder() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "views";
}

// The views' addresses; throws why the views cannot be shown.
std::vector<std::string> viewAddresses(const ProjectViews& views) {
    if (!views.error().empty())
        throw std::runtime_error(views.error());
    return {views.planAddress(), views.sceneAddress()};
}

// The demo area's services, the add-on's service addresses pointed at them and the project
// georeferenced in the area.
std::unique_ptr<DemoServices> startDemo() {
    auto demo = std::make_unique<DemoServices>();
    services::setEndpoints(demo->endpoints());
    host::setGeoLocation(demo->geoLocation());
    return demo;
}

}  // namespace

std::optional<ServeOptions> serveOptionsOf(const std::vector<std::string>& args) {
    ServeOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--cloud") {
            options.cloud = true;
        } else if (args[i] == "--demo") {
            options.demo = true;
        } else if (args[i] == "--port" && i + 1 < args.size()) {
            const std::string& text = args[++i];
            if (text.empty() || text.size() > 5 ||
                text.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            options.port = std::stoi(text);
            if (options.port > 65535)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

int runServe(const ServeOptions& options) {
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGPIPE, SIG_IGN);
    host::setBrowserBackendFactory([port = options.port](DG::Browser& browser) {
        const bool mapPage = browser.GetPanel().GetGuid() == MapPalette::Guid();
        return std::make_unique<host::LoopbackBrowser>(
            browser, host::LoopbackBrowser::Options{mapPage ? port : 0});
    });
    // Report lines written before the addresses are known wait, so that the pages' addresses
    // always come first.
    std::vector<std::string> waiting;
    bool serving = false;
    const auto print = [&](const std::string& line) {
        if (serving)
            std::cout << line << std::endl;
        else
            waiting.push_back(line);
    };
    host::setReportListener(print);
    host::setAlertListener([&print](const host::AlertRecord& alert) { print(alertLine(alert)); });
    const ProjectViews views(viewsFolder());
    std::unique_ptr<DemoServices> demo;
    std::vector<std::string> addresses;
    try {
        if (options.demo)
            demo = startDemo();
        if (const GSErrCode err = loadAddOn())
            throw std::runtime_error("Dodatek nie zaladowal sie (kod " + std::to_string(err) + ")");
        addresses.push_back(openServedPalette(MapPalette::Guid()));
        if (options.cloud || options.demo)
            addresses.push_back(openServedPalette(CloudPalette::Guid()));
        for (std::string& view : viewAddresses(views))
            addresses.push_back(std::move(view));
    } catch (const std::exception& e) {
        for (const std::string& line : waiting)
            std::cerr << line << '\n';
        std::cerr << "terraweft-host: " << e.what() << '\n';
        return 1;
    }
    for (const std::string& line : addresses)
        std::cout << line << '\n';
    for (const std::string& line : waiting)
        std::cout << line << '\n';
    std::cout << std::flush;
    serving = true;

    InputLines input;
    while (stopRequested == 0) {
        host::pumpFor(std::chrono::milliseconds(100));
        for (const std::string& line : input.ready())
            runLine(line);
    }
    host::projectEvent(APINotify_Quit);
    host::pump();
    host::setReportListener({});
    host::setAlertListener({});
    return 0;
}

}  // namespace twhost
