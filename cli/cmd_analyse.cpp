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
#include "partition/exhaustive_search.h"
#include "run_support.h"
#include "session.h"
#include "source/drive_catalogue.h"

namespace dravik::cli {

namespace {

int DiskOf(Session& s, const std::string& source, std::vector<std::string>& images) {
    auto& ctx = *s.ctx;
    if (source.rfind("Disk", 0) == 0) {
        const int n = std::atoi(source.c_str() + 4);
        if (n < 0 || n >= source::kDeviceSlots || !ctx.drives.catalogue.disks[n]) throw CliError("no disk " + source);
        return n;
    }
    const std::string path = std::filesystem::absolute(source).string();
    auto find = [&] {
        for (int n = 0; n < source::kDeviceSlots; ++n)
            if (ctx.drives.catalogue.disks[n] && ctx.drives.catalogue.disks[n]->backing.path == path) return n;
        return -1;
    };
    if (find() < 0) {
        if (!std::filesystem::exists(source)) throw CliError("no such source: " + source);
        images.insert(images.begin(), source);
        s.Catalogue(images, ctx.drives.setup.systemDisks);
    }
    const int n = find();
    if (n < 0) throw CliError("cannot read " + source);
    return n;
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
    Session s;
    auto images = common.images;
    s.Catalogue(images, !common.noSystemDisks);
    auto& ctx = *s.ctx;

    if (o.mode == "partition") {
        const int disk = DiskOf(s, o.source, images);
        SelectWholeDisk(s, disk);
        if (o.fileSystem.empty()) throw CliError("a partition search needs --fs NTFS|FAT16|FAT32");
        std::uint64_t first = 0, end = ctx.reader.CurrentDeviceBytes() / ctx.reader.SectorSize();
        if (o.range.size() == 2) first = o.range[0], end = o.range[1];
        if (!app::PrepareSearch(ctx, {std::to_string(first), std::to_string(end),
                                      partition::SearchFileSystemFor(o.fileSystem)}))
            return 2;
        if (RunAnalysisInterruptibly(s) == analysis::AnalysisOutcome::Terminated) return 3;
        const auto texts = partition::FoundFileSystemTexts(ctx);
        if (texts.empty()) std::cout << Shown(partition::text::kNothingFound) << "\n";
        for (const auto& t : texts) {
            const auto f = partition::ShowFoundFileSystem(ctx, t);
            std::cout << t << "  sectors " << f.start << "-" << f.end << (f.size.empty() ? "" : "  " + f.size) << "\n";
        }
        if (o.volume == 0) {
            Save(ctx, o.log, analysis::ScanLogOrigin::PartitionList);
            return 0;
        }
        if (o.volume < 0 || o.volume > static_cast<int>(texts.size()))
            throw CliError("no file system " + std::to_string(o.volume) + " was found");
        partition::ShowFoundFileSystem(ctx, texts[o.volume - 1]);
        app::PrepareChosenVolume(ctx);
    } else {
        const auto choice = ResolveSource(s, o.source, images, o.partition);
        SelectSource(s, choice);
        app::ChooseRecoveryMode(ctx, o.mode == "formatted" ? app::RecoveryChoice::Formatted : app::RecoveryChoice::Deleted);
        if (!analysis::ReadVolumeGeometry(ctx)) {
            if (o.mode == "deleted")
                throw CliError("the " + ctx.source.PartitionLabel +
                               " boot sector is not usable; --mode formatted searches the partition anyway");
            ctx.analysis.partition.fileSystem = ctx.source.PartitionLabel;
        }
        analysis::PrepareAnalysis(ctx);
    }
    const auto outcome = RunAnalysisInterruptibly(s);
    if (outcome == analysis::AnalysisOutcome::Terminated) return 3;
    if (outcome == analysis::AnalysisOutcome::Unsupported) throw CliError("no analysis for this file system");
    Summary(ctx);
    Save(ctx, o.log, analysis::ScanLogOrigin::Results);
    return 0;
}

}  // namespace dravik::cli
