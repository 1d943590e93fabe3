#include "analysis/mft_walk.h"

#include <unordered_map>
#include <vector>

#include "analysis/analysis_texts.h"
#include "analysis/lost_items.h"
#include "analysis/ntfs_index.h"
#include "analysis/ntfs_record.h"
#include "analysis/ntfs_runs.h"
#include "analysis/analysis_context.h"
#include "platform/text.h"

namespace dravik::analysis {

namespace {

constexpr std::uint32_t kRecordsPerRead = 1024;
constexpr std::size_t kBaseReference = 0x20;  // u64 in the FILE header; 0 for a base record

// The data size lives in the record that holds the first extent of the
// unnamed $DATA: the base, or an extension record its attribute list names.
std::uint64_t DataSize(const ntfs::NtfsVolume& volume, platform::Bytes base, std::size_t bound) {
    if (ntfs::FindDataAttribute(base).kind != ntfs::DataKind::None) return ntfs::ReadDataSize(base, bound);
    for (std::uint32_t number : ntfs::ListExtensions(volume, base, ntfs::attr::kData)) {
        auto ext = ntfs::ReadMftRecord(volume, number);
        if (!ntfs::IsFileRecord(ext)) continue;
        ntfs::ApplyFixups(ext);
        if (ntfs::FindDataAttribute(ext).kind != ntfs::DataKind::None) return ntfs::ReadDataSize(ext, bound);
    }
    return 0;
}

// A folder record whose name is gone from the $MFT (deleting a record's
// attributes one by one can remove its $FILE_NAME for good).
struct NamelessFolder {
    std::uint32_t number;
    bool deleted;
    ntfs::StandardTimes times;
};

// Looks for the names of nameless folders that hold items in the indexes of
// the folders found (their $INDEX_ROOT and index blocks, stale entries
// included): the entry of the parent names the child. Folders still without
// a name are kept under "Lost" with their record number for a name, so that
// what they hold stays together.
void NameNamelessFolders(AnalysisEnv& env, const ntfs::NtfsVolume& volume, const std::vector<NamelessFolder>& nameless) {
    auto& items = env.ctx.items;
    std::unordered_map<std::uint32_t, const NamelessFolder*> wanted;
    for (const auto& n : nameless)
        if (!items.files.Children(n.number).empty() || !items.folders.Children(n.number).empty())
            wanted[n.number] = &n;
    if (wanted.empty()) return;

    struct Found {
        ntfs::IndexEntry entry;
        bool sameCreation = false;
    };
    std::unordered_map<std::uint32_t, Found> found;
    auto consider = [&](const ntfs::IndexEntry& e) {
        auto it = wanted.find(e.child);
        if (it == wanted.end() || !e.IsDirectory()) return;
        const bool same = e.created == it->second->times.created;
        auto f = found.find(e.child);
        if (f == found.end() || (same && !f->second.sameCreation)) found[e.child] = {e, same};
    };
    std::vector<std::uint32_t> folders{kNtfsRoot};
    for (const auto& f : items.folders)
        if (f.number != kLostFolder) folders.push_back(f.number);
    for (const auto& [number, n] : wanted) folders.push_back(number);

    const std::uint32_t bps = env.ctx.reader.SectorSize();
    const std::uint32_t perBlock = env.ctx.analysis.geometry.sectorsPerIndexBlock;
    std::vector<std::uint8_t> block(std::size_t(perBlock) * bps);
    for (std::uint32_t number : folders) {
        if (!env.control.Checkpoint()) return;
        auto record = ntfs::ReadMftRecord(volume, number);
        if (!ntfs::IsFileRecord(record)) continue;
        ntfs::ApplyFixups(record);
        for (const auto& e : ntfs::IndexRootEntries(record)) consider(e);
        if (perBlock == 0) continue;
        for (const auto& run : ntfs::CollectIndexRuns(volume, number)) {
            if (run.sparse) continue;
            for (std::uint64_t at = 0; at + perBlock <= run.length; at += perBlock) {
                env.ctx.reader.Read(run.start + at, perBlock, block);
                if (platform::U32(block, 0) != ntfs::kIndxSignature || !ntfs::FixupsIntact(block)) continue;
                ntfs::ApplyFixups(block);
                for (const auto& e : ntfs::WalkIndexEntries(block)) consider(e);
            }
        }
    }
    for (const auto& [number, n] : wanted) {
        const auto& t = n->times;
        auto f = found.find(number);
        if (f != found.end()) {
            items.folders.AddFolderItem(ItemName::Wide(f->second.entry.name), n->deleted, f->second.entry.parent,
                                        number, 0, t.modified, t.created, t.accessed, 0);
        } else {
            const std::u16string name = u"Folder" + platform::Utf8ToUtf16(std::to_string(number));
            items.folders.AddFolderItem(ItemName::Wide(name), n->deleted, kLostFolder, number, 0, t.modified,
                                        t.created, t.accessed, 0);
        }
    }
}

// The $MFT as one stream of records, read in large pieces through its runs:
// a record may be split between two runs.
class MftRecords {
public:
    explicit MftRecords(const ntfs::NtfsVolume& volume) : volume_(volume) {
        const std::uint32_t bps = volume.reader ? volume.reader->SectorSize() : 0;
        recordBytes_ = std::size_t(volume.sectorsPerRecord) * bps;
        for (const auto& run : volume.mftRuns) sectors_ += run.length;
        if (recordBytes_ == 0) return;
        count_ = sectors_ / volume.sectorsPerRecord;
        chunk_.resize(std::size_t(kRecordsPerRead) * recordBytes_);
    }
    std::uint64_t Count() const { return count_; }
    std::uint64_t Sectors() const { return sectors_; }
    std::size_t RecordBytes() const { return recordBytes_; }

    // Record `number` (below Count()), valid until the next call. Asked for
    // in ascending order, each piece is read once.
    std::span<std::uint8_t> At(std::uint64_t number) {
        if (number < first_ || number >= first_ + held_) {
            const std::uint32_t spr = volume_.sectorsPerRecord;
            first_ = number - number % kRecordsPerRead;
            held_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(count_ - first_, kRecordsPerRead));
            ntfs::ReadMftSectors(volume_, first_ * spr, held_ * spr, chunk_);
        }
        return {chunk_.data() + (number - first_) * recordBytes_, recordBytes_};
    }

private:
    const ntfs::NtfsVolume& volume_;
    std::size_t recordBytes_ = 0;
    std::uint64_t sectors_ = 0, count_ = 0, first_ = 0;
    std::uint32_t held_ = 0;
    std::vector<std::uint8_t> chunk_;
};

// Extension records belong to their base record's item; those holding data
// are remembered for the copy engine, which can then find them even when
// the base no longer lists them. False for a base record.
bool NoteExtensionRecord(std::span<std::uint8_t> rec, std::uint64_t number, ntfs::ExtensionMap& map) {
    const std::uint64_t base = platform::U64(rec, kBaseReference);
    if (base == 0) return false;
    ntfs::ApplyFixups(rec);
    if (ntfs::FindDataAttribute(rec).kind == ntfs::DataKind::NonResident)
        map[static_cast<std::uint32_t>(base)].push_back(static_cast<std::uint32_t>(number));
    return true;
}

}  // namespace

ntfs::ExtensionMap CollectExtensionRecords(const ntfs::NtfsVolume& volume) {
    ntfs::ExtensionMap found;
    MftRecords mft(volume);
    for (std::uint64_t number = 0; number < mft.Count(); ++number) {
        auto rec = mft.At(number);
        if (ntfs::IsFileRecord(rec)) NoteExtensionRecord(rec, number, found);
    }
    return found;
}

MftWalkResult RunMftWalk(AnalysisEnv& env) {
    auto& ctx = env.ctx;
    auto& items = ctx.items;
    const auto& g = ctx.analysis.geometry;
    items.folders.Clear();
    items.files.Clear();
    items.totalSize = 0;
    ctx.analysis.extensionRecords.clear();
    ctx.analysis.extensionRecordsKnown = true;

    items.folders.AddFolderItem(ItemName::Wide(text::kLostName), false, kNtfsRoot, kLostFolder, 0, 0, 0, 0, 0);

    ntfs::NtfsVolume volume;
    volume.reader = &ctx.reader;
    volume.partitionStart = g.clusterBase;
    volume.sectorsPerCluster = g.sectorsPerCluster;
    volume.sectorsPerRecord = g.sectorsPerRecord;
    volume.mftRuns = ctx.analysis.mftRuns;
    MftRecords mft(volume);
    if (mft.RecordBytes() == 0) return MftWalkResult::Empty;

    std::vector<NamelessFolder> nameless;
    for (std::uint64_t number = 0; number < mft.Count(); ++number) {
        if (!env.control.Checkpoint()) return MftWalkResult::Terminated;
        if (env.control.StopRequested()) break;
        auto rec = mft.At(number);
        // A record whose blocks do not all end in its update sequence number
        // was torn while written: damaged, not decoded as if whole.
        if (number == kNtfsRoot || !ntfs::IsFileRecord(rec) || !ntfs::FixupsIntact(rec)) continue;
        if (NoteExtensionRecord(rec, number, ctx.analysis.extensionRecords)) continue;
        auto name = ntfs::ReadRecordName(volume, rec);
        const std::uint8_t flags = ntfs::RecordFlags(rec);
        if (name.name.empty()) {
            const auto times = ntfs::ReadStandardTimes(rec, ntfs::FirstAttributeOffset(rec)).value_or(ntfs::StandardTimes{});
            if (flags == 2 || flags == 3) {
                nameless.push_back({static_cast<std::uint32_t>(number), flags == 2, times});
            } else if (number >= ntfs::kFirstUserRecord) {
                // A file whose name went with an extension record (deleting a
                // file with an attribute list may overwrite the one holding
                // its $FILE_NAME) still has its data: kept under "Lost" by
                // its record number. Records that never held data stay out.
                const std::uint64_t size = DataSize(volume, rec, mft.RecordBytes());
                if (size == 0) continue;
                const std::u16string lost = u"File" + platform::Utf8ToUtf16(std::to_string(number));
                items.files.AddFileItem(ItemName::Wide(lost), flags == 0, size, kLostFolder,
                                        static_cast<std::uint32_t>(number), 0, times.modified, times.created,
                                        times.accessed);
                items.totalSize += size;
            }
            continue;
        }
        const auto num = static_cast<std::uint32_t>(number);
        const auto& t = name.times;
        if (flags == 2 || flags == 3) {
            items.folders.AddFolderItem(ItemName::Wide(name.name), flags == 2, name.parent, num, 0, t.modified,
                                        t.created, t.accessed, 0);
        } else {
            const std::uint64_t size = DataSize(volume, rec, mft.RecordBytes());
            items.files.AddFileItem(ItemName::Wide(name.name), flags == 0, size, name.parent, num, 0, t.modified,
                                    t.created, t.accessed);
            items.totalSize += size;
            // Each alternate data stream is a file of its own beside the file.
            if (ntfs::HoldsUserStreams(number, name.parent)) {
                for (const auto& stream : ntfs::CollectNamedStreams(volume, rec)) {
                    items.files.AddFileItem(ItemName::Wide(ntfs::StreamItemName(name.name, stream.name)), flags == 0,
                                            stream.size, name.parent, num, 0, t.modified, t.created, t.accessed);
                    items.totalSize += stream.size;
                }
            }
        }
        env.progress.UpdateProgress(items.totalSize, items.folders.Count(), items.files.Count(), name.name,
                                    ProgressMode::Size);
        env.progress.Percent((number + 1) * volume.sectorsPerRecord, mft.Sectors());
    }
    if (items.folders.Count() <= 1 && items.files.Count() == 0) return MftWalkResult::Empty;
    env.control.ClearStop();
    NameNamelessFolders(env, volume, nameless);
    if (!GatherLostItems(env, 0, kNtfsRoot)) return MftWalkResult::Terminated;
    return MftWalkResult::Stored;
}

}  // namespace dravik::analysis
