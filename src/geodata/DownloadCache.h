#pragma once
// The folder of downloaded answers and files, named by the SHA-1 of their URL. A file appears
// under its final name only when complete: it is written under a temporary ".part." name and
// renamed into place. At the first use in a process the folder is swept of left-over partial
// files and of files last written more than 30 days ago.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class DownloadCache {
public:
    static constexpr std::chrono::seconds kMaxAge{30 * 24 * 3600};

    // The process-wide cache under the user's data folder (Platform::localCacheDir()).
    static DownloadCache& shared();

    // root gives the folder (ending with "/") under which "<app name>/cache" lives; it is asked
    // at every use, so the location follows the environment.
    explicit DownloadCache(std::function<std::string()> root);

    // Renames the application folder; an empty name leaves it.
    void setAppName(std::string_view name);

    // The cache folder without trailing "/", created when missing; the first call sweeps it.
    std::string dir();

    // dir() + "/" + the SHA-1 of url in hexadecimal + "." + extension; "" when the digest cannot
    // be made (store() refuses that path).
    std::string pathFor(std::string_view url, std::string_view extension);

    // A name beside finalPath that no other download, in this thread or another, is using.
    std::string tempPathFor(const std::string& finalPath);

    // The whole content of the file, read with one copy; nullopt when it cannot be opened.
    static std::optional<std::string> read(const std::string& path);

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    using File = std::unique_ptr<std::FILE, FileCloser>;

    // Whether path opens for reading.
    static bool holds(const std::string& path);

    // A file being written under a temporary name beside its final path. It takes the final
    // name only through commit(); otherwise it is removed at the end of its scope.
    class PartFile {
    public:
        PartFile(DownloadCache& cache, std::string finalPath);
        ~PartFile();
        PartFile(const PartFile&) = delete;
        PartFile& operator=(const PartFile&) = delete;

        bool isOpen() const { return file_ != nullptr; }
        const std::string& tempPath() const { return tempPath_; }
        // False when the disk took fewer bytes than given.
        bool write(std::string_view bytes);
        // Flushes and closes; false when data could not be written.
        bool close();
        // Renames the closed file to the final path, replacing an earlier file there.
        bool commit();

    private:
        std::string finalPath_;
        std::string tempPath_;
        File file_;
        bool committed_ = false;
    };

    // Writes bytes under a temporary name and renames it to path; false (and nothing left
    // behind) when the disk refuses or path is "".
    bool store(const std::string& path, std::string_view bytes);

    // Removes from dir every regular file with ".part" in its name and every one last written
    // more than kMaxAge before now; subfolders and unreadable entries stay.
    static void sweep(const std::string& dir, std::filesystem::file_time_type now);

private:
    std::string appName();

    std::function<std::string()> root_;
    std::mutex nameMutex_;
    std::string appName_ = "TERRAWEFT";
    std::once_flag swept_;
    std::atomic<unsigned> partSeq_{0};
};
