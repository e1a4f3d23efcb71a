#pragma once
// Runs the independent E57 reader (web-e57 under Node.js, tests/cloud/read_e57.mjs) on a file
// and gives its summary as JSON. Header-only.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace webe57 {

// Why the reader cannot run here ("" when it can): Node.js or the npm package is missing.
inline std::string unavailable() {
    if (std::system("node --version > /dev/null 2>&1") != 0)
        return "Node.js (node) is not installed";
    if (!std::filesystem::exists(std::string(TW_SOURCE_DIR) + "/node_modules/web-e57/package.json"))
        return "the npm package web-e57 is not installed (npm ci)";
    return {};
}

// {"count", "min", "max", "colourSum"[, "points"]}, or {"error": ...} with the reader's text when
// it failed or printed nothing readable.
inline nlohmann::json read(const std::string& path, bool allPoints = false) {
    const std::string command = "node '" + std::string(TW_SOURCE_DIR) +
                                "/tests/cloud/read_e57.mjs' '" + path + "'" +
                                (allPoints ? " all" : "") + " 2>&1";
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return {{"error", "popen failed"}};
    std::string out;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    const auto lastLine = out.find_last_of('\n', out.size() >= 2 ? out.size() - 2 : 0);
    const nlohmann::json summary = nlohmann::json::parse(
        lastLine == std::string::npos ? out : out.substr(lastLine + 1), nullptr, false);
    return summary.is_object() ? summary : nlohmann::json{{"error", out}};
}

}  // namespace webe57
