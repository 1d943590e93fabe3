// The partitions of one physical disk that hold a file system we analyse.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace dravik::partition {

// Handle of an item in the source tree; 0 means none.
using TreeHandle = std::uint32_t;

struct PartitionEntry {
    std::int32_t Index = 0;
    TreeHandle TreeItem = 0;  // handle of the partition's source-tree item, 0 when none
    // Sectors are 64-bit throughout (GPT addresses are), so that partitions
    // beyond 2^32 sectors keep their true place.
    std::uint64_t Start = 0;  // absolute first sector
    std::uint64_t End = 0;    // one past the last sector
};

struct DiskPartitionTable {
    static constexpr int kMaxPartitions = 26;
    std::int32_t Count = 0;
    std::array<std::string, kMaxPartitions> FileSystem;  // "NTFS", "FAT16", "FAT32"
    std::array<PartitionEntry, 50> Entries{};
};

// "Partition - 2 ( NTFS )" for the partition numbered 2 (1-based).
inline std::string PartitionName(int number, std::string_view label) {
    return "Partition - " + std::to_string(number) + " ( " + std::string(label) + " )";
}

}  // namespace dravik::partition
