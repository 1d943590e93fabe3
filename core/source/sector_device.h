// A readable byte device: a block device, an image file, a window of one, or
// an in-memory buffer. Never opened for writing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/device_map.h"

namespace dravik::source {

class SectorDevice {
public:
    virtual ~SectorDevice() = default;
    // Reads buf.size() bytes at `offset`. False on an I/O error (the buffer's
    // contents are then unspecified). Bytes past the end of the device read as
    // zeros and count as read, as a short read does on the raw devices we
    // emulate.
    virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) = 0;
    virtual std::uint64_t Size() const = 0;
};

using platform::DeviceBacking;

using DeviceOpenFn = std::function<std::unique_ptr<SectorDevice>(const DeviceBacking&)>;

// Opens a file or block device read-only (O_RDONLY | O_CLOEXEC) and reads it
// with pread. Returns null when it cannot be opened.
std::unique_ptr<SectorDevice> OpenPosixDevice(const DeviceBacking& backing);

class MemoryDevice final : public SectorDevice {
public:
    explicit MemoryDevice(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override;
    std::uint64_t Size() const override { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

// Wraps a device and fails every read that touches one of the chosen sectors,
// as a disk with unreadable sectors does. Counts reads for tests.
class FaultInjectingDevice final : public SectorDevice {
public:
    struct Log {
        std::uint64_t reads = 0;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;  // (offset, length)
    };
    FaultInjectingDevice(std::unique_ptr<SectorDevice> inner, std::uint32_t sectorSize,
                         std::set<std::uint64_t> badSectors, std::shared_ptr<Log> log = nullptr)
        : inner_(std::move(inner)), sectorSize_(sectorSize), bad_(std::move(badSectors)), log_(std::move(log)) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override;
    std::uint64_t Size() const override { return inner_->Size(); }

private:
    std::unique_ptr<SectorDevice> inner_;
    std::uint32_t sectorSize_;
    std::set<std::uint64_t> bad_;
    std::shared_ptr<Log> log_;
};

}  // namespace dravik::source
