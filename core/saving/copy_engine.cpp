#include "saving/copy_engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <limits>
#include <optional>
#include <vector>

#include "analysis/fat_chain.h"
#include "analysis/mft_walk.h"
#include "analysis/ntfs_data.h"
#include "analysis/ntfs_record.h"
#include "analysis/ntfs_runs.h"
#include "saving/saving_context.h"
#include "base/size_text.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "results/item_text.h"
#include "results/results_tree.h"
#include "saving/destination_paths.h"

namespace dravik::saving {

namespace fs = std::filesystem;
using analysis::FileItem;

std::string UnreadableFilesText(std::int64_t files) {
    return base::Format(files == 1 ? "%lld file holds unreadable sectors written as zeros."
                                   : "%lld files hold unreadable sectors written as zeros.",
                        static_cast<long long>(files));
}

namespace {

constexpr std::uint32_t kChunkSectors = 2048;  // 1 MiB reads at 512 bytes per sector

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// NTFS times are FILETIMEs in UTC and are set as they are.
timespec FromFiletime(std::uint64_t ft) {
    constexpr std::uint64_t kEpochDiff = 116444736000000000ull;  // 1601 -> 1970 in 100 ns
    timespec ts{};
    if (ft < kEpochDiff) return ts;
    const std::uint64_t t = ft - kEpochDiff;
    ts.tv_sec = static_cast<time_t>(t / 10'000'000ull);
    ts.tv_nsec = static_cast<long>(t % 10'000'000ull * 100);
    return ts;
}

// FAT keeps local time: the DOS fields are read as local time (a month of 0
// or above 12 taken as 12), seconds in two-second steps. nullopt when they
// are no time.
std::optional<timespec> FromDosTime(std::uint16_t date, std::uint16_t time) {
    std::tm tm{};
    int month = (date >> 5) & 0x0F;
    if (month == 0 || month > 12) month = 12;
    tm.tm_year = (date >> 9) + 80;
    tm.tm_mon = month - 1;
    tm.tm_mday = date & 0x1F;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 0x3F;
    tm.tm_sec = (time & 0x1F) * 2;
    tm.tm_isdst = -1;
    if (tm.tm_mday == 0 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59) return std::nullopt;
    const time_t t = std::mktime(&tm);
    if (t == static_cast<time_t>(-1)) return std::nullopt;
    return timespec{t, 0};
}

// The last-write time an item's `modified` gives; nullopt for none (a folder
// made up by the analysis has 0).
std::optional<timespec> WriteTimeOf(std::uint64_t modified, bool ntfs) {
    if (modified == 0) return std::nullopt;
    if (ntfs) return FromFiletime(modified);
    return FromDosTime(static_cast<std::uint16_t>(modified), static_cast<std::uint16_t>(modified >> 32));
}

}  // namespace

std::shared_ptr<OpenFolder> CopyEngine::TimedOnRelease(std::shared_ptr<OpenFolder> folder,
                                                       std::uint64_t modified) const {
    const auto time = WriteTimeOf(modified, ntfs_);
    if (!time) return folder;
    // Set when the last holder lets the folder go: by then its files and
    // sub-folders are all written into it, and nothing changes it again.
    OpenFolder* raw = folder.get();
    return std::shared_ptr<OpenFolder>(raw, [inner = std::move(folder), t = *time](OpenFolder* f) mutable {
        const timespec times[2] = {{0, UTIME_OMIT}, t};
        ::futimens(f->Fd(), times);
        inner.reset();
    });
}

struct CopyEngine::Output {
    int fd = -1;
    fs::path path;
    std::uint64_t size = 0;
    std::uint64_t written = 0;
    bool saveRun = true;
    std::atomic<std::uint64_t>* saveRunBytes = nullptr;  // the save run's total; none for a preview
    bool failed = false;  // a write to the destination failed
    const char* inexact = nullptr;  // why the bytes written are not the file's own
    base::WorkerControl* control = nullptr;  // a preview's
    const std::function<void(int)>* percent = nullptr;
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint64_t> zeroOffsets;  // of the file's bytes that are zeros for unreadable sectors
    std::optional<platform::Md5> md5;         // of what reached the file, when the run hashes

    // Writes `n` bytes and counts what reached the file, a partial write
    // included (a full destination keeps those bytes). False on failure.
    bool Write(const std::uint8_t* data, std::size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd, data, n);
            if (w < 0) {
                if (errno == EINTR) continue;
                failed = true;
                return false;
            }
            if (md5) md5->Update({data, static_cast<std::size_t>(w)});
            data += w;
            n -= static_cast<std::size_t>(w);
            written += static_cast<std::uint64_t>(w);
            if (saveRunBytes) *saveRunBytes += static_cast<std::uint64_t>(w);
        }
        return true;
    }
};

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

FileFilter SettingsFilter(const SavingContext& ctx) {
    const bool ntfs = ctx.analysis.geometry.fileSystem == "NTFS";
    const SavingSettings* settings = &ctx.savingSettings;
    return [settings, ntfs](const FileItem& f, std::u16string_view name) { return settings->Passes(f, name, ntfs); };
}

CopyEngine::CopyEngine(const SavingContext& ctx, base::WorkerControl& control, CopyProgressSink* sink)
    : ctx_(ctx), control_(control), sink_(sink), filter_(SettingsFilter(ctx)) {
    const auto& a = ctx_.analysis;
    ntfs_ = a.geometry.fileSystem == "NTFS";
    // Items of a signature scan are found by the sector of their record.
    fromScan_ = a.settings.formatted || a.settings.exhaustive || a.settings.mode == analysis::RecoveryMode::Formatted;
}

SaveOutcome CopyEngine::RunSave(const results::ResultsTree& tree) {
    auto& run = ctx_.saveRun;
    run.startTime = Now();
    ownNames_.clear();
    inexactFiles_ = 0;
    abortedByAnswer_ = false;
    run.unreadableFiles = 0;
    run.unreadableSectors = 0;
    counts_ = CopyCounts{};
    counts_.selectedBytes = run.selectedBytes;
    counts_.filesTotal = run.selectedCount;
    throttle_ = UpdateThrottle();
    ctx_.reader.WatchZeroFilled(true);
    SaveTree(tree);
    ctx_.reader.WatchZeroFilled(false);
    // The last counts go out whatever the throttle says, before the message.
    SendCounts();
    if (control_.Terminated() && !abortedByAnswer_) return SaveOutcome::Aborted;
    // A file written as far as it goes but not as it was is no success, nor
    // is one with zeros where the source could not be read.
    const std::int32_t unreadable = run.unreadableFiles.load();
    const bool complete = run.bytesWritten.load() == run.selectedBytes && inexactFiles_ == 0 && unreadable == 0;
    if (complete)
        ctx_.prompter.ViewMsgBox(text::kCompleted);
    else if (unreadable > 0)
        ctx_.prompter.ViewMsgBox(std::string(text::kNotCompleted) + "\n" + UnreadableFilesText(unreadable));
    else
        ctx_.prompter.ViewMsgBox(text::kNotCompleted);
    return complete ? SaveOutcome::Completed : SaveOutcome::NotCompleted;
}

void CopyEngine::SaveTree(const results::ResultsTree& tree) {
    const results::NodeHandle root = tree.Root();
    if (!tree.Valid(root) || !tree.Node(root).checked) return;
    auto& run = ctx_.saveRun;
    const fs::path dest = fs::path(run.destination).lexically_normal();
    // When the root cannot be had, nothing can be written; every file meets
    // the error prompt.
    const std::shared_ptr<OpenFolder> top = OpenDestinationRoot(dest);
    SaveFolderFiles(tree.RootNumber(), dest, top.get());

    // Depth first over checked nodes; an unchecked node hides its subtree.
    // Each entry holds its parent folder open; a folder that could not be
    // had (a link or a file in its place) leaves its whole subtree without
    // one, so nothing of it is written anywhere.
    struct Entry {
        results::NodeHandle node;
        fs::path parentPath;
        std::shared_ptr<OpenFolder> parent;
    };
    std::vector<Entry> stack;
    const auto& children = tree.Node(root).children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, fs::path(), top});
    while (!stack.empty()) {
        if (!control_.Checkpoint()) return;
        Entry e = std::move(stack.back());
        stack.pop_back();
        const auto& n = tree.Node(e.node);
        if (!n.checked) continue;
        const std::string name = SafeName(platform::Utf16ToUtf8(n.text));
        const fs::path relative = e.parentPath / name;
        std::shared_ptr<OpenFolder> folder = e.parent ? OpenFolderBelow(*e.parent, name) : nullptr;
        if (folder && n.folder) folder = TimedOnRelease(std::move(folder), n.folder->modified);
        e.parent.reset();
        // A folder whose number is unknown (0) has no files of its own to
        // save. "Lost" has: the files whose folder was not found are saved
        // into it.
        if (n.folder && n.folder->number != 0) SaveFolderFiles(n.folder->number, dest / relative, folder.get());
        for (auto it = n.children.rbegin(); it != n.children.rend(); ++it) stack.push_back({*it, relative, folder});
    }
}

void CopyEngine::SaveFolderFiles(std::uint32_t folderNumber, const fs::path& folder, const OpenFolder* open) {
    std::vector<const FileItem*> files;
    for (const FileItem& f : ctx_.items.files.Children(folderNumber))
        if (f.mark == analysis::kYes) files.push_back(&f);
    for (const FileItem* f : files) {
        // Between two files the run may be held (Pause, a question) too.
        if (!control_.Checkpoint()) return;
        const fs::path path = folder / SafeName(results::DisplayName(*f));
        if (filter_ && !filter_(*f, results::DisplayName16(*f))) {
            if (report_) report_({f, path, FileOutcome::SkippedByFilter, 0, 0, {}, {}});
            continue;
        }
        WriteFile(*f, open, path, true);
    }
}

bool CopyEngine::ResolveConflict(const OpenFolder& folder, fs::path& path, std::uint64_t size) {
    auto& run = ctx_.saveRun;
    using base::ReplaceChoice;
    struct stat st {};
    const std::string name = path.filename().string();
    if (::fstatat(folder.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return true;
    // Two recovered names that our safe-name rule made the same are not a
    // conflict the user had: the later one gets a numbered name.
    if (ownNames_.contains({folder.Device(), folder.Inode(), name})) {
        path.replace_filename(MakeUniqueNameIn(folder, name));
        return true;
    }
    ReplaceChoice choice = run.replaceChoice;
    if (choice != ReplaceChoice::SkipForAll && choice != ReplaceChoice::RenameForAll &&
        choice != ReplaceChoice::YesForAll) {
        // The page shows the file asked about, at 0 %.
        counts_.fileWritten = 0;
        SendCounts();
        // Closing the prompt without an answer leaves the file alone rather
        // than overwriting it.
        choice = ctx_.prompter.FileReplaceOptions().value_or(ReplaceChoice::Skip);
        run.replaceChoice = choice;
    }
    switch (choice) {
        case ReplaceChoice::Skip:
        case ReplaceChoice::SkipForAll:
            // A skipped file counts as done, whether asked now or by a
            // standing answer.
            run.bytesWritten = SaturatingAdd(run.bytesWritten.load(), size);
            return false;
        case ReplaceChoice::Rename:
        case ReplaceChoice::RenameForAll:
            path.replace_filename(MakeUniqueNameIn(folder, name));
            return true;
        case ReplaceChoice::Yes:
        case ReplaceChoice::YesForAll:
            // The new file is renamed over the old one (a link there is
            // replaced, never followed); a folder there cannot be.
            return true;
    }
    return true;
}

void CopyEngine::WriteFile(const FileItem& file, const OpenFolder* folder, fs::path path, bool saveRun) {
    auto& run = ctx_.saveRun;
    // A Skip meant for the file before is not this one's.
    control_.ClearStop();
    if (saveRun) {
        counts_.file = path;
        counts_.fileWritten = 0;
        counts_.fileSize = file.size;
        if (sink_ && throttle_.Due()) SendCounts();
    }
    FileReport report{&file, path, FileOutcome::Written, 0, 0, {}, {}};
    auto tell = [&](FileOutcome outcome) {
        report.outcome = outcome;
        if (!saveRun) return;
        ++counts_.filesDone;
        if (report_) report_(report);
    };
    // Whatever the names held, the file lands inside the destination.
    if (saveRun && !Inside(run.destination, path)) return tell(FileOutcome::FailedToCreate);
    if (saveRun && folder && !ResolveConflict(*folder, path, file.size)) return tell(FileOutcome::SkippedAtConflict);
    const bool renamed = path != report.destination;
    report.destination = path;

    Output out;
    out.path = path;
    out.size = file.size;
    out.saveRun = saveRun;
    if (saveRun) out.saveRunBytes = &ctx_.saveRun.bytesWritten;
    if (saveRun && hashing_) out.md5.emplace();
    // Written under a name of its own in its folder and renamed into place
    // when done: a killed run leaves no short file under the final name.
    const std::string name = path.filename().string();
    std::string partial;
    if (folder) {
        struct stat st {};
        const bool folderThere = ::fstatat(folder->Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        if (!folderThere) out.fd = OpenPartial(folder->Fd(), partial);
    }
    if (out.fd < 0) {
        if (!saveRun || run.skipAllErrors) return tell(FileOutcome::FailedToCreate);
        // Skip leaves this file out, which is done already.
        if (auto answer = ctx_.prompter.ErrorCopying()) {
            run.skipAllErrors = *answer == base::CopyErrorAnswer::SkipAll;
            if (*answer == base::CopyErrorAnswer::Abort) AbortByAnswer();
        }
        return tell(FileOutcome::FailedToCreate);
    }
    if (file.size > 0) {
        if (ntfs_)
            WriteNtfs(file, out);
        else
            WriteFat(file, out);
    }
    // Only the last-write time is restored; the rename keeps it.
    ::futimens(out.fd, WriteTimes(file).data());
    ::close(out.fd);
    if (control_.Terminated() && out.written < out.size) {
        // The run ends here: a file cut short is not put in place, where a
        // later run skipping existing files would take it as done.
        ::unlinkat(folder->Fd(), partial.c_str(), 0);
        if (saveRun) run.bytesWritten -= out.written;
        out.written = 0;
        out.md5.reset();
    } else if (::renameat(folder->Fd(), partial.c_str(), folder->Fd(), name.c_str()) != 0) {
        ::unlinkat(folder->Fd(), partial.c_str(), 0);
        if (saveRun) run.bytesWritten -= out.written;
        out.written = 0;
        out.failed = true;
        out.md5.reset();
    } else if (saveRun) {
        ownNames_.insert({folder->Device(), folder->Inode(), name});
    }
    if (out.failed && saveRun && !run.skipAllErrors && !abortedByAnswer_) {
        // A write that failed (a full destination) is reported like a file
        // that could not be created; what was written stays.
        if (auto answer = ctx_.prompter.ErrorCopying()) {
            run.skipAllErrors = *answer == base::CopyErrorAnswer::SkipAll;
            if (*answer == base::CopyErrorAnswer::Abort) AbortByAnswer();
        }
    }
    control_.ClearStop();
    report.written = out.written;
    if (out.md5) report.md5 = out.md5->HexDigest();
    report.zeroFilledSectors = out.zeroOffsets.size();
    report.zeroFilledOffsets = std::move(out.zeroOffsets);
    if (saveRun && report.zeroFilledSectors > 0) {
        ++run.unreadableFiles;
        run.unreadableSectors += report.zeroFilledSectors;
    }
    if (out.inexact) {
        report.reason = out.inexact;
        if (saveRun) ++inexactFiles_;
    }
    tell(out.failed ? FileOutcome::WriteFailed
         : out.written < out.size ? FileOutcome::Incomplete
         : out.inexact ? FileOutcome::NotExact
         : renamed ? FileOutcome::Renamed
                   : FileOutcome::Written);
}

std::array<timespec, 2> CopyEngine::WriteTimes(const FileItem& file) const {
    std::array<timespec, 2> times{};
    times[0].tv_nsec = UTIME_OMIT;
    if (ntfs_) {
        times[1] = FromFiletime(file.modified);
    } else {
        auto t = FromDosTime(static_cast<std::uint16_t>(file.modified), static_cast<std::uint16_t>(file.modified >> 32));
        times[1] = t ? *t : timespec{0, UTIME_OMIT};
    }
    return times;
}

int CopyEngine::OpenPartial(int folderFd, std::string& name) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".dravik-partial-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        const int fd = ::openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool CopyEngine::Interrupted(Output& out) {
    if (out.failed) return true;
    if (!control_.Checkpoint()) return true;
    if (out.control && (out.control != &control_ && !out.control->Checkpoint())) return true;
    if (out.control && out.control->StopRequested()) return true;
    return out.saveRun && control_.StopRequested();
}

void CopyEngine::AbortByAnswer() {
    abortedByAnswer_ = true;
    control_.Terminate();
}

void CopyEngine::Progress(Output& out) {
    if (!out.saveRun) {
        if (out.percent && *out.percent && out.size)
            (*out.percent)(static_cast<int>(std::min<std::uint64_t>(100, out.written * 100 / out.size)));
        return;
    }
    if (!sink_) return;
    counts_.fileWritten = out.written;
    if (throttle_.Due()) SendCounts();
}

void CopyEngine::SendCounts() {
    if (!sink_) return;
    auto& run = ctx_.saveRun;
    counts_.bytesWritten = run.bytesWritten.load();
    counts_.elapsedSeconds = Now() - run.startTime;
    counts_.pausedSeconds = run.pausedSeconds.load();
    throttle_.Sent();
    sink_->Update(counts_);
}

bool CopyEngine::WriteRuns(Output& out, std::uint64_t start, std::uint64_t sectors, bool sparse) {
    const std::uint32_t bps = ctx_.reader.SectorSize();
    if (bps == 0) return false;
    if (out.buffer.size() < std::size_t(kChunkSectors) * bps) out.buffer.resize(std::size_t(kChunkSectors) * bps);
    for (std::uint64_t done = 0; done < sectors && out.written < out.size;) {
        if (Interrupted(out)) return false;
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, sectors - done));
        // Sparse runs hold no clusters: their data is zeros.
        if (sparse) {
            std::fill(out.buffer.begin(), out.buffer.begin() + std::size_t(n) * bps, 0);
        } else {
            ctx_.reader.TakeZeroFilled();  // those of other reads (the FAT's) are not the file's bytes
            ctx_.reader.Read(start + done, n, out.buffer);
        }
        const std::uint64_t take = std::min<std::uint64_t>(std::uint64_t(n) * bps, out.size - out.written);
        if (!sparse) NoteZeroFilled(out, out.written, take);
        if (!out.Write(out.buffer.data(), static_cast<std::size_t>(take))) return false;
        Progress(out);
        done += n;
    }
    return true;
}

void CopyEngine::NoteZeroFilled(Output& out, std::uint64_t base, std::uint64_t length) {
    const std::uint64_t bps = std::max<std::uint32_t>(1, ctx_.reader.SectorSize());
    if (length == 0) return;
    for (const auto& z : ctx_.reader.TakeZeroFilled()) {
        // Sectors past the file's end (the rest of its last cluster) are
        // none of its bytes; in a compressed unit the packed position is
        // kept within the unit.
        const std::uint64_t at = std::uint64_t(z.index) * bps;
        if (at >= length && out.written + length < out.size) {
            out.zeroOffsets.push_back(base + (length - 1) / bps * bps);
            continue;
        }
        if (at < length) out.zeroOffsets.push_back(base + at);
    }
}

namespace {

// The run lists of the $MFT records among the items a scan found: the
// $MFT's own record at the root, live or not.
std::vector<analysis::ntfs::RunList> FoundMftRuns(const analysis::ntfs::NtfsVolume& volume,
                                                  const analysis::FileStore& files) {
    std::vector<analysis::ntfs::RunList> out;
    for (const FileItem& f : files) {
        if (f.parent != analysis::kNtfsRoot || f.sector == 0 || results::DisplayName(f) != "$MFT") continue;
        if (auto runs = analysis::ntfs::BuildMftRuns(volume, f.sector); !runs.empty()) out.push_back(std::move(runs));
        if (out.size() == 4) break;
    }
    return out;
}

}  // namespace

bool CopyEngine::WriteNtfs(const FileItem& file, Output& out) {
    const auto& g = ctx_.analysis.geometry;
    analysis::ntfs::NtfsVolume volume;
    volume.reader = &ctx_.reader;
    volume.partitionStart = g.clusterBase;
    volume.sectorsPerCluster = g.sectorsPerCluster;
    volume.sectorsPerRecord = g.sectorsPerRecord;
    volume.mftRuns = ctx_.analysis.mftRuns;
    // Items loaded from a scan log come without the walk's extension map;
    // gather it once, on the first file that needs the $MFT.
    if (!fromScan_ && !ctx_.analysis.extensionRecordsKnown) {
        ctx_.analysis.extensionRecords = analysis::CollectExtensionRecords(volume);
        ctx_.analysis.extensionRecordsKnown = true;
    }
    volume.extensions = &ctx_.analysis.extensionRecords;
    if (fromScan_) {
        volume.extensionSectors = &ctx_.analysis.extensionSectors;
        if (!ctx_.analysis.foundMftRunsKnown) {
            ctx_.analysis.foundMftRuns = FoundMftRuns(volume, ctx_.items.files);
            ctx_.analysis.foundMftRunsKnown = true;
        }
        volume.foundMftRuns = &ctx_.analysis.foundMftRuns;
    }
    analysis::ntfs::FileLocation where{file.number, std::nullopt};
    if (fromScan_) where.sector = file.sector;
    if (Interrupted(out)) return false;
    ctx_.reader.TakeZeroFilled();
    // One reader yields the pieces (resident value, runs, sparse and
    // compressed units); the engine writes them and checks between pieces.
    const auto read = analysis::ntfs::ReadFileData(
        // The end sector itself may be read: runs end outside past it.
        volume, where, out.size, ctx_.analysis.partitionEnd ? ctx_.analysis.partitionEnd + 1 : 0,
        [&](analysis::ntfs::Bytes bytes, analysis::ntfs::PieceOutcome) {
            NoteZeroFilled(out, out.written, bytes.size());
            if (!out.Write(bytes.data(), bytes.size())) return false;
            Progress(out);
            return !Interrupted(out);
        },
        // An alternate data stream's item is named "file:stream".
        analysis::ntfs::StreamOfItemName(analysis::WideName(file)));
    if (read.problem != analysis::ntfs::DataProblem::None) out.inexact = analysis::ntfs::DataProblemText(read.problem);
    Progress(out);
    return read.found && out.written == out.size;
}

bool CopyEngine::WriteFat(const FileItem& file, Output& out) {
    const auto& g = ctx_.analysis.geometry;
    analysis::fat::FatVolume volume =
        analysis::fat::FatVolumeFrom(g, ctx_.analysis.partitionEnd, ctx_.reader);
    const std::uint64_t clusterBytes = std::uint64_t(volume.sectorsPerCluster) * 512;
    if (clusterBytes == 0) return false;
    const std::uint64_t expected = (out.size + clusterBytes - 1) / clusterBytes;
    const auto first = file.number;
    // A chain that does not match the size is looked for in the second FAT,
    // then the clusters are taken as consecutive (typical of deleted files,
    // whose FAT entries are freed).
    auto chain = analysis::fat::ReadClusterChain(volume, first, analysis::fat::kNoCutOff, expected + 1);
    if (chain.size() != expected) {
        analysis::fat::FatVolume second = volume;
        second.fat1Start = volume.fat2Start;
        chain = analysis::fat::ReadClusterChain(second, first, analysis::fat::kNoCutOff, expected + 1);
    }
    if (chain.size() != expected) {
        // A deleted file's clusters were freed: it most likely continues in
        // the next clusters that are free now, around those other files
        // still hold. Otherwise the clusters are taken as consecutive.
        chain.clear();
        chain.push_back(first);
        analysis::fat::FatReader fat(volume);
        const std::uint64_t limit = volume.ClusterLimit();
        for (std::uint64_t c = std::uint64_t(first) + 1; chain.size() < expected && c < limit; ++c) {
            if (file.deleted == analysis::kYes && fat.Entry(static_cast<std::uint32_t>(c)).value_or(0) != 0) continue;
            chain.push_back(static_cast<std::uint32_t>(c));
        }
    }
    // Runs of consecutive clusters go in large reads.
    for (std::size_t i = 0; i < chain.size() && out.written < out.size;) {
        std::size_t j = i + 1;
        while (j < chain.size() && chain[j] == chain[j - 1] + 1) ++j;
        if (!WriteRuns(out, volume.ClusterSector(chain[i]), (j - i) * volume.sectorsPerCluster, false)) break;
        i = j;
    }
    Progress(out);
    return out.written == out.size;
}

bool CopyEngine::ExtractFile(const FileItem& file, const fs::path& target, base::WorkerControl* control,
                             const std::function<void(int)>& percent) {
    Output out;
    out.path = target;
    out.size = file.size;
    out.saveRun = false;
    out.control = control;
    out.percent = &percent;
    const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const int folderFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return false;
    std::string partial;
    out.fd = OpenPartial(folderFd, partial);
    if (out.fd < 0) {
        ::close(folderFd);
        return false;
    }
    bool ok = true;
    if (file.size > 0) ok = ntfs_ ? WriteNtfs(file, out) : WriteFat(file, out);
    ::close(out.fd);
    ok = ::renameat(folderFd, partial.c_str(), folderFd, target.filename().c_str()) == 0 && ok;
    if (!ok) ::unlinkat(folderFd, partial.c_str(), 0);
    ::close(folderFd);
    return ok && !out.failed;
}

}  // namespace dravik::saving
