// dravik-cli analyse: one analysis of a partition, logical drive or image, or
// a search of a disk's sector range for lost file systems, saved as a scan
// log.
#include <filesystem>
#include <iostream>

#include "analysis/analysis_texts.h"
#include "analysis/pipeline.h"
#include "analysis/scan_log.h"
#include "analysis/volume_geometry.h"
#include "base/size_text.h"
#include "app/workflow.h"
#include "commands.h"
#include "exit_status.h"
#include "analysis/exhaustive_search.h"
#include "run_support.h"
#include "session.h"
#include "drives/drive_catalogue.h"

namespace dravik::cli {

namespace {

int DiskOf(Session& s, const std::string& source, std::vector<std::string>& images) {
    auto& ctx = *s.ctx;
    if (source.rfind("Disk", 0) == 0) {
        const int n = std::atoi(source.c_str() + 4);
        if (n < 0 || n >= source::kDeviceSlots || !ctx.drives.catalogue.disks[n]) throw CliError("no disk " + source);
        CheckDiskAccess(ctx, n);
        return n;
    }
    CheckSourcePath(source);
    const std::string path = std::filesystem::absolute(source).string();
    auto find = [&] {
        for (int n = 0; n < source::kDeviceSlots; ++n)
            if (ctx.drives.catalogue.disks[n] && ctx.drives.catalogue.disks[n]->backing.path == path) return n;
        return -1;
    };
    if (find() < 0) {
        images.insert(images.begin(), source);
        s.Catalogue(images, ctx.drives.setup.systemDisks);
    }
    const int n = find();
    if (n < 0) throw CliError("cannot read " + source);
    return n;
}

// A found volume as `disks` shows a partition: its start sector and the
// sector after its end, its size in binary units.
std::string FoundLine(const app::AppContext& ctx, int number, const analysis::FoundFileSystem& f) {
    std::uint64_t start = f.start, end = f.end;
    if (f.ordinal > 0 && f.ordinal <= ctx.items.volumes.items.size()) {
        const auto& v = ctx.items.volumes.items[f.ordinal - 1];
        // An NTFS boot sector counts the sectors before its backup copy, which
        // is the volume's last sector.
        if (f.type == "NTFS" && v.endSector != 0) ++end;
        // A FAT volume begins with its reserved sectors, the boot sector
        // first (also at sector 0, which the list would show as unknown).
        if (f.type != "NTFS" && v.reservedSectors != 0 && v.fat1Start >= v.reservedSectors)
            start = v.fat1Start - v.reservedSectors;
    }
    const std::uint64_t bytes = end > start ? (end - start) * ctx.reader.SectorSize() : 0;
    return base::Format("%d: %s  Start Sector %llu  End Sector %llu  %s", number, f.type.c_str(),
                        static_cast<unsigned long long>(start), static_cast<unsigned long long>(end),
                        BinarySize(bytes).c_str());
}

// The standing answer to unreadable sectors, after the source's choice
// (which sets the default, asking) and as recover gives it.
void ApplyBadSectorAnswer(app::AppContext& ctx, const std::string& answer) {
    if (answer == "retry") ctx.source.BadSectorPolicy = base::BadSectorAnswer::RetryAll;
    if (answer == "skip") ctx.source.BadSectorPolicy = base::BadSectorAnswer::SkipAll;
}

void Summary(const app::AppContext& ctx) {
    std::uint32_t deletedFiles = 0, deletedFolders = 0;
    for (const auto& f : ctx.items.files) deletedFiles += f.deleted == analysis::kYes;
    for (const auto& f : ctx.items.folders) deletedFolders += f.deleted == analysis::kYes;
    std::cout << ctx.items.folders.Count() << " folders (" << deletedFolders << " deleted), " << ctx.items.files.Count()
              << " files (" << deletedFiles << " deleted), " << base::SizeText(ctx.items.totalSize) << "\n";
}

void Save(app::AppContext& ctx, const std::string& log, analysis::ScanLogOrigin origin) {
    if (!analysis::SaveScanLog(ctx, log, origin)) throw CliError("the scan log was not written");
    std::cout << "scan log: " << analysis::ScanLogPath(log) << "\n";
}

}  // namespace

int RunAnalyse(const Common& common, const AnalyseOptions& o) {
    CatchEndSignals();
    Session s;
    auto images = common.images;
    s.Catalogue(images, !common.noSystemDisks, common.sectorSize);
    auto& ctx = *s.ctx;

    if (o.mode == "partition") {
        const int disk = DiskOf(s, o.source, images);
        SelectWholeDisk(s, disk);
        std::uint64_t first = 0, end = ctx.reader.CurrentDeviceBytes() / ctx.reader.SectorSize();
        if (o.range.size() == 2) first = o.range[0], end = o.range[1];
        // Without --fs both searches run: NTFS boot sectors, then FAT ones
        // (FAT12, FAT16 and FAT32 alike); the found volumes are numbered
        // across both. A chosen volume ends the search that found it, so its
        // findings are the ones in place for its analysis.
        const std::vector<std::string> kinds =
            o.fileSystem.empty()   ? std::vector<std::string>{"NTFS", "FAT32"}
            : o.fileSystem == "NTFS" ? std::vector<std::string>{"NTFS"}
                                     : std::vector<std::string>{"FAT32"};
        int listed = 0;
        std::string chosen;
        bool stopped = false;
        for (const auto& kind : kinds) {
            SelectWholeDisk(s, disk);
            ApplyBadSectorAnswer(ctx, o.onBadSector);
            if (!app::PrepareSearch(ctx, {std::to_string(first), std::to_string(end),
                                          analysis::SearchFileSystemFor(kind)}))
                return exit_status::kUsage;
            if (RunAnalysisInterruptibly(s, &stopped) == analysis::AnalysisOutcome::Terminated)
                return exit_status::kInterrupted;
            // A stopped search lists what it found before the stop; the
            // list and the status say it is not the whole range.
            if (stopped) std::cout << "partial: the search was stopped before the end of its range\n";
            for (const auto& t : analysis::FoundFileSystemTexts(ctx)) {
                ++listed;
                const auto f = analysis::ShowFoundFileSystem(ctx, t);
                std::cout << FoundLine(ctx, listed, f) << "\n";
                if (listed == o.volume) chosen = t;
            }
            if (!chosen.empty() || stopped) break;
        }
        if (listed == 0) {
            std::cout << Shown(analysis::text::kNothingFound) << "\n";
            return stopped ? InterruptedStatus() : exit_status::kNothingFound;
        }
        if (o.volume == 0) {
            // The list is the answer; a scan log of it would hold no items.
            std::cout << "choose one with --volume N to analyse it and write its scan log\n";
            return stopped ? InterruptedStatus() : exit_status::kDone;
        }
        if (chosen.empty())
            throw CliError("no file system " + std::to_string(o.volume) + " was found (" + std::to_string(listed) +
                           " listed above)");
        if (o.log.empty()) throw CliError("--log names the scan log to write");
        analysis::ShowFoundFileSystem(ctx, chosen);
        app::PrepareChosenVolume(ctx);
    } else {
        if (o.log.empty()) throw CliError("--log names the scan log to write");
        const auto choice = ResolveSource(s, o.source, images, o.partition);
        SelectSource(s, choice);
        ApplyBadSectorAnswer(ctx, o.onBadSector);
        app::ChooseRecoveryMode(ctx, o.mode == "formatted" ? app::RecoveryChoice::Formatted : app::RecoveryChoice::Deleted);
        if (!app::PrepareVolumeAnalysis(ctx, /*needBootSector=*/o.mode == "deleted"))
            throw CliError("the " + ctx.source.PartitionLabel +
                           " boot sector is not usable; --mode formatted searches the partition anyway");
    }
    bool stopped = false;
    const auto outcome = RunAnalysisInterruptibly(s, &stopped);
    if (outcome == analysis::AnalysisOutcome::Terminated) return exit_status::kInterrupted;
    if (outcome == analysis::AnalysisOutcome::Unsupported)
        throw CliError("no analysis for this file system", exit_status::kNothingFound);
    Summary(ctx);
    if (const std::string shorter = app::ShorterSourceText(ctx); !shorter.empty()) std::cout << shorter << "\n";
    if (stopped) std::cout << "partial: the analysis was stopped before its end\n";
    Save(ctx, o.log, analysis::ScanLogOrigin::Results);
    return stopped ? InterruptedStatus() : 0;
}

}  // namespace dravik::cli
