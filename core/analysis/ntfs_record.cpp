#include "analysis/ntfs_record.h"

#include <algorithm>

namespace dravik::analysis::ntfs {

using platform::InRange;
using platform::U16;
using platform::U32;
using platform::U64;
using platform::U8;

namespace rec {
inline constexpr std::size_t kUsaOffset = 0x04;
inline constexpr std::size_t kUsaCount = 0x06;
inline constexpr std::size_t kFirstAttribute = 0x14;
inline constexpr std::size_t kAllocatedSize = 0x1C;
}  // namespace rec


std::size_t RecordSize(Bytes record) {
    const auto size = static_cast<std::int16_t>(U16(record, rec::kAllocatedSize));
    if (size < 512 || size > 0x4000 || size % 512 != 0) return 1024;
    return static_cast<std::size_t>(size);
}

namespace {
// The update sequence of a record or block: where its array is, how many
// blocks it covers and how long each block is. Blocks are a sector of the
// volume: the record's length divided by the blocks, 512 bytes unless that
// gives another power of two (4096-byte sectors have one block per 4 KiB).
struct UpdateSequence {
    std::size_t usa = 0, blocks = 0, stride = kFixupStride, bound = 0;
};
std::optional<UpdateSequence> SequenceOf(Bytes view) {
    UpdateSequence u;
    u.bound = view.size();
    if (IsFileRecord(view)) u.bound = std::min(u.bound, RecordSize(view));
    u.usa = U16(view, rec::kUsaOffset);
    const std::size_t count = U16(view, rec::kUsaCount);
    if (count < 2 || u.usa + 2 > u.bound) return std::nullopt;
    u.blocks = count - 1;
    const std::size_t stride = u.bound / u.blocks;
    if (u.bound % u.blocks == 0 && stride > kFixupStride && stride <= 4096 && (stride & (stride - 1)) == 0)
        u.stride = stride;
    return u;
}
}  // namespace

void ApplyFixups(MutableBytes buffer) {
    const Bytes view(buffer.data(), buffer.size());
    const auto u = SequenceOf(view);
    if (!u) return;
    for (std::size_t k = 0; k < u->blocks; ++k) {
        const std::size_t tail = u->stride * k + u->stride - 2;
        const std::size_t entry = u->usa + 2 + 2 * k;
        if (!InRange(u->bound, tail, 2) || !InRange(u->bound, entry, 2)) break;
        buffer[tail] = buffer[entry];
        buffer[tail + 1] = buffer[entry + 1];
    }
}

bool FixupsIntact(Bytes record) {
    const auto u = SequenceOf(record);
    if (!u) return false;
    const std::uint16_t usn = U16(record, u->usa);
    std::size_t checked = 0;
    for (std::size_t k = 0; k < u->blocks; ++k) {
        const std::size_t tail = u->stride * k + u->stride - 2;
        if (!InRange(u->bound, tail, 2)) break;
        if (U16(record, tail) != usn) return false;
        ++checked;
    }
    // Every block of the record must be covered by the sequence.
    return checked > 0 && checked * u->stride >= u->bound;
}

std::optional<Bytes> ResidentValue(Bytes record, std::size_t bound, const AttributeRef& a) {
    if (a.nonResident) return std::nullopt;
    const std::uint64_t off = std::uint64_t(a.offset) + U16(record, a.offset + hdr::kValueOffset);
    const std::uint64_t len = U32(record, a.offset + hdr::kValueLength);
    if (!InRange(bound, off, len)) return std::nullopt;
    return record.subspan(static_cast<std::size_t>(off), static_cast<std::size_t>(len));
}

namespace {

bool NameIsI30(Bytes record, std::size_t at) {
    // Only the low bytes of the four UTF-16 units are compared.
    static constexpr char kI30[] = "$I30";
    for (std::size_t i = 0; i < 4; ++i)
        if (!InRange(record.size(), at + 2 * i, 2) || record[at + 2 * i] != std::uint8_t(kI30[i])) return false;
    return true;
}

}  // namespace

std::optional<StandardTimes> ReadStandardTimes(Bytes record, std::size_t firstAttribute) {
    const std::size_t bound = RecordBound(record);
    std::optional<Bytes> value;
    auto found = FindAttribute(record, bound, firstAttribute, [&](const AttributeRef& a) {
        if (a.type != attr::kStandardInformation) return false;
        value = ResidentValue(record, bound, a);
        return value.has_value() && value->size() >= 0x20;
    });
    if (!found) return std::nullopt;
    return StandardTimes{U64(*value, 0x00), U64(*value, 0x08), U64(*value, 0x18)};
}

std::optional<FileNameInfo> ReadFileName(Bytes record, NameSpace space) {
    const std::size_t bound = RecordBound(record);
    const std::size_t first = U16(record, rec::kFirstAttribute);
    if (first > bound) return std::nullopt;
    std::optional<Bytes> value;
    auto found = FindAttribute(record, bound, first, [&](const AttributeRef& a) {
        if (a.type != attr::kFileName || a.nameLength != 0) return false;
        value = ResidentValue(record, bound, a);
        if (!value || U8(*value, fn::kNameSpace, 0xFF) != std::uint8_t(space)) return false;
        return InRange(value->size(), fn::kName, std::size_t(U8(*value, fn::kNameLength)) * 2);
    });
    if (!found) return std::nullopt;
    FileNameInfo info;
    info.parent = U32(*value, fn::kParent);
    info.name = platform::Utf16At(*value, fn::kName, U8(*value, fn::kNameLength)).value_or(u"");
    info.times = ReadStandardTimes(record, first).value_or(StandardTimes{});
    return info;
}

FileNameInfo ReadBestFileName(MutableBytes record) {
    ApplyFixups(record);
    const Bytes view(record.data(), record.size());
    for (auto space : {NameSpace::Posix, NameSpace::Win32, NameSpace::Win32AndDos, NameSpace::Dos})
        if (auto info = ReadFileName(view, space)) return std::move(*info);
    return {};
}

std::optional<FileNameInfo> ReadStaleFileName(Bytes record) {
    const std::size_t bound = RecordBound(record);
    std::optional<FileNameInfo> best;
    int bestRank = -1;
    for (std::size_t at = 0x38; at + 0x18 + fn::kName <= bound; at += 8) {
        // The end marker written over the header's first bytes leaves the
        // rest of it (and the value) intact.
        const std::uint32_t type = U32(record, at);
        if (type != attr::kFileName && type != attr::kEnd) continue;
        const std::uint32_t valueLength = U32(record, at + hdr::kValueLength);
        if (U8(record, at + 8) != 0 || U8(record, at + 9) != 0 || U16(record, at + hdr::kValueOffset) != 0x18) continue;
        const std::size_t value = at + 0x18;
        const std::uint8_t chars = U8(record, value + fn::kNameLength);
        const std::uint8_t space = U8(record, value + fn::kNameSpace);
        // A $FILE_NAME value is exactly its fixed part and the name.
        if (chars == 0 || space > 3 || valueLength != fn::kName + 2u * chars || !InRange(bound, value, valueLength))
            continue;
        // Prefer the long names, as ReadBestFileName does.
        const int rank = space == 0 ? 3 : space == 1 ? 2 : space == 3 ? 1 : 0;
        if (rank <= bestRank) continue;
        FileNameInfo info;
        info.parent = U32(record, value + fn::kParent);
        info.name = *platform::Utf16At(record, value + fn::kName, chars);
        best = std::move(info);
        bestRank = rank;
    }
    return best;
}

namespace {
std::optional<AttributeRef> FindUnnamedData(Bytes record, std::size_t bound) {
    return FindAttribute(record, bound, U16(record, rec::kFirstAttribute),
                         [](const AttributeRef& a) { return a.type == attr::kData && a.nameLength == 0; });
}
}  // namespace

std::uint64_t ReadDataSize(Bytes record, std::size_t bound) {
    auto a = FindUnnamedData(record, bound);
    if (!a) return 0;
    if (a->nonResident) return U64(record.first(std::min(bound, record.size())), a->offset + hdr::kRealSize);
    return U32(record.first(std::min(bound, record.size())), a->offset + hdr::kValueLength);
}

DataAttribute FindDataAttribute(Bytes record) {
    auto a = FindUnnamedData(record, RecordBound(record));
    if (!a) return {};
    return {a->offset, a->nonResident ? DataKind::NonResident : DataKind::Resident};
}

std::u16string AttributeName(Bytes record, const AttributeRef& a) {
    if (a.nameLength == 0) return {};
    const std::size_t at = a.offset + U16(record, a.offset + hdr::kNameOffset);
    if (!InRange(std::min<std::size_t>(RecordBound(record), std::size_t(a.offset) + a.length), at,
                 std::size_t(a.nameLength) * 2))
        return {};
    return platform::Utf16At(record, at, a.nameLength).value_or(u"");
}

bool IsDataNamed(Bytes record, const AttributeRef& a, std::u16string_view name) {
    if (a.type != attr::kData || a.nameLength != name.size()) return false;
    return name.empty() || AttributeName(record, a) == name;
}

std::vector<NamedStream> ReadNamedStreams(Bytes record) {
    std::vector<NamedStream> out;
    const std::size_t bound = RecordBound(record);
    FindAttribute(record, bound, U16(record, rec::kFirstAttribute), [&](const AttributeRef& a) {
        if (a.type != attr::kData || a.nameLength == 0) return false;
        if (a.nonResident && U64(record, a.offset + hdr::kLowestVcn) != 0) return false;
        NamedStream s;
        s.name = AttributeName(record, a);
        if (s.name.empty()) return false;
        if (a.nonResident) {
            s.size = U64(record.first(bound), a.offset + hdr::kRealSize);
        } else if (auto v = ResidentValue(record, bound, a)) {
            s.size = v->size();
        }
        if (std::none_of(out.begin(), out.end(), [&](const NamedStream& o) { return o.name == s.name; }))
            out.push_back(std::move(s));
        return false;  // walk them all
    });
    return out;
}

bool HoldsUserStreams(std::uint64_t number, std::uint32_t parent) {
    constexpr std::uint32_t kExtendRecord = 11;
    return number >= kFirstUserRecord && parent != kExtendRecord;
}

std::u16string StreamItemName(std::u16string_view file, std::u16string_view stream) {
    std::u16string name(file);
    name += u':';
    name += stream;
    return name;
}

std::u16string_view StreamOfItemName(std::u16string_view name) {
    const auto colon = name.rfind(u':');
    return colon == std::u16string_view::npos ? std::u16string_view() : name.substr(colon + 1);
}

std::uint32_t ReadIndexRootOwner(Bytes record) {
    const std::size_t bound = RecordBound(record);
    const Bytes r = record.first(bound);
    auto a = FindAttribute(r, bound, U16(r, rec::kFirstAttribute), [&](const AttributeRef& x) {
        return x.type == attr::kIndexRoot && x.nameLength == 4 && NameIsI30(r, x.offset + hdr::kResidentName);
    });
    if (!a || a->nonResident || a->length < 144) return 0;
    // The first index entry follows the 16-byte root header and the index
    // header, whose entries offset is relative to itself.
    const std::uint64_t value = std::uint64_t(a->offset) + U16(r, a->offset + hdr::kValueOffset);
    const std::uint64_t entry = value + 0x10 + U32(r, value + 0x10);
    const std::uint64_t key = entry + 0x10;
    if (!InRange(bound, key + 0x40, 1) || U8(r, key + 0x40) == 0) return 0;  // no first child
    const std::uint32_t parent = U32(r, key);
    return parent == 0xFFFFFFFF ? 0 : parent;
}

std::uint32_t ReadIndexAllocationLcn(Bytes record, std::size_t recordSize) {
    const std::size_t bound = std::min(recordSize, record.size());
    const Bytes r = record.first(bound);
    auto a = FindAttribute(r, bound, U16(r, rec::kFirstAttribute), [&](const AttributeRef& x) {
        return x.type == attr::kIndexAllocation && x.nameLength == 4 && NameIsI30(r, x.offset + hdr::kNonResidentName);
    });
    if (!a) return 0;
    const std::uint64_t pairs = std::uint64_t(a->offset) + U16(r, a->offset + hdr::kMappingPairs);
    const std::uint8_t h = U8(r, pairs);
    if (h == 0) return 0;
    const unsigned lengthBytes = h & 0x0F;
    const unsigned offsetBytes = std::min(h >> 4, 4);
    return static_cast<std::uint32_t>(platform::LeVar(r, pairs + 1 + lengthBytes, offsetBytes).value_or(0));
}

std::vector<AttributeListEntry> ParseAttributeList(Bytes value) {
    std::vector<AttributeListEntry> out;
    std::size_t off = 0;
    while (InRange(value.size(), off, 0x14)) {
        AttributeListEntry e;
        e.type = U32(value, off);
        if (e.type == 0 || e.type == attr::kEnd) break;
        const std::uint16_t length = U16(value, off + 0x04);
        if (length == 0) break;
        e.nameLength = U8(value, off + 0x06);
        e.lowestVcn = U64(value, off + 0x08);
        e.recordNumber = U32(value, off + 0x10);
        out.push_back(e);
        off += length;
    }
    return out;
}

std::vector<std::uint32_t> ReadAttributeListNumbers(Bytes record, std::size_t bound) {
    bound = std::min(bound, record.size());
    auto a = FindAttribute(record, bound, U16(record, rec::kFirstAttribute),
                           [](const AttributeRef& x) { return x.type == attr::kAttributeList; });
    std::vector<std::uint32_t> numbers;
    if (!a) return numbers;
    auto value = ResidentValue(record, bound, *a);
    if (!value) return numbers;
    for (const auto& e : ParseAttributeList(*value)) numbers.push_back(e.recordNumber);
    return numbers;
}

}  // namespace dravik::analysis::ntfs
