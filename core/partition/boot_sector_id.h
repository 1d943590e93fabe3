// Recognising the file system of a partition from its boot sector, and the
// labels of MBR partition types.
//
// Boot sector fields used here (offsets in bytes):
//   3   OEM name, "NTFS    " on NTFS
//   19  16-bit total sectors (FAT volumes below 65 536 sectors)
//   32  32-bit total sectors (larger FAT volumes)
//   40  64-bit total sectors (NTFS)
//   54  "FAT16   " / "FAT12   " file-system type (FAT12/16 extended BPB)
//   82  "FAT32   " file-system type (FAT32 extended BPB)
//   510 0x55 0xAA
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/le.h"

namespace dravik::partition {

namespace boot {
inline constexpr std::size_t kOemName = 3;
inline constexpr std::size_t kFatTotal16 = 19;
inline constexpr std::size_t kFatTotal32 = 32;
inline constexpr std::size_t kNtfsTotal = 40;
inline constexpr std::size_t kFat16Type = 54;
inline constexpr std::size_t kFat32Type = 82;
inline constexpr std::size_t kSignature = 510;
}  // namespace boot

namespace mbr_type {
inline constexpr std::uint8_t kEmpty = 0x00;
inline constexpr std::uint8_t kFat12 = 0x01;
inline constexpr std::uint8_t kFat16 = 0x06;
inline constexpr std::uint8_t kExtended = 0x05;
inline constexpr std::uint8_t kNtfs = 0x07;
inline constexpr std::uint8_t kFat32 = 0x0B;
inline constexpr std::uint8_t kExtendedLba = 0x0F;
inline constexpr std::uint8_t kGptProtective = 0xEE;
}  // namespace mbr_type

inline constexpr std::string_view kNtfs = "NTFS";
inline constexpr std::string_view kFat16 = "FAT16";
inline constexpr std::string_view kFat32 = "FAT32";

// 0x55 0xAA at offset 510.
bool HasBootSignature(platform::Bytes sector);

// The label test, for partitions named by an MBR or extended entry: "FAT32"
// at 82 gives 0x0B, else "FAT16" at 54 gives 0x06, else "NTFS" at 3 gives
// 0x07; otherwise the entry's own type stays.
std::uint8_t IdentifyBootSector(platform::Bytes sector, std::uint8_t entryType);

// What the short test finds: the label and the volume's length in sectors as
// its boot sector gives it.
struct VolumeIdentity {
    std::string label;
    std::uint64_t totalSectors = 0;
    bool operator==(const VolumeIdentity&) const = default;
};

// The short test, for a volume at the start of a disk and for GPT
// partitions: "16" at 57 means FAT16, "32" at 85 FAT32, "NTFS" at 3 NTFS.
// All three are tried and the last match stands. nullopt when none matches.
// An NTFS volume of larger sectors than the reader's (4096-byte sectors read
// from an image in 512-byte ones) has its length counted in the reader's.
std::optional<VolumeIdentity> ShortIdentify(platform::Bytes sector, std::uint32_t readerSectorSize = 512);

// Length in sectors of a FAT volume: the 16-bit count at 19 when it is set,
// else the 32-bit count at 32.
std::uint64_t FatTotalSectors(platform::Bytes sector);

// The label of an MBR type byte (after the label test), or empty when such an
// entry is not listed. FAT12 (0x01) is listed only inside an extended chain.
std::string_view LabelOfType(std::uint8_t type, bool inExtendedChain);

inline bool IsExtendedType(std::uint8_t type) {
    return type == mbr_type::kExtended || type == mbr_type::kExtendedLba;
}

}  // namespace dravik::partition
