#include "laz/FileSource.h"

#include <filesystem>
#include <system_error>

namespace laz {

FileSource::FileSource(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        return;
    }
    in_.open(path, std::ios::binary);
    open_ = in_.is_open();
    size_ = open_ ? size : 0;
}

bool FileSource::readAt(std::uint64_t offset, void* dst, std::uint64_t n) {
    if (!open_ || offset > size_ || n > size_ - offset) {
        return false;
    }
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(static_cast<char*>(dst), static_cast<std::streamsize>(n));
    return static_cast<std::uint64_t>(in_.gcount()) == n;
}

}  // namespace laz
