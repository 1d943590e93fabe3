#include "analysis/ntfs_runs.h"

#include <algorithm>
#include <limits>

#include "source/sector_reader.h"

namespace dravik::analysis::ntfs {

using platform::InRange;
using platform::U16;
using platform::U32;
using platform::U64;
using platform::U8;

namespace {
constexpr std::size_t kLowestVcn = 0x10;      // non-resident attribute header
constexpr std::size_t kMappingPairs = 0x20;
constexpr std::size_t kRealSize = 0x30;
constexpr std::size_t kDefaultMappingPairs = 64;
// Attribute lists are at most 256 KiB on a sound volume.
constexpr std::uint64_t kMaxAttributeList = 256 * 1024;
}  // namespace

std::uint64_t DecodeRuns(Bytes record, std::size_t offset, std::size_t end, std::uint64_t baseSector,
                         std::uint32_t sectorsPerCluster, RunList& out) {
    end = std::min(end, record.size());
    std::int64_t lcn = 0;
    std::uint64_t clusters = 0;
    std::size_t pos = offset;
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    while (pos < end) {
        const std::uint8_t h = record[pos];
        if (h == 0) break;
        const unsigned lengthBytes = h & 0x0F;
        const unsigned offsetBytes = h >> 4;
        if (lengthBytes > 8 || offsetBytes > 8) break;
        auto length = platform::LeVar(record, pos + 1, lengthBytes);
        if (!length || pos + 1 + lengthBytes + offsetBytes > end) break;
        if (sectorsPerCluster != 0 && *length > kMax / sectorsPerCluster) break;
        DataRun run;
        run.length = *length * sectorsPerCluster;
        if (offsetBytes == 0) {
            run.sparse = true;
        } else {
            std::uint64_t raw = *platform::LeVar(record, pos + 1 + lengthBytes, offsetBytes);
            std::int64_t delta;
            if (offsetBytes < 8 && (raw >> (8 * offsetBytes - 1)) & 1)
                delta = static_cast<std::int64_t>(raw | (kMax << (8 * offsetBytes)));  // sign-extend
            else
                delta = static_cast<std::int64_t>(raw);
            if (__builtin_add_overflow(lcn, delta, &lcn) || lcn < 0) break;
            const auto ulcn = static_cast<std::uint64_t>(lcn);
            if (sectorsPerCluster != 0 && ulcn > (kMax - baseSector) / sectorsPerCluster) break;
            run.start = baseSector + ulcn * sectorsPerCluster;
        }
        out.push_back(run);
        clusters += *length;
        pos += 1 + lengthBytes + offsetBytes;
    }
    return clusters;
}

std::uint64_t SectorOfRecord(const RunList& mftRuns, std::uint64_t recordNumber, std::uint32_t sectorsPerRecord) {
    if (recordNumber > std::numeric_limits<std::uint64_t>::max() / std::max<std::uint32_t>(sectorsPerRecord, 1))
        return 0;
    std::uint64_t want = recordNumber * sectorsPerRecord;
    for (const auto& run : mftRuns) {
        if (want < run.length) return run.sparse ? 0 : run.start + want;
        want -= run.length;
    }
    return 0;
}

std::vector<std::uint8_t> ReadRecordAt(const NtfsVolume& volume, std::uint64_t sector) {
    if (!volume.reader || volume.sectorsPerRecord == 0 || volume.reader->SectorSize() == 0) return {};
    std::vector<std::uint8_t> buf(std::size_t(volume.sectorsPerRecord) * volume.reader->SectorSize());
    volume.reader->Read(sector, volume.sectorsPerRecord, buf);
    return buf;
}

void ReadMftSectors(const NtfsVolume& volume, std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out) {
    const std::size_t bps = volume.reader ? volume.reader->SectorSize() : 0;
    if (bps == 0 || out.size() / bps < count) return;
    std::fill(out.begin(), out.begin() + std::size_t(count) * bps, 0);
    std::uint64_t runStart = 0;  // $MFT sector at which the run begins
    for (const auto& run : volume.mftRuns) {
        if (count == 0) break;
        const std::uint64_t runEnd = runStart + run.length;
        if (first < runEnd) {
            const std::uint64_t inRun = first - runStart;
            const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, run.length - inRun));
            if (!run.sparse) volume.reader->Read(run.start + inRun, n, out.first(std::size_t(n) * bps));
            out = out.subspan(std::size_t(n) * bps);
            first += n;
            count -= n;
        }
        runStart = runEnd;
    }
}

std::vector<std::uint8_t> ReadMftRecord(const NtfsVolume& volume, std::uint64_t number) {
    const std::size_t bps = volume.reader ? volume.reader->SectorSize() : 0;
    if (bps == 0 || volume.sectorsPerRecord == 0 ||
        number > std::numeric_limits<std::uint64_t>::max() / volume.sectorsPerRecord)
        return {};
    if (SectorOfRecord(volume.mftRuns, number, volume.sectorsPerRecord) == 0) return {};
    std::vector<std::uint8_t> buf(std::size_t(volume.sectorsPerRecord) * bps);
    ReadMftSectors(volume, number * volume.sectorsPerRecord, volume.sectorsPerRecord, buf);
    return buf;
}

std::vector<std::uint8_t> ReadRecordOf(const NtfsVolume& volume, Bytes base, std::optional<std::uint64_t> baseSector,
                                       std::uint32_t number) {
    constexpr std::size_t kBaseReference = 0x20;
    // Records that hold their own number can be checked; older ones are
    // taken on trust.
    auto isRecord = [&](const std::vector<std::uint8_t>& r) {
        return IsFileRecord(r) && OwnRecordNumber(r).value_or(number) == number;
    };
    auto rec = ReadMftRecord(volume, number);
    if (isRecord(rec) || !baseSector || volume.sectorsPerRecord == 0) return rec;
    // Without the $MFT's runs (a signature scan), an extension record is
    // looked for where the $MFT would hold it if it ran on contiguously
    // from the base; it must name that base.
    const auto ownNumber = OwnRecordNumber(base);
    if (!ownNumber) return {};
    const std::uint32_t baseNumber = *ownNumber;
    auto extendsBase = [&](const std::vector<std::uint8_t>& r) {
        return isRecord(r) && OwnRecordNumber(r) && static_cast<std::uint32_t>(U64(r, kBaseReference)) == baseNumber;
    };
    const std::int64_t delta = (std::int64_t(number) - std::int64_t(baseNumber)) * volume.sectorsPerRecord;
    if (delta >= 0 || std::uint64_t(-delta) <= *baseSector) {
        rec = ReadRecordAt(volume, static_cast<std::uint64_t>(std::int64_t(*baseSector) + delta));
        if (extendsBase(rec)) return rec;
    }
    // A $MFT in pieces: the record is where the $MFT record the scan found
    // maps it, or where the scan met it (the nearest to the base first when
    // several volumes have one of that number).
    std::vector<std::uint64_t> sectors;
    if (volume.foundMftRuns)
        for (const RunList& runs : *volume.foundMftRuns)
            if (const std::uint64_t s = SectorOfRecord(runs, number, volume.sectorsPerRecord)) sectors.push_back(s);
    if (volume.extensionSectors)
        if (const auto met = volume.extensionSectors->find(number); met != volume.extensionSectors->end())
            sectors.insert(sectors.end(), met->second.begin(), met->second.end());
    auto distance = [&](std::uint64_t s) { return s > *baseSector ? s - *baseSector : *baseSector - s; };
    std::sort(sectors.begin(), sectors.end(), [&](auto a, auto b) { return distance(a) < distance(b); });
    for (const std::uint64_t sector : sectors) {
        rec = ReadRecordAt(volume, sector);
        if (extendsBase(rec)) return rec;
    }
    return {};
}

namespace {

struct Extent {
    std::uint64_t lowestVcn = 0;
    std::uint64_t clusters = 0;
    RunList runs;
    bool listed = true;  // named by the attribute list (or the base itself)
};

// Which attribute's extents are gathered: a $DATA of a file (unnamed, or an
// alternate data stream), or the $I30 index allocation of a folder.
struct Stream {
    std::uint32_t type;
    std::u16string_view name;
};
constexpr Stream kUnnamedData{attr::kData, {}};
constexpr Stream kFolderIndex{attr::kIndexAllocation, u"$I30"};

std::optional<AttributeRef> FindStream(Bytes record, Stream s) {
    return FindAttribute(record, RecordBound(record), FirstAttributeOffset(record), [&](const AttributeRef& a) {
        return a.type == s.type && a.nameLength == s.name.size() && (s.name.empty() || AttributeName(record, a) == s.name);
    });
}

// The runs of the chosen attribute held in this record, with the extent's
// first cluster number.
std::optional<Extent> ExtentOf(const NtfsVolume& volume, Bytes record, Stream s = kUnnamedData) {
    auto a = FindStream(record, s);
    if (!a || !a->nonResident) return std::nullopt;
    const std::size_t bound = RecordBound(record);
    std::size_t pairs = U16(record, a->offset + kMappingPairs);
    if (pairs >= a->length || std::uint64_t(a->offset) + pairs >= bound) pairs = kDefaultMappingPairs;
    const std::size_t end = std::min<std::uint64_t>(std::uint64_t(a->offset) + a->length, bound);
    Extent e;
    e.lowestVcn = U64(record, a->offset + kLowestVcn);
    e.clusters = DecodeRuns(record, a->offset + pairs, end, volume.partitionStart, volume.sectorsPerCluster, e.runs);
    return e;
}

// The value of the record's attribute list, read from the volume when it is
// non-resident.
std::vector<std::uint8_t> AttributeListValue(const NtfsVolume& volume, Bytes record) {
    const std::size_t bound = RecordBound(record);
    auto a = FindAttribute(record, bound, FirstAttributeOffset(record),
                           [](const AttributeRef& x) { return x.type == attr::kAttributeList; });
    if (!a) return {};
    if (!a->nonResident) {
        const std::uint64_t off = std::uint64_t(a->offset) + U16(record, a->offset + 0x14);
        const std::uint64_t len = U32(record, a->offset + 0x10);
        if (!InRange(bound, off, len)) return {};
        return {record.begin() + off, record.begin() + off + len};
    }
    if (!volume.reader) return {};
    const std::uint64_t size = std::min(U64(record, a->offset + kRealSize), kMaxAttributeList);
    RunList runs;
    std::size_t pairs = U16(record, a->offset + kMappingPairs);
    DecodeRuns(record, a->offset + pairs, std::min<std::uint64_t>(std::uint64_t(a->offset) + a->length, bound),
               volume.partitionStart, volume.sectorsPerCluster, runs);
    const std::uint32_t bps = volume.reader->SectorSize();
    std::vector<std::uint8_t> value;
    std::vector<std::uint8_t> sector(bps);
    for (const auto& run : runs) {
        for (std::uint64_t s = 0; s < run.length && value.size() < size; ++s) {
            if (run.sparse)
                std::fill(sector.begin(), sector.end(), 0);
            else
                volume.reader->Read(run.start + s, 1, sector);
            value.insert(value.end(), sector.begin(), sector.end());
        }
    }
    value.resize(std::min<std::uint64_t>(value.size(), size));
    return value;
}

std::vector<std::uint32_t> RecordsFor(const std::vector<std::uint8_t>& list, std::uint32_t type,
                                      std::uint8_t nameLength = 0) {
    std::vector<std::uint32_t> numbers;
    for (const auto& e : ParseAttributeList(list)) {
        if (e.type != type || e.nameLength != nameLength) continue;
        if (std::find(numbers.begin(), numbers.end(), e.recordNumber) == numbers.end())
            numbers.push_back(e.recordNumber);
    }
    return numbers;
}

RunList Concatenate(std::vector<Extent>& extents) {
    std::stable_sort(extents.begin(), extents.end(),
                     [](const Extent& a, const Extent& b) { return a.lowestVcn < b.lowestVcn; });
    RunList runs;
    std::uint64_t vcn = 0;
    for (auto& e : extents) {
        // An extent found only by its back-reference is taken where it
        // continues the file exactly, never over what the list gave.
        if (!e.listed && e.lowestVcn != vcn) continue;
        runs.insert(runs.end(), e.runs.begin(), e.runs.end());
        vcn = std::max(vcn, e.lowestVcn + e.clusters);
    }
    return runs;
}

// Gathers the base record's extent and those of its extension records.
// `locate` reads a record, given the runs gathered so far in the order they
// were met; `isBase` tells whether a listed record is the base itself.
template <class Locate, class IsBase>
RunList GatherExtents(const NtfsVolume& volume, Bytes base, Locate locate, IsBase isBase,
                      const std::vector<std::uint32_t>* strays = nullptr, Stream stream = kUnnamedData) {
    std::vector<Extent> extents;
    RunList met;
    auto add = [&](Extent e) {
        met.insert(met.end(), e.runs.begin(), e.runs.end());
        extents.push_back(std::move(e));
    };
    if (auto e = ExtentOf(volume, base, stream)) add(std::move(*e));
    const auto numbers =
        RecordsFor(AttributeListValue(volume, base), stream.type, static_cast<std::uint8_t>(stream.name.size()));
    auto addRecord = [&](std::uint32_t number, bool listed) {
        auto bytes = locate(number, met);
        if (!IsFileRecord(bytes)) return;
        ApplyFixups(bytes);
        if (auto e = ExtentOf(volume, bytes, stream)) {
            e->listed = listed;
            add(std::move(*e));
        }
    };
    for (std::uint32_t number : numbers)
        if (!isBase(number)) addRecord(number, true);
    if (strays)
        for (std::uint32_t number : *strays)
            if (!isBase(number) && std::find(numbers.begin(), numbers.end(), number) == numbers.end())
                addRecord(number, false);
    return Concatenate(extents);
}

}  // namespace

std::vector<std::uint32_t> ListDataExtensions(const NtfsVolume& volume, Bytes record) {
    return RecordsFor(AttributeListValue(volume, record), attr::kData);
}

std::vector<std::uint32_t> ListExtensions(const NtfsVolume& volume, Bytes record, std::uint32_t type) {
    return RecordsFor(AttributeListValue(volume, record), type);
}

std::vector<NamedStream> CollectNamedStreams(const NtfsVolume& volume, Bytes base,
                                            std::optional<std::uint64_t> baseSector) {
    auto streams = ReadNamedStreams(base);
    const auto list = AttributeListValue(volume, base);
    std::vector<std::uint32_t> numbers;
    for (const auto& e : ParseAttributeList(list))
        if (e.type == attr::kData && e.nameLength != 0 && e.lowestVcn == 0 &&
            std::find(numbers.begin(), numbers.end(), e.recordNumber) == numbers.end())
            numbers.push_back(e.recordNumber);
    for (std::uint32_t number : numbers) {
        auto ext = ReadRecordOf(volume, base, baseSector, number);
        if (!IsFileRecord(ext)) continue;
        ApplyFixups(ext);
        for (auto& s : ReadNamedStreams(ext))
            if (std::none_of(streams.begin(), streams.end(), [&](const NamedStream& o) { return o.name == s.name; }))
                streams.push_back(std::move(s));
    }
    return streams;
}

std::optional<std::vector<std::uint8_t>> RecordStartingData(const NtfsVolume& volume, Bytes base,
                                                            std::u16string_view stream,
                                                            std::optional<std::uint64_t> baseSector) {
    auto starts = [&](Bytes record) {
        return FindAttribute(record, RecordBound(record), FirstAttributeOffset(record), [&](const AttributeRef& a) {
            return IsDataNamed(record, a, stream) && (!a.nonResident || U64(record, a.offset + kLowestVcn) == 0);
        }).has_value();
    };
    if (starts(base)) return std::vector<std::uint8_t>(base.begin(), base.end());
    for (const auto& e : ParseAttributeList(AttributeListValue(volume, base))) {
        if (e.type != attr::kData || e.nameLength != stream.size() || e.lowestVcn != 0) continue;
        auto ext = ReadRecordOf(volume, base, baseSector, e.recordNumber);
        if (!IsFileRecord(ext)) continue;
        ApplyFixups(ext);
        if (starts(ext)) return ext;
    }
    return std::nullopt;
}

FileNameInfo ReadRecordName(const NtfsVolume& volume, MutableBytes base) {
    FileNameInfo info = ReadBestFileName(base);
    if (!info.name.empty()) return info;
    const Bytes view(base.data(), base.size());
    const auto times = ReadStandardTimes(view, FirstAttributeOffset(view)).value_or(StandardTimes{});
    std::vector<std::vector<std::uint8_t>> extensions;
    for (std::uint32_t number : ListExtensions(volume, view, attr::kFileName)) {
        auto ext = ReadMftRecord(volume, number);
        if (!IsFileRecord(ext)) continue;
        info = ReadBestFileName(ext);
        if (!info.name.empty()) {
            info.times = times;
            return info;
        }
        extensions.push_back(std::move(ext));
    }
    // A deleted record's name may survive only in the free space of the
    // extension record that held it.
    for (const auto& ext : extensions) {
        if (auto stale = ReadStaleFileName(ext)) {
            stale->times = times;
            return std::move(*stale);
        }
    }
    return {};
}

namespace {
RunList CollectFrom(const NtfsVolume& volume, std::vector<std::uint8_t> base, std::uint64_t baseSector,
                    const std::vector<std::uint32_t>* strays, std::u16string_view stream) {
    if (!IsFileRecord(base)) return {};
    ApplyFixups(base);
    const Bytes view(base.data(), base.size());
    return GatherExtents(
        volume, base, [&](std::uint32_t n, const RunList&) { return ReadRecordOf(volume, view, baseSector, n); },
        [&](std::uint32_t n) {
            return SectorOfRecord(volume.mftRuns, n, volume.sectorsPerRecord) == baseSector ||
                   OwnRecordNumber(view) == n;
        },
        strays, Stream{attr::kData, stream});
}
}  // namespace

RunList CollectFileRuns(const NtfsVolume& volume, std::uint64_t baseRecordSector, std::u16string_view stream) {
    return CollectFrom(volume, ReadRecordAt(volume, baseRecordSector), baseRecordSector, nullptr, stream);
}

RunList CollectIndexRuns(const NtfsVolume& volume, std::uint64_t number) {
    auto base = ReadMftRecord(volume, number);
    if (!IsFileRecord(base)) return {};
    ApplyFixups(base);
    const std::uint64_t baseSector = SectorOfRecord(volume.mftRuns, number, volume.sectorsPerRecord);
    return GatherExtents(
        volume, base, [&](std::uint32_t n, const RunList&) { return ReadMftRecord(volume, n); },
        [&](std::uint32_t n) { return SectorOfRecord(volume.mftRuns, n, volume.sectorsPerRecord) == baseSector; },
        nullptr, kFolderIndex);
}

RunList CollectRecordRuns(const NtfsVolume& volume, std::uint64_t number, std::u16string_view stream) {
    const std::vector<std::uint32_t>* strays = nullptr;
    // The walk remembers extension records by their unnamed data only.
    if (volume.extensions && stream.empty()) {
        auto it = volume.extensions->find(static_cast<std::uint32_t>(number));
        if (it != volume.extensions->end()) strays = &it->second;
    }
    return CollectFrom(volume, ReadMftRecord(volume, number),
                       SectorOfRecord(volume.mftRuns, number, volume.sectorsPerRecord), strays, stream);
}

RunList BuildMftRuns(const NtfsVolume& volume, std::uint64_t mftSector) {
    auto base = ReadRecordAt(volume, mftSector);
    if (!IsFileRecord(base)) return {};
    ApplyFixups(base);
    return GatherExtents(
        volume, base,
        [&](std::uint32_t n, const RunList& met) {
            // Extension records of the $MFT lie in the part already mapped.
            NtfsVolume mapped = volume;
            mapped.mftRuns = met;
            return ReadMftRecord(mapped, n);
        },
        [](std::uint32_t n) { return n == 0; });
}

}  // namespace dravik::analysis::ntfs
