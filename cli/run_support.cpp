#include "run_support.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "analysis/analysis_texts.h"
#include "analysis/scan_log.h"
#include "analysis/volume_geometry.h"
#include "base/size_text.h"
#include "platform/le.h"
#include "platform/text.h"
#include "drives/drive_catalogue.h"

namespace dravik::cli {

namespace {

volatile std::sig_atomic_t g_endSignal = 0;
extern "C" void OnEndSignal(int signal) { g_endSignal = signal; }

}  // namespace

void CatchEndSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

int EndSignal() { return g_endSignal; }

void NoteEndSignal(int signal) {
    if (!g_endSignal) g_endSignal = signal;
}

bool EndRequested() {
    // Without a terminal nobody can answer "stop?": Ctrl-C (or a SIGINT from
    // a script) means stop.
    if (!g_endSignal && !StdinIsTerminal() && TakeInterrupt()) NoteEndSignal(SIGINT);
    return g_endSignal != 0;
}

int InterruptedStatus() { return 128 + (g_endSignal ? static_cast<int>(g_endSignal) : SIGINT); }

namespace {

// The progress line, and the place where Ctrl-C is noticed: between two
// items of the analysis, which is where its stop request is honoured.
class InterruptibleProgress final : public ProgressLine {
public:
    InterruptibleProgress(Session& s, base::WorkerControl& control) : s_(s), control_(control) {}
    bool Stopped() const { return stopped_; }
    void SetText(base::ProgressField field, const std::string& text) override {
        Check();
        ProgressLine::SetText(field, text);
    }
    void SetPercent(int percent) override {
        Check();
        ProgressLine::SetPercent(percent);
    }

private:
    void Check() {
        // A signal stops each step as a Yes to the question would: what was
        // found so far is kept.
        if (EndRequested()) {
            stopped_ = true;
            control_.RequestStop();
            return;
        }
        if (!TakeInterrupt()) return;
        Clear();
        if (s_.prompter.ViewQuestionMsg(analysis::text::kStopQuestion) == 1) {
            stopped_ = true;
            control_.RequestStop();
        }
    }
    Session& s_;
    base::WorkerControl& control_;
    bool stopped_ = false;
};

// Selects the disk (or drive) whose model is `model`; false when none is.
bool SelectModel(app::AppContext& ctx, const std::string& model) {
    for (int n = 0; n < source::kDeviceSlots; ++n) {
        if (!ctx.drives.catalogue.disks[n]) continue;
        ctx.source.SelectPhysicalDisk(n);
        if (drives::SelectedDiskModel(ctx) == model) return true;
    }
    for (const auto& v : ctx.drives.catalogue.volumes) {
        ctx.source.SelectVolume(v.letter);
        if (drives::SelectedDiskModel(ctx) == model) return true;
    }
    return false;
}

// The disk or image chosen by its model name must still hold the volume the
// log describes: another image of the same name, or one reformatted since,
// would otherwise be read at the log's sectors and give files of zeros or of
// other files' bytes without a word.
void CheckVolumeAgainstLog(app::AppContext& ctx, const std::string& path) {
    const analysis::VolumeGeometry logged = ctx.analysis.partition;
    // Only a geometry read from a boot sector can be read again; a volume
    // found by a search (the source is then its whole disk) carries guesses.
    if (ctx.analysis.settings.exhaustive) return;
    const bool ntfs = logged.fileSystem == "NTFS" && logged.mftSector != 0;
    const bool fat = logged.fileSystem.rfind("FAT", 0) == 0 && logged.fat1Start != 0 && logged.sectorsPerFat != 0;
    if (!ntfs && !fat) return;
    const std::string where = "the volume at sector " + std::to_string(ctx.source.StartSector) + " of " +
                              drives::SelectedDiskModel(ctx);
    const std::string advice = ": it is not the volume the scan log " + path +
                               " was made on (another image of that name, or reformatted or written since); "
                               "analyse it again";
    const bool read = analysis::ReadVolumeGeometry(ctx);
    const analysis::VolumeGeometry now = ctx.analysis.partition;
    ctx.analysis.partition = logged;
    if (!read) throw CliError(where + " has no usable " + ctx.source.PartitionLabel + " boot sector" + advice);
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
    if (!differs.empty()) throw CliError(where + " differs (" + differs + ")" + advice);
}

}  // namespace

analysis::AnalysisOutcome RunAnalysisInterruptibly(Session& s, bool* stopped) {
    base::WorkerControl control;
    InterruptibleProgress sink(s, control);
    analysis::AnalysisProgress progress(sink);
    analysis::AnalysisEnv env{*s.ctx, control, progress};
    const auto outcome = analysis::RunAnalysis(env);
    sink.Clear();
    if (stopped) *stopped = sink.Stopped();
    return outcome;
}

std::string ShorterSourceText(app::AppContext& ctx) {
    const std::uint32_t bps = ctx.reader.SectorSize();
    if (bps == 0) return {};
    std::vector<std::uint8_t> boot(bps);
    if (!ctx.reader.Read(ctx.source.StartSector, 1, boot)) return {};
    const platform::Bytes b(boot);
    // The boot sector counts in its own sectors (4096-byte ones on some
    // volumes read in 512-byte sectors).
    const std::uint64_t fsSector = platform::U16(b, 0x0B);
    std::uint64_t fsSectors = 0;
    if (platform::BytesEqual(b, 3, "NTFS    "))
        fsSectors = platform::U64(b, 0x28) + 1;  // the backup boot sector follows the count
    else if (platform::U16(b, 0x13) != 0)
        fsSectors = platform::U16(b, 0x13);
    else
        fsSectors = platform::U32(b, 0x20);
    if (fsSector == 0 || fsSectors == 0 || fsSectors > UINT64_MAX / fsSector) return {};
    const std::uint64_t fsBytes = fsSectors * fsSector;
    const std::uint64_t start = ctx.source.StartSector * bps, device = ctx.reader.CurrentDeviceBytes();
    if (device == 0 || start > device || device - start >= fsBytes) return {};
    return base::Format("the source is shorter than its file system: %llu of its %llu bytes are there; "
                        "what lies past the end of the source is missing, and files there are unreadable",
                        static_cast<unsigned long long>(device - start), static_cast<unsigned long long>(fsBytes));
}

std::unique_ptr<results::ResultsView> LoadLog(Session& s, const std::string& log, bool needSource) {
    auto& ctx = *s.ctx;
    std::string path = log;
    if (!std::filesystem::exists(path) && std::filesystem::exists(analysis::ScanLogPath(path)))
        path = analysis::ScanLogPath(path);
    if (!std::filesystem::exists(path)) throw CliError("no scan log " + log);
    const std::string model = analysis::ScanLogDeviceModel(path).value_or("");
    const bool found = SelectModel(ctx, model);
    if (needSource && !found)
        throw CliError("the scan log was made on \"" + model + "\": attach that disk or image with --image");
    if (!analysis::ReadScanLogHead(ctx, path, /*checkDevice=*/found))
        throw CliError("the scan log " + path + " could not be read");
    if (needSource) CheckVolumeAgainstLog(ctx, path);
    analysis::PrepareAnalysis(ctx);
    const auto outcome = RunAnalysisInterruptibly(s);
    if (outcome == analysis::AnalysisOutcome::Terminated) throw CliError("stopped");
    // Part of a log (one cut short by a killed run, or damaged) would be
    // listed or recovered as if it were all: the message said why, the
    // status says it is refused.
    if (ctx.analysis.log.incomplete)
        throw CliError("the scan log " + path + " is incomplete or damaged; nothing of it is used");
    auto view = std::make_unique<results::ResultsView>(ctx);
    view->Open();
    return view;
}

std::optional<results::DayMonthYear> ParseDay(const std::string& text) {
    int y = 0, m = 0, d = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d", &y, &m, &d) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
        return std::nullopt;
    return results::DayMonthYear{d, m, y};
}

std::u16string TreePath(const std::string& shellPath) {
    std::u16string path = platform::Utf8ToUtf16(shellPath);
    while (!path.empty() && path.back() == u'/') path.pop_back();
    // "/Docs/a.txt", as body files and other listings write paths: the root
    // is the volume's.
    while (!path.empty() && path.front() == u'/') path.erase(0, 1);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

}  // namespace dravik::cli
