#include "app/workflow.h"

#include <filesystem>

#include "analysis/scan_log.h"
#include "base/size_text.h"
#include "analysis/volume_geometry.h"
#include "app/app_context.h"
#include "partition/partition_walk.h"
#include "drives/drive_catalogue.h"
#include "source/geometry_cache.h"

namespace dravik::app {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The letter of a volume item: the second of its text's last four characters ("(C:)").
char LetterOfItemText(std::string_view text) { return text.size() >= 4 ? text[text.size() - 3] : 0; }

int DiskOfItemText(std::string_view text) {
    int n = 0;
    bool any = false;
    for (std::size_t i = 4; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        n = n * 10 + (text[i] - '0');
        any = true;
        if (n >= source::kDeviceSlots) return -1;
    }
    return any ? n : -1;
}

// The device the item text names: a physical disk ("Disk1") or a volume.
void SetDeviceFromItemText(AppContext& ctx) {
    auto& src = ctx.source;
    if (!StartsWithNoCase(src.ItemText, "Disk")) {
        const char letter = LetterOfItemText(src.ItemText);
        if (letter) src.SelectVolume(letter);
        src.DeviceIndex = 0;
        return;
    }
    const int n = DiskOfItemText(src.ItemText);
    src.SelectPhysicalDisk(n < 0 ? 0 : n);
}

}  // namespace

void ChooseRecoveryMode(AppContext& ctx, RecoveryChoice choice) {
    auto& s = ctx.analysis.settings;
    switch (choice) {
        case RecoveryChoice::Deleted:
            s.mode = analysis::RecoveryMode::Deleted;
            s.formatted = false;
            s.exhaustive = false;
            break;
        case RecoveryChoice::Formatted:
            s.mode = analysis::RecoveryMode::Formatted;
            s.formatted = true;
            s.exhaustive = false;
            break;
        case RecoveryChoice::Partition:
            s.exhaustive = true;
            break;
    }
}

RecoveryChoice CurrentRecoveryMode(const AppContext& ctx) {
    const auto& s = ctx.analysis.settings;
    if (s.exhaustive) return RecoveryChoice::Partition;
    return s.mode == analysis::RecoveryMode::Formatted ? RecoveryChoice::Formatted : RecoveryChoice::Deleted;
}

drives::CatalogueStatus BuildSources(AppContext& ctx, const std::vector<std::string>& images, bool systemDisks) {
    auto& setup = ctx.drives.setup;
    setup.attachedDisks.clear();
    for (const auto& i : images) setup.attachedDisks.push_back(std::filesystem::absolute(i).string());
    setup.systemDisks = systemDisks;
    return drives::BuildDriveCatalogue(ctx);
}

SourceItemSelection SelectSourceItem(AppContext& ctx, partition::TreeHandle handle) {
    SourceItemSelection out;
    const auto* item = ctx.drives.catalogue.Item(handle);
    if (!item) return out;
    auto& src = ctx.source;
    src.ItemText = item->text;
    src.PartitionText.clear();
    using Kind = drives::CatalogueItemKind;
    switch (item->kind) {
        case Kind::Root:
        case Kind::PhysicalDisks:
        case Kind::LogicalDrives:
            return out;
        case Kind::Disk: {
            const int n = item->disk;
            out.group = false;
            out.pane = drives::ShowDiskInformation(ctx, n);
            src.StartSector = 63;
            src.EndSector = source::geometry_cache::CachedDiskSize(ctx.registry, n) / drives::DiskSectorSize(ctx, n);
            src.PartitionLabel = "UNKNOWN";
            src.BytesPerSector = static_cast<std::int32_t>(drives::DiskSectorSize(ctx, n));
            out.accessProblem = drives::DiskAccessProblem(ctx, n);
            break;
        }
        case Kind::Volume: {
            out.group = false;
            const auto* v = ctx.drives.catalogue.Volume(item->letter);
            src.SelectVolume(item->letter);
            src.DeviceIndex = 0;
            src.EndSector = 0;
            if (v) src.BytesPerSector = static_cast<std::int32_t>(v->bytesPerSector);
            partition::WalkPartitions(ctx, nullptr, 0, 0, false);
            const auto& t = ctx.partitions[0];
            src.StartSector = t.Count > 0 ? t.Entries[0].Start : 0;
            src.EndSector = t.Count > 0 ? t.Entries[0].End : 0;
            src.PartitionLabel = t.Count > 0 ? t.FileSystem[0] : "UNKNOWN";
            src.PartitionIndex = 0;
            out.pane = drives::ShowVolumeInformation(ctx, item->text);
            break;
        }
        case Kind::Partition: {
            out.group = false;
            const int n = item->disk;
            const auto* disk = ctx.drives.catalogue.Item(item->parent);
            src.PartitionText = item->text;
            src.ItemText = disk ? disk->text : "Disk" + std::to_string(n);
            src.SelectPhysicalDisk(n);
            drives::RewalkDisk(ctx, n);
            const auto& t = ctx.partitions[n];
            const int i = item->partition;
            if (i < 0 || i >= t.Count) {
                src.PartitionLabel = "UNKNOWN";
                break;
            }
            src.StartSector = t.Entries[i].Start;
            src.EndSector = t.Entries[i].End;
            src.PartitionIndex = static_cast<std::int16_t>(i);
            src.PartitionLabel = t.FileSystem[i];
            src.BytesPerSector = static_cast<std::int32_t>(drives::DiskSectorSize(ctx, n));
            out.pane = drives::ShowPartitionInformation(ctx, n, i);
            out.accessProblem = drives::DiskAccessProblem(ctx, n);
            break;
        }
    }
    out.rangeStart = src.StartSector;
    out.rangeEnd = src.EndSector;
    out.fileSystem = analysis::SearchFileSystemFor(src.PartitionLabel);
    return out;
}

SourceConfirmation ConfirmSource(AppContext& ctx, const RangeInput& range) {
    auto& src = ctx.source;
    src.BadSectorPolicy = base::BadSectorAnswer::RetryOnce;
    if (src.ItemText.empty() || src.ItemText == drives::DriveCatalogue::kLogicalDrivesText) {
        ctx.prompter.ViewMsgBox(text::kSelectLogicalDrive);
        return SourceConfirmation::Refused;
    }
    if (src.ItemText == drives::DriveCatalogue::kPhysicalDisksText) {
        ctx.prompter.ViewMsgBox(text::kSelectPhysicalDisk);
        return SourceConfirmation::Refused;
    }
    SetDeviceFromItemText(ctx);
    if (!src.DriveLetter) {
        const std::string problem = drives::DiskAccessProblem(ctx, src.DeviceIndex);
        if (!problem.empty()) {
            ctx.prompter.ViewMsgBox(problem);
            return SourceConfirmation::Refused;
        }
    }
    if (ctx.analysis.settings.exhaustive)
        return PrepareSearch(ctx, range) ? SourceConfirmation::Search : SourceConfirmation::Refused;

    const auto& label = src.PartitionLabel;
    if (label != "FAT32" && label != "FAT16" && label != "NTFS" && label != "FAT12") {
        ctx.prompter.ViewMsgBox(text::kSelectPartitionType);
        return SourceConfirmation::Refused;
    }
    if (src.StartSector >= src.EndSector) {
        ctx.prompter.ViewMsgBox(text::kEndNotBigger);
        return SourceConfirmation::Refused;
    }
    PrepareVolumeAnalysis(ctx);
    return SourceConfirmation::Analyse;
}

bool PrepareVolumeAnalysis(AppContext& ctx, bool needBootSector) {
    if (!analysis::ReadVolumeGeometry(ctx)) {
        if (needBootSector) return false;
        ctx.analysis.partition.fileSystem = ctx.source.PartitionLabel;
    }
    ctx.analysis.settings.phase = 0;
    ctx.analysis.settings.fromLog = false;
    analysis::PrepareAnalysis(ctx);
    return true;
}

bool SelectDiskSource(AppContext& ctx, int disk, int partition) {
    const auto& catalogue = ctx.drives.catalogue;
    for (const auto& item : catalogue.items) {
        using Kind = drives::CatalogueItemKind;
        const bool match = item.disk == disk && (partition < 0 ? item.kind == Kind::Disk
                                                               : item.kind == Kind::Partition && item.partition == partition);
        if (!match) continue;
        SelectSourceItem(ctx, item.handle);
        ctx.source.BadSectorPolicy = base::BadSectorAnswer::RetryOnce;
        return true;
    }
    return false;
}

bool SelectDriveSource(AppContext& ctx, char letter) {
    for (const auto& item : ctx.drives.catalogue.items) {
        if (item.kind != drives::CatalogueItemKind::Volume || item.letter != letter) continue;
        SelectSourceItem(ctx, item.handle);
        ctx.source.BadSectorPolicy = base::BadSectorAnswer::RetryOnce;
        return true;
    }
    return false;
}

bool PrepareSearch(AppContext& ctx, const RangeInput& range) {
    if (!analysis::StartExhaustiveSearch(ctx, range.start, range.end, range.fileSystem)) return false;
    auto& s = ctx.analysis.settings;
    s.exhaustive = true;
    s.phase = 0;
    s.fromLog = false;
    s.mode = analysis::RecoveryMode::Formatted;
    s.formatted = true;
    ctx.analysis.partition.fileSystem = ctx.source.PartitionLabel;
    ctx.analysis.partition.sectorsPerCluster = 8;
    analysis::PrepareAnalysis(ctx);
    return true;
}

void PrepareChosenVolume(AppContext& ctx) { analysis::PrepareAnalysis(ctx); }

std::string FindScanLog(const std::string& named) {
    std::error_code ec;
    if (std::filesystem::exists(named, ec)) return named;
    const std::string withExtension = analysis::ScanLogPath(named);
    if (std::filesystem::exists(withExtension, ec)) return withExtension;
    return {};
}

namespace {

// Selects the disk (or drive) whose model is `model`; false, leaving the
// current choice, when none has it.
bool SelectModel(AppContext& ctx, const std::string& model) {
    auto& src = ctx.source;
    const auto saved = src;
    for (int n = 0; n < source::kDeviceSlots; ++n) {
        if (!ctx.drives.catalogue.disks[n]) continue;
        src.SelectPhysicalDisk(n);
        if (drives::SelectedDiskModel(ctx) == model) return true;
    }
    for (const auto& v : ctx.drives.catalogue.volumes) {
        src.SelectVolume(v.letter);
        if (drives::SelectedDiskModel(ctx) == model) return true;
    }
    src = saved;
    return false;
}

// Empty when the selected volume still has the boot-sector geometry the
// loaded log holds; else what differs.
std::string LoggedVolumeMismatch(AppContext& ctx, const std::string& path) {
    const analysis::VolumeGeometry logged = ctx.analysis.partition;
    // Only a geometry read from a boot sector can be read again; a volume
    // found by a search (the source is then its whole disk) carries guesses.
    if (ctx.analysis.settings.exhaustive) return {};
    const bool ntfs = logged.fileSystem == "NTFS" && logged.mftSector != 0;
    const bool fat = logged.fileSystem.rfind("FAT", 0) == 0 && logged.fat1Start != 0 && logged.sectorsPerFat != 0;
    if (!ntfs && !fat) return {};
    const std::string where =
        "The volume at sector " + std::to_string(ctx.source.StartSector) + " of " + drives::SelectedDiskModel(ctx);
    const std::string advice = ": it is not the volume the scan log " + path +
                               " was made on (another image of that name, or reformatted or written since); "
                               "analyse it again";
    const bool read = analysis::ReadVolumeGeometry(ctx);
    const analysis::VolumeGeometry now = ctx.analysis.partition;
    ctx.analysis.partition = logged;
    if (!read) return where + " has no usable " + ctx.source.PartitionLabel + " boot sector" + advice;
    std::string differs;
    auto compare = [&](const char* what, std::uint64_t was, std::uint64_t is) {
        if (differs.empty() && was != is)
            differs = std::string(what) + " " + std::to_string(was) + " in the log, " + std::to_string(is) + " there";
    };
    compare("sectors per cluster", logged.sectorsPerCluster, now.sectorsPerCluster);
    if (ntfs) compare("$MFT sector", logged.mftSector, now.mftSector);
    if (fat) {
        compare("first FAT sector", logged.fat1Start, now.fat1Start);
        compare("sectors per FAT", logged.sectorsPerFat, now.sectorsPerFat);
    }
    return differs.empty() ? std::string() : where + " differs (" + differs + ")" + advice;
}

}  // namespace

LogLoad PrepareLogLoad(AppContext& ctx, const std::string& path, bool needDisk) {
    LogLoad r;
    const auto model = analysis::ScanLogDeviceModel(path);
    r.model = model.value_or("");
    r.diskFound = model && SelectModel(ctx, *model);
    // A log whose model cannot be read is read on, for the head's own
    // message on what is wrong with it.
    if (needDisk && model && !r.diskFound) {
        r.problem = analysis::text::kSelectProperDevice;
        return r;
    }
    if (!analysis::ReadScanLogHead(ctx, path, /*checkDevice=*/needDisk || r.diskFound)) return r;
    if (needDisk) {
        r.problem = LoggedVolumeMismatch(ctx, path);
        if (!r.problem.empty()) return r;
    }
    analysis::PrepareAnalysis(ctx);
    r.ready = true;
    return r;
}

std::string ShorterSourceText(AppContext& ctx) {
    const auto claimed = analysis::FileSystemBytes(ctx);
    if (!claimed) return {};
    const std::uint64_t bps = ctx.reader.SectorSize();
    const std::uint64_t start = ctx.source.StartSector * bps, device = ctx.reader.CurrentDeviceBytes();
    if (device == 0 || start > device || device - start >= *claimed) return {};
    return base::Format("the source is shorter than its file system: %llu of its %llu bytes are there; "
                        "what lies past the end of the source is missing, and files there are unreadable",
                        static_cast<unsigned long long>(device - start), static_cast<unsigned long long>(*claimed));
}

bool AdvanceModeOffered(const AppContext& ctx) {
    const auto& s = ctx.analysis.settings;
    return !s.formatted && s.mode != analysis::RecoveryMode::Formatted && !s.exhaustive;
}

void SwitchToAdvanceMode(AppContext& ctx) {
    analysis::DiscardAnalysis(ctx);
    auto& s = ctx.analysis.settings;
    s.formatted = true;
    s.fromLog = false;
    s.phase = 0;
    analysis::PrepareAnalysis(ctx);
}

void LeaveResults(AppContext& ctx) {
    if (!ctx.analysis.settings.exhaustive) {
        analysis::DiscardAnalysis(ctx);
        return;
    }
    if (ctx.analysis.geometry.fileSystem != "NTFS") {
        ctx.items.files.Clear();
        ctx.items.totalSize = 0;
    }
}

// ---- AnalysisRun ----

AnalysisRun::AnalysisRun(AppContext& ctx) : ctx_(ctx) {}

AnalysisRun::~AnalysisRun() { End(); }

bool AnalysisRun::Start(base::ProgressSink& sink, std::function<void()> onChange) {
    if (Running()) return false;
    Join();
    progress_ = std::make_unique<analysis::AnalysisProgress>(sink);
    outcome_.store(-1);
    return Launch(std::move(onChange), [this](base::WorkerControl& control) {
        analysis::AnalysisEnv env{ctx_, control, *progress_};
        outcome_.store(static_cast<int>(analysis::RunAnalysis(env)));
    });
}

void AnalysisRun::SetHideDetails(bool hide) {
    if (progress_) progress_->SetHideDetails(hide);
}

std::optional<analysis::AnalysisOutcome> AnalysisRun::Outcome() const {
    const int o = outcome_.load();
    if (o < 0) return std::nullopt;
    return static_cast<analysis::AnalysisOutcome>(o);
}

void AnalysisRun::Discard() {
    End();
    analysis::DiscardAnalysis(ctx_);
}

}  // namespace dravik::app
