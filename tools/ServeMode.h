#pragma once
// Serve mode of terraweft-host: the map palette's page (and with --cloud the point-cloud
// palette's page too) served on 127.0.0.1 for a real browser, with the host's own views of the
// project beside them. Prints the map page's address as its first line, then the point-cloud
// page's, the plan view's and the 3D view's, then every line of the report window and every alert
// (as scripted mode's alert event). The commands of scripted mode read from standard input are
// carried out too, their events written among the report lines (the user's Undo, a look into the
// project). Runs until SIGINT or SIGTERM.

#include <optional>
#include <string>
#include <vector>

namespace twhost {

struct ServeOptions {
    int port = 0;  // of the map page; 0: any free port
    bool cloud = false;
    // The demo area (DemoServices.h) answers the add-on's requests instead of the outside
    // services, the project starts georeferenced in it and both palettes open.
    bool demo = false;
};

// The options after "--serve" (args[0]), or nothing when they cannot be read.
std::optional<ServeOptions> serveOptionsOf(const std::vector<std::string>& args);

// Loads the add-on, serves until asked to stop, then lets the palettes go as when the host
// quits; 0, or 1 when a page could not be served.
int runServe(const ServeOptions& options);

}  // namespace twhost
