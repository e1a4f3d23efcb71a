#pragma once
// A read-only file read at explicit offsets; every read is checked against the file's size.
// Reads do not move a shared position, so several threads may read one file at once.

#include <cstdint>
#include <string>

namespace laz {

class FileSource {
public:
    explicit FileSource(const std::string& path);
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    std::uint64_t size() const { return size_; }

    // Reads exactly n bytes at offset; false (and nothing promised in dst) when they are not all
    // in the file.
    bool readAt(std::uint64_t offset, void* dst, std::uint64_t n) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace laz
