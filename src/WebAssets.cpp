#include "WebAssets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "ACAPinc.h"
#include "Platform.h"

namespace webasset {
namespace {

// A folder we may write page files into: a real folder (not a link to one) of our own user.
bool isOwnFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

// Writes the bytes to path, never through a symbolic link; whether the file could be opened.
bool writeFile(const std::string& path, const char* bytes, Int32 size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    for (Int32 done = 0; done < size;) {
        const ssize_t n = write(fd, bytes + done, static_cast<std::size_t>(size - done));
        if (n <= 0)
            break;  // a short file: the size check below catches it
        done += static_cast<Int32>(n);
    }
    close(fd);
    return true;
}

// The file's size on disk, or -1 when it cannot be opened.
long long sizeOnDisk(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const off_t end = lseek(fd, 0, SEEK_END);
    close(fd);
    return end;
}

void report(const PageFiles& files, const std::string& text) {
    ACAPI_WriteReport(GS::UniString(files.reportPrefix + text), false);
}

// Writes one resource out; false when it is missing or did not reach the disk whole.
bool extractOne(const PageFiles& files, const std::string& dir, const Resource& r) {
    const std::string id = std::to_string(r.id);
    GSHandle handle = RSLoadResource(RSTypeData, ACAPI_GetOwnResModule(), r.id);
    if (handle == nullptr) {
        webdiag::log("RSLoadResource NULL id=" + id + " file=" + r.file);
        return false;
    }
    const auto size = static_cast<Int32>(BMGetHandleSize(handle));
    const std::string path = diskPath(dir, r.file);
    const bool opened = writeFile(path, *handle, size);
    const long long disk = sizeOnDisk(path);
    webdiag::log("id=" + id + " file=" + r.file + " res=" + std::to_string(size) + "B open=" +
                 (opened ? "1" : "0") + " disk=" + std::to_string(disk) + "B path=" + path);
    BMKillHandle(&handle);
    if (opened && disk == size)
        return true;
    webdiag::log("ZAPIS NIEUDANY id=" + id + " -> przerywam");
    report(files, "nie udalo sie zapisac zasobow web na dysku (paleta bylaby pusta).");
    return false;
}

}  // namespace

std::string diskPath(const std::string& dir, const std::string& name) {
    return dir + "/" + name;
}

std::string fileUrl(const std::string& dir, const std::string& name) {
    std::string path = dir;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || path.front() != '/')
        path.insert(path.begin(), '/');
    return "file://" + diskPath(path, name);
}

std::string pageFolder(const PageFiles& files) {
    return Platform::tempDir() + files.folder + "/web";
}

std::optional<std::string> extract(const PageFiles& files) {
    const std::string parent = Platform::tempDir() + files.folder;
    Platform::ensureDir(parent);
    const std::string dir = parent + "/web";
    Platform::ensureDir(dir);
    webdiag::log(std::string("=== ") + files.owner + " ExtractWebResources v" + files.version +
                 " ===");
    webdiag::log("webDir=" + dir);

    bool written = isOwnFolder(parent) && isOwnFolder(dir);
    if (!written)
        webdiag::log("webDir nie jest wlasnym katalogiem (dowiazanie lub obcy wlasciciel)");
    for (auto r = files.resources.begin(); written && r != files.resources.end(); ++r) {
        written = extractOne(files, dir, *r);
    }
    if (!written) {
        report(files, "nie udalo sie wypakowac zasobow web.");
        return std::nullopt;
    }
    const std::string url = fileUrl(dir, files.page);
    webdiag::log("LoadURL=" + url);
    return url;
}

}  // namespace webasset

namespace webdiag {

void log(const std::string& line) {
    std::ofstream out(Platform::diagLogPath(), std::ios::app | std::ios::binary);
    if (out)
        out << line << '\n';
}

}  // namespace webdiag
