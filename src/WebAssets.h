#pragma once
// The page files of a palette: where they go on disk, their "file://" address, writing them out
// of the add-on's 'DATA' resources, and the diagnostic log of that work.

#include <optional>
#include <span>
#include <string>

#include "GSTypes.h"

namespace webasset {

// dir + "/" + name.
std::string diskPath(const std::string& dir, const std::string& name);

// "file://" + dir (backslashes turned into "/", a leading "/" added when missing) + "/" + name.
std::string fileUrl(const std::string& dir, const std::string& name);

// One page file: its 'DATA' resource id and its file name.
struct Resource {
    GSResID id;
    const char* file;
};

// What tells one palette's page files apart from another's.
struct PageFiles {
    const char* owner;         // in the log title, e.g. "MapPalette"
    const char* folder;        // under the temporary folder, e.g. "TERRAWEFT"
    const char* page;          // the file to load, e.g. "map.html"
    const char* version;       // in the log title
    const char* reportPrefix;  // of the report lines, e.g. "TERRAWEFT: "
    std::span<const Resource> resources;
};

// The page folder: Platform::tempDir() + folder + "/web".
std::string pageFolder(const PageFiles& files);

// Writes the files afresh into the page folder (created when missing), logging each to the
// diagnostic log. Returns the page's URL, or nothing when a file is missing from the resources or
// does not reach the disk whole; the report window then tells the user, and writing stops at
// that file. A page folder (or its parent) that is a symbolic link or belongs to another user is
// not written into.
std::optional<std::string> extract(const PageFiles& files);

}  // namespace webasset

namespace webdiag {

// Appends line and a line break to Platform::diagLogPath(); failures are silent.
void log(const std::string& line);

}  // namespace webdiag
