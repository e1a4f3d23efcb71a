#include "laz/FileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace laz {

FileSource::FileSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool FileSource::readAt(std::uint64_t offset, void* dst, std::uint64_t n) const {
    if (fd_ < 0 || offset > size_ || n > size_ - offset) {
        return false;
    }
    auto* to = static_cast<char*>(dst);
    while (n > 0) {
        const ::ssize_t got = ::pread(fd_, to, n, static_cast<::off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        to += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace laz
