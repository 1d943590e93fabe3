#include "analysis/ntfs_boot.h"

namespace dravik::analysis::ntfs {

using platform::U32;
using platform::U64;
using platform::U8;

namespace boot {
inline constexpr std::size_t kOemId = 0x03;
inline constexpr std::size_t kSectorsPerCluster = 0x0D;
inline constexpr std::size_t kTotalSectors = 0x28;
inline constexpr std::size_t kMftLcn = 0x30;
inline constexpr std::size_t kMftMirrLcn = 0x38;
inline constexpr std::size_t kClustersPerRecord = 0x40;
inline constexpr std::size_t kClustersPerIndexBlock = 0x44;
}  // namespace boot

bool HasBootSignature(platform::Bytes s) {
    return U8(s, 510) == 0x55 && U8(s, 511) == 0xAA;
}

std::optional<BootSector> DecodeBootSector(platform::Bytes s) {
    if (!HasBootSignature(s) || !platform::BytesEqual(s, boot::kOemId, "NTFS")) return std::nullopt;
    BootSector b;
    b.sectorsPerCluster = U8(s, boot::kSectorsPerCluster);
    b.totalSectors = U64(s, boot::kTotalSectors);
    b.mftLcn = U64(s, boot::kMftLcn);
    b.mftMirrLcn = U64(s, boot::kMftMirrLcn);

    const std::uint32_t perIndex = U32(s, boot::kClustersPerIndexBlock);
    b.sectorsPerIndexBlock = perIndex == 0xF4 ? 8 : perIndex * b.sectorsPerCluster;

    const std::uint32_t perRecord = U32(s, boot::kClustersPerRecord);
    std::uint64_t spr = perRecord == 0xF6 ? 2 : std::uint64_t(perRecord) * b.sectorsPerCluster;
    if (spr != 1 && spr != 2 && spr != 4 && spr != 6 && spr != 8) spr = 2;
    b.sectorsPerRecord = static_cast<std::uint32_t>(spr);
    return b;
}

}  // namespace dravik::analysis::ntfs
