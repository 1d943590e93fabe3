#include "source/sector_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix_file.h"

namespace dravik::source {

namespace {

class PosixDevice final : public SectorDevice {
public:
    PosixDevice(platform::PosixFile file, std::uint64_t offset, std::uint64_t length)
        : file_(std::move(file)), offset_(offset), length_(length) {}

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
        // Inside the window; whatever lies beyond it reads as zeros.
        std::size_t inside = 0;
        if (offset < length_) inside = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), length_ - offset));
        std::fill(buf.begin() + inside, buf.end(), 0);
        if (inside == 0) return true;
        return file_.ReadFully(offset_ + offset, buf.first(inside));
    }
    std::uint64_t Size() const override { return length_; }

private:
    platform::PosixFile file_;
    std::uint64_t offset_;
    std::uint64_t length_;
};

}  // namespace

std::unique_ptr<SectorDevice> OpenPosixDevice(const DeviceBacking& backing) {
    auto file = platform::PosixFile::OpenReadOnly(backing.path);
    if (!file) return nullptr;
    const std::uint64_t size = file->Size();
    if (backing.offset > size) return nullptr;
    std::uint64_t length = size - backing.offset;
    if (backing.length != 0) length = std::min(length, backing.length);
    return std::make_unique<PosixDevice>(std::move(*file), backing.offset, length);
}

bool MemoryDevice::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) {
    std::size_t inside = 0;
    if (offset < bytes_.size()) inside = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), bytes_.size() - offset));
    if (inside) std::memcpy(buf.data(), bytes_.data() + offset, inside);
    std::fill(buf.begin() + inside, buf.end(), 0);
    return true;
}

bool FaultInjectingDevice::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) {
    if (log_) {
        ++log_->reads;
        log_->calls.emplace_back(offset, buf.size());
    }
    if (!buf.empty() && sectorSize_ != 0) {
        const std::uint64_t first = offset / sectorSize_;
        const std::uint64_t last = (offset + buf.size() - 1) / sectorSize_;
        auto it = bad_.lower_bound(first);
        if (it != bad_.end() && *it <= last) {
            // What a failed read leaves in the buffer is up to the device: make
            // it visible garbage so that tests notice if it leaks through.
            std::fill(buf.begin(), buf.end(), 0xEE);
            return false;
        }
    }
    return inner_->ReadAt(offset, buf);
}

}  // namespace dravik::source
