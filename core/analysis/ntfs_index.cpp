#include "analysis/ntfs_index.h"

#include <algorithm>

namespace dravik::analysis::ntfs {

using platform::InRange;
using platform::U16;
using platform::U32;
using platform::U64;
using platform::U8;

namespace indx {
inline constexpr std::size_t kVcn = 0x10;
inline constexpr std::size_t kHeader = 0x18;          // index header; offsets below are relative to it
inline constexpr std::size_t kFirstEntry = 0x18;      // u32, relative to kHeader
inline constexpr std::size_t kAllocatedSize = 0x20;  // u32, entries area
}  // namespace indx

namespace entry {
inline constexpr std::size_t kFileReference = 0x00;
inline constexpr std::size_t kLength = 0x08;
inline constexpr std::size_t kKeyLength = 0x0A;
inline constexpr std::size_t kParent = 0x10;
inline constexpr std::size_t kCreated = 0x18;
inline constexpr std::size_t kFileAttributes = 0x48;
inline constexpr std::size_t kNameLength = 0x50;
inline constexpr std::size_t kName = 0x52;
inline constexpr std::size_t kMinimum = 0x10;
}  // namespace entry

std::optional<IndexBlockCheck> CheckIndexBlock(Bytes b) {
    const std::uint64_t allocated = U32(b, indx::kAllocatedSize);
    const std::uint64_t first = U32(b, indx::kFirstEntry);
    if (allocated + indx::kHeader > 65536) return std::nullopt;
    if (allocated + indx::kHeader < first + 44) return std::nullopt;
    auto owner = platform::Le<std::uint32_t>(b, first + 40);
    if (!owner || *owner <= 4 || *owner == 0xFFFFFFFF) return std::nullopt;
    return IndexBlockCheck{*owner, U32(b, indx::kVcn)};
}

std::size_t IndexBlockBytes(Bytes header, std::uint32_t bytesPerSector) {
    const std::uint64_t bytes = std::uint64_t(U32(header, indx::kAllocatedSize)) + indx::kHeader;
    if (bytesPerSector == 0) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(bytes, 65536) / bytesPerSector * bytesPerSector);
}

namespace {
// Entries from `off` to the end of `block`, by entry length.
std::vector<IndexEntry> WalkEntriesFrom(Bytes block, std::uint64_t off) {
    std::vector<IndexEntry> out;
    const std::size_t end = block.size();
    while (InRange(end, off, entry::kMinimum)) {
        const std::uint16_t length = U16(block, off + entry::kLength);
        if (length < entry::kMinimum) break;
        const std::uint8_t nameLength = U8(block, off + entry::kNameLength);
        const bool keyed = U16(block, off + entry::kKeyLength) >= entry::kName - entry::kParent;
        if (keyed && nameLength > 0 && InRange(end, off + entry::kName, std::size_t(nameLength) * 2)) {
            IndexEntry e;
            e.child = U32(block, off + entry::kFileReference);
            e.parent = U32(block, off + entry::kParent);
            e.created = U64(block, off + entry::kCreated);
            e.fileAttributes = U32(block, off + entry::kFileAttributes);
            e.name = *platform::Utf16At(block, off + entry::kName, nameLength);
            out.push_back(std::move(e));
        }
        off += length;
    }
    return out;
}
}  // namespace

std::vector<IndexEntry> WalkIndexEntries(Bytes block) {
    return WalkEntriesFrom(block, indx::kHeader + std::uint64_t(U32(block, indx::kFirstEntry)));
}

std::vector<IndexEntry> IndexRootEntries(Bytes record) {
    const std::size_t bound = RecordBound(record);
    auto a = FindAttribute(record, bound, FirstAttributeOffset(record), [&](const AttributeRef& x) {
        return x.type == attr::kIndexRoot && x.nameLength == 4 && !x.nonResident;
    });
    if (!a) return {};
    const std::uint64_t value = a->offset + std::uint64_t(U16(record, a->offset + 0x14));
    const std::uint64_t length = U32(record, a->offset + 0x10);
    if (!InRange(bound, value, length)) return {};
    // The index header follows the 16-byte root header; its entry offset
    // counts from itself.
    const Bytes root = record.subspan(static_cast<std::size_t>(value), static_cast<std::size_t>(length));
    return WalkEntriesFrom(root, 0x10 + std::uint64_t(U32(root, 0x10)));
}

}  // namespace dravik::analysis::ntfs
