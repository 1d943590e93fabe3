// The FAT boot sector: where a volume's FATs, root folder and clusters lie.
#pragma once

#include <cstdint>

#include "platform/le.h"

namespace dravik::analysis::fat {

// Fields of the boot sector (offsets in bytes). The layout's arithmetic
// assumes 512-byte sectors; the volume's own sector size only gives its size.
namespace bpb {
inline constexpr std::size_t kBytesPerSector = 11;       // u16, the volume's own
inline constexpr std::size_t kSectorsPerCluster = 13;    // u8
inline constexpr std::size_t kReservedSectors = 14;      // u16
inline constexpr std::size_t kRootEntries = 17;          // u16, FAT12/16
inline constexpr std::size_t kTotalSectors16 = 19;       // u16, 0 when the volume is larger
inline constexpr std::size_t kSectorsPerFat16 = 22;      // u16, FAT12/16
inline constexpr std::size_t kTotalSectors32 = 32;       // u32
inline constexpr std::size_t kSectorsPerFat32 = 36;      // u32, FAT32
inline constexpr std::size_t kRootCluster = 44;          // u32, FAT32
}  // namespace bpb

struct BootLayout {
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t rootDirSectors = 0;  // FAT12/16: root entries / 16
    std::uint64_t rootDirStart = 0;    // FAT32: the root folder's first cluster
    std::uint64_t clusterBase = 0;     // the sector of cluster 0
    std::uint64_t fat1Start = 0;
    std::uint64_t fat2Start = 0;
    std::uint64_t totalSectors = 0;
    std::uint32_t bytesPerSector = 0;  // the volume's own
};

// The layout of the volume whose boot sector `boot` lies at sector `at`,
// with two FATs. Nothing is checked: the caller decides whether to trust it.
inline BootLayout DecodeBootLayout(platform::Bytes boot, std::uint64_t at, bool fat32) {
    using platform::U16;
    using platform::U32;
    BootLayout l;
    l.sectorsPerCluster = platform::U8(boot, bpb::kSectorsPerCluster);
    l.bytesPerSector = U16(boot, bpb::kBytesPerSector);
    l.reservedSectors = U16(boot, bpb::kReservedSectors);
    l.sectorsPerFat = fat32 ? U32(boot, bpb::kSectorsPerFat32) : U16(boot, bpb::kSectorsPerFat16);
    l.fat1Start = at + l.reservedSectors;
    l.fat2Start = l.fat1Start + l.sectorsPerFat;
    if (fat32) {
        l.rootDirStart = U32(boot, bpb::kRootCluster);
        l.clusterBase = l.fat1Start + 2ull * l.sectorsPerFat - 2ull * l.sectorsPerCluster;
        l.totalSectors = U32(boot, bpb::kTotalSectors32);
    } else {
        l.rootDirSectors = U16(boot, bpb::kRootEntries) / 16u;
        l.rootDirStart = l.fat1Start + 2ull * l.sectorsPerFat;
        l.clusterBase = l.rootDirStart + l.rootDirSectors - 2ull * l.sectorsPerCluster;
        const std::uint16_t small = U16(boot, bpb::kTotalSectors16);
        l.totalSectors = small ? small : U32(boot, bpb::kTotalSectors32);
    }
    return l;
}

}  // namespace dravik::analysis::fat
