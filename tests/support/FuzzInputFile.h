#pragma once
// One fuzz input written to a file of its own, for readers that take a path: in shared memory
// where it can be written (no disk traffic while fuzzing), else in the temporary folder, under a
// name no other process holds. When it goes it removes the file and the files the reader wrote
// beside it (their names are the input's name with a suffix, as a side index), so that neither
// fuzzing nor the test runs that replay the seeds leave a file behind.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace fuzzsupport {

class InputFile {
public:
    // The input as a file whose name ends in extension (as ".zip"); besides, suffixes name the
    // files the reader may write beside it, removed with it.
    InputFile(const std::uint8_t* data, std::size_t size, const std::string& extension,
              std::initializer_list<const char*> suffixes = {})
        : path_(folder() + "/tw_fuzz_XXXXXX" + extension), suffixes_(suffixes) {
        const int fd = mkstemps(path_.data(), static_cast<int>(extension.size()));
        if (fd < 0) {
            path_.clear();
            return;
        }
        written_ = ::write(fd, data, size) == static_cast<ssize_t>(size);
        written_ = ::close(fd) == 0 && written_;
    }

    ~InputFile() {
        if (path_.empty())
            return;
        std::remove(path_.c_str());
        for (const char* suffix : suffixes_)
            std::remove((path_ + suffix).c_str());
    }

    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Whether the whole input is in the file.
    bool written() const { return written_; }
    const std::string& path() const { return path_; }

private:
    static std::string folder() {
        if (access("/dev/shm", W_OK) == 0)
            return "/dev/shm";
        const char* tmp = std::getenv("TMPDIR");
        return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    }

    std::string path_;
    std::vector<const char*> suffixes_;
    bool written_ = false;
};

}  // namespace fuzzsupport
