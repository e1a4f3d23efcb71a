// Safe lookup of page files for the loopback browser.

#include "PageFolder.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace host {
namespace fs = std::filesystem;

namespace {

// The relative path of a request path, or nothing when a segment could climb out (".."), the
// path is not absolute or it holds a byte that no page file name needs (NUL, backslash).
std::optional<fs::path> relativeOf(std::string_view requestPath) {
    if (requestPath.empty() || requestPath.front() != '/')
        return std::nullopt;
    if (requestPath.find_first_of(std::string_view("\0\\", 2)) != std::string_view::npos)
        return std::nullopt;
    fs::path relative;
    std::size_t start = 1;
    while (start <= requestPath.size()) {
        const std::size_t end = std::min(requestPath.find('/', start), requestPath.size());
        const std::string_view segment = requestPath.substr(start, end - start);
        if (segment == "..")
            return std::nullopt;
        if (!segment.empty() && segment != ".")
            relative /= fs::path(segment);
        start = end + 1;
    }
    return relative;
}

}  // namespace

PageFolder::PageFolder(const fs::path& folder) {
    std::error_code ec;
    fs::path root = fs::canonical(folder, ec);
    if (!ec && fs::is_directory(root, ec))
        root_ = std::move(root);
}

std::optional<fs::path> PageFolder::resolve(std::string_view requestPath) const {
    const std::optional<fs::path> relative = relativeOf(requestPath);
    if (root_.empty() || !relative || relative->empty())
        return std::nullopt;
    // Every link on the way is followed before the containment check, so a link that points out
    // of the folder is refused like a path that climbs out.
    std::error_code ec;
    const fs::path file = fs::canonical(root_ / *relative, ec);
    if (ec || !contains(file) || !fs::is_regular_file(file, ec))
        return std::nullopt;
    return file;
}

bool PageFolder::contains(const fs::path& canonicalPath) const {
    const auto [rootEnd, pathPos] =
        std::mismatch(root_.begin(), root_.end(), canonicalPath.begin(), canonicalPath.end());
    return rootEnd == root_.end() && pathPos != canonicalPath.end();
}

std::string contentTypeOf(const fs::path& file) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 10> types = {{
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".svg", "image/svg+xml"},
        {".woff2", "font/woff2"},
        {".pbf", "application/x-protobuf"},
        {".wasm", "application/wasm"},
    }};
    const std::string extension = file.extension().string();
    for (const auto& [ext, type] : types) {
        if (extension == ext)
            return std::string(type);
    }
    return "application/octet-stream";
}

std::optional<std::string> readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(content).str();
}

}  // namespace host
