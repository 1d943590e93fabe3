#include "partition/partition_walk.h"

#include <algorithm>
#include <limits>
#include <set>
#include <vector>

#include "partition/partition_context.h"
#include "partition/boot_sector_id.h"
#include "platform/posix_file.h"
#include "source/geometry_cache.h"

namespace dravik::partition {

namespace {

using platform::Bytes;

// MBR and extended boot record: four 16-byte entries at 446.
namespace mbr {
inline constexpr std::size_t kFirstEntry = 446;
inline constexpr std::size_t kEntrySize = 16;
inline constexpr int kEntries = 4;
inline constexpr std::size_t kType = 4;
inline constexpr std::size_t kFirstSector = 8;
inline constexpr std::size_t kSectorCount = 12;
}  // namespace mbr

// GPT header and entries. The header's own fields for the entry array's
// place and entry count are not trusted: the array is taken to follow the
// primary header and to precede the backup header.
namespace gpt {
inline constexpr std::string_view kSignature = "EFI PART";
inline constexpr std::size_t kEntrySizeField = 84;
inline constexpr std::uint32_t kMinEntrySize = 128;
inline constexpr std::uint32_t kMaxEntrySize = 512;
inline constexpr std::size_t kTypeGuid = 0;
inline constexpr std::size_t kFirstLba = 32;
inline constexpr std::size_t kEntryFieldsEnd = 40;
// The primary array is read for 31 sectors of 512 bytes after the header,
// the backup's for the 32 sectors before its header: far more entries than
// the table can list.
inline constexpr std::uint32_t kPrimaryArrayBytes = 31 * 512;
inline constexpr std::uint32_t kBackupArrayBytes = 32 * 512;
}  // namespace gpt

inline constexpr std::uint32_t kMinSectorSize = 512;
inline constexpr std::uint32_t kMaxSectorSize = 64 * 1024;

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// An entry size outside 128..512 (0 included) is taken as 128, the size
// every writer uses.
std::uint32_t GptEntrySize(Bytes header) {
    const std::uint32_t size = platform::U32(header, gpt::kEntrySizeField);
    return (size < gpt::kMinEntrySize || size > gpt::kMaxEntrySize) ? gpt::kMinEntrySize : size;
}

class Walker {
public:
    Walker(const PartitionContext& ctx, PartitionItemSink* tree, int disk, bool addItems, WalkNotes& notes)
        : ctx_(ctx),
          table_(ctx.partitions[disk]),
          path_(ctx.source.DeviceTable[disk]),
          tree_(addItems && ctx.source.DriveLetter == 0 ? tree : nullptr),
          disk_(disk),
          sectorSize_(static_cast<std::uint32_t>(ctx.source.BytesPerSector)),
          notes_(notes) {}

    int Run(std::uint64_t tableSector);

private:
    // Reads one sector into a fresh zeroed buffer, so that a read that leaves
    // it untouched never shows an earlier sector.
    bool Read(std::uint64_t sector, std::vector<std::uint8_t>& buf);
    // False once the table is full: the caller stops.
    bool Record(std::string_view label, std::uint64_t start, std::uint64_t end);
    void PrimaryEntry(Bytes mbr, int e);
    void ExtendedChain(std::uint64_t extendedStart);
    void PrimaryGpt(std::uint64_t headerSector);
    void BackupGpt();
    // Handles the entries of one sector of an entry array; false when an
    // empty entry ended the GPT (or the table is full).
    bool GptEntries(Bytes sector, std::uint32_t entrySize);

    bool Full() const { return notes_.tableFull; }
    // Sectors of the disk as its backing holds them; 0 when that cannot be
    // told (the entries are then taken as they are).
    std::uint64_t DiskSectors() const;

    PartitionContext ctx_;
    DiskPartitionTable& table_;
    const std::string path_;
    PartitionItemSink* tree_;
    int disk_;
    std::uint32_t sectorSize_;
    WalkNotes& notes_;
    int next_ = 0;  // running partition number, shared by every kind of entry
    std::uint64_t diskSectors_ = 0;
};

std::uint64_t Walker::DiskSectors() const {
    const auto backing = ctx_.devices.Resolve(path_);
    if (!backing) return 0;
    const auto file = platform::PosixFile::OpenReadOnly(backing->path);
    if (!file) return 0;
    std::uint64_t bytes = file->Size();
    bytes = bytes > backing->offset ? bytes - backing->offset : 0;
    if (backing->length != 0) bytes = std::min(bytes, backing->length);
    return bytes / sectorSize_;
}

bool Walker::Read(std::uint64_t sector, std::vector<std::uint8_t>& buf) {
    buf.assign(sectorSize_, 0);
    return ctx_.reader.ReadSectors(path_, sector, 1, buf) != 0;
}

bool Walker::Record(std::string_view label, std::uint64_t start, std::uint64_t end) {
    // A damaged or crafted entry may claim sectors the disk does not have:
    // one that starts past the end is left out, one that runs past it ends
    // with the disk, so that no scan reads what is not there.
    if (diskSectors_ != 0) {
        if (start >= diskSectors_) {
            ++notes_.beyondDisk;
            return true;
        }
        if (end > diskSectors_) {
            ++notes_.clippedToDisk;
            end = diskSectors_;
        }
    }
    if (next_ >= DiskPartitionTable::kMaxPartitions) {
        notes_.tableFull = true;
        return false;
    }
    const int i = next_++;
    table_.FileSystem[i] = std::string(label);
    auto& entry = table_.Entries[i];
    entry.Index = i;
    entry.Start = start;
    entry.End = end;
    table_.Count = i + 1;
    if (tree_) entry.TreeItem = tree_->AddPartitionItem(disk_, PartitionName(i + 1, label));
    return true;
}

int Walker::Run(std::uint64_t tableSector) {
    table_.Count = 0;
    if (sectorSize_ < kMinSectorSize || sectorSize_ > kMaxSectorSize) return 0;
    diskSectors_ = DiskSectors();

    std::vector<std::uint8_t> mbr;
    Read(tableSector, mbr);
    if (!HasBootSignature(mbr)) return 0;

    // A volume without a table: its boot sector wins over whatever bytes
    // 446..509 hold.
    if (auto volume = ShortIdentify(mbr, sectorSize_)) {
        Record(volume->label, tableSector, SaturatingAdd(tableSector, volume->totalSectors));
        return 1;
    }

    std::uint64_t extendedStart = 0;
    bool followChain = false;
    for (int e = 0; e < mbr::kEntries && !Full(); ++e) {
        const std::size_t at = mbr::kFirstEntry + e * mbr::kEntrySize;
        const std::uint8_t type = platform::U8(mbr, at + mbr::kType);
        if (IsExtendedType(type)) {
            extendedStart = platform::U32(mbr, at + mbr::kFirstSector);  // the last extended entry wins
            followChain = true;
        } else {
            PrimaryEntry(mbr, e);
        }
    }
    if (followChain && !Full()) ExtendedChain(extendedStart);
    if (next_ == 0) BackupGpt();
    return 1;
}

void Walker::PrimaryEntry(Bytes mbr, int e) {
    const std::size_t at = mbr::kFirstEntry + e * mbr::kEntrySize;
    std::uint8_t type = platform::U8(mbr, at + mbr::kType);
    if (type == mbr_type::kEmpty) return;
    const std::uint64_t first = platform::U32(mbr, at + mbr::kFirstSector);
    const std::uint64_t count = platform::U32(mbr, at + mbr::kSectorCount);
    if (type == mbr_type::kGptProtective) {
        PrimaryGpt(first);
        if (Full()) return;
    }
    std::vector<std::uint8_t> boot;
    Read(first, boot);
    type = IdentifyBootSector(boot, type);
    const auto label = LabelOfType(type, false);
    if (!label.empty()) Record(label, first, first + count);
}

void Walker::ExtendedChain(std::uint64_t extendedStart) {
    std::set<std::uint64_t> visited;
    std::uint64_t record = extendedStart;
    std::vector<std::uint8_t> ebr;
    std::vector<std::uint8_t> boot;
    for (;;) {
        if (!visited.insert(record).second) {
            notes_.extendedLoop = true;
            return;
        }
        if (visited.size() > static_cast<std::size_t>(kMaxExtendedRecords)) {
            notes_.extendedTooLong = true;
            return;
        }
        Read(record, ebr);
        bool hasNext = false;
        std::uint64_t next = 0;
        for (int e = 0; e < mbr::kEntries; ++e) {
            const std::size_t at = mbr::kFirstEntry + e * mbr::kEntrySize;
            std::uint8_t type = platform::U8(ebr, at + mbr::kType);
            if (type == mbr_type::kEmpty) continue;
            const std::uint64_t first = platform::U32(ebr, at + mbr::kFirstSector);
            if (IsExtendedType(type)) {
                // Links are relative to the extended partition's start; the
                // last one in a record wins.
                next = extendedStart + first;
                hasNext = true;
                continue;
            }
            // A logical partition is relative to its own record.
            const std::uint64_t start = record + first;
            Read(start, boot);
            type = IdentifyBootSector(boot, type);
            const auto label = LabelOfType(type, true);
            if (!label.empty() && !Record(label, start, start + platform::U32(ebr, at + mbr::kSectorCount))) return;
        }
        if (!hasNext) return;
        record = next;
    }
}

bool Walker::GptEntries(Bytes sector, std::uint32_t entrySize) {
    std::vector<std::uint8_t> boot;
    for (std::size_t at = 0; platform::InRange(sector.size(), at, gpt::kEntryFieldsEnd); at += entrySize) {
        if (Full()) return false;
        const std::uint64_t guidLow = platform::U64(sector, at + gpt::kTypeGuid);
        const std::uint64_t guidHigh = platform::U64(sector, at + gpt::kTypeGuid + 8);
        const std::uint64_t first = platform::U64(sector, at + gpt::kFirstLba);
        if (guidLow == 0 || guidHigh == 0 || first == 0) return false;
        Read(first, boot);
        // The entry's own last sector is not used: the boot sector gives the
        // length.
        if (auto volume = ShortIdentify(boot, sectorSize_)) {
            if (!Record(volume->label, first, SaturatingAdd(first, volume->totalSectors))) return false;
        }
    }
    return true;
}

void Walker::PrimaryGpt(std::uint64_t headerSector) {
    std::vector<std::uint8_t> header;
    Read(headerSector, header);
    if (!platform::BytesEqual(header, 0, gpt::kSignature)) return;
    ++notes_.gptHeaders;
    const std::uint32_t entrySize = GptEntrySize(header);
    const std::uint64_t sectors = std::max<std::uint32_t>(1, gpt::kPrimaryArrayBytes / sectorSize_);
    std::vector<std::uint8_t> array;
    for (std::uint64_t s = 1; s <= sectors; ++s) {
        Read(SaturatingAdd(headerSector, s), array);
        if (!GptEntries(array, entrySize)) return;
    }
}

void Walker::BackupGpt() {
    // The cached size is whole cylinders, so the disk's true last sector (the
    // backup header) lies within one cylinder after it. Unreadable sectors
    // there are expected: no prompts, and the first failure ends the search.
    const std::uint64_t start = source::geometry_cache::CachedDiskSize(ctx_.registry, disk_) / sectorSize_;
    notes_.backupSearched = true;
    ctx_.source.BadSectorPolicy = base::BadSectorAnswer::SkipAll;

    std::vector<std::uint8_t> header;
    std::uint64_t found = 0;
    bool haveHeader = false;
    for (std::uint64_t k = 0; k < kBackupSearchSectors; ++k) {
        const std::uint64_t sector = start + k;
        if (sector < start || !Read(sector, header)) break;
        if (platform::BytesEqual(header, 0, gpt::kSignature)) {
            found = sector;
            haveHeader = true;
            break;
        }
    }
    const std::uint64_t arraySectors = std::max<std::uint32_t>(1, gpt::kBackupArrayBytes / sectorSize_);
    // A header too close to the start of the disk to have an array before it
    // is the primary one found from a missing size: not a backup.
    if (haveHeader && found >= arraySectors) {
        notes_.backupHeader = found;
        ++notes_.gptHeaders;
        const std::uint32_t entrySize = GptEntrySize(header);
        std::vector<std::uint8_t> array;
        for (std::uint64_t s = found - arraySectors; s < found; ++s) {
            Read(s, array);
            if (!GptEntries(array, entrySize)) break;
        }
    }
    ctx_.source.BadSectorPolicy = base::BadSectorAnswer::RetryOnce;
}

}  // namespace

int WalkPartitions(const PartitionContext& ctx, PartitionItemSink* tree, int disk, std::uint64_t tableSector, bool addItems,
                   WalkNotes* notes) {
    if (disk < 0 || disk >= source::kDeviceSlots) return 0;
    WalkNotes scratch;
    Walker walker(ctx, tree, disk, addItems, notes ? *notes : scratch);
    return walker.Run(tableSector);
}

}  // namespace dravik::partition
