#include "platform/posix_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace dravik::platform {

std::optional<PosixFile> PosixFile::OpenReadOnly(const std::string& path) {
    // Never with write access: the source must stay untouched.
    // Opened without blocking and checked before use: a FIFO or a terminal
    // would block the open (or every read) forever; only regular files and
    // block devices hold sectors.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
        ::close(fd);
        return std::nullopt;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return PosixFile(fd);
}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

PosixFile::~PosixFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t PosixFile::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return 0;
    if (S_ISBLK(st.st_mode)) {
        std::uint64_t bytes = 0;
        if (::ioctl(fd_, BLKGETSIZE64, &bytes) == 0) return bytes;
        return 0;
    }
    return st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::uint32_t PosixFile::LogicalSectorSize() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISBLK(st.st_mode)) return 0;
    int size = 0;
    if (::ioctl(fd_, BLKSSZGET, &size) != 0 || size <= 0) return 0;
    return static_cast<std::uint32_t>(size);
}

bool PosixFile::ReadFully(std::uint64_t offset, std::span<std::uint8_t> buf) const {
    std::size_t done = 0;
    while (done < buf.size()) {
        const ssize_t n = ::pread(fd_, buf.data() + done, buf.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;  // end of device
        done += static_cast<std::size_t>(n);
    }
    std::fill(buf.begin() + done, buf.end(), 0);
    return true;
}

}  // namespace dravik::platform
