#include "drives/drive_information.h"

#include <limits>

#include "base/size_text.h"
#include "platform/block_devices.h"
#include "platform/posix_file.h"
#include "drives/drive_catalogue.h"
#include "source/geometry_cache.h"
#include "drives/volume_probe.h"

namespace dravik::drives {

// The devices and sources the catalogue describes.
using namespace source;

namespace cache = geometry_cache;

namespace {

std::uint64_t SaturatingMul(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) return std::numeric_limits<std::uint64_t>::max();
    return a * b;
}

}  // namespace

std::string InformationPane::Text() const {
    std::string out;
    for (const auto& [label, value] : lines) out += label + value + "\n";
    return out;
}

std::string FormatSize(std::uint64_t bytes) {
    constexpr std::uint64_t kKb = 1024, kMb = kKb << 10, kGb = kMb << 10, kTb = kGb << 10;
    const double d = static_cast<double>(bytes);
    if (bytes >= kTb) return base::Format("%.1f TB", d / static_cast<double>(kTb));
    if (bytes >= kGb) return base::Format("%.1f GB", d / static_cast<double>(kGb));
    if (bytes >= kMb) return base::Format("%.1f MB", d / static_cast<double>(kMb));
    if (bytes > 0) return base::Format("%.1f KB", d / static_cast<double>(kKb));
    return "0";
}

InformationPane ShowDiskInformation(const DrivesContext& ctx, int n, int selectedPartition) {
    InformationPane pane;
    if (n < 0 || n >= kDeviceSlots) return pane;
    const std::uint64_t size = cache::CachedDiskSize(ctx.registry, n);
    pane.lines = {
        {"Physical Disk Number : ", std::to_string(n)},
        {"Model   : ", cache::CachedValue(ctx.registry, cache::kModel, n)},
        {"Media Type   : ", cache::CachedValue(ctx.registry, cache::kMediaType, n)},
        {"Disk Size  : ", FormatSize(size)},
    };

    ctx.source.SelectPhysicalDisk(n);
    RewalkDisk(ctx, n);
    const auto& table = ctx.partitions[n];
    const std::uint64_t bps = DiskSectorSize(ctx, n);
    for (int i = 0; i < table.Count; ++i) {
        const auto& e = table.Entries[i];
        const std::uint64_t bytes = e.End > e.Start ? SaturatingMul(e.End - e.Start, bps) : 0;
        // A disk smaller than one cylinder has a cached size of 0: no shares.
        const double percent = size ? static_cast<double>(bytes) / static_cast<double>(size) * 100.0 : 0.0;
        const std::string legend = (i == selectedPartition ? "Selected Partition " : "Partition ") + std::to_string(i + 1);
        pane.pie.push_back({legend, percent});
    }
    return pane;
}

InformationPane ShowVolumeInformation(const DrivesContext& ctx, std::string_view itemText) {
    InformationPane pane;
    // The letter sits inside the closing parentheses: "... (D:)".
    if (itemText.size() < 4) return pane;
    const char letter = itemText[itemText.size() - 3];
    const CatalogueVolume* volume = ctx.drives.catalogue.Volume(letter);
    const auto backing = ctx.devices.Resolve(VolumePath(letter));

    VolumeFacts facts;
    std::optional<std::uint64_t> total, freeBytes;
    bool opened = false;
    if (backing) {
        if (auto device = OpenPosixDevice(*backing)) {
            opened = true;
            facts = ProbeVolume(*device);
        }
        // Only a whole device can be mounted; a window of an image is not.
        if (backing->offset == 0 && backing->length == 0) {
            if (auto space = platform::QueryFreeSpace(platform::FindMountPoint(ctx.drives.setup.paths, backing->path))) {
                total = space->total;
                freeBytes = space->free;
            }
        }
    }
    if (!total && facts.capacity) {
        total = facts.capacity;
        freeBytes = facts.free;
    }

    std::string capacity, used, free;
    if (total) capacity = FormatSize(*total);
    const bool split = total && freeBytes && *freeBytes <= *total;
    if (split) {
        used = FormatSize(*total - *freeBytes);
        free = FormatSize(*freeBytes);
    }
    pane.lines = {
        {"Volume Name : ", facts.label},
        {"File System : ", facts.fileSystem},
        {"Capacity : ", capacity},
        {"Used Space : ", used},
        {"Free Space : ", free},
    };
    if (split && *total > 0) {
        const double usedPercent = static_cast<double>(*total - *freeBytes) / static_cast<double>(*total) * 100.0;
        pane.pie = {{"Used Space", usedPercent}, {"Free Space", 100.0 - usedPercent}};
    }

    if (opened) {
        std::uint32_t bps = 0;
        if (auto file = platform::PosixFile::OpenReadOnly(backing->path)) bps = file->LogicalSectorSize();
        if (bps == 0) bps = volume ? volume->bytesPerSector : 512;
        ctx.source.BytesPerSector = static_cast<std::int32_t>(bps);
    }
    return pane;
}

InformationPane ShowPartitionInformation(const DrivesContext& ctx, int n, int index) {
    InformationPane pane;
    if (n < 0 || n >= kDeviceSlots) return pane;
    const auto& table = ctx.partitions[n];
    if (index < 0 || index >= table.Count) return pane;
    const auto& e = table.Entries[index];
    const std::uint64_t bytes = e.End > e.Start ? SaturatingMul(e.End - e.Start, DiskSectorSize(ctx, n)) : 0;
    pane.lines = {
        {"Partition Type   : ", table.FileSystem[index]},
        {"Start Sector     : ", std::to_string(e.Start)},
        {"End Sector       : ", std::to_string(e.End)},
        {"Partition Size   : ", FormatSize(bytes)},
    };
    return pane;
}

}  // namespace dravik::drives
