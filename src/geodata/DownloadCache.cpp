#include "geodata/DownloadCache.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <thread>

#include "Platform.h"
#include "geodata/Sha1.h"

namespace fs = std::filesystem;

namespace {

using File = DownloadCache::File;

void removeQuietly(const std::string& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

bool isStale(const fs::directory_entry& entry, fs::file_time_type now) {
    if (entry.path().filename().string().find(".part") != std::string::npos)
        return true;
    std::error_code error;
    const auto written = entry.last_write_time(error);
    return !error && now - written > DownloadCache::kMaxAge;
}

}  // namespace

DownloadCache& DownloadCache::shared() {
    static DownloadCache cache([] { return Platform::localCacheDir(); });
    return cache;
}

DownloadCache::DownloadCache(std::function<std::string()> root) : root_(std::move(root)) {}

void DownloadCache::setAppName(std::string_view name) {
    if (name.empty())
        return;
    const std::lock_guard lock(nameMutex_);
    appName_ = name;
}

std::string DownloadCache::appName() {
    const std::lock_guard lock(nameMutex_);
    return appName_;
}

std::string DownloadCache::dir() {
    const std::string app = root_() + appName();
    const std::string cache = app + "/cache";
    Platform::ensureDir(app);
    Platform::ensureDir(cache);
    // Every caller waits until the one sweep is over, so none is handed a file it removes.
    std::call_once(swept_, [&] { sweep(cache, fs::file_time_type::clock::now()); });
    return cache;
}

std::string DownloadCache::pathFor(std::string_view url, std::string_view extension) {
    const std::string name = sha1Hex(url);
    return name.empty() ? std::string() : dir() + "/" + name + "." + std::string(extension);
}

std::string DownloadCache::tempPathFor(const std::string& finalPath) {
    const std::size_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    const unsigned seq = partSeq_.fetch_add(1);
    return finalPath + ".part." + std::to_string(thread) + "." + std::to_string(seq);
}

std::optional<std::string> DownloadCache::read(const std::string& path) {
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return std::nullopt;
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    const std::size_t got = std::fread(content.data(), 1, content.size(), file.get());
    content.resize(got);
    return content;
}

bool DownloadCache::holds(const std::string& path) {
    return File(std::fopen(path.c_str(), "rb")) != nullptr;
}

DownloadCache::PartFile::PartFile(DownloadCache& cache, std::string finalPath)
    : finalPath_(std::move(finalPath)),
      tempPath_(cache.tempPathFor(finalPath_)),
      file_(std::fopen(tempPath_.c_str(), "wb")) {}

DownloadCache::PartFile::~PartFile() {
    file_.reset();
    if (!committed_)
        removeQuietly(tempPath_);
}

bool DownloadCache::PartFile::write(std::string_view bytes) {
    return file_ && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

bool DownloadCache::PartFile::close() {
    if (!file_)
        return false;
    const bool flushed = std::fflush(file_.get()) == 0;
    return std::fclose(file_.release()) == 0 && flushed;
}

bool DownloadCache::PartFile::commit() {
    std::error_code error;
    fs::rename(tempPath_, finalPath_, error);
    committed_ = !error;
    return committed_;
}

bool DownloadCache::store(const std::string& path, std::string_view bytes) {
    // An unnamed file would be written beside the process's working folder.
    if (path.empty())
        return false;
    PartFile part(*this, path);
    return part.write(bytes) && part.close() && part.commit();
}

void DownloadCache::sweep(const std::string& dir, fs::file_time_type now) {
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || typeError)
            continue;
        if (isStale(*it, now))
            removeQuietly(it->path().string());
    }
}
