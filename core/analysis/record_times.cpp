#include "analysis/record_times.h"

#include <vector>

#include "analysis/ntfs_record.h"
#include "analysis/ntfs_runs.h"

namespace dravik::analysis {

namespace {

using platform::Bytes;
using platform::InRange;
using platform::U16;
using platform::U32;
using platform::U64;
using platform::U8;

inline constexpr std::size_t kStandardTimesLength = 0x20;

// The value of a resident attribute that lies, whole, inside its attribute
// and the attribute inside the record.
std::optional<Bytes> Value(Bytes record, std::size_t bound, const ntfs::AttributeRef& a) {
    if (!InRange(bound, a.offset, a.length)) return std::nullopt;
    const auto v = ntfs::ResidentValue(record, bound, a);
    if (!v || v->data() + v->size() > record.data() + a.offset + a.length) return std::nullopt;
    return v;
}

// created, modified, changed, accessed, in this order at `at`.
FourTimes TimesAt(Bytes value, std::size_t at) {
    return {U64(value, at), U64(value, at + 8), U64(value, at + 16), U64(value, at + 24)};
}

std::vector<std::uint8_t> ItemRecord(const RecordSource& source, std::uint32_t number, std::uint64_t sector) {
    if (!source.ntfs) return {};
    if (source.byScan) return sector == 0 ? std::vector<std::uint8_t>{} : ntfs::ReadRecordAt(source.volume, sector);
    if (number == kLostFolder) return {};
    auto record = ntfs::ReadMftRecord(source.volume, number);
    // A record that holds its number must hold the item's: anything else is
    // another volume at the same place.
    if (ntfs::OwnRecordNumber(record).value_or(number) != number) return {};
    return record;
}

// The instance number of the attribute that starts (VCN 0) the one of
// `type` named `name` in `record`, fixed up.
std::optional<std::uint16_t> StartInstance(Bytes record, std::uint32_t type, std::u16string_view name) {
    const auto a = ntfs::FindAttribute(record, ntfs::RecordBound(record), ntfs::FirstAttributeOffset(record),
                                       [&](const ntfs::AttributeRef& x) {
                                           return x.type == type && x.nameLength == name.size() &&
                                                  (name.empty() || ntfs::AttributeName(record, x) == name) &&
                                                  (!x.nonResident || U64(record, x.offset + ntfs::hdr::kLowestVcn) == 0);
                                       });
    if (!a) return std::nullopt;
    return U16(record, a->offset + ntfs::hdr::kInstance);
}

// The instance of the file's $DATA (`stream`, or the unnamed one) when an
// extension record holds its start, found through the base record's
// attribute list.
std::optional<std::uint16_t> ExtensionInstance(const ntfs::NtfsVolume& volume, Bytes base,
                                               std::optional<std::uint64_t> baseSector, std::u16string_view stream) {
    const auto holder = ntfs::RecordStartingData(volume, base, stream, baseSector);
    return holder ? StartInstance(*holder, ntfs::attr::kData, stream) : std::nullopt;
}

template <class Item>
RecordTimes ReadTimes(const RecordSource& source, const Item& item, bool folder) {
    auto record = ItemRecord(source, item.number, item.sector);
    const std::u16string name(WideName(item));
    RecordTimes t = DecodeRecordTimes(record, name, folder);
    // A folder's index root in an extension record is not followed: its
    // line names the record alone.
    if (t.standard && t.itemType == 0 && !folder) {
        const auto baseSector = source.byScan ? std::optional<std::uint64_t>(item.sector) : std::nullopt;
        const auto stream = t.stream ? ntfs::StreamOfItemName(name) : std::u16string_view();
        if (const auto id = ExtensionInstance(source.volume, record, baseSector, stream)) {
            t.itemType = ntfs::attr::kData;
            t.itemId = *id;
        }
    }
    return t;
}

}  // namespace

RecordTimes DecodeRecordTimes(platform::MutableBytes buffer, std::u16string_view itemName, bool folder) {
    RecordTimes t;
    const Bytes record(buffer.data(), buffer.size());
    if (!ntfs::IsFileRecord(record) || !ntfs::FixupsIntact(record)) return t;
    ntfs::ApplyFixups(buffer);
    const std::size_t bound = ntfs::RecordBound(record);
    const std::size_t first = ntfs::FirstAttributeOffset(record);
    if (first >= bound) return t;
    const std::u16string_view stream = folder ? std::u16string_view() : ntfs::StreamOfItemName(itemName);
    bool longName = false, colonName = false;
    std::optional<std::uint16_t> unnamed, named, index;
    ntfs::FindAttribute(record, bound, first, [&](const ntfs::AttributeRef& a) {
        if (a.type == ntfs::attr::kStandardInformation && !t.standard) {
            if (auto v = Value(record, bound, a); v && v->size() >= kStandardTimesLength) t.standard = TimesAt(*v, 0);
        } else if (a.type == ntfs::attr::kFileName && a.nameLength == 0) {
            const auto v = Value(record, bound, a);
            if (!v) return false;
            const auto name = platform::Utf16At(*v, ntfs::fn::kName, U8(*v, ntfs::fn::kNameLength));
            if (!name) return false;
            colonName = colonName || (!stream.empty() && *name == itemName);
            const bool dos = U8(*v, ntfs::fn::kNameSpace) == std::uint8_t(ntfs::NameSpace::Dos);
            if (dos && longName) return false;
            longName = longName || !dos;
            t.fileName = TimesAt(*v, ntfs::fn::kTimes);
            t.fileNameSize = static_cast<std::uint32_t>(v->size());
            t.fileNameId = U16(record, a.offset + ntfs::hdr::kInstance);
        } else if (InRange(bound, a.offset, a.length)) {
            const std::uint16_t id = U16(record, a.offset + ntfs::hdr::kInstance);
            if (folder && !index && a.type == ntfs::attr::kIndexRoot && ntfs::AttributeName(record, a) == u"$I30") {
                index = id;
                if (const auto v = Value(record, bound, a)) t.indexRootSize = static_cast<std::uint32_t>(v->size());
            }
            else if (!folder && !unnamed && ntfs::IsDataNamed(record, a, {}))
                unnamed = id;
            else if (!stream.empty() && !named && ntfs::IsDataNamed(record, a, stream))
                named = id;
        }
        return false;  // every attribute of the record
    });
    // A name with a colon is a stream's item unless the file bears that
    // name itself (a POSIX name may hold a colon).
    t.stream = !stream.empty() && !colonName;
    if (const auto item = folder ? index : t.stream ? named : unnamed) {
        t.itemType = folder ? ntfs::attr::kIndexRoot : ntfs::attr::kData;
        t.itemId = *item;
    }
    return t;
}

RecordSource RecordSourceOf(const AnalysisContext& ctx) {
    const auto& a = ctx.analysis;
    RecordSource s;
    s.ntfs = a.geometry.fileSystem == "NTFS";
    // Items of a signature scan (formatted mode, a partition search) carry
    // their record's sector; those of a $MFT walk their number only.
    s.byScan = a.settings.formatted || a.settings.exhaustive || a.settings.mode == RecoveryMode::Formatted;
    s.volume.reader = &ctx.reader;
    s.volume.partitionStart = a.geometry.clusterBase;
    s.volume.sectorsPerCluster = a.geometry.sectorsPerCluster;
    s.volume.sectorsPerRecord = a.geometry.sectorsPerRecord;
    if (!s.byScan) s.volume.mftRuns = a.mftRuns;
    return s;
}

RecordTimes ReadRecordTimes(const RecordSource& source, const FileItem& item) { return ReadTimes(source, item, false); }

RecordTimes ReadRecordTimes(const RecordSource& source, const FolderItem& item) {
    return ReadTimes(source, item, true);
}

}  // namespace dravik::analysis
