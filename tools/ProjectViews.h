#pragma once
// The stand-in host's own views of the open project, in place of the host's plan and 3D windows
// (they are no part of the add-on): two pages served on 127.0.0.1, the plan (plan.html, drawn as
// SVG) and the model (3d.html, drawn with three.js), both drawn from the project as the dump gives
// it and reloaded whenever the project changes.
//
//   /plan.html, /3d.html and their files  from the views folder, only files inside it
//   /project.json   {"revision":n,"project":{...}}: the dump (host::projectJson) of revision n
//   /events         server-sent events: the new revision after every change of the project
//   /picture?guid=  the image of a picture element (PNG or JPEG), by the element's GUID, also
//                   of one inside a drawing
//
// Like the loopback browser it answers only requests addressed to its own host name, and gives
// the project, its pictures and the events to no page of another site.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace twhost {

class ProjectViews {
public:
    // The most pages that are told of changes at once; a page that starts listening past that
    // takes the place of the one that listens longest.
    static constexpr std::size_t kMaxListeningPages = 8;

    // Main thread. Serves the folder on the port (0: any free port) and follows the project's
    // changes (as the project listener, so one instance at a time) until destroyed.
    explicit ProjectViews(const std::filesystem::path& folder, int port = 0);
    ~ProjectViews();

    ProjectViews(const ProjectViews&) = delete;
    ProjectViews& operator=(const ProjectViews&) = delete;

    // Why the views cannot be shown (a text for the user); empty when they can.
    const std::string& error() const;
    // "http://127.0.0.1:PORT/plan.html" and ".../3d.html".
    std::string planAddress() const;
    std::string sceneAddress() const;

private:
    class Server;
    std::unique_ptr<Server> server_;
};

}  // namespace twhost
