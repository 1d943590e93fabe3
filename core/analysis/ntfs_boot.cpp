#include "analysis/ntfs_boot.h"

#include <algorithm>

#include "partition/boot_sector_id.h"

namespace dravik::analysis::ntfs {

using platform::U32;
using platform::U64;
using platform::U8;

namespace boot {
inline constexpr std::size_t kOemId = 0x03;
inline constexpr std::size_t kBytesPerSector = 0x0B;
inline constexpr std::size_t kSectorsPerCluster = 0x0D;
inline constexpr std::size_t kTotalSectors = 0x28;
inline constexpr std::size_t kMftLcn = 0x30;
inline constexpr std::size_t kMftMirrLcn = 0x38;
inline constexpr std::size_t kClustersPerRecord = 0x40;
inline constexpr std::size_t kClustersPerIndexBlock = 0x44;
}  // namespace boot

std::optional<BootSector> DecodeBootSector(platform::Bytes s, std::uint32_t readerSectorSize) {
    if (!partition::HasBootSignature(s) || !platform::BytesEqual(s, boot::kOemId, "NTFS")) return std::nullopt;
    BootSector b;
    b.bytesPerSector = platform::U16(s, boot::kBytesPerSector);
    std::uint32_t scale = 1;
    if (readerSectorSize >= 512 && b.bytesPerSector > readerSectorSize && b.bytesPerSector <= 4096 &&
        b.bytesPerSector % readerSectorSize == 0)
        scale = b.bytesPerSector / readerSectorSize;
    b.sectorsPerCluster = U8(s, boot::kSectorsPerCluster) * scale;
    const std::uint64_t counted = U64(s, boot::kTotalSectors);
    b.totalSectors = counted * scale;
    if (b.bytesPerSector != 0 && counted < UINT64_MAX / b.bytesPerSector)
        b.volumeBytes = (counted + 1) * b.bytesPerSector;
    b.mftLcn = U64(s, boot::kMftLcn);
    b.mftMirrLcn = U64(s, boot::kMftMirrLcn);

    // 0xF4 and 0xF6 are 4096 and 1024 bytes (2 to the power of minus the
    // signed byte); counted in the reader's sectors. Only the byte counts:
    // the three after it are unused, and whatever they hold must not turn
    // a usable volume into sizes its scan log could not carry.
    const std::uint32_t unit = readerSectorSize >= 512 ? readerSectorSize : 512;
    const std::uint32_t perIndex = U8(s, boot::kClustersPerIndexBlock);
    std::uint64_t spi = perIndex == 0xF4 ? std::max<std::uint32_t>(1, 4096 / unit)
                                         : std::uint64_t(perIndex) * b.sectorsPerCluster;
    // An index block size no volume has (the scan log holds at most 255
    // sectors) is taken as the usual 4096 bytes, as a record size is below.
    if (spi == 0 || spi > 255) spi = std::max<std::uint32_t>(1, 4096 / unit);
    b.sectorsPerIndexBlock = static_cast<std::uint32_t>(spi);

    const std::uint32_t perRecord = U8(s, boot::kClustersPerRecord);
    std::uint64_t spr = perRecord == 0xF6   ? std::max<std::uint32_t>(1, 1024 / unit)
                        : perRecord == 0xF4 ? std::max<std::uint32_t>(1, 4096 / unit)
                                            : std::uint64_t(perRecord) * b.sectorsPerCluster;
    if (spr != 1 && spr != 2 && spr != 4 && spr != 6 && spr != 8) spr = 2;
    b.sectorsPerRecord = static_cast<std::uint32_t>(spr);
    return b;
}

}  // namespace dravik::analysis::ntfs
