// FAT directory entries: short and long names, first clusters, times, and
// the "." / ".." pair that opens every sub-directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/le.h"

namespace dravik::analysis::fat {

using platform::Bytes;

inline constexpr std::size_t kEntrySize = 32;
inline constexpr std::uint8_t kDeletedMark = 0xE5;
inline constexpr std::uint8_t kEscapedE5 = 0x05;  // first name byte of a live entry that begins with 0xE5
inline constexpr std::uint8_t kAttrVolumeLabel = 0x08;  // the volume's name, not a file (long-name parts carry it too)
inline constexpr std::uint8_t kAttrDirectory = 0x10;
inline constexpr std::uint8_t kAttrLongName = 0x0F;

namespace entry {
inline constexpr std::size_t kAttributes = 11;
inline constexpr std::size_t kCreationTime = 14;
inline constexpr std::size_t kCreationDate = 16;
inline constexpr std::size_t kAccessDate = 18;
inline constexpr std::size_t kClusterHigh = 20;
inline constexpr std::size_t kWriteTime = 22;
inline constexpr std::size_t kWriteDate = 24;
inline constexpr std::size_t kClusterLow = 26;
inline constexpr std::size_t kSize = 28;
}  // namespace entry

// The 8.3 name as the entry holds it: the non-space bytes of the name, then
// '.' and the non-space bytes of the extension when there is one, each part
// in lower case when the entry's case flags say so. A deleted entry's first
// character (0xE5 on disk) becomes '_'; a first byte 0x05 is read as 0xE5.
std::string ShortName(Bytes e);

// FAT32 joins the high and low words; FAT12/16 have the low word only.
std::uint32_t FirstCluster(Bytes e, bool fat32);

// Times as items keep them: (date, time) in the low and high halves.
std::uint64_t ModifiedTime(Bytes e);
std::uint64_t CreatedTime(Bytes e);
std::uint64_t AccessedTime(Bytes e);

// True when the bytes begin with a "." entry followed by a ".." entry.
bool StartsWithDotEntries(Bytes sector);

// Short names: no control characters and none of " \ / ? * < > |. Bytes
// above 127 are characters of the volume's code page and are allowed.
bool IsPlausibleName(std::string_view name);
// Long names likewise, on UTF-16 units; unpaired surrogates are refused.
bool IsPlausibleName(std::u16string_view name);

// The long name spelled by the long-name parts before entry `index` of a
// directory's bytes, walking back part by part. Found when a part with the
// "last" bit or a terminator ends it, or once 13k characters were read and
// the next entry is no part. The parts must carry the checksum of the 8.3
// name; for a deleted entry, whose first name byte is lost, a checksum that
// fits some first byte is taken.
std::optional<std::u16string> ReadLongName(Bytes directory, std::size_t index);

// True when every 32-byte slot of `cluster` reads as a directory entry (a
// long-name part, a plausible short entry, or the zero that ends a
// directory, after which nothing is checked). Used to follow a directory
// into the next cluster when the FAT that chained them is gone.
bool LooksLikeDirectoryCluster(Bytes cluster, std::uint64_t clusterLimit, bool fat32);

// True when the directory bytes hold the zero entry that ends a directory.
bool HasEndOfDirectory(Bytes dir);

// Checksum of an 11-byte 8.3 name as long-name parts carry it.
std::uint8_t ShortNameChecksum(Bytes name11);

}  // namespace dravik::analysis::fat
