// What Linux tells about disks, partitions and mounts, read from sysfs, /dev
// and mountinfo. The roots are injectable so that tests can build a fake
// tree in a temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dravik::platform {

struct SystemPaths {
    std::filesystem::path sysfs = "/sys";
    std::filesystem::path dev = "/dev";
    std::filesystem::path mountInfo = "/proc/self/mountinfo";
};

// The whole disks under <sysfs>/block in natural name order (sda, sdb, ...,
// nvme0n1, nvme1n1), without the kernel's virtual devices (loop, ram, zram,
// dm-, md) and without optical and floppy drives, which are not physical
// drives on the system we emulate.
std::vector<std::string> ListSystemDisks(const SystemPaths& paths);

// A partition of a disk as sysfs gives it, in 512-byte units.
struct SysfsPartition {
    std::string name;
    std::uint64_t start = 0;
    std::uint64_t sectors = 0;
};
std::vector<SysfsPartition> ListSysfsPartitions(const SystemPaths& paths, const std::string& disk);

// Attributes of a disk under <sysfs>/block/<disk>.
bool SysfsRemovable(const SystemPaths& paths, const std::string& disk);
std::string SysfsModel(const SystemPaths& paths, const std::string& disk);  // trimmed; empty when none
std::uint32_t SysfsLogicalBlockSize(const SystemPaths& paths, const std::string& disk);  // 0 when unknown
bool SysfsHasDisk(const SystemPaths& paths, const std::string& disk);
// The disk's size in bytes from its 512-byte sector count; 0 when unknown.
std::uint64_t SysfsSizeBytes(const SystemPaths& paths, const std::string& disk);

// The kernel's name of the block device a path leads to ("/dev/disk/by-id/x"
// -> "sda"), or empty when the path is not a block device.
std::string BlockDeviceName(const std::string& path);

// Where the file system on `device` is mounted, from mountinfo: matched by
// device number for block devices and by source path otherwise (FUSE mounts
// name their device only there). Empty when it is not mounted.
std::string FindMountPoint(const SystemPaths& paths, const std::string& device);

struct SpaceFigures {
    std::uint64_t total = 0;
    std::uint64_t free = 0;
};
// Total and free bytes of the file system mounted at `mountPoint`.
std::optional<SpaceFigures> QueryFreeSpace(const std::string& mountPoint);

// Parses one line of mountinfo into (major:minor, mount point, source);
// nullopt for a malformed line. Octal escapes (\040) are decoded.
struct MountLine {
    std::string devNumbers;
    std::string mountPoint;
    std::string source;
};
std::optional<MountLine> ParseMountInfoLine(const std::string& line);

// Compares names with digit runs taken as numbers: sda < sdb, nvme2n1 < nvme10n1.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace dravik::platform
