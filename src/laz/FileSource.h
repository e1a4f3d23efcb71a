#pragma once
// A read-only file read at explicit offsets; every read is checked against the file's size.

#include <cstdint>
#include <fstream>
#include <string>

namespace laz {

class FileSource {
public:
    explicit FileSource(const std::string& path);
    bool isOpen() const { return open_; }
    std::uint64_t size() const { return size_; }

    // Reads exactly n bytes at offset; false (and nothing promised in dst) when they are not all
    // in the file.
    bool readAt(std::uint64_t offset, void* dst, std::uint64_t n);

private:
    std::ifstream in_;
    std::uint64_t size_ = 0;
    bool open_ = false;
};

}  // namespace laz
