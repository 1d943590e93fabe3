// The scan log's layout, shared by its writer and its reader.
//
// All integers are little-endian. Texts are UTF-16LE without a terminator:
// a short text is a length byte n and n characters, a narrow short text a
// length byte n and n bytes. Times are u64 (low half first).
//
//   fixed head    0: identification text (31 UTF-16 characters)
//                62: u16 kind: 1 = findings of a partition search, 0 = items
//                64: u32 L, 68: the device model (L characters)
//   variable head u8 device index, u8 drive letter, u32 bytes per sector,
//                 u8 disk number, u8 partition index, short text file
//                 system, short text partition item, u64 start, u64 end,
//                 12 u32 partition geometry, 12 u32 analysis geometry and a
//                 short text file system, u32 formatted, u32 exhaustive,
//                 u32 phase, u32 current volume; when exhaustive: u32 V
//                 and V volume records
//   lists         kind 1: u32 count + found folders, u32 count + found
//                 files; then always u32 count + folder items, u32 count +
//                 file items (a kind-1 log's are not read back)
//
// Sector fields of 32 bits hold the low half of a sector; the reader widens
// them again from the partition start (Widen).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_state.h"
#include "analysis/item_records.h"
#include "analysis/scan_lists.h"

namespace dravik::analysis::scanlog {

inline constexpr std::u16string_view kIdentification = u"Vandrolisk Data Recovery Wizard";
inline constexpr std::size_t kMaxText = 255;

namespace head {
inline constexpr std::size_t kKind = 62;
inline constexpr std::size_t kModelLength = 64;
inline constexpr std::size_t kModel = 68;
}  // namespace head

// Geometry as twelve words, in the order the log keeps them.
using GeometryWords = std::array<std::uint32_t, 12>;
namespace word {
inline constexpr std::size_t kSectorsPerFat = 0, kSectorsPerCluster = 1, kRootDirSectors = 2, kRootDirStart = 3,
                             kReservedSectors = 4, kClusterBase = 5, kFat1Start = 6, kFat2Start = 7, kMftSector = 8,
                             kMftMirrSector = 9, kSectorsPerRecord = 10, kSectorsPerIndexBlock = 11;
}

namespace volume_record {
inline constexpr std::size_t kEnd = 0, kStart = 8, kSectorsPerCluster = 16, kClusterBase = 20, kFat1Start = 24,
                             kReservedSectors = 28, kRootDirSectors = 32, kRootDirStart = 36, kFat2Start = 40,
                             kSectorsPerFat = 44, kTypeName = 48, kSectorsPerRecord = 68, kSectorsPerIndexBlock = 72;
inline constexpr std::size_t kTypeChars = 10;
inline constexpr std::size_t kSize = 76;
}  // namespace volume_record

// Each record kind: its fixed part, then its texts.
namespace found_folder {
inline constexpr std::size_t kAccessed = 0, kCreated = 8, kVolume = 16, kModified = 20, kIndexLcn = 28, kParent = 32,
                             kSector = 36, kIndexLcnAgain = 40, kNumber = 44, kDeleted = 48;
inline constexpr std::size_t kFixed = 49;
}  // namespace found_folder

namespace found_file {
inline constexpr std::size_t kAccessed = 0, kCreated = 8, kStamp = 16, kModified = 20, kSize = 28, kParent = 36,
                             kSector = 40, kReserved = 44, kNumber = 48, kDeleted = 52;
inline constexpr std::size_t kFixed = 53;
}  // namespace found_file

namespace folder_item {
inline constexpr std::size_t kTreeHandle = 0, kAccessed = 4, kCreated = 12, kVolume = 20, kMark = 22, kModified = 24,
                             kParent = 32, kSector = 36, kVolumeAgain = 40, kMarkAgain = 42, kNumber = 44, kKind = 48,
                             kDeleted = 49;
inline constexpr std::size_t kFixed = 50;
}  // namespace folder_item

namespace file_item {
inline constexpr std::size_t kAccessed = 0, kCreated = 8, kIndex = 16, kModified = 20, kSize = 28, kParent = 36,
                             kSector = 40, kMark = 44, kNumber = 48, kKind = 52, kDeleted = 53;
inline constexpr std::size_t kFixed = 54;
}  // namespace file_item

// The head as it is stored, in host order. Volume descriptors hold their
// 32-bit fields as stored until they are widened.
struct LogHead {
    bool scanTimeRecords = false;
    std::u16string model;
    std::uint8_t deviceIndex = 0;
    std::uint8_t driveLetter = 0;
    std::uint32_t bytesPerSector = 512;
    std::uint8_t diskNumber = 0;
    std::uint8_t partitionIndex = 0xFF;  // 0xFF: none
    std::u16string fileSystem;
    std::u16string partitionText;
    std::uint64_t startSector = 0;
    std::uint64_t endSector = 0;
    GeometryWords partition{};
    GeometryWords geometry{};
    std::u16string geometryFileSystem;
    std::uint32_t formatted = 0;
    std::uint32_t exhaustive = 0;
    std::uint32_t phase = 0;
    std::uint32_t currentVolume = 0;
    std::vector<VolumeDescriptor> volumes;  // only when exhaustive
};

// Byte order helpers for the writer.
void PutU8(std::vector<std::uint8_t>& out, std::uint8_t v);
void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v);
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v);
void PutU64(std::vector<std::uint8_t>& out, std::uint64_t v);
// At most kMaxText characters, never half of a surrogate pair.
void PutShortText(std::vector<std::uint8_t>& out, std::u16string_view text);
void PutNarrowText(std::vector<std::uint8_t>& out, std::string_view text);

void PutHead(std::vector<std::uint8_t>& out, const LogHead& head);
void PutVolumeRecord(std::vector<std::uint8_t>& out, const VolumeDescriptor& v);
void PutFoundFolder(std::vector<std::uint8_t>& out, const FoundFolder& f);
void PutFoundFile(std::vector<std::uint8_t>& out, const FoundFile& f);
void PutFolderItem(std::vector<std::uint8_t>& out, const FolderItem& f);
void PutFileItem(std::vector<std::uint8_t>& out, const FileItem& f);

GeometryWords WordsOf(const VolumeGeometry& g);
// `floor`: see Widen.
VolumeGeometry GeometryOf(const GeometryWords& w, std::string fileSystem, std::uint64_t floor);
// Widens the 32-bit sector fields of a descriptor read from the log.
void WidenVolume(VolumeDescriptor& v, std::uint64_t floor);

// The sector whose low 32 bits are `low`, at or above `floor` (the first
// sector the analysis covered, less a margin for cluster bases that lie a
// little before their volume). 0 stays 0: it means "none".
std::uint64_t Widen(std::uint64_t low, std::uint64_t floor);
// The floor for a partition starting at `start`.
std::uint64_t SectorFloor(std::uint64_t start);

// Values that size buffers or name a device, checked before a head is
// used: a hostile log must not make a later read allocate without bound.
bool PlausibleHead(const LogHead& head);

// Gives the owner write permission on an existing file, as both the writer
// and the reader do before they open a log.
void MakeWritable(const std::string& path);

}  // namespace dravik::analysis::scanlog
