#include "analysis/signature_scan.h"

#include <algorithm>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/analysis_texts.h"
#include "analysis/lost_items.h"
#include "analysis/ntfs_boot.h"
#include "analysis/ntfs_index.h"
#include "analysis/ntfs_record.h"
#include "analysis/ntfs_runs.h"
#include "analysis/analysis_context.h"
#include "platform/text.h"

namespace dravik::analysis {

using platform::U16;
using platform::U32;

std::uint32_t MetafileNumber(std::u16string_view name) {
    static const std::pair<std::u16string_view, std::uint32_t> kTable[] = {
        {u"$MFT", 1},    {u"$MFTMirr", 1}, {u"$LogFile", 2}, {u"$Volume", 3}, {u"$AttrDef", 4},
        {u"$Bitmap", 6}, {u"$Boot", 7},    {u"$BadClus", 8}, {u"$Secure", 9}, {u"$UpCase", 10},
    };
    for (const auto& [n, number] : kTable)
        if (n == name) return number;
    return 0;
}

namespace {

constexpr std::size_t kChunkBytes = 1 << 20;

class Scanner {
public:
    explicit Scanner(AnalysisEnv& env)
        : env_(env), ctx_(env.ctx), scan_(env.ctx.items.scan), bps_(env.ctx.reader.SectorSize()) {}

    void FindSignatures();
    void AssignFolderNumbers();
    void AssignFileNumbers();
    void AssignVolumes();

private:
    void ExamineFileRecord(std::uint64_t sector, std::span<const std::uint8_t> chunk, std::size_t offset);
    std::vector<std::uint8_t> ReadBytes(std::uint64_t sector, std::size_t bytes);
    // Confirms folders of (start, end] whose first index block names them;
    // true when one was.
    bool ConfirmVolume(std::uint64_t start, std::uint64_t end, std::uint32_t sectorsPerCluster,
                       std::uint32_t ordinal);
    // The boot sector whose volume holds `sector`, if the scan met one.
    const BootSectorHit* VolumeOf(std::uint64_t sector) const;
    // The owner named by the index block at `lcn` of the volume starting at
    // `start`; 0 when no valid block is there.
    std::uint32_t IndexBlockOwner(std::uint64_t start, std::uint32_t sectorsPerCluster, std::uint64_t lcn);

    AnalysisEnv& env_;
    AnalysisContext ctx_;
    ScanLists& scan_;
    std::uint32_t bps_;
    std::u16string lastName_;
};

std::vector<std::uint8_t> Scanner::ReadBytes(std::uint64_t sector, std::size_t bytes) {
    const std::size_t sectors = (bytes + bps_ - 1) / bps_;
    std::vector<std::uint8_t> buf(sectors * bps_, 0);
    ctx_.reader.Read(sector, static_cast<std::uint32_t>(sectors), buf);
    buf.resize(bytes);
    return buf;
}

void Scanner::ExamineFileRecord(std::uint64_t sector, std::span<const std::uint8_t> chunk, std::size_t offset) {
    const auto field = static_cast<std::int16_t>(U16(chunk, offset + 0x1C));
    if (field < 512 || field > 0x4000 || field % 512 != 0) return;
    const std::size_t size = static_cast<std::size_t>(field);
    std::vector<std::uint8_t> record;
    if (offset + size <= chunk.size())
        record.assign(chunk.begin() + offset, chunk.begin() + offset + size);
    else
        record = ReadBytes(sector, size);
    // The update sequence number ends every block of a whole record, of 512
    // bytes or 4 KiB; a torn write leaves the blocks disagreeing.
    if (!ntfs::FixupsIntact(record)) return;
    // An extension record is part of its base record's item: the base finds
    // it when it needs its name, runs or streams.
    constexpr std::size_t kBaseReference = 0x20;
    if ((platform::U64(record, kBaseReference) & 0xFFFFFFFFFFFF) != 0) {
        // Kept for the base, whose extension records need not lie where an
        // unbroken $MFT would hold them.
        if (const auto own = ntfs::OwnRecordNumber(record)) {
            auto& sectors = ctx_.analysis.extensionSectors[*own];
            if (sectors.size() < 64) sectors.push_back(sector);
        }
        return;
    }

    ntfs::NtfsVolume volume;
    volume.reader = &ctx_.reader;
    volume.sectorsPerRecord = static_cast<std::uint32_t>(std::max<std::size_t>(size / bps_, 1));
    volume.extensionSectors = &ctx_.analysis.extensionSectors;
    if (const BootSectorHit* hit = VolumeOf(sector)) {
        volume.partitionStart = hit->sector;
        volume.sectorsPerCluster = hit->sectorsPerCluster;
    } else {
        volume.partitionStart = ctx_.analysis.geometry.clusterBase;
        volume.sectorsPerCluster = ctx_.analysis.geometry.sectorsPerCluster;
    }
    const std::uint8_t flags = ntfs::RecordFlags(record);
    auto info = ntfs::ReadBestFileName(record);
    // A record grown past its size keeps its name in an extension record.
    if (info.name.empty()) {
        const platform::Bytes view(record.data(), record.size());
        for (std::uint32_t number : ntfs::ListExtensions(volume, view, ntfs::attr::kFileName)) {
            auto ext = ntfs::ReadRecordOf(volume, view, sector, number);
            if (!ntfs::IsFileRecord(ext)) continue;
            const auto found = ntfs::ReadBestFileName(ext);
            if (found.name.empty()) continue;
            info.name = found.name;
            info.parent = found.parent;
            break;
        }
        // The times stay the base record's own: $STANDARD_INFORMATION
        // never leaves it.
        info.times = ntfs::ReadStandardTimes(view, ntfs::FirstAttributeOffset(view)).value_or(ntfs::StandardTimes{});
        // A file whose name went with an extension record (deleting a file
        // with an attribute list may overwrite the one holding its
        // $FILE_NAME) still has its data: kept under "Lost" by its record
        // number, as the $MFT walk keeps it. Records that never held data,
        // or hold no number of their own, stay out.
        const auto own = ntfs::OwnRecordNumber(view);
        if (info.name.empty() && flags != 2 && flags != 3 && own && *own >= ntfs::kFirstUserRecord) {
            const std::uint64_t dataSize = ntfs::ReadDataSize(record, ntfs::RecordSize(record));
            if (dataSize == 0 || dataSize >> 63) return;
            FoundFile f;
            f.name = u"File" + platform::Utf8ToUtf16(std::to_string(*own));
            f.deleted = flags == 0 ? kYes : kNo;
            f.modified = info.times.modified;
            f.created = info.times.created;
            f.accessed = info.times.accessed;
            f.stamp = ctx_.items.files.Count();
            f.size = dataSize;
            f.parent = kLostFolder;
            f.number = *own;
            f.sector = sector;
            lastName_ = f.name;
            scan_.AddFoundFile(std::move(f));
            return;
        }
    }
    lastName_ = info.name;
    const auto& t = info.times;
    if (flags == 2 || flags == 3) {
        FoundFolder f;
        f.name = info.name;
        f.deleted = flags == 2 ? kYes : kNo;
        f.modified = t.modified;
        f.created = t.created;
        f.accessed = t.accessed;
        f.parent = info.parent;
        f.number = ntfs::ReadIndexRootOwner(record);
        f.sector = sector;
        f.indexLcn = ntfs::ReadIndexAllocationLcn(record, ntfs::RecordSize(record));
        scan_.AddFoundFolder(std::move(f));
    } else {
        const std::uint64_t dataSize = ntfs::ReadDataSize(record, ntfs::RecordSize(record));
        if (dataSize >> 63) return;
        FoundFile f;
        f.name = info.name;
        f.deleted = flags == 0 ? kYes : kNo;
        f.modified = t.modified;
        f.created = t.created;
        f.accessed = t.accessed;
        f.stamp = ctx_.items.files.Count();
        f.size = dataSize;
        f.parent = info.parent;
        f.number = MetafileNumber(info.name);
        f.sector = sector;
        std::vector<ntfs::NamedStream> streams;
        if (f.number == 0 && info.parent != 0 && ntfs::HoldsUserStreams(ntfs::kFirstUserRecord, info.parent))
            streams = ntfs::CollectNamedStreams(volume, record, sector);
        const FoundFile file = f;
        scan_.AddFoundFile(std::move(f));
        for (const auto& stream : streams) {
            FoundFile s = file;
            s.name = ntfs::StreamItemName(file.name, stream.name);
            s.size = stream.size;
            s.stamp = file.stamp;
            scan_.AddFoundFile(std::move(s));
        }
    }
}

void Scanner::FindSignatures() {
    const auto& a = ctx_.analysis;
    env_.control.ClearStop();
    env_.progress.Step(text::kStepScan);
    const std::uint64_t start = a.partitionStart;
    const std::uint64_t end = a.partitionEnd;
    if (bps_ == 0 || end <= start) return;
    const std::uint32_t perChunk = static_cast<std::uint32_t>(std::max<std::size_t>(kChunkBytes / bps_, 1));
    std::vector<std::uint8_t> chunk(std::size_t(perChunk) * bps_);
    for (std::uint64_t pos = start; pos < end;) {
        if (!env_.control.Checkpoint() || env_.control.StopRequested()) return;
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(perChunk, end - pos));
        const std::span<const std::uint8_t> view(chunk.data(), std::size_t(n) * bps_);
        ctx_.reader.Read(pos, n, chunk);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t off = std::size_t(i) * bps_;
            const std::uint32_t sig = U32(view, off);
            const std::uint64_t s = pos + i;
            if (sig == ntfs::kFileSignature) {
                ExamineFileRecord(s, view, off);
            } else if (sig == ntfs::kIndxSignature) {
                if (auto check = ntfs::CheckIndexBlock(view.subspan(off, std::min<std::size_t>(512, bps_))))
                    scan_.AddIndexBlockRef({s, check->owner, check->vcn, kScanTag});
            } else if (auto boot = ntfs::DecodeBootSector(view.subspan(off, bps_), bps_)) {
                scan_.AddBootSectorHit({s, boot->sectorsPerCluster, boot->sectorsPerIndexBlock, boot->sectorsPerRecord,
                                        boot->totalSectors, boot->mftLcn, boot->mftMirrLcn});
            }
            env_.progress.UpdateProgress(s, scan_.FoundFolderCount(), scan_.FoundFileCount(), lastName_,
                                         ProgressMode::Sector);
        }
        pos += n;
        env_.progress.SetIndexBlockCount(scan_.IndexBlockCount());
        env_.progress.Percent(pos - start, end - start);
    }
}

const BootSectorHit* Scanner::VolumeOf(std::uint64_t sector) const {
    for (const BootSectorHit& hit : scan_.bootHits)
        if (hit.sectorsPerCluster != 0 && sector > hit.sector && sector <= hit.sector + hit.totalSectors) return &hit;
    return nullptr;
}

std::uint32_t Scanner::IndexBlockOwner(std::uint64_t start, std::uint32_t spc, std::uint64_t lcn) {
    auto sector = ReadBytes(start + std::uint64_t(spc) * lcn, bps_);
    if (U32(sector, 0) != ntfs::kIndxSignature) return 0;
    auto check = ntfs::CheckIndexBlock(std::span(sector).first(std::min<std::size_t>(512, sector.size())));
    return check ? check->owner : 0;
}

struct FolderKey {
    std::uint64_t created;
    std::uint32_t parent;
    std::u16string name;
    bool operator==(const FolderKey&) const = default;
};
struct FolderKeyHash {
    std::size_t operator()(const FolderKey& k) const {
        return std::hash<std::u16string>()(k.name) ^ (std::hash<std::uint64_t>()(k.created) * 31) ^ k.parent;
    }
};

void Scanner::AssignFolderNumbers() {
    env_.control.ClearStop();
    env_.progress.Step(text::kStepFolderNumbers);
    // Folders still without a number, by what an index entry knows of them;
    // each key's folders in list order.
    std::unordered_map<FolderKey, std::deque<FoundFolder*>, FolderKeyHash> waiting;
    for (FoundFolder& f : scan_.foundFolders)
        if (f.number == 0) waiting[{f.created, f.parent, f.name}].push_back(&f);
    if (waiting.empty() || bps_ == 0) return;

    const auto total = static_cast<std::uint32_t>(scan_.indexBlocks.size());
    std::uint32_t done = 0;
    for (const IndexBlockRef& ref : scan_.indexBlocks) {
        if (!env_.control.Checkpoint() || env_.control.StopRequested()) return;
        ++done;
        auto block = ReadBytes(ref.sector, 4096);
        const std::uint64_t allocated = U32(block, 0x20);
        if (allocated != 0 && allocated + 24 <= 65536) {
            const std::size_t bytes = static_cast<std::size_t>((allocated + 24) / bps_ * bps_);
            if (bytes > block.size()) block = ReadBytes(ref.sector, bytes);
            block.resize(bytes);
            ntfs::ApplyFixups(block);
            if (0x18 + std::uint64_t(U32(block, 0x18)) < bytes) {
                for (const auto& e : ntfs::WalkIndexEntries(block)) {
                    if (!e.IsDirectory()) continue;
                    auto it = waiting.find({e.created, e.parent, e.name});
                    if (it == waiting.end()) continue;
                    it->second.front()->number = e.child;
                    it->second.pop_front();
                    if (it->second.empty()) waiting.erase(it);
                }
            }
        }
        env_.progress.Counter(text::kDetailFolderNumbers, done, total);
        env_.progress.Percent(done, total);
        if (waiting.empty()) break;
    }
    // A folder whose entries all live in index blocks is named by its own
    // first block, when the volume holding it is known.
    for (auto& [key, pending] : waiting) {
        for (FoundFolder* f : pending) {
            if (f->indexLcn == 0) continue;
            if (const BootSectorHit* hit = VolumeOf(f->sector))
                f->number = IndexBlockOwner(hit->sector, hit->sectorsPerCluster, f->indexLcn);
        }
    }
}

void Scanner::AssignFileNumbers() {
    env_.control.ClearStop();
    env_.progress.Step(text::kStepFileNumbers);
    auto& files = scan_.foundFiles;
    auto& folders = scan_.foundFolders;
    // Record size in sectors: the volume's own when the scan met its boot
    // sector, else the partition's, else the common 1 KiB.
    const std::uint32_t defaultSpr = ctx_.analysis.geometry.sectorsPerRecord ? ctx_.analysis.geometry.sectorsPerRecord : 2;
    auto recordSectors = [&](std::uint64_t sector) {
        const BootSectorHit* hit = VolumeOf(sector);
        return hit && hit->sectorsPerRecord ? hit->sectorsPerRecord : defaultSpr;
    };
    const auto total = static_cast<std::uint32_t>(files.size() + folders.size() + scan_.indexBlocks.size());
    std::size_t fi = 0, di = 0;
    std::uint32_t g = 1;
    std::uint64_t lastSector = 0;
    bool haveLast = false;
    std::uint32_t steps = 0;
    // Records of one $MFT lie in record order, so an item without a known
    // number follows its predecessor: by the records between them when both
    // sit close together, else by one.
    auto next = [&](std::uint64_t sector) -> std::uint32_t {
        // A stream's item shares its file's record.
        if (haveLast && sector == lastSector) return g;
        const std::uint32_t spr = recordSectors(sector);
        if (haveLast && sector > lastSector && (sector - lastSector) % spr == 0) {
            const std::uint64_t gap = (sector - lastSector) / spr;
            if (gap <= 1024) return g + static_cast<std::uint32_t>(gap);
        }
        return g + 1;
    };
    while (fi < files.size() || di < folders.size()) {
        if (!env_.control.Checkpoint() || env_.control.StopRequested()) break;
        const bool takeFile = fi < files.size() && (di >= folders.size() || files[fi].sector < folders[di].sector);
        if (takeFile) {
            FoundFile& f = files[fi++];
            if (f.number == 0) f.number = next(f.sector);
            g = f.number;
            lastSector = f.sector;
        } else {
            FoundFolder& d = folders[di++];
            if (d.number == 0 || d.number == 0xFFFFFFFF) d.number = next(d.sector);
            g = d.number;
            lastSector = d.sector;
        }
        haveLast = true;
        ++steps;
        env_.progress.Counter(text::kDetailFileNumbers, steps, total);
        env_.progress.Percent(steps, total);
    }
    const auto vcn0 = std::count_if(scan_.indexBlocks.begin(), scan_.indexBlocks.end(),
                                    [](const IndexBlockRef& r) { return r.vcn == 0; });
    env_.progress.SetIndexBlockCount(static_cast<std::uint32_t>(vcn0));
}

bool Scanner::ConfirmVolume(std::uint64_t start, std::uint64_t end, std::uint32_t spc, std::uint32_t ordinal) {
    bool confirmed = false;
    const auto total = static_cast<std::uint32_t>(scan_.foundFolders.size());
    std::uint32_t examined = 0;
    for (FoundFolder& f : scan_.foundFolders) {
        if (!env_.control.Checkpoint() || env_.control.StopRequested()) break;
        ++examined;
        if (f.sector > start && f.sector <= end && f.volume == 0 && f.indexLcn != 0 &&
            IndexBlockOwner(start, spc, f.indexLcn) == f.number) {
            f.volume = ordinal;
            confirmed = true;
        }
        env_.progress.Counter(text::kDetailFileSystem, examined, total);
        env_.progress.Percent(examined, total);
    }
    return confirmed;
}

void Scanner::AssignVolumes() {
    env_.control.ClearStop();
    env_.progress.Step(text::kStepFileSystem);
    env_.progress.SetPercent(100);
    auto& volumes = ctx_.items.volumes;
    const auto& a = ctx_.analysis;
    if (!scan_.bootHits.empty()) {
        for (const BootSectorHit& hit : scan_.bootHits) {
            if (hit.sectorsPerCluster == 0 || env_.control.StopRequested()) break;
            const std::uint64_t end = hit.sector + hit.totalSectors;
            const auto ordinal = static_cast<std::uint32_t>(volumes.Count() + 1);
            if (ConfirmVolume(hit.sector, end, hit.sectorsPerCluster, ordinal)) {
                VolumeDescriptor d;
                d.typeName = "NTFS";
                d.startSector = hit.sector;
                d.endSector = end;
                d.sectorsPerCluster = hit.sectorsPerCluster;
                d.sectorsPerRecord = hit.sectorsPerRecord;
                d.sectorsPerIndexBlock = hit.sectorsPerIndexBlock;
                volumes.AddVolumeDescriptor(std::move(d));
            }
            env_.progress.Step(text::kStepFileSystemCount + std::to_string(volumes.Count()));
        }
    } else if (ConfirmVolume(a.partitionStart, a.partitionEnd, a.geometry.sectorsPerCluster, 1)) {
        VolumeDescriptor d;
        d.typeName = "NTFS";
        d.startSector = a.partitionStart;
        d.endSector = a.partitionEnd;
        d.sectorsPerCluster = a.geometry.sectorsPerCluster;
        d.sectorsPerRecord = a.geometry.sectorsPerRecord;
        d.sectorsPerIndexBlock = a.geometry.sectorsPerIndexBlock;
        volumes.AddVolumeDescriptor(std::move(d));
    }
    // Folders no index block confirmed belong with the folder before them.
    std::uint32_t v = 1;
    for (FoundFolder& f : scan_.foundFolders) {
        if (f.volume == 0 || f.volume == 0xFFFFFFFF)
            f.volume = v;
        else
            v = f.volume;
    }
    ctx_.analysis.volumeCount = static_cast<std::uint32_t>(volumes.Count());
    scan_.bootHits.clear();
}

}  // namespace

AnalysisOutcome RunSignatureScan(AnalysisEnv& env) {
    auto& ctx = env.ctx;
    auto& a = ctx.analysis;
    ctx.items.scan.Clear();
    ctx.items.volumes.Clear();
    a.extensionSectors.clear();
    a.foundMftRuns.clear();
    a.foundMftRunsKnown = false;
    a.volumeCount = 0;
    a.currentVolume = 1;
    env.control.ClearStop();

    Scanner scanner(env);
    scanner.FindSignatures();
    if (env.control.Terminated()) return AnalysisOutcome::Terminated;
    scanner.AssignFolderNumbers();
    if (env.control.Terminated()) return AnalysisOutcome::Terminated;
    scanner.AssignFileNumbers();
    if (env.control.Terminated()) return AnalysisOutcome::Terminated;
    scanner.AssignVolumes();
    if (env.control.Terminated()) return AnalysisOutcome::Terminated;

    if (a.settings.exhaustive) {
        env.control.SetCloseRequested();
        return AnalysisOutcome::CloseRequested;
    }
    if (!DumpNtfs(env, 1)) return AnalysisOutcome::Terminated;
    env.control.SetFinished();
    return AnalysisOutcome::Finished;
}

bool DumpNtfs(AnalysisEnv& env, std::uint16_t volume, bool consume) {
    auto& items = env.ctx.items;
    auto& scan = items.scan;
    env.progress.Step(text::kStepDump);
    if (!scan.foundFolders.empty()) {
        items.folders.AddFolderItem(ItemName::Wide(text::kLostName), false, kNtfsRoot, kLostFolder, 0, 0, 0, 0,
                                    volume);
    } else if (items.folders.Count() > 0) {
        items.folders.begin()->volume = volume;
    }
    const std::uint32_t total = scan.FoundFileCount() + scan.FoundFolderCount();
    std::uint32_t done = 0;
    auto progress = [&](std::u16string_view name) {
        ++done;
        env.progress.UpdateProgress(items.totalSize, items.folders.Count(), items.files.Count(), name,
                                    ProgressMode::Size);
        env.progress.Percent(done, total);
        env.progress.Counter(text::kDetailDump, done, total);
    };
    for (std::size_t i = 0; i < scan.foundFolders.size(); ++i) {
        if (!env.control.Checkpoint()) return false;
        if (env.control.StopRequested()) break;
        const FoundFolder& f = scan.foundFolders[i];
        if (f.number != kNtfsRoot)
            items.folders.AddFolderItem(ItemName::Wide(f.name), f.deleted == kYes, f.parent, f.number, f.sector,
                                        f.modified, f.created, f.accessed, static_cast<std::uint16_t>(f.volume));
        progress(f.name);
    }
    // No "Lost" file item is stored beside the "Lost" folder: it named no
    // file of the volume and would collide with the folder when saving.
    for (std::size_t i = 0; i < scan.foundFiles.size(); ++i) {
        if (!env.control.Checkpoint()) return false;
        if (env.control.StopRequested()) break;
        const FoundFile& f = scan.foundFiles[i];
        if (f.parent != 0) {
            items.files.AddFileItem(ItemName::Wide(f.name), f.deleted == kYes, f.size, f.parent, f.number, f.sector,
                                    f.modified, f.created, f.accessed);
            items.totalSize += f.size;
        }
        progress(f.name);
    }
    if (consume) {
        // What was dumped is no longer needed: give the memory back.
        std::deque<FoundFolder>().swap(scan.foundFolders);
        std::deque<FoundFile>().swap(scan.foundFiles);
    }
    env.control.ClearStop();
    env.progress.Step(text::kStepLostDirectories);
    return GatherLostItems(env, volume, kNtfsRoot);
}

}  // namespace dravik::analysis
