#include "partition/boot_sector_id.h"

namespace dravik::partition {

using platform::BytesEqual;

bool HasBootSignature(platform::Bytes sector) {
    return platform::U8(sector, boot::kSignature) == 0x55 && platform::U8(sector, boot::kSignature + 1) == 0xAA;
}

std::uint8_t IdentifyBootSector(platform::Bytes sector, std::uint8_t entryType) {
    if (BytesEqual(sector, boot::kFat32Type, kFat32)) return mbr_type::kFat32;
    if (BytesEqual(sector, boot::kFat16Type, kFat16)) return mbr_type::kFat16;
    if (BytesEqual(sector, boot::kOemName, kNtfs)) return mbr_type::kNtfs;
    return entryType;
}

std::uint64_t FatTotalSectors(platform::Bytes sector) {
    // Small FAT volumes keep their size in the 16-bit field and leave the
    // 32-bit one 0; taking only the latter would make them empty.
    if (const std::uint16_t small = platform::U16(sector, boot::kFatTotal16)) return small;
    return platform::U32(sector, boot::kFatTotal32);
}

std::optional<VolumeIdentity> ShortIdentify(platform::Bytes sector, std::uint32_t readerSectorSize) {
    std::optional<VolumeIdentity> found;
    // Only the digits of "FAT12", "FAT16" and "FAT32" are compared. FAT12
    // volumes (floppies, small cards and their images) are analysed too.
    if (BytesEqual(sector, boot::kFat16Type + 3, "12")) found = VolumeIdentity{"FAT12", FatTotalSectors(sector)};
    if (BytesEqual(sector, boot::kFat16Type + 3, "16")) found = VolumeIdentity{std::string(kFat16), FatTotalSectors(sector)};
    if (BytesEqual(sector, boot::kFat32Type + 3, "32")) found = VolumeIdentity{std::string(kFat32), FatTotalSectors(sector)};
    if (BytesEqual(sector, boot::kOemName, kNtfs)) {
        std::uint64_t total = platform::U64(sector, boot::kNtfsTotal);
        const std::uint32_t bps = platform::U16(sector, 0x0B);
        if (readerSectorSize >= 512 && bps > readerSectorSize && bps <= 4096 && bps % readerSectorSize == 0)
            total *= bps / readerSectorSize;
        found = VolumeIdentity{std::string(kNtfs), total};
    }
    return found;
}

std::string_view LabelOfType(std::uint8_t type, bool inExtendedChain) {
    switch (type) {
        case mbr_type::kFat12: return inExtendedChain ? kFat16 : std::string_view{};
        case 0x04:
        case mbr_type::kFat16:
        case 0x0E: return kFat16;
        case mbr_type::kFat32:
        case 0x0C: return kFat32;
        case mbr_type::kNtfs: return kNtfs;
        default: return {};
    }
}

}  // namespace dravik::partition
