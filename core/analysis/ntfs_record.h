// Decoders of NTFS FILE records and the attributes inside them.
//
// Every function works on bytes already read by the sector reader and checks
// every offset and length it meets against its buffer; a malformed record
// yields the neutral result (nothing found, 0, an empty name), never a fault.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/le.h"

namespace dravik::analysis::ntfs {

using platform::Bytes;
using platform::MutableBytes;

inline constexpr std::uint32_t kFileSignature = 0x454C4946;   // "FILE"
inline constexpr std::uint32_t kIndxSignature = 0x58444E49;   // "INDX"
inline constexpr std::size_t kFixupStride = 512;               // the smallest block an update sequence covers

namespace attr {
inline constexpr std::uint32_t kStandardInformation = 0x10;
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kFileName = 0x30;
inline constexpr std::uint32_t kData = 0x80;
inline constexpr std::uint32_t kIndexRoot = 0x90;
inline constexpr std::uint32_t kIndexAllocation = 0xA0;
inline constexpr std::uint32_t kEnd = 0xFFFFFFFF;
}  // namespace attr

// Attribute header fields (offsets from the attribute's start).
namespace hdr {
inline constexpr std::size_t kNameOffset = 0x0A;
inline constexpr std::size_t kFlags = 0x0C;
inline constexpr std::size_t kInstance = 0x0E;
inline constexpr std::size_t kValueLength = 0x10;      // resident
inline constexpr std::size_t kValueOffset = 0x14;      // resident
inline constexpr std::size_t kResidentName = 0x18;     // name position the decoders rely on
inline constexpr std::size_t kLowestVcn = 0x10;        // non-resident
inline constexpr std::size_t kMappingPairs = 0x20;     // non-resident
inline constexpr std::size_t kCompressionUnit = 0x22;  // non-resident, log2 of clusters
inline constexpr std::size_t kRealSize = 0x30;         // non-resident
inline constexpr std::size_t kNonResidentName = 0x40;  // name position the decoders rely on
}  // namespace hdr

// $FILE_NAME value fields.
namespace fn {
inline constexpr std::size_t kParent = 0x00;
inline constexpr std::size_t kTimes = 0x08;  // created, modified, changed, accessed
inline constexpr std::size_t kNameLength = 0x40;
inline constexpr std::size_t kNameSpace = 0x41;
inline constexpr std::size_t kName = 0x42;
}  // namespace fn

// $FILE_NAME name spaces.
enum class NameSpace : std::uint8_t { Posix = 0, Win32 = 1, Dos = 2, Win32AndDos = 3 };

struct StandardTimes {
    std::uint64_t created = 0;
    std::uint64_t modified = 0;
    std::uint64_t accessed = 0;
    bool operator==(const StandardTimes&) const = default;
};

struct FileNameInfo {
    std::uint32_t parent = 0;
    std::u16string name;
    StandardTimes times;  // from $STANDARD_INFORMATION; zeros when it is missing
};

enum class DataKind { None = 0, Resident = 1, NonResident = 2 };

struct DataAttribute {
    std::size_t offset = 0;
    DataKind kind = DataKind::None;
};

inline bool IsFileRecord(Bytes b) { return platform::U32(b, 0) == kFileSignature; }

// Offset of the record's first attribute (u16 at 0x14 of the header).
inline std::uint16_t FirstAttributeOffset(Bytes record) { return platform::U16(record, 0x14); }

// The record's own number (u32 at 0x2C), which only records whose update
// sequence starts past it (at 0x30 or later) hold; older ones have none.
inline std::optional<std::uint32_t> OwnRecordNumber(Bytes record) {
    constexpr std::size_t kUsaOffset = 0x04, kOwnNumber = 0x2C;
    if (platform::U16(record, kUsaOffset) < kOwnNumber + 4 || record.size() < kOwnNumber + 4) return std::nullopt;
    return platform::U32(record, kOwnNumber);
}

// Record flags (low byte of the flags at 0x16): bit 0 in use, bit 1 directory.
inline std::uint8_t RecordFlags(Bytes record) { return platform::U8(record, 0x16); }

// Allocated size of the record, replaced by 1024 when it is below 512, above
// 16384 or not a multiple of 512.
std::size_t RecordSize(Bytes record);

// Restores the bytes that the update sequence displaced at the end of every
// block (a sector of the volume, 512 bytes or more). FILE records use the
// record size for their bound, anything else (INDX blocks) the buffer
// length. Torn blocks are restored anyway: a recovery tool prefers the
// bytes to a refusal (FixupsIntact tells them apart).
void ApplyFixups(MutableBytes buffer);

// True when the update sequence number ends every block of the record (or
// INDX block) and the sequence covers the whole of it: a record written
// whole. A torn write leaves a block with an older number.
bool FixupsIntact(Bytes record);

// Attribute header, as met by the walk.
struct AttributeRef {
    std::size_t offset = 0;
    std::uint32_t type = 0;
    std::uint32_t length = 0;
    bool nonResident = false;
    std::uint8_t nameLength = 0;
};

// Walks the attributes from `first` and returns the first for which `match`
// is true. Stops at an end marker, a zero length, a length not below the
// bound, or when the next offset reaches the bound.
template <class Match>
std::optional<AttributeRef> FindAttribute(Bytes record, std::size_t bound, std::size_t first, Match match);

// The value of a resident attribute, when it lies inside `bound`; nullopt
// for a non-resident one.
std::optional<Bytes> ResidentValue(Bytes record, std::size_t bound, const AttributeRef& a);

// Bound used inside a record: the record size, clipped to the buffer.
inline std::size_t RecordBound(Bytes record) { return std::min(RecordSize(record), record.size()); }

std::optional<StandardTimes> ReadStandardTimes(Bytes record, std::size_t firstAttribute);
std::optional<FileNameInfo> ReadFileName(Bytes record, NameSpace space);
// Applies the fixups, then tries the name spaces POSIX, Win32, Win32+DOS and
// DOS in this order. No name: empty name and parent 0.
FileNameInfo ReadBestFileName(MutableBytes record);

// A $FILE_NAME attribute left behind in the record's free space: deleting a
// record's attributes one by one moves the end marker forward but leaves the
// bytes. Every 8-byte-aligned position is tried; the header and value must be
// consistent. The times are not taken.
std::optional<FileNameInfo> ReadStaleFileName(Bytes record);

// Data size of the first unnamed $DATA (real size when non-resident, value
// length when resident); 0 when there is none.
std::uint64_t ReadDataSize(Bytes record, std::size_t bound);
DataAttribute FindDataAttribute(Bytes record);

// The name of attribute `a` (empty when unnamed or outside the record).
std::u16string AttributeName(Bytes record, const AttributeRef& a);

// True when `a` is a $DATA whose name is `name` (the unnamed one when empty).
bool IsDataNamed(Bytes record, const AttributeRef& a, std::u16string_view name);

// An alternate data stream: a named $DATA, its size taken from the extent
// that starts it.
struct NamedStream {
    std::u16string name;
    std::uint64_t size = 0;
    bool operator==(const NamedStream&) const = default;
};

// The named $DATA attributes that start in this record (resident, or
// non-resident from cluster 0), in record order, each name once.
std::vector<NamedStream> ReadNamedStreams(Bytes record);

// Whether the named streams of record `number` (in folder `parent`) are the
// user's: those of the metafiles ($Secure:$SDS, $UpCase:$Info, ...) and of
// the files inside $Extend ($UsnJrnl:$J, ...) are the volume's bookkeeping.
inline constexpr std::uint64_t kFirstUserRecord = 16;  // 0..15 are the metafiles
bool HoldsUserStreams(std::uint64_t number, std::uint32_t parent);

// The file item name of a stream, "file:stream".
std::u16string StreamItemName(std::u16string_view file, std::u16string_view stream);

// The stream part of an item name: what follows its last colon, or empty.
// Stream names cannot hold a colon; a POSIX file name can, so the reader
// falls back to the unnamed data when the record has no such stream.
std::u16string_view StreamOfItemName(std::u16string_view name);

// A directory's own record number, taken from the parent reference of the
// first entry of its $I30 $INDEX_ROOT; 0 when unknown.
std::uint32_t ReadIndexRootOwner(Bytes record);
// First cluster of the $I30 $INDEX_ALLOCATION (low 32 bits); 0 when none.
std::uint32_t ReadIndexAllocationLcn(Bytes record, std::size_t recordSize);

// Record numbers named by the entries of a resident $ATTRIBUTE_LIST.
std::vector<std::uint32_t> ReadAttributeListNumbers(Bytes record, std::size_t bound);

// One entry of an attribute list.
struct AttributeListEntry {
    std::uint32_t type = 0;
    std::uint8_t nameLength = 0;
    std::uint64_t lowestVcn = 0;
    std::uint32_t recordNumber = 0;
};
// Walks the entries of an attribute list value.
std::vector<AttributeListEntry> ParseAttributeList(Bytes value);

// ---- template implementation ----

template <class Match>
std::optional<AttributeRef> FindAttribute(Bytes record, std::size_t bound, std::size_t first, Match match) {
    bound = std::min(bound, record.size());
    std::size_t off = first;
    // A record holds at most bound/16 attributes; the cap guards against any
    // walk that would not advance.
    for (std::size_t guard = 0; guard <= bound / 16 + 1; ++guard) {
        if (!platform::InRange(bound, off, 8)) return std::nullopt;
        AttributeRef a;
        a.offset = off;
        a.type = platform::U32(record, off);
        if (a.type == 0 || a.type == attr::kEnd) return std::nullopt;
        a.length = platform::U32(record, off + 4);
        a.nonResident = platform::U8(record, off + 8) == 1;
        a.nameLength = platform::U8(record, off + 9);
        if (match(a)) return a;
        if (a.length == 0 || a.length >= bound) return std::nullopt;
        off += a.length;
        if (off >= bound) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace dravik::analysis::ntfs
