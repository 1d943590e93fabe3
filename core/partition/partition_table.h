// The partitions of one physical disk that hold a file system we analyse.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace dravik::partition {

struct PartitionEntry {
    std::int32_t Index = 0;
    std::uint32_t TreeItem = 0;  // handle of the partition's source-tree item, 0 when none
    std::uint64_t Start = 0;     // absolute first sector
    std::uint64_t End = 0;       // one past the last sector
};

struct DiskPartitionTable {
    static constexpr int kMaxPartitions = 26;
    std::int32_t Count = 0;
    std::array<std::string, kMaxPartitions> FileSystem;  // "NTFS", "FAT16", "FAT32"
    std::array<PartitionEntry, 50> Entries{};
};

}  // namespace dravik::partition
