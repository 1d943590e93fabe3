#include "source/sector_reader.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "base/prompter.h"

namespace dravik::source {

SectorReader::SectorReader(CurrentSource& source, const platform::DeviceMap& map, base::Prompter& prompter,
                           DeviceOpenFn open)
    : source_(source), map_(map), prompter_(prompter), open_(std::move(open)) {}

std::uint32_t SectorReader::SectorSize() const {
    return source_.BytesPerSector > 0 ? static_cast<std::uint32_t>(source_.BytesPerSector) : 0;
}

std::uint64_t SectorReader::CurrentDeviceBytes() {
    std::lock_guard lock(mutex_);
    SectorDevice* device = Handle(source_.CurrentDevicePath());
    return device ? device->Size() : 0;
}

SectorDevice* SectorReader::Handle(std::string_view devicePath) {
    // The path is compared exactly; the map's generation catches a path that
    // now names another backing (an image attached in place of another).
    if (!cached_ || cachedPath_ != devicePath || cachedGeneration_ != map_.Generation()) {
        device_.reset();
        cached_ = true;
        cachedPath_ = std::string(devicePath);
        cachedGeneration_ = map_.Generation();
        ++opens_;
        if (auto backing = map_.Resolve(devicePath)) device_ = open_(*backing);
    }
    return device_.get();
}

bool SectorReader::ReadPiece(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out) {
    const std::uint64_t bps = SectorSize();
    if (first > std::numeric_limits<std::uint64_t>::max() / bps) return false;
    return device_->ReadAt(first * bps, out.first(std::size_t(count) * bps));
}

void SectorReader::WatchZeroFilled(bool on) {
    std::lock_guard lock(mutex_);
    watcher_ = on ? std::this_thread::get_id() : std::thread::id();
    watched_.clear();
}

std::vector<SectorReader::ZeroFilledSector> SectorReader::TakeZeroFilled() {
    std::lock_guard lock(mutex_);
    return std::exchange(watched_, {});
}

void SectorReader::NoteZeroFilled(std::uint64_t sector, std::uint32_t index) {
    ++zeroFilled_;
    if (watcher_ != std::thread::id() && watcher_ == std::this_thread::get_id()) watched_.push_back({sector, index});
}

void SectorReader::SettleFailedPiece(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out,
                                     std::uint32_t index) {
    auto policy = source_.BadSectorPolicy;
    if (policy != BadSectorAnswer::RetryAll && policy != BadSectorAnswer::SkipAll) {
        if (auto answer = prompter_.SectorsBadStatusAction()) source_.BadSectorPolicy = *answer;
        policy = source_.BadSectorPolicy;
    }
    // Either way the piece is read again sector by sector, so that only the
    // sectors that really fail are zero-filled: the answer governs retries,
    // not how much good data is thrown away. A retry gives each failing
    // sector one more read.
    const std::size_t bps = SectorSize();
    const bool retry = policy == BadSectorAnswer::RetryOnce || policy == BadSectorAnswer::RetryAll;
    for (std::uint32_t i = 0; i < count; ++i) {
        auto sector = out.subspan(i * bps, bps);
        if (ReadPiece(first + i, 1, sector)) continue;
        if (retry && ReadPiece(first + i, 1, sector)) continue;
        std::fill(sector.begin(), sector.end(), 0);
        NoteZeroFilled(first + i, index + i);
    }
}

int SectorReader::ReadSectors(std::string_view devicePath, std::uint64_t first, std::uint32_t count,
                              std::span<std::uint8_t> buffer) {
    const std::uint64_t bps = SectorSize();
    if (count == 0 || bps == 0 || buffer.size() / bps < count) return 0;
    // One read at a time: the handle cache and the prompts are shared by
    // whichever workers read.
    std::lock_guard lock(mutex_);
    const auto total = static_cast<std::size_t>(count * bps);

    const bool pastSelectedEnd = source_.EndSector > 0 && first > source_.EndSector;
    if (Handle(devicePath) == nullptr) {
        if (pastSelectedEnd) std::fill(buffer.begin(), buffer.begin() + total, 0);
        return 0;
    }
    // Sectors past the end of the device are not there. Unlike those past the
    // selected end that the device has (zeros by design), they are a failed
    // read: counted, and the file they belong to is reported. An image cut
    // short or a range clipped to the disk puts the selected end past them.
    const std::uint64_t deviceSectors = device_->Size() / bps;
    const auto inside = static_cast<std::uint32_t>(
        first >= deviceSectors ? 0 : std::min<std::uint64_t>(count, deviceSectors - first));
    if (pastSelectedEnd || inside < count) {
        std::fill(buffer.begin() + (pastSelectedEnd ? 0 : std::size_t(inside) * bps), buffer.begin() + total, 0);
        for (std::uint32_t i = inside; i < count; ++i) NoteZeroFilled(first + i, i);
        pastEnd_ += count - inside;
        if (inside > 0 && !pastSelectedEnd) ReadInside(first, inside, buffer);
        return 0;
    }
    return ReadInside(first, count, buffer);
}

int SectorReader::ReadInside(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> buffer) {
    const std::uint64_t bps = SectorSize();
    if (count <= kPieceSectors) {
        if (ReadPiece(first, count, buffer)) return 1;
        SettleFailedPiece(first, count, buffer, 0);
        return 0;
    }

    // Most large reads succeed whole: try that first. A whole read that
    // fails says nothing about which piece is bad, so the read then starts
    // over piece by piece and ends exactly as if it had gone that way from
    // the start (same data, prompts and result).
    if (ReadPiece(first, count, buffer)) return 1;

    bool lastOk = false;
    const std::uint32_t pieces = count / kPieceSectors;
    for (std::uint32_t p = 0; p < pieces; ++p) {
        const std::uint64_t at = first + std::uint64_t(p) * kPieceSectors;
        auto out = buffer.subspan(std::size_t(p) * kPieceSectors * bps);
        lastOk = ReadPiece(at, kPieceSectors, out);
        if (!lastOk) SettleFailedPiece(at, kPieceSectors, out, p * kPieceSectors);
    }
    if (const std::uint32_t tail = count % kPieceSectors) {
        auto out = buffer.subspan(std::size_t(pieces) * kPieceSectors * bps);
        // A failed tail is settled like any piece, so that its readable
        // sectors are not silently lost; it still makes the result 0.
        const std::uint64_t at = first + std::uint64_t(pieces) * kPieceSectors;
        if (!ReadPiece(at, tail, out)) {
            SettleFailedPiece(at, tail, out, pieces * kPieceSectors);
            return 0;
        }
    }
    return lastOk ? 1 : 0;
}

}  // namespace dravik::source
