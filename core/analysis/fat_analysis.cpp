#include "analysis/fat_analysis.h"

#include <array>
#include <bit>
#include <deque>
#include <map>
#include <unordered_set>
#include <vector>

#include "analysis/analysis_texts.h"
#include "analysis/fat_boot.h"
#include "analysis/fat_chain.h"
#include "analysis/fat_dir.h"
#include "analysis/lost_items.h"
#include "analysis/analysis_context.h"
#include "base/size_text.h"
#include "partition/boot_sector_id.h"

namespace dravik::analysis {

using fat::FatVolume;
using platform::U16;
using platform::U32;
using platform::U8;

namespace {

// A directory holds at most 65,536 entries.
constexpr std::size_t kMaxDirectoryBytes = 65536 * fat::kEntrySize;

void AssignLostDirClusters(AnalysisEnv& env);

class FatAnalyzer {
public:
    // Items are stored with volume ordinal `ordinal` (0 outside an
    // exhaustive search).
    explicit FatAnalyzer(AnalysisEnv& env, std::uint16_t ordinal = 0)
        : env_(env),
          items_(env.ctx.items),
          volume_(fat::FatVolumeFrom(env.ctx.analysis.geometry, env.ctx.analysis.partitionEnd, env.ctx.reader)),
          ordinal_(ordinal) {}

    // Folders already stored under a made-up name, to be renamed when their
    // parent's entry is read.
    void AddPlaceholder(std::uint32_t number) { placeholders_.insert(number); }

    // Reads the root directory and stores its entries. False when terminated.
    bool ReadRoot();
    // Reads every queued directory (and those found in them). False when
    // terminated; a stop request ends the walk early.
    bool ReadSubDirectories();
    // Queues every folder item for reading.
    void QueueAllFolders();
    // Step 1 of the signature scan: directory clusters anywhere in the data area.
    bool FindDirectoryClusters();
    // Deleted folders whose known clusters did not reach their end go on in
    // free clusters further on, between the data of their files: sweeps the
    // free clusters after them and reads those that hold directory entries
    // into the folder they continue, or under "Lost" when none does. False
    // when terminated.
    bool GatherFreedDirectoryClusters();
    // After the last sweep: the clusters no folder took go under "Lost".
    void SettleStrays();

    bool StoredAnything() const { return stored_ > 0; }
    bool HasOpenDirectories() const { return !open_.empty(); }

private:
    struct Pending {
        std::uint32_t number;
        bool deleted;
    };

    // A directory that has not ended in the clusters known so far, whose
    // FAT entries are free: where it was left.
    struct OpenDirectory {
        std::uint32_t number;
        std::uint32_t last;                 // the last cluster read into it
        std::vector<std::uint8_t> tail;     // that cluster's bytes
    };

    std::vector<std::uint8_t> ReadSectors(std::uint64_t sector, std::uint32_t count);
    // A directory whose FAT entry is free (deleted, or a FAT made anew by a
    // format) but whose only known cluster is full of entries most likely
    // goes on in the next clusters: they are taken while they read as
    // directory entries. Returns the last cluster taken.
    std::uint32_t FollowFreedDirectory(std::uint32_t first, std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> ReadClusters(const std::vector<std::uint32_t>& chain);
    // Stores the entries of one directory from entry `firstEntry` on (the
    // entries before it are read only for long names that cross into it);
    // `parent` is its first cluster (0 for the root). Entries inside a
    // deleted folder are deleted too.
    void ProcessDirectory(platform::Bytes dir, std::uint32_t parent, bool insideDeleted, std::size_t firstEntry = 0);
    // Reads the first cluster of a folder stored while the sweep passed
    // before it; an unended deleted one is opened.
    void ReadSweptFolder(std::uint32_t number, bool deleted, std::vector<std::uint8_t> bytes);
    // The open directory that free cluster `cluster` most likely continues:
    // one whose last cluster ends inside a long name that this cluster
    // finishes, else the one that grew last before it. Null when none.
    OpenDirectory* ContinuedBy(std::uint32_t cluster, platform::Bytes bytes);
    void EnsureLostFolder();
    void StoreFolder(const std::string& shortName, const std::optional<std::u16string>& longName, bool deleted,
                     std::uint32_t parent, std::uint32_t number, platform::Bytes e);

    AnalysisEnv& env_;
    ItemLists& items_;
    FatVolume volume_;
    std::uint16_t ordinal_;
    std::deque<Pending> queue_;
    std::unordered_set<std::uint32_t> visited_;
    // Folders the scan named "DirN" before their parent's entry was read.
    std::unordered_set<std::uint32_t> placeholders_;
    // Every directory cluster read so far, and the deleted directories still
    // open (by first cluster).
    std::unordered_set<std::uint32_t> readClusters_;
    std::map<std::uint32_t, OpenDirectory> open_;
    bool lostStored_ = false;
    bool madeUp_ = false;  // folders stored under made-up names by the sweep
    // Directory clusters the sweep could give to no open folder (yet).
    std::map<std::uint32_t, std::vector<std::uint8_t>> strays_;
    std::uint64_t stored_ = 0;
};

std::vector<std::uint8_t> FatAnalyzer::ReadSectors(std::uint64_t sector, std::uint32_t count) {
    std::vector<std::uint8_t> buf(std::size_t(count) * 512, 0);
    if (count) env_.ctx.reader.Read(sector, count, buf);
    return buf;
}

std::vector<std::uint8_t> FatAnalyzer::ReadClusters(const std::vector<std::uint32_t>& chain) {
    std::vector<std::uint8_t> bytes;
    const std::size_t clusterBytes = std::size_t(volume_.sectorsPerCluster) * 512;
    bytes.reserve(chain.size() * clusterBytes);
    readClusters_.insert(chain.begin(), chain.end());
    // Runs of consecutive clusters are read at once.
    for (std::size_t i = 0; i < chain.size();) {
        std::size_t j = i + 1;
        while (j < chain.size() && chain[j] == chain[j - 1] + 1) ++j;
        auto part = ReadSectors(volume_.ClusterSector(chain[i]),
                                static_cast<std::uint32_t>((j - i) * volume_.sectorsPerCluster));
        bytes.insert(bytes.end(), part.begin(), part.end());
        i = j;
    }
    return bytes;
}

std::uint32_t FatAnalyzer::FollowFreedDirectory(std::uint32_t first, std::vector<std::uint8_t>& bytes) {
    if (fat::HasEndOfDirectory(bytes)) return first;
    fat::FatReader fatReader(volume_);
    if (fatReader.Entry(first).value_or(1) != 0) return first;
    const std::uint64_t limit = volume_.ClusterLimit();
    std::uint32_t last = first;
    for (std::uint64_t next = std::uint64_t(first) + 1; next < limit && bytes.size() < kMaxDirectoryBytes; ++next) {
        const auto n = static_cast<std::uint32_t>(next);
        if (readClusters_.count(n) || fatReader.Entry(n).value_or(1) != 0) break;
        auto cluster = ReadSectors(volume_.ClusterSector(n), volume_.sectorsPerCluster);
        if (fat::StartsWithDotEntries(cluster) || !fat::LooksLikeDirectoryCluster(cluster, limit, volume_.Fat32()))
            break;
        bytes.insert(bytes.end(), cluster.begin(), cluster.end());
        readClusters_.insert(n);
        last = n;
        if (fat::HasEndOfDirectory(cluster)) break;
    }
    return last;
}

void FatAnalyzer::StoreFolder(const std::string& shortName, const std::optional<std::u16string>& longName,
                              bool deleted, std::uint32_t parent, std::uint32_t number, platform::Bytes e) {
    const ItemName name = longName ? ItemName::Wide(*longName) : ItemName::Narrow(shortName);
    auto& folders = items_.folders;
    // The scan names directory clusters "DirN"; the entry of their parent
    // gives the real name, which replaces the placeholder.
    if (placeholders_.count(number)) {
        if (FolderItem* f = folders.FindFolder(number, ordinal_)) {
            folders.Rename(*f, name);
            f->deleted = deleted ? kYes : kNo;
            f->modified = fat::ModifiedTime(e);
            f->created = fat::CreatedTime(e);
            f->accessed = fat::AccessedTime(e);
            if (f->parent != parent) folders.Reparent(*f, parent);
        }
        placeholders_.erase(number);
        return;
    }
    if (folders.AddFolderItem(name, deleted, parent, number, 0, fat::ModifiedTime(e), fat::CreatedTime(e),
                              fat::AccessedTime(e), ordinal_)) {
        ++stored_;
        queue_.push_back({number, deleted});
    }
}

void FatAnalyzer::ProcessDirectory(platform::Bytes dir, std::uint32_t parent, bool insideDeleted,
                                   std::size_t firstEntry) {
    const std::size_t entries = dir.size() / fat::kEntrySize;
    for (std::size_t i = firstEntry; i < entries; ++i) {
        const platform::Bytes e = dir.subspan(i * fat::kEntrySize, fat::kEntrySize);
        if (e[0] == 0) break;
        if (e[0] == '.' && e[3] == ' ') continue;
        const std::uint8_t attributes = e[fat::entry::kAttributes];
        if (attributes == fat::kAttrLongName) continue;
        // The volume label lives in the root as an entry of its own; it has
        // no bytes to recover.
        if (attributes & fat::kAttrVolumeLabel) continue;
        const std::string shortName = fat::ShortName(e);
        const bool deleted = insideDeleted || e[0] == fat::kDeletedMark;
        const std::uint32_t cluster = fat::FirstCluster(e, volume_.Fat32());
        const bool directory = (attributes & fat::kAttrDirectory) != 0;
        const std::uint32_t size = U32(e, fat::entry::kSize);
        // Empty files have no cluster; any other entry without one is noise.
        if (shortName.empty() || !fat::IsPlausibleName(shortName)) continue;
        if (cluster == 0 && (directory || size != 0)) continue;
        if (cluster != 0 && cluster >= volume_.ClusterLimit()) continue;
        auto longName = fat::ReadLongName(dir, i);
        if (longName && !fat::IsPlausibleName(*longName)) longName.reset();
        if (directory) {
            StoreFolder(shortName, longName, deleted, parent, cluster, e);
        } else {
            const ItemName name = longName ? ItemName::Wide(*longName) : ItemName::Narrow(shortName);
            items_.files.AddFileItem(name, deleted, size, parent, cluster, 0, fat::ModifiedTime(e),
                                     fat::CreatedTime(e), fat::AccessedTime(e));
            items_.totalSize += size;
            ++stored_;
        }
        env_.progress.UpdateProgress(items_.totalSize, items_.folders.Count(), items_.files.Count(),
                                     longName ? std::u16string_view(*longName) : std::u16string_view(u""),
                                     ProgressMode::Size);
    }
}

bool FatAnalyzer::ReadRoot() {
    if (!env_.control.Checkpoint()) return false;
    if (volume_.sectorsPerCluster == 0) return true;  // no usable geometry: nothing to read
    std::vector<std::uint8_t> root;
    if (volume_.Fat32()) {
        const auto chain = fat::ReadClusterChain(volume_, static_cast<std::uint32_t>(volume_.rootDirStart),
                                                 fat::kNoCutOff,
                                                 kMaxDirectoryBytes / (std::size_t(volume_.sectorsPerCluster) * 512));
        root = ReadClusters(chain);
    } else {
        root = ReadSectors(volume_.rootDirStart, volume_.rootDirSectors);
    }
    visited_.insert(0);
    ProcessDirectory(root, kFatRoot, false);
    return true;
}

void FatAnalyzer::QueueAllFolders() {
    for (const FolderItem& f : items_.folders)
        if (f.number != kLostFolder && f.number != 0 && f.volume == ordinal_)
            queue_.push_back({f.number, f.deleted == kYes});
}

bool FatAnalyzer::ReadSubDirectories() {
    const std::size_t clusterBytes = std::size_t(volume_.sectorsPerCluster) * 512;
    if (clusterBytes == 0) return true;
    while (!queue_.empty()) {
        if (!env_.control.Checkpoint()) return false;
        if (env_.control.StopRequested()) break;
        const Pending next = queue_.front();
        queue_.pop_front();
        // Each directory once: corrupt entries may point back up the tree.
        if (!visited_.insert(next.number).second) continue;
        const auto first = ReadSectors(volume_.ClusterSector(next.number), 1);
        if (!fat::StartsWithDotEntries(first)) continue;  // the cluster was reused
        auto chain = fat::ReadClusterChain(volume_, next.number,
                                           next.deleted ? fat::kDeletedFolderCutOff : fat::kNoCutOff,
                                           kMaxDirectoryBytes / clusterBytes);
        auto bytes = ReadClusters(chain);
        std::uint32_t last = chain.empty() ? next.number : chain.back();
        if (chain.size() == 1) last = FollowFreedDirectory(next.number, bytes);
        ProcessDirectory(bytes, next.number, next.deleted);
        // A deleted folder's chain is freed: unless its end was seen, the
        // sweep looks for the rest.
        if (next.deleted && !fat::HasEndOfDirectory(bytes) && bytes.size() >= clusterBytes &&
            fat::FatReader(volume_).Entry(last).value_or(1) == 0)
            open_[next.number] = {next.number, last,
                                  std::vector<std::uint8_t>(bytes.end() - static_cast<std::ptrdiff_t>(clusterBytes),
                                                            bytes.end())};
    }
    return true;
}

void FatAnalyzer::EnsureLostFolder() {
    if (lostStored_) return;
    lostStored_ = true;
    if (items_.folders.FindFolder(kLostFolder, ordinal_)) return;
    items_.folders.AddFolderItem(ItemName::Narrow("Lost"), false, kFatRoot, kLostFolder, 0, 0, 0, 0, ordinal_);
}

FatAnalyzer::OpenDirectory* FatAnalyzer::ContinuedBy(std::uint32_t cluster, platform::Bytes bytes) {
    // Long-name parts at the end of a directory's last cluster belong to the
    // entry at the start of its next one: the checksum ties them. Otherwise
    // the folder that grew last before this cluster took it (clusters are
    // handed out in ascending order).
    auto dangling = [](platform::Bytes tail) -> int {
        if (tail.size() < fat::kEntrySize) return -1;
        const platform::Bytes e = tail.subspan(tail.size() - fat::kEntrySize);
        return e[fat::entry::kAttributes] == fat::kAttrLongName ? e[13] : -1;
    };
    std::size_t first = 0;
    while (first + fat::kEntrySize <= bytes.size() && bytes[first + fat::entry::kAttributes] == fat::kAttrLongName)
        first += fat::kEntrySize;
    int closing = -1;  // the checksum of the first short entry, when parts lead to it
    if (first + fat::kEntrySize <= bytes.size()) {
        std::array<std::uint8_t, 11> name{};
        for (std::size_t i = 0; i < 11; ++i) name[i] = bytes[first + i];
        closing = fat::ShortNameChecksum(name);
    }
    // The folders this cluster names are its children: it belongs to their
    // parent, and to none of them.
    std::unordered_set<std::uint32_t> children;
    for (std::size_t at = 0; at + fat::kEntrySize <= bytes.size(); at += fat::kEntrySize) {
        const platform::Bytes e = bytes.subspan(at, fat::kEntrySize);
        if (e[0] == 0) break;
        if (e[fat::entry::kAttributes] == fat::kAttrLongName || !(e[fat::entry::kAttributes] & fat::kAttrDirectory) ||
            e[0] == '.')
            continue;
        const std::uint32_t child = fat::FirstCluster(e, volume_.Fat32());
        children.insert(child);
        if (const FolderItem* f = items_.folders.FindFolder(child, ordinal_)) {
            auto parent = open_.find(f->parent);
            if (parent != open_.end() && parent->second.last < cluster) return &parent->second;
        }
    }
    OpenDirectory* byPosition = nullptr;
    for (auto& [number, d] : open_) {
        if (d.last >= cluster || children.count(number)) continue;
        const int sum = dangling(d.tail);
        if (sum >= 0) {
            // A deleted short entry lost its first byte: any checksum of the
            // other ten bytes matches.
            bool match = sum == closing;
            if (!match && first + fat::kEntrySize <= bytes.size() && bytes[first] == fat::kDeletedMark) {
                std::array<std::uint8_t, 11> name{};
                for (std::size_t i = 0; i < 11; ++i) name[i] = bytes[first + i];
                for (int b = 0; b < 256 && !match; ++b) {
                    name[0] = static_cast<std::uint8_t>(b);
                    match = fat::ShortNameChecksum(name) == sum;
                }
            }
            if (match) return &d;
            continue;  // its next cluster must finish that name
        }
        if (!byPosition || d.last > byPosition->last) byPosition = &d;
    }
    return byPosition;
}

void FatAnalyzer::ReadSweptFolder(std::uint32_t number, bool deleted, std::vector<std::uint8_t> bytes) {
    visited_.insert(number);
    readClusters_.insert(number);
    ProcessDirectory(bytes, number, deleted);
    if (deleted && !fat::HasEndOfDirectory(bytes)) open_[number] = {number, number, std::move(bytes)};
}

bool FatAnalyzer::GatherFreedDirectoryClusters() {
    const std::uint32_t spc = volume_.sectorsPerCluster;
    const std::size_t clusterBytes = std::size_t(spc) * 512;
    if (open_.empty() || clusterBytes == 0) return true;
    // A folder whose next cluster does not come within this distance is left
    // as it is: the sweep reads free clusters only near open folders.
    const std::uint64_t reach = std::max<std::uint64_t>(64, (std::uint64_t(64) << 20) / clusterBytes);
    const std::uint64_t limit = volume_.ClusterLimit();
    const std::uint64_t end = env_.ctx.analysis.partitionEnd;
    fat::FatReader fatReader(volume_);
    std::uint32_t from = open_.begin()->first;
    for (const auto& [number, d] : open_) from = std::min(from, d.last);
    std::uint64_t reachEnd = std::uint64_t(from) + reach;
    for (std::uint64_t c = std::uint64_t(from) + 1; c < limit && c < reachEnd; ++c) {
        const auto n = static_cast<std::uint32_t>(c);
        if (end && volume_.ClusterSector(n) >= end) break;
        if (!env_.control.Checkpoint()) return false;
        if (env_.control.StopRequested()) break;
        if (readClusters_.count(n) || fatReader.Entry(n).value_or(1) != 0) continue;
        auto bytes = ReadSectors(volume_.ClusterSector(n), spc);
        if (fat::StartsWithDotEntries(bytes)) {
            // The first cluster of a folder, read now so that its own later
            // clusters find it open. One whose entry is not read yet (it may
            // lie in a later cluster of its parent) is stored under a
            // made-up name that the entry replaces.
            if (fat::FirstCluster(bytes, volume_.Fat32()) != n || visited_.count(n)) continue;
            const FolderItem* f = items_.folders.FindFolder(n, ordinal_);
            if (!f) {
                const platform::Bytes dot(bytes.data(), fat::kEntrySize);
                const std::string name = "Dir" + std::to_string(items_.folders.Count());
                const std::uint32_t parent = fat::FirstCluster(platform::Bytes(bytes).subspan(fat::kEntrySize),
                                                               volume_.Fat32());
                if (!items_.folders.AddFolderItem(ItemName::Narrow(name), true, parent, n, 0, fat::ModifiedTime(dot),
                                                  fat::CreatedTime(dot), fat::AccessedTime(dot), ordinal_))
                    continue;
                placeholders_.insert(n);
                madeUp_ = true;
                ++stored_;
            }
            ReadSweptFolder(n, !f || f->deleted == kYes, std::move(bytes));
            reachEnd = std::max(reachEnd, c + reach);
            continue;
        }
        if (!fat::LooksLikeDirectoryCluster(bytes, limit, volume_.Fat32())) continue;
        OpenDirectory* d = ContinuedBy(n, bytes);
        if (!d) {
            // Its folder may open later in this sweep or the next.
            strays_.emplace(n, std::move(bytes));
            reachEnd = std::max(reachEnd, c + reach);
            continue;
        }
        readClusters_.insert(n);
        strays_.erase(n);
        // The previous cluster goes first, for long names that cross over.
        std::vector<std::uint8_t> joined = d->tail;
        joined.insert(joined.end(), bytes.begin(), bytes.end());
        ProcessDirectory(joined, d->number, true, d->tail.size() / fat::kEntrySize);
        reachEnd = std::max(reachEnd, c + reach);
        if (fat::HasEndOfDirectory(bytes)) {
            open_.erase(d->number);
        } else {
            d->last = n;
            d->tail = std::move(bytes);
        }
        // Folders that went too long without a next cluster are given up.
        for (auto it = open_.begin(); it != open_.end();)
            it = it->second.last + reach < c ? open_.erase(it) : std::next(it);
    }
    open_.clear();
    return true;
}

void FatAnalyzer::SettleStrays() {
    // Entries whose folder is unknown go under "Lost", with their long names.
    for (auto& [cluster, bytes] : strays_) {
        if (readClusters_.count(cluster)) continue;
        EnsureLostFolder();
        readClusters_.insert(cluster);
        ProcessDirectory(bytes, kLostFolder, true);
    }
    strays_.clear();
    if (madeUp_) {
        // Made-up folders whose parent was not found.
        EnsureLostFolder();
        AssignLostDirClusters(env_);
    }
}

bool FatAnalyzer::FindDirectoryClusters() {
    auto& folders = items_.folders;
    const std::uint64_t limit = volume_.ClusterLimit();
    const std::uint64_t end = env_.ctx.analysis.partitionEnd;
    if (volume_.sectorsPerCluster == 0) return true;
    for (std::uint64_t n = 2; n < limit; ++n) {
        const std::uint64_t sector = volume_.ClusterSector(static_cast<std::uint32_t>(n));
        if (end && sector >= end) break;
        if (!env_.control.Checkpoint()) return false;
        if (env_.control.StopRequested()) break;
        const auto s = ReadSectors(sector, 1);
        if (fat::StartsWithDotEntries(s) && fat::FirstCluster(s, volume_.Fat32()) == n) {
            const platform::Bytes dot(s.data(), 32);
            const std::string name = "Dir" + std::to_string(folders.Count());
            if (folders.AddFolderItem(ItemName::Narrow(name), false, fat::FirstCluster(platform::Bytes(s).subspan(32), volume_.Fat32()),
                                      static_cast<std::uint32_t>(n), 0, fat::ModifiedTime(dot), fat::CreatedTime(dot),
                                      fat::AccessedTime(dot), 0))
                placeholders_.insert(static_cast<std::uint32_t>(n));
        }
        env_.progress.UpdateProgress(sector, folders.Count(), items_.files.Count(), u"", ProgressMode::Sector);
        env_.progress.Percent(sector - env_.ctx.analysis.partitionStart, end - env_.ctx.analysis.partitionStart);
    }
    return true;
}

void ResetItems(ItemLists& items) {
    items.folders.Clear();
    items.files.Clear();
    items.totalSize = 0;
}

// Folders whose parent is neither the root nor a stored folder go under
// "Lost" (the list keeps its order by parent).
void AssignLostDirClusters(AnalysisEnv& env) {
    auto& folders = env.ctx.items.folders;
    std::vector<FolderItem*> lost;
    std::uint32_t examined = 0;
    const std::uint32_t total = folders.Count();
    for (FolderItem& f : folders) {
        ++examined;
        if (f.number != kLostFolder && f.parent != kFatRoot && f.parent != kLostFolder &&
            folders.FindFolder(f.parent, f.volume) == nullptr)
            lost.push_back(&f);
        env.progress.Percent(examined, total);
    }
    folders.Reparent(lost, kLostFolder);
}

}  // namespace

AnalysisOutcome RunFatDirectoryWalk(AnalysisEnv& env) {
    ResetItems(env.ctx.items);
    env.progress.ValueLabel(text::kLabelTotalSize);
    FatAnalyzer walk(env);
    if (!walk.ReadRoot() || !walk.ReadSubDirectories()) return AnalysisOutcome::Terminated;
    // Folders the sweep stored behind itself are read as the walk reads, and
    // may open more; a few rounds settle it.
    for (int round = 0; round < 4 && walk.HasOpenDirectories(); ++round)
        if (!walk.GatherFreedDirectoryClusters() || !walk.ReadSubDirectories()) return AnalysisOutcome::Terminated;
    walk.SettleStrays();
    if (walk.StoredAnything()) {
        env.control.ClearStop();
        env.control.SetFinished();
        return AnalysisOutcome::Finished;
    }
    env.ctx.prompter.ViewMsgBox(text::kSwitchToAdvanceFat);
    env.ctx.analysis.settings.formatted = true;
    env.progress.ValueLabel(text::kLabelCurrentSector);
    env.progress.RestartElapsed();
    return RunFatSignatureScan(env);
}

namespace {

// Steps 3 and 4 of the signature scan, and the lost items of the volume.
AnalysisOutcome ReadTree(AnalysisEnv& env, FatAnalyzer& scan, std::uint16_t ordinal) {
    env.control.ClearStop();
    env.progress.ValueLabel(text::kLabelTotalSize);
    env.progress.Step(text::kFatStepRoot);
    if (!scan.ReadRoot()) return AnalysisOutcome::Terminated;
    env.progress.Step(text::kFatStepSubDirectories);
    scan.QueueAllFolders();
    if (!scan.ReadSubDirectories()) return AnalysisOutcome::Terminated;
    env.control.ClearStop();
    if (!GatherLostItems(env, ordinal, kFatRoot)) return AnalysisOutcome::Terminated;
    env.control.SetFinished();
    return AnalysisOutcome::Finished;
}

}  // namespace

AnalysisOutcome RunFatSignatureScan(AnalysisEnv& env, bool fromRootStep) {
    auto& items = env.ctx.items;
    FatAnalyzer scan(env);
    if (!fromRootStep) {
        ResetItems(items);
        items.folders.AddFolderItem(ItemName::Narrow("Lost"), false, kFatRoot, kLostFolder, 0, 0, 0, 0, 0);
        env.control.ClearStop();
        env.progress.Step(text::kFatStepFolders);
        env.progress.SetSectorContext(env.ctx.analysis.partitionEnd, false);
        if (!scan.FindDirectoryClusters()) return AnalysisOutcome::Terminated;

        env.control.ClearStop();
        env.progress.Step(text::kFatStepLostFolders);
        AssignLostDirClusters(env);
    }
    return ReadTree(env, scan, 0);
}

namespace {

bool IsPowerOfTwoUpTo128(std::uint64_t d) { return d >= 1 && d <= 128 && std::has_single_bit(d); }

// Phase 1: a folder found where a boot sector's geometry puts its cluster
// belongs to that boot sector's volume.
void AssignByBootSectors(AnalysisEnv& env) {
    auto& scan = env.ctx.items.scan;
    auto& volumes = env.ctx.items.volumes;
    for (const FatBootHit& hit : scan.fatBootHits) {
        std::uint16_t ordinal = 0;
        for (FoundFolder& f : scan.foundFolders) {
            if (f.volume != 0 || f.sector < hit.clusterBase || f.sector >= hit.endSector) continue;
            if (f.sector != hit.clusterBase + std::uint64_t(f.number) * hit.sectorsPerCluster) continue;
            if (ordinal == 0) {
                VolumeDescriptor d;
                d.typeName = hit.typeName;
                d.startSector = hit.sector;
                d.endSector = hit.endSector;
                d.sectorsPerCluster = hit.sectorsPerCluster;
                d.sectorsPerFat = hit.sectorsPerFat;
                d.rootDirSectors = hit.rootDirSectors;
                d.reservedSectors = hit.reservedSectors;
                d.rootDirStart = hit.rootDirStart;
                d.clusterBase = hit.clusterBase;
                d.fat1Start = hit.fat1Start;
                d.fat2Start = hit.fat2Start;
                ordinal = volumes.AddVolumeDescriptor(std::move(d));
                if (ordinal == 0) return;
            }
            f.volume = ordinal;
        }
    }
}

// Phase 2: two folders of one volume lie cluster-size x cluster-number
// apart, which gives the cluster size and base of a volume whose boot sector
// is gone.
void AssignByFolderPairs(AnalysisEnv& env) {
    auto& scan = env.ctx.items.scan;
    auto& volumes = env.ctx.items.volumes;
    std::vector<FoundFolder*> open;
    for (FoundFolder& f : scan.foundFolders)
        if (f.volume == 0) open.push_back(&f);
    constexpr std::size_t kPartners = 64;
    for (std::size_t i = 0; i < open.size(); ++i) {
        FoundFolder& a = *open[i];
        if (a.volume != 0) continue;
        std::uint64_t d = 0, base = 0;
        for (std::size_t j = i + 1, tried = 0; j < open.size() && tried < kPartners; ++j) {
            FoundFolder& b = *open[j];
            if (b.volume != 0) continue;
            ++tried;
            if (b.number <= a.number || b.sector <= a.sector) continue;
            const std::uint64_t ds = b.sector - a.sector, dn = b.number - a.number;
            if (ds % dn != 0 || !IsPowerOfTwoUpTo128(ds / dn)) continue;
            if (a.sector < ds / dn * a.number) continue;
            d = ds / dn;
            base = a.sector - d * a.number;
            break;
        }
        if (d == 0) {
            a.volume = 0xFFFFFFFF;
            continue;
        }
        VolumeDescriptor desc;
        desc.typeName = env.ctx.analysis.geometry.fileSystem;
        desc.sectorsPerCluster = static_cast<std::uint32_t>(d);
        desc.clusterBase = base;
        const std::uint16_t ordinal = volumes.AddVolumeDescriptor(desc);
        if (ordinal == 0) return;
        std::uint32_t largest = 0;
        for (FoundFolder* f : open) {
            if (f->volume == 0 && f->sector == base + d * f->number) {
                f->volume = ordinal;
                largest = std::max(largest, f->number);
            }
        }
        if (desc.typeName == "FAT16" && largest > 65536) volumes.items[ordinal - 1].typeName = "FAT32";
    }
}

}  // namespace

AnalysisOutcome RunFatExhaustiveScan(AnalysisEnv& env) {
    auto& ctx = env.ctx;
    auto& scan = ctx.items.scan;
    const auto& a = ctx.analysis;
    scan.Clear();
    ctx.items.volumes.Clear();
    env.control.ClearStop();
    env.progress.ValueLabel(text::kLabelTotalSize);
    env.progress.Step(text::kFatStepBootSectors);
    env.progress.SetSectorContext(a.partitionEnd, false);
    const std::uint32_t perChunk = 2048;
    std::vector<std::uint8_t> chunk(std::size_t(perChunk) * 512);
    for (std::uint64_t pos = a.partitionStart; pos < a.partitionEnd;) {
        if (!env.control.Checkpoint()) return AnalysisOutcome::Terminated;
        if (env.control.StopRequested()) break;
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(perChunk, a.partitionEnd - pos));
        ctx.reader.Read(pos, n, chunk);
        for (std::uint32_t i = 0; i < n; ++i) {
            const platform::Bytes s(chunk.data() + std::size_t(i) * 512, 512);
            const std::uint64_t at = pos + i;
            const bool signature = partition::HasBootSignature(s);
            const bool fat32 = signature && platform::BytesEqual(s, 85, "32");
            const bool fat12 = !fat32 && signature && platform::BytesEqual(s, 54, "FAT12");
            if (fat32 || fat12 || (signature && platform::BytesEqual(s, 57, "16"))) {
                const auto l = fat::DecodeBootLayout(s, at, fat32);
                FatBootHit h;
                h.sector = at;
                h.sectorsPerFat = l.sectorsPerFat;
                h.sectorsPerCluster = l.sectorsPerCluster;
                h.rootDirSectors = l.rootDirSectors;
                h.reservedSectors = l.reservedSectors;
                h.rootDirStart = l.rootDirStart;
                h.clusterBase = l.clusterBase;
                h.fat1Start = l.fat1Start;
                h.fat2Start = l.fat2Start;
                h.endSector = at + l.totalSectors;
                h.typeName = fat32 ? "FAT32" : fat12 ? "FAT12" : "FAT16";
                scan.AddFatBootHit(std::move(h));
            } else if (fat::StartsWithDotEntries(s)) {
                FoundFolder f;
                f.deleted = kNo;
                f.modified = fat::ModifiedTime(s);
                f.created = fat::CreatedTime(s);
                f.accessed = fat::AccessedTime(s);
                f.parent = fat::FirstCluster(s.subspan(32), true);
                f.number = fat::FirstCluster(s, true);
                f.sector = at;
                scan.AddFoundFolder(std::move(f));
            }
            env.progress.UpdateProgress(at, scan.FoundFolderCount(), 0, u"", ProgressMode::Sector);
        }
        pos += n;
        env.progress.Percent(pos - a.partitionStart, a.partitionEnd - a.partitionStart);
    }

    env.control.ClearStop();
    env.progress.Step(text::kFatStepPhase1);
    AssignByBootSectors(env);
    env.progress.Step(text::kFatStepPhase2);
    AssignByFolderPairs(env);
    ctx.analysis.volumeCount = static_cast<std::uint32_t>(ctx.items.volumes.Count());
    env.control.SetCloseRequested();
    return AnalysisOutcome::CloseRequested;
}

AnalysisOutcome RunFatChosenVolume(AnalysisEnv& env, std::uint32_t ordinal) {
    auto& items = env.ctx.items;
    const auto v = static_cast<std::uint16_t>(ordinal);
    env.ctx.analysis.currentVolume = ordinal;
    ResetItems(items);
    env.control.ClearStop();
    env.progress.ValueLabel(text::kLabelTotalSize);
    env.progress.Step(text::kFatStepDump);
    items.folders.AddFolderItem(ItemName::Narrow("Lost"), false, kFatRoot, kLostFolder, 0, 0, 0, 0, v);
    FatAnalyzer scan(env, v);
    // The findings stay until the user leaves the list of volumes, so that
    // another volume can be chosen after this one.
    for (const FoundFolder& f : items.scan.foundFolders) {
        if (!env.control.Checkpoint()) return AnalysisOutcome::Terminated;
        const std::string name = "Dir" + std::to_string(items.folders.Count());
        const auto volume = static_cast<std::uint16_t>(f.volume);
        if (items.folders.AddFolderItem(ItemName::Narrow(name), f.deleted == kYes, f.parent, f.number, f.sector,
                                        f.modified, f.created, f.accessed, volume) &&
            volume == v)
            scan.AddPlaceholder(f.number);
    }
    if (!AssignLostFolders(env, v, kFatRoot)) return AnalysisOutcome::Terminated;
    return ReadTree(env, scan, v);
}

}  // namespace dravik::analysis
