// terraweft-host: the stand-in host program with the add-on linked in.
//
//   terraweft-host --serve [--port N] [--cloud] [--demo]
//                                  serves the map palette's page (and with --cloud the point-cloud
//                                  palette's page too) on 127.0.0.1 for a real browser, with the
//                                  host's plan and 3D views of the project beside them: prints the
//                                  pages' addresses first (map, point cloud, plan, 3D), then every
//                                  line of the report window and every alert; carries out the
//                                  commands of scripted mode read from standard input; runs until
//                                  SIGINT or SIGTERM. Without --port any free port is taken
//                                  (ServeMode.h). With --demo a demo area generated at start-up
//                                  answers instead of the outside services, and both palettes
//                                  open (DemoServices.h).
//
//   terraweft-host --script FILE   reads one JSON command per line from FILE ("-": standard
//                                  input) and writes one JSON line per event to standard output
//                                  (ScriptMode.h lists them).

#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "ScriptMode.h"
#include "ServeMode.h"

namespace {

int usage() {
    std::cerr << "uzycie: terraweft-host --script PLIK|-\n"
                 "       terraweft-host --serve [--port N] [--cloud] [--demo]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--script") {
        if (args[1] == "-")
            return twhost::runScript(std::cin);
        std::ifstream file(args[1]);
        if (!file) {
            std::cerr << "terraweft-host: nie mozna otworzyc " << args[1] << '\n';
            return 1;
        }
        return twhost::runScript(file);
    }
    if (!args.empty() && args[0] == "--serve") {
        const std::optional<twhost::ServeOptions> options = twhost::serveOptionsOf(args);
        return options ? twhost::runServe(*options) : usage();
    }
    return usage();
}
