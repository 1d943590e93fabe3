// RAII wrapper of a read-only file descriptor (image file or block device).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace dravik::platform {

class PosixFile {
public:
    static std::optional<PosixFile> OpenReadOnly(const std::string& path);
    PosixFile(PosixFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    ~PosixFile();

    // Size in bytes: the file size, or the block device's size.
    std::uint64_t Size() const;
    // Logical sector size of a block device; 0 for a regular file.
    std::uint32_t LogicalSectorSize() const;
    // Positioned read of the whole span; stops at end of file and zero-fills
    // the rest. False on a read error.
    bool ReadFully(std::uint64_t offset, std::span<std::uint8_t> buf) const;

private:
    explicit PosixFile(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace dravik::platform
