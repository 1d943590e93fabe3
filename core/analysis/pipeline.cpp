#include "analysis/pipeline.h"

#include "analysis/analysis_texts.h"
#include "analysis/fat_analysis.h"
#include "analysis/mft_walk.h"
#include "analysis/scan_log.h"
#include "analysis/signature_scan.h"
#include "analysis/analysis_context.h"

namespace dravik::analysis {

AnalysisOutcome RunFat(AnalysisEnv& env);

namespace {

bool IsNtfs(const AnalysisContext& ctx) { return ctx.analysis.geometry.fileSystem == "NTFS"; }

// A loaded log takes the place of reading the disk. A normal log's items are
// final; a partition search's findings lead to its list of file systems, and
// the volume chosen there is dumped from them.
AnalysisOutcome RunFromLog(AnalysisEnv& env) {
    auto& a = env.ctx.analysis;
    env.progress.ValueLabel(text::kLabelTotalSize);
    const bool findings = a.log.scanTimeRecords;
    if (ReadScanLogLists(env) == ScanLogLoad::Terminated) return AnalysisOutcome::Terminated;
    if (findings) {
        if (a.settings.exhaustive) {
            a.settings.phase = 1;
            env.control.SetCloseRequested();
            return AnalysisOutcome::CloseRequested;
        }
        return RunChosenVolume(env, a.currentVolume);
    }
    env.control.SetFinished();
    return AnalysisOutcome::Finished;
}

AnalysisOutcome Scan(AnalysisEnv& env, const char* valueLabel) {
    auto& a = env.ctx.analysis;
    env.progress.ValueLabel(valueLabel);
    env.progress.SetSectorContext(a.partitionEnd, true);
    if (a.settings.exhaustive) a.settings.phase += 1;
    return RunSignatureScan(env);
}

}  // namespace

AnalysisOutcome RunFat(AnalysisEnv& env) {
    auto& ctx = env.ctx;
    auto& s = ctx.analysis.settings;
    if (s.exhaustive) {
        if (s.phase >= 1) return RunChosenVolume(env, ctx.analysis.currentVolume);
        s.phase = 1;
        return RunFatExhaustiveScan(env);
    }
    if (s.formatted || s.mode == RecoveryMode::Formatted) {
        env.progress.ValueLabel(text::kLabelCurrentSector);
        return RunFatSignatureScan(env);
    }
    return RunFatDirectoryWalk(env);
}

AnalysisOutcome RunAnalysis(AnalysisEnv& env) {
    auto& ctx = env.ctx;
    auto& s = ctx.analysis.settings;
    const auto& fs = ctx.analysis.geometry.fileSystem;
    if (s.fromLog) return RunFromLog(env);
    if (fs == "FAT12" || fs == "FAT16" || fs == "FAT32") return RunFat(env);
    if (!IsNtfs(ctx)) return AnalysisOutcome::Unsupported;

    if (s.exhaustive && s.phase >= 1) return RunChosenVolume(env, ctx.analysis.currentVolume);
    if (s.formatted || s.mode == RecoveryMode::Formatted || s.exhaustive)
        return Scan(env, text::kLabelIndexesFound);

    env.progress.ValueLabel(text::kLabelTotalSize);
    switch (RunMftWalk(env)) {
        case MftWalkResult::Terminated:
            return AnalysisOutcome::Terminated;
        case MftWalkResult::Stored:
            env.control.SetFinished();
            return AnalysisOutcome::Finished;
        case MftWalkResult::Empty:
            break;
    }
    ctx.prompter.ViewMsgBox(text::kSwitchToAdvanceNtfs);
    s.formatted = true;
    env.progress.RestartElapsed();
    return Scan(env, text::kLabelCurrentSector);
}

std::uint32_t VolumeOrdinalFromEntryText(std::string_view text) {
    text = text.substr(0, text.find(" -"));
    if (text.size() <= 12) return 0;
    std::uint64_t n = 0;
    for (char c : text.substr(12)) {
        if (c < '0' || c > '9') break;
        n = n * 10 + static_cast<unsigned>(c - '0');
        if (n > 0xFFFFFFFFu) return 0;
    }
    return static_cast<std::uint32_t>(n);
}

AnalysisOutcome RunChosenVolume(AnalysisEnv& env, std::uint32_t ordinal) {
    auto& a = env.ctx.analysis;
    if (!IsNtfs(env.ctx)) return RunFatChosenVolume(env, ordinal);
    env.progress.ValueLabel(text::kLabelTotalSize);
    a.currentVolume = ordinal;
    // The findings stay for the next volume the user may choose.
    DiscardAnalysis(env.ctx);
    if (!DumpNtfs(env, static_cast<std::uint16_t>(ordinal), false)) return AnalysisOutcome::Terminated;
    env.control.SetFinished();
    return AnalysisOutcome::Finished;
}

void DiscardAnalysis(const AnalysisContext& ctx) {
    ctx.items.folders.Clear();
    ctx.items.files.Clear();
    ctx.items.totalSize = 0;
    ctx.analysis.settings.fromLog = false;
}

}  // namespace dravik::analysis
