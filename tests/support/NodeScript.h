#pragma once
// Runs a test script of the repository under Node.js, for readers and writers checked against an
// independent implementation from npm, and gives the JSON object of its last output line.
// Header-only.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace nodescript {

// Why a script that uses the npm package cannot run here ("" when it can): Node.js or the
// package is missing.
inline std::string unavailable(const std::string& package) {
    if (std::system("node --version > /dev/null 2>&1") != 0)
        return "Node.js (node) is not installed";
    if (!std::filesystem::exists(std::string(TW_SOURCE_DIR) + "/node_modules/" + package +
                                 "/package.json"))
        return "the npm package " + package + " is not installed (npm ci)";
    return {};
}

// Runs `script` (a path from the repository's root) with the arguments; the JSON object of its
// last output line, or {"error": ...} with what it printed when that is none.
inline nlohmann::json run(const std::string& script, const std::vector<std::string>& args) {
    std::string command = "node '" + std::string(TW_SOURCE_DIR) + "/" + script + "'";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " 2>&1";
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

}  // namespace nodescript
