// The drive catalogue: the physical disks (with their partitions) and the
// logical drives the user can choose as a source, the geometry cache it
// keeps in the registry store, and the platform queries behind it.
//
// On Linux the physical disks are the whole-disk block devices under sysfs
// plus the disk images the user attached, numbered Disk0 to Disk9 and put
// into the device map. The logical drives are volumes: the recognised
// partitions of those disks (their partition block device, or a window of
// the disk) and the volume images the user attached, lettered from C:.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "partition/partition_context.h"
#include "platform/block_devices.h"
#include "platform/device_map.h"
#include "platform/posix_file.h"
#include "source/current_source.h"

namespace dravik::drives {

struct DrivesContext;

// What the catalogue lists; set by the front end before it is built.
struct DriveSetup {
    platform::SystemPaths paths;
    bool systemDisks = true;                   // list the machine's own disks
    std::vector<std::string> attachedDisks;    // image files or block devices taken as whole disks
    std::vector<std::string> attachedVolumes;  // image files or block devices taken as volumes
    // Bytes per sector of the attached image files, as the user gave them
    // (0: from their partition table, else 512). Block devices keep the
    // kernel's.
    std::uint32_t imageSectorSize = 0;
};

// A sector size a source may have: a power of two from 512 to 4096.
bool ValidSectorSize(std::uint64_t bytes);

// The sector size an image file's partition table implies: a GPT header
// ("EFI PART") at byte 1024, 2048 or 4096 of `offset` and none at 512 means
// sectors of that size; 0 when the table tells nothing.
std::uint32_t SectorSizeFromTable(const platform::PosixFile& file, std::uint64_t offset);

// Media types as the geometry reports them.
enum class MediaType : std::int32_t { Removable = 11, Fixed = 12 };

struct DriveGeometry {
    std::uint64_t cylinders = 0;
    MediaType mediaType = MediaType::Fixed;
    std::uint32_t tracksPerCylinder = 255;
    std::uint32_t sectorsPerTrack = 63;
    std::uint32_t bytesPerSector = 512;

    // Cylinders x heads x sectors x bytes: the size truncated to whole cylinders.
    std::uint64_t SizeBytes() const {
        return cylinders * tracksPerCylinder * sectorsPerTrack * bytesPerSector;
    }
};

// What backs disk number n.
struct CatalogueDisk {
    platform::DeviceBacking backing;
    std::string kernelName;  // "sda"; empty for an image file
    bool attached = false;   // named by the user rather than found in sysfs
    std::uint32_t bytesPerSector = 0;  // from the geometry query; 0 until it answered
    // The device exists but this user may not read it (EACCES/EPERM): it is
    // listed from sysfs's figures so that choosing it can say why it fails.
    int openError = 0;
};

// What to tell a user who chose disk n that cannot be opened; empty when it
// can be read.
std::string DiskAccessProblem(const DrivesContext& ctx, int n);

enum class CatalogueItemKind { Root, PhysicalDisks, LogicalDrives, Disk, Partition, Volume };

struct CatalogueItem {
    partition::TreeHandle handle = 0;
    partition::TreeHandle parent = 0;  // 0 for the root
    CatalogueItemKind kind = CatalogueItemKind::Root;
    std::string text;
    int disk = -1;       // disk and partition items
    int partition = -1;  // partition items: index in the disk's DiskPartitionTable
    char letter = 0;     // volume items
    bool expanded = false;
};

struct CatalogueVolume {
    char letter = 0;
    std::string label;       // empty: shown as "Local Disk"
    std::string fileSystem;  // as the volume's boot sector gives it; may be empty
    platform::DeviceBacking backing;
    std::uint32_t bytesPerSector = 512;
    int disk = -1;       // the disk it lies on; -1 for an attached volume
    int partition = -1;  // its index in that disk's table
};

// The catalogue as data, for the GUI's source tree and the command line.
struct DriveCatalogue {
    std::vector<CatalogueItem> items;  // in insertion order; handle = position + 1
    std::array<std::optional<CatalogueDisk>, source::kDeviceSlots> disks;  // every numbered disk, listed or not
    std::vector<CatalogueVolume> volumes;                           // in letter order
    int physicalDiskCount = 0;

    static constexpr std::string_view kRootText = "This PC";
    static constexpr std::string_view kPhysicalDisksText = "Physical Disks";
    static constexpr std::string_view kLogicalDrivesText = "Logical Drives";

    partition::TreeHandle AddItem(partition::TreeHandle parent, CatalogueItemKind kind, std::string text);
    const CatalogueItem* Item(partition::TreeHandle handle) const;
    CatalogueItem* Item(partition::TreeHandle handle);
    std::vector<partition::TreeHandle> Children(partition::TreeHandle parent) const;
    const CatalogueVolume* Volume(char letter) const;
    void Clear();
};

// The state the catalogue keeps in the application context.
struct Drives {
    DriveSetup setup;
    DriveCatalogue catalogue;
};

// The part of the application's state the catalogue reads and fills: the
// device map, the partition tables and the geometry cache, and what it lists.
struct DrivesContext {
    platform::DeviceMap& devices;
    source::CurrentSource& source;
    source::SectorReader& reader;
    partition::PartitionTables& partitions;
    platform::RegistryStore& registry;
    Drives& drives;

    operator partition::PartitionContext() const { return {devices, source, reader, partitions, registry}; }
};

// "DATA (D:)", or "Local Disk (D:)" for a volume without a label.
std::string VolumeItemText(std::string_view label, char letter);

// The geometry of a numbered disk: nullopt when it cannot be opened or is
// empty (nothing in the card reader). Bytes per sector come from the device
// (BLKSSZGET), else sysfs, else 512 (an image file).
// A kernel disk this user may not open is measured from sysfs instead, with
// `openError` set.
// An image file's sectors are `imageSectorSize` bytes when given, else what
// SectorSizeFromTable finds.
std::optional<DriveGeometry> QueryDriveGeometry(const platform::SystemPaths& paths, CatalogueDisk& disk,
                                                std::uint32_t imageSectorSize = 0);

// The model of disk n: sysfs's model for a kernel disk, the file name for an
// image. 0 on success, else an errno value (ENODEV: no such disk).
int QueryDriveModel(const DrivesContext& ctx, int n, std::string& model);

// The model of the disk the current source lies on: the selected disk's, or
// for a logical drive the disk holding it (an attached volume image: its
// file name). Empty when unknown.
std::string SelectedDiskModel(const DrivesContext& ctx);

// Numbers the disks the setup names (attached ones first, then sysfs's), maps
// them in the device map, and rebuilds the geometry cache for those that
// answer. Returns 1 when rebuilt, 0 when the cache key cannot be created, -1
// when a subkey cannot be created (the front end then ends the process with
// exit code 1).
int RebuildGeometryCache(const DrivesContext& ctx);

struct CatalogueStatus {
    bool built = true;
    int exitCode = 0;  // when not built: the process's exit code
};

// Builds ctx.drives.catalogue: the group items, the disks listed in the
// rebuilt cache with their partitions (WalkPartitions with items), and the
// logical drives with their letters in the device map. Leaves the source on
// physical disk slots with no range set.
CatalogueStatus BuildDriveCatalogue(const DrivesContext& ctx);

// Bytes per sector of disk n as its geometry gave it, else the current
// BytesPerSector. Walks and sector figures of a disk use it.
std::uint32_t DiskSectorSize(const DrivesContext& ctx, int n);

// Walks disk n without items, as the panes and a selection do: slot 0 back
// on its disk, no range limit and the disk's own sector size during the walk.
int RewalkDisk(const DrivesContext& ctx, int n);

}  // namespace dravik::drives
