#include "drives/drive_catalogue.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include "base/size_text.h"
#include "partition/partition_walk.h"
#include "platform/posix_file.h"
#include "source/geometry_cache.h"
#include "drives/volume_probe.h"

namespace dravik::drives {

// The devices and sources the catalogue describes.
using namespace source;

namespace fs = std::filesystem;
using partition::TreeHandle;
namespace cache = geometry_cache;

// ---- the catalogue as data ----

TreeHandle DriveCatalogue::AddItem(TreeHandle parent, CatalogueItemKind kind, std::string text) {
    CatalogueItem item;
    item.handle = static_cast<TreeHandle>(items.size() + 1);
    item.parent = parent;
    item.kind = kind;
    item.text = std::move(text);
    items.push_back(std::move(item));
    return items.back().handle;
}

const CatalogueItem* DriveCatalogue::Item(TreeHandle handle) const {
    if (handle == 0 || handle > items.size()) return nullptr;
    return &items[handle - 1];
}

CatalogueItem* DriveCatalogue::Item(TreeHandle handle) {
    return const_cast<CatalogueItem*>(std::as_const(*this).Item(handle));
}

std::vector<TreeHandle> DriveCatalogue::Children(TreeHandle parent) const {
    std::vector<TreeHandle> out;
    for (const auto& item : items)
        if (item.parent == parent && item.handle != parent) out.push_back(item.handle);
    return out;
}

const CatalogueVolume* DriveCatalogue::Volume(char letter) const {
    for (const auto& v : volumes)
        if (v.letter == letter) return &v;
    return nullptr;
}

void DriveCatalogue::Clear() {
    *this = DriveCatalogue{};
}

std::string VolumeItemText(std::string_view label, char letter) {
    const std::string name = label.empty() ? std::string("Local Disk") : std::string(label);
    return name + " (" + letter + ":)";
}

// ---- platform queries ----

namespace {

std::string FileName(const std::string& path) {
    return fs::path(path).filename().string();
}

// The candidates for disk numbers: what the user attached first (its
// numbers do not depend on the machine), then the machine's own disks.
std::vector<CatalogueDisk> DiskCandidates(const DriveSetup& setup) {
    std::vector<CatalogueDisk> out;
    for (const auto& path : setup.attachedDisks) {
        CatalogueDisk d;
        d.backing.path = path;
        d.kernelName = platform::BlockDeviceName(path);
        d.attached = true;
        out.push_back(std::move(d));
    }
    if (setup.systemDisks) {
        for (const auto& name : platform::ListSystemDisks(setup.paths)) {
            CatalogueDisk d;
            d.backing.path = (setup.paths.dev / name).string();
            d.kernelName = name;
            out.push_back(std::move(d));
        }
    }
    return out;
}

}  // namespace

bool ValidSectorSize(std::uint64_t bytes) {
    return bytes >= 512 && bytes <= 4096 && (bytes & (bytes - 1)) == 0;
}

std::uint32_t SectorSizeFromTable(const platform::PosixFile& file, std::uint64_t offset) {
    // The GPT header is in the disk's second sector, wherever that ends up.
    auto headerAt = [&](std::uint64_t at) {
        std::array<std::uint8_t, 8> sig{};
        static constexpr std::array<std::uint8_t, 8> kEfiPart = {'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};
        return file.ReadFully(offset + at, sig) && sig == kEfiPart;
    };
    if (headerAt(512)) return 0;
    for (std::uint32_t size : {1024u, 2048u, 4096u})
        if (headerAt(size)) return size;
    return 0;
}

std::optional<DriveGeometry> QueryDriveGeometry(const platform::SystemPaths& paths, CatalogueDisk& disk,
                                                std::uint32_t imageSectorSize) {
    disk.openError = 0;
    auto file = platform::PosixFile::OpenReadOnly(disk.backing.path);
    if (!file) {
        const int error = errno;
        if ((error != EACCES && error != EPERM) || disk.kernelName.empty()) return std::nullopt;
        const std::uint64_t bytes = platform::SysfsSizeBytes(paths, disk.kernelName);
        if (bytes == 0) return std::nullopt;
        DriveGeometry g;
        g.bytesPerSector = platform::SysfsLogicalBlockSize(paths, disk.kernelName);
        if (g.bytesPerSector < 512 || g.bytesPerSector > 64 * 1024) g.bytesPerSector = 512;
        g.cylinders = bytes / (std::uint64_t(g.tracksPerCylinder) * g.sectorsPerTrack * g.bytesPerSector);
        g.mediaType = platform::SysfsRemovable(paths, disk.kernelName) ? MediaType::Removable : MediaType::Fixed;
        disk.openError = error;
        return g;
    }
    std::uint64_t size = file->Size();
    size = size > disk.backing.offset ? size - disk.backing.offset : 0;
    if (disk.backing.length != 0) size = std::min(size, disk.backing.length);
    if (size == 0) return std::nullopt;

    DriveGeometry g;
    g.bytesPerSector = file->LogicalSectorSize();
    if (g.bytesPerSector == 0 && !disk.kernelName.empty())
        g.bytesPerSector = platform::SysfsLogicalBlockSize(paths, disk.kernelName);
    // An image file has no kernel to ask: the user's word, else its table's.
    if (g.bytesPerSector == 0)
        g.bytesPerSector = ValidSectorSize(imageSectorSize) ? imageSectorSize
                                                            : SectorSizeFromTable(*file, disk.backing.offset);
    if (g.bytesPerSector < 512 || g.bytesPerSector > 64 * 1024) g.bytesPerSector = 512;
    g.cylinders = size / (std::uint64_t(g.tracksPerCylinder) * g.sectorsPerTrack * g.bytesPerSector);
    const bool removable = !disk.kernelName.empty() && platform::SysfsRemovable(paths, disk.kernelName);
    g.mediaType = removable ? MediaType::Removable : MediaType::Fixed;
    return g;
}

int QueryDriveModel(const DrivesContext& ctx, int n, std::string& model) {
    model.clear();
    if (n < 0 || n >= kDeviceSlots || !ctx.drives.catalogue.disks[n]) return ENODEV;
    const auto& disk = *ctx.drives.catalogue.disks[n];
    if (!disk.kernelName.empty() && platform::SysfsHasDisk(ctx.drives.setup.paths, disk.kernelName))
        model = platform::SysfsModel(ctx.drives.setup.paths, disk.kernelName);
    if (model.empty() && (disk.attached || disk.kernelName.empty())) model = FileName(disk.backing.path);
    return 0;
}

std::string SelectedDiskModel(const DrivesContext& ctx) {
    const auto& src = ctx.source;
    int disk = src.DeviceIndex;
    if (src.DriveLetter != 0) {
        const CatalogueVolume* volume = ctx.drives.catalogue.Volume(src.DriveLetter);
        if (!volume) return {};
        if (volume->disk < 0) return std::filesystem::path(volume->backing.path).filename().string();
        disk = volume->disk;
    }
    std::string model;
    if (QueryDriveModel(ctx, disk, model) != 0) return {};
    return model;
}

std::string DiskAccessProblem(const DrivesContext& ctx, int n) {
    if (n < 0 || n >= kDeviceSlots || !ctx.drives.catalogue.disks[n]) return {};
    const auto& disk = *ctx.drives.catalogue.disks[n];
    if (disk.openError == 0) return {};
    return "Disk" + std::to_string(n) + " (" + disk.backing.path + ") cannot be read: " + std::strerror(disk.openError) +
           ". Reading a disk needs administrator rights or membership of the \"disk\" group: start the program "
           "with \"pkexec dravik\", or join the group (\"sudo usermod -aG disk $USER\") and log in again.";
}

std::uint32_t DiskSectorSize(const DrivesContext& ctx, int n) {
    if (n >= 0 && n < kDeviceSlots) {
        const auto& disk = ctx.drives.catalogue.disks[n];
        if (disk && disk->bytesPerSector) return disk->bytesPerSector;
    }
    return ctx.source.BytesPerSector > 0 ? static_cast<std::uint32_t>(ctx.source.BytesPerSector) : 512;
}

// ---- the geometry cache ----

namespace {

// In the order the cache's keys are deleted and created.
constexpr std::array<std::string_view, 7> kSubkeys = {cache::kCylinder,        cache::kHead, cache::kMediaType,
                                                      cache::kModel,           cache::kSectorsPerTrack,
                                                      cache::kSize,            cache::kBytesPerSector};

void WriteDiskValues(const DrivesContext& ctx, int n, const DriveGeometry& g) {
    auto& reg = ctx.registry;
    const std::string name = cache::DiskValueName(n);
    const bool fixed = g.mediaType == MediaType::Fixed;
    reg.SetValue(cache::kRoot, name, std::string(fixed ? cache::kFixedTop : cache::kRemovableTop));
    reg.SetValue(cache::kMediaType, name, std::string(fixed ? cache::kFixedMedia : cache::kRemovableMedia));
    reg.SetValue(cache::kCylinder, name, base::Format("%d", static_cast<int>(static_cast<std::uint32_t>(g.cylinders))));
    reg.SetValue(cache::kHead, name, base::Format("%d", static_cast<int>(g.tracksPerCylinder)));
    reg.SetValue(cache::kSectorsPerTrack, name, base::Format("%d", static_cast<int>(g.sectorsPerTrack)));
    reg.SetValue(cache::kSize, name, std::to_string(g.SizeBytes()));
    std::string model;
    if (QueryDriveModel(ctx, n, model) == 0 && !model.empty()) reg.SetValue(cache::kModel, name, model);
}

}  // namespace

int RebuildGeometryCache(const DrivesContext& ctx) {
    auto& reg = ctx.registry;
    for (auto key : kSubkeys)
        if (reg.OpenKey(key)) reg.DeleteKey(key);
    if (reg.OpenKey(cache::kRoot)) reg.DeleteKey(cache::kRoot);

    if (!reg.CreateKey(cache::kRoot)) return 0;
    for (auto key : kSubkeys)
        if (!reg.CreateKey(key)) return -1;

    // Number the disks afresh: what is attached or present now.
    auto& catalogue = ctx.drives.catalogue;
    auto candidates = DiskCandidates(ctx.drives.setup);
    for (int n = 0; n < kDeviceSlots; ++n) {
        catalogue.disks[n].reset();
        ctx.devices.ClearDisk(n);
        if (static_cast<std::size_t>(n) >= candidates.size()) continue;
        catalogue.disks[n] = std::move(candidates[n]);
        ctx.devices.SetDisk(n, catalogue.disks[n]->backing);
    }
    // A disk that does not answer is not listed; the others keep their numbers.
    for (int n = 0; n < kDeviceSlots; ++n) {
        if (!catalogue.disks[n]) continue;
        auto geometry = QueryDriveGeometry(ctx.drives.setup.paths, *catalogue.disks[n], ctx.drives.setup.imageSectorSize);
        if (!geometry) continue;
        catalogue.disks[n]->bytesPerSector = geometry->bytesPerSector;
        WriteDiskValues(ctx, n, *geometry);
    }
    return 1;
}

// ---- building the catalogue ----

namespace {

class CatalogueItems final : public partition::PartitionItemSink {
public:
    CatalogueItems(DriveCatalogue& catalogue, TreeHandle diskItem) : catalogue_(catalogue), diskItem_(diskItem) {}
    TreeHandle AddPartitionItem(int disk, const std::string& name) override {
        const TreeHandle h = catalogue_.AddItem(diskItem_, CatalogueItemKind::Partition, name);
        catalogue_.Item(h)->disk = disk;
        return h;
    }

private:
    DriveCatalogue& catalogue_;
    TreeHandle diskItem_;
};

// Runs a walk of disk n with its own sector size, leaving BytesPerSector as it was.
int WalkWithDiskSectorSize(const DrivesContext& ctx, int n, partition::PartitionItemSink* sink, bool addItems) {
    const std::int32_t saved = ctx.source.BytesPerSector;
    ctx.source.BytesPerSector = static_cast<std::int32_t>(DiskSectorSize(ctx, n));
    const int result = partition::WalkPartitions(ctx, sink, n, 0, addItems);
    ctx.source.BytesPerSector = saved;
    return result;
}

// The backing of partition i of disk n as a volume: its partition block
// device when sysfs has one at that place, the whole disk for a file system
// that starts at sector 0, else a window of the disk.
std::optional<platform::DeviceBacking> PartitionBacking(const DrivesContext& ctx, int n, int i) {
    const auto& disk = *ctx.drives.catalogue.disks[n];
    const auto& entry = ctx.partitions[n].Entries[i];
    const std::uint64_t bps = DiskSectorSize(ctx, n);
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (entry.End <= entry.Start || entry.End > kMax / bps) return std::nullopt;
    const std::uint64_t offset = entry.Start * bps;
    const std::uint64_t length = (entry.End - entry.Start) * bps;

    if (!disk.kernelName.empty()) {
        for (const auto& part : platform::ListSysfsPartitions(ctx.drives.setup.paths, disk.kernelName))
            if (part.start <= kMax / 512 && part.start * 512 == offset)
                return platform::DeviceBacking{(ctx.drives.setup.paths.dev / part.name).string(), 0, 0};
    }
    if (offset == 0 && disk.backing.offset == 0 && disk.backing.length == 0) return disk.backing;
    if (offset > kMax - disk.backing.offset) return std::nullopt;
    return platform::DeviceBacking{disk.backing.path, disk.backing.offset + offset, length};
}

void AddVolume(const DrivesContext& ctx, platform::DeviceBacking backing, std::uint32_t bps, int disk, int partition) {
    const char letter = ctx.devices.AddVolume(backing);
    if (letter == 0) return;  // C: to Z: are taken
    CatalogueVolume v;
    v.letter = letter;
    v.backing = std::move(backing);
    v.bytesPerSector = bps;
    v.disk = disk;
    v.partition = partition;
    if (auto device = OpenPosixDevice(v.backing)) {
        const VolumeFacts facts = ProbeVolume(*device);
        v.label = facts.label;
        v.fileSystem = facts.fileSystem;
    }
    ctx.drives.catalogue.volumes.push_back(std::move(v));
}

void ListVolumes(const DrivesContext& ctx, TreeHandle logicalDrives) {
    auto& catalogue = ctx.drives.catalogue;
    ctx.devices.ClearVolumes();
    for (int n = 0; n < kDeviceSlots; ++n) {
        if (!catalogue.disks[n] || cache::CachedValue(ctx.registry, cache::kRoot, n).empty()) continue;
        const auto& table = ctx.partitions[n];
        for (int i = 0; i < table.Count; ++i)
            if (auto backing = PartitionBacking(ctx, n, i)) AddVolume(ctx, std::move(*backing), DiskSectorSize(ctx, n), n, i);
    }
    for (const auto& path : ctx.drives.setup.attachedVolumes) {
        auto file = platform::PosixFile::OpenReadOnly(path);
        const std::uint32_t bps = file && file->LogicalSectorSize() ? file->LogicalSectorSize() : 512;
        AddVolume(ctx, platform::DeviceBacking{path, 0, 0}, bps, -1, -1);
    }
    for (const auto& v : catalogue.volumes) {
        const TreeHandle h = catalogue.AddItem(logicalDrives, CatalogueItemKind::Volume, VolumeItemText(v.label, v.letter));
        catalogue.Item(h)->letter = v.letter;
    }
}

}  // namespace

CatalogueStatus BuildDriveCatalogue(const DrivesContext& ctx) {
    auto& catalogue = ctx.drives.catalogue;
    catalogue.Clear();
    const TreeHandle root = catalogue.AddItem(0, CatalogueItemKind::Root, std::string(DriveCatalogue::kRootText));
    const TreeHandle disks =
        catalogue.AddItem(root, CatalogueItemKind::PhysicalDisks, std::string(DriveCatalogue::kPhysicalDisksText));
    const TreeHandle volumes =
        catalogue.AddItem(root, CatalogueItemKind::LogicalDrives, std::string(DriveCatalogue::kLogicalDrivesText));
    catalogue.Item(root)->expanded = true;

    const int rebuilt = RebuildGeometryCache(ctx);
    if (rebuilt < 0) return {false, 1};
    if (!ctx.registry.OpenKey(cache::kRoot)) return {false, 0};

    for (int n = 0; n < kDeviceSlots; ++n) {
        if (cache::CachedValue(ctx.registry, cache::kRoot, n).empty()) {
            ctx.partitions[n].Count = 0;  // a disk that went away leaves no partitions behind
            continue;
        }
        const TreeHandle diskItem = catalogue.AddItem(disks, CatalogueItemKind::Disk, cache::DiskValueName(n));
        catalogue.Item(diskItem)->disk = n;
        ctx.source.DeviceTable[0] = PhysicalDrivePath(0);
        ctx.source.EndSector = 0;
        ctx.source.DriveLetter = 0;
        CatalogueItems sink(catalogue, diskItem);
        WalkWithDiskSectorSize(ctx, n, &sink, true);
        const auto& table = ctx.partitions[n];
        for (int i = 0; i < table.Count; ++i)
            if (auto* item = catalogue.Item(table.Entries[i].TreeItem); item && item->parent == diskItem) item->partition = i;
        catalogue.Item(diskItem)->expanded = true;
        ++catalogue.physicalDiskCount;
    }

    ListVolumes(ctx, volumes);
    catalogue.Item(disks)->expanded = true;
    catalogue.Item(volumes)->expanded = true;
    return {};
}

int RewalkDisk(const DrivesContext& ctx, int n) {
    if (n < 0 || n >= kDeviceSlots) return 0;
    ctx.source.DeviceTable[0] = PhysicalDrivePath(0);
    const std::uint64_t savedEnd = ctx.source.EndSector;
    ctx.source.EndSector = 0;
    const int result = WalkWithDiskSectorSize(ctx, n, nullptr, false);
    ctx.source.EndSector = savedEnd;
    return result;
}

}  // namespace dravik::drives
