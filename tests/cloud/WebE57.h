#pragma once
// Runs the independent E57 reader (web-e57 under Node.js, tests/cloud/read_e57.mjs) on a file
// and gives its summary as JSON. Header-only.

#include <string>
#include <vector>

#include "support/NodeScript.h"

namespace webe57 {

// Why the reader cannot run here ("" when it can): Node.js or the npm package is missing.
inline std::string unavailable() {
    return nodescript::unavailable("web-e57");
}

// {"count", "min", "max", "colourSum"[, "points"]}, or {"error": ...} with the reader's text when
// it failed or printed nothing readable.
inline nlohmann::json read(const std::string& path, bool allPoints = false) {
    std::vector<std::string> args{path};
    if (allPoints)
        args.emplace_back("all");
    return nodescript::run("tests/cloud/read_e57.mjs", args);
}

}  // namespace webe57
