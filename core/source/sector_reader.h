// The one path through which every sector of the source is read.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/device_map.h"
#include "source/current_source.h"
#include "source/sector_device.h"

namespace dravik::source {

class SectorReader {
public:
    // Reads go to `devices` resolved through `map`; `open` defaults to
    // OpenPosixDevice. Tests inject memory or fault-injecting devices.
    SectorReader(CurrentSource& source, const platform::DeviceMap& map, base::Prompter& prompter,
                 DeviceOpenFn open = OpenPosixDevice);

    // Reads `count` whole sectors starting at absolute sector `first` of the
    // device named by `devicePath` into `buffer` (at least count sectors).
    //  - A run starting past EndSector (when EndSector > 0) is zero-filled and
    //    returns 0 without touching the device.
    //  - Sectors past the end of the device are zero-filled, counted as
    //    unreadable (see PastEndSectors) and make the result 0.
    //  - Runs of more than 40 sectors are read whole; when that fails they go
    //    to the device again in 40-sector pieces and a tail, so that one bad
    //    sector costs one prompt and one sector-by-sector pass over at most
    //    40 sectors.
    //  - A failed piece (the tail included) is settled by BadSectorPolicy (asking the user unless
    //    a standing "all" answer exists): retried sector by sector with
    //    unreadable sectors zero-filled, or skipped (zero-filled).
    // Returns nonzero when the read counts as successful: a single read that
    // succeeded at once, or for split reads the last full piece's first read
    // and the tail's read.
    int ReadSectors(std::string_view devicePath, std::uint64_t first, std::uint32_t count,
                    std::span<std::uint8_t> buffer);

    // ReadSectors on the slot of DeviceTable that DeviceIndex selects.
    int Read(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> buffer) {
        return ReadSectors(source_.CurrentDevicePath(), first, count, buffer);
    }

    std::uint32_t SectorSize() const;

    // Size in bytes of the current device (through the cached handle); 0 when
    // it cannot be opened.
    std::uint64_t CurrentDeviceBytes();
    CurrentSource& Source() { return source_; }

    // Number of device opens so far (a failed open counts too).
    std::uint64_t OpenCount() const { return opens_; }
    // Sectors delivered as zeros because they could not be read (skipped, or
    // still unreadable after a retry), since the reader was made.
    std::uint64_t ZeroFilledSectors() const { return zeroFilled_; }
    // Of those, the sectors asked for past the end of the device: a source
    // shorter than the file system on it (an image cut short). They are
    // unreadable like bad sectors, but no answer could make them readable,
    // so none is asked.
    std::uint64_t PastEndSectors() const { return pastEnd_; }

    // A sector delivered as zeros, and where it sits in the buffer of the
    // read that delivered it (its index in sectors), so that the caller can
    // tell which bytes of what it wrote are not the source's.
    struct ZeroFilledSector {
        std::uint64_t sector = 0;
        std::uint32_t index = 0;
    };
    // From now on the zero-filled sectors of the calling thread's reads are
    // also listed (other threads' reads, a preview's, are not); TakeZeroFilled
    // hands over the list so far. Watching off drops the list.
    void WatchZeroFilled(bool on);
    std::vector<ZeroFilledSector> TakeZeroFilled();

private:
    static constexpr std::uint32_t kPieceSectors = 40;

    SectorDevice* Handle(std::string_view devicePath);
    // ReadSectors within the device, under the lock.
    int ReadInside(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> buffer);
    bool ReadPiece(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out);
    // `index` is the piece's first sector in the buffer of the whole read.
    void SettleFailedPiece(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out,
                           std::uint32_t index);
    void NoteZeroFilled(std::uint64_t sector, std::uint32_t index);

    CurrentSource& source_;
    const platform::DeviceMap& map_;
    base::Prompter& prompter_;
    DeviceOpenFn open_;

    // One cached handle; a failed open is cached as null with its path.
    bool cached_ = false;
    std::string cachedPath_;
    std::uint64_t cachedGeneration_ = 0;
    std::unique_ptr<SectorDevice> device_;
    std::atomic<std::uint64_t> opens_ = 0;
    std::atomic<std::uint64_t> zeroFilled_ = 0;
    std::atomic<std::uint64_t> pastEnd_ = 0;
    std::thread::id watcher_;  // none: no list is kept
    std::vector<ZeroFilledSector> watched_;
    std::mutex mutex_;
};

}  // namespace dravik::source
