// The server of the project's views: page files, the project's dump by revision, its pictures and
// the revision's events. Server threads reach the host only through MainThreadCalls.

#include "ProjectViews.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

#include "APIdefs.h"
#include "HostTestApi.h"
#include "LocalHttpServer.h"
#include "MainThreadCalls.h"
#include "PageFolder.h"
#include "ProjectDump.h"
#include "ScriptStream.h"

namespace twhost {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using host::refuse;
using host::sendFile;
using host::sendUncompressed;

constexpr const char* kPlanPage = "/plan.html";
constexpr const char* kScenePage = "/3d.html";
// How long a request waits for the main thread (a placement may keep it busy for a while).
constexpr auto kCallTimeout = 60s;
// Main thread: the dump of the project as /project.json gives it.
std::string projectText(std::uint64_t revision) {
    return R"({"revision":)" + std::to_string(revision) + R"(,"project":)" +
           host::projectJson().dump(-1, ' ', false,
                                    nlohmann::ordered_json::error_handler_t::replace) +
           "}";
}

// Main thread: the element the GUID names, in the project or inside one of its drawings.
std::optional<host::ElementSnapshot> elementOrDrawn(const API_Guid& guid) {
    if (std::optional<host::ElementSnapshot> e = host::element(guid))
        return e;
    for (const host::ElementSnapshot& drawing : host::elements(API_DrawingID)) {
        for (const host::ElementSnapshot& inside : drawing.drawing) {
            if (inside.element.header.guid == guid)
                return inside;
        }
    }
    return std::nullopt;
}

// Main thread: the image type of the picture the GUID names (the host keeps PNG and JPEG only),
// a line break and its bytes; empty when the GUID names no picture.
std::string pictureOf(const std::string& guidText) {
    const std::optional<host::ElementSnapshot> e =
        elementOrDrawn(APIGuidFromString(guidText.c_str()));
    if (!e || e->element.header.type.typeID != API_PictureID)
        return {};
    return std::string(e->element.picture.mimeType) + '\n' + e->picture;
}

bool hasPages(const host::PageFolder& folder) {
    return folder.resolve(kPlanPage) && folder.resolve(kScenePage);
}

}  // namespace

class ProjectViews::Server {
public:
    Server(const fs::path& folder, int port)
        : folder_(folder), revision_(host::projectRevision()), http_(port) {
        error_ = !http_.error().empty() ? http_.error()
                 : !hasPages(folder_)   ? "Nie ma stron widokow projektu w " + folder.string()
                                        : std::string();
        route();
        http_.start();
        host::setProjectListener([this](std::uint64_t revision) { changed(revision); });
    }

    ~Server() {
        host::setProjectListener({});
        calls_.close();
        revisions_.close();
        http_.stop();
    }

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    const std::string& error() const { return error_; }
    std::string address(const char* page) const { return http_.origin() + page; }

private:
    void route() {
        httplib::Server& routes = http_.routes();
        routes.Get("/project.json", [this](const httplib::Request& req, httplib::Response& res) {
            if (fromOtherSite(req, res))
                return;
            sendProject(res);
        });
        routes.Get("/picture", [this](const httplib::Request& req, httplib::Response& res) {
            if (fromOtherSite(req, res))
                return;
            sendPicture(req.get_param_value("guid"), res);
        });
        routes.Get("/events", [this](const httplib::Request& req, httplib::Response& res) {
            http_.streamEvents(req, res, revisions_);
        });
        routes.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            sendFile(res, folder_.resolve(req.path));
        });
    }

    // Main thread: the project changed.
    void changed(std::uint64_t revision) {
        revision_ = revision;
        revisions_.push(std::to_string(revision));
    }

    bool fromOtherSite(const httplib::Request& req, httplib::Response& res) const {
        if (http_.fromOwnPageOrNone(req.get_header_value("Origin")))
            return false;
        refuse(res, 403, "Odmowa dostepu");
        return true;
    }

    // The dump of the latest revision, made on the main thread once per revision, sent as it is.
    void sendProject(httplib::Response& res) {
        std::optional<std::string> text = cachedProject();
        if (!text) {
            text = calls_.run(
                [this] {
                    const std::uint64_t revision = host::projectRevision();
                    std::string made = projectText(revision);
                    const std::lock_guard lock(mutex_);
                    cache_ = {revision, made};
                    return made;
                },
                kCallTimeout);
        }
        if (!text) {
            refuse(res, 503, "Program nie odpowiada");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        sendUncompressed(res, std::move(*text), "application/json");
    }

    std::optional<std::string> cachedProject() const {
        const std::lock_guard lock(mutex_);
        if (!cache_ || cache_->first != revision_)
            return std::nullopt;
        return cache_->second;
    }

    // A picture's image never changes under its GUID (an undo brings back the same element), so
    // the browser may keep it.
    void sendPicture(const std::string& guid, httplib::Response& res) {
        const std::optional<std::string> picture =
            calls_.run([guid] { return pictureOf(guid); }, kCallTimeout);
        if (!picture) {
            refuse(res, 503, "Program nie odpowiada");
            return;
        }
        const std::size_t split = picture->find('\n');
        if (split == std::string::npos) {
            refuse(res, 404, "Nie ma takiego obrazu");
            return;
        }
        res.set_header("Cache-Control", "private, max-age=3600");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_content(picture->substr(split + 1), picture->substr(0, split));
    }

    const host::PageFolder folder_;
    std::string error_;
    std::atomic<std::uint64_t> revision_;
    mutable std::mutex mutex_;  // guards the cache
    std::optional<std::pair<std::uint64_t, std::string>> cache_;
    host::ScriptStream revisions_{kMaxListeningPages};
    host::MainThreadCalls calls_;
    host::LocalHttpServer http_;
};

ProjectViews::ProjectViews(const std::filesystem::path& folder, int port)
    : server_(std::make_unique<Server>(folder, port)) {}

ProjectViews::~ProjectViews() = default;

const std::string& ProjectViews::error() const {
    return server_->error();
}

std::string ProjectViews::planAddress() const {
    return server_->address(kPlanPage);
}

std::string ProjectViews::sceneAddress() const {
    return server_->address(kScenePage);
}

}  // namespace twhost
