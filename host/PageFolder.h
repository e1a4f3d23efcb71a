#pragma once
// The files of one page folder as the loopback browser hands them out: only regular files inside
// the folder, named by a request path without ".." segments, and never through a link that leads
// out of the folder.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace host {

class PageFolder {
public:
    // A folder that does not exist serves nothing.
    explicit PageFolder(const std::filesystem::path& folder);

    // The file a decoded request path ("/map.html", "/lib/x.js") names, or nothing when the path
    // is malformed, leaves the folder or names no regular file inside it.
    std::optional<std::filesystem::path> resolve(std::string_view requestPath) const;

    const std::filesystem::path& root() const { return root_; }

private:
    bool contains(const std::filesystem::path& canonicalPath) const;

    std::filesystem::path root_;  // canonical; empty when the folder does not exist
};

// The Content-Type a page file is served with, by its extension.
std::string contentTypeOf(const std::filesystem::path& file);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& file);

}  // namespace host
