// Runs one analysis of the selected partition or range: picks the worker the
// settings call for and runs it on the calling thread (a Worker's thread).
#pragma once

#include <cstdint>
#include <string_view>

#include "analysis/analysis_context.h"
#include "analysis/analysis_progress.h"
#include "base/worker.h"

namespace dravik::analysis {

// What every analysis step works with.
struct AnalysisEnv {
    AnalysisContext ctx;
    base::WorkerControl& control;
    AnalysisProgress& progress;
};

enum class AnalysisOutcome {
    Finished,        // the results are complete (or as complete as Stop left them)
    CloseRequested,  // the first phase of an exhaustive search: the volume list follows
    Terminated,      // ended by Back; the caller frees the items
    Unsupported,     // no worker for this file system yet
};

// The worker the settings call for:
//   log flag set                         -> the scan log's lists instead of the disk
//                                           (a partition search's findings: its volume list follows)
//   NTFS, exhaustive phase 1            -> dump of the chosen volume
//   NTFS, formatted or exhaustive phase 0 -> signature scan
//   NTFS, deleted                        -> $MFT walk (switching to the scan when it finds nothing)
// Sets the completion flag of the control before returning.
AnalysisOutcome RunAnalysis(AnalysisEnv& env);

// The volume ordinal of an entry of the found-volumes list ("File System 2 -
// NTFS" gives 2): the text before the first " -" without its first 12
// characters, as a decimal number; 0 when there is none.
std::uint32_t VolumeOrdinalFromEntryText(std::string_view text);

// Dumps volume `ordinal` of an exhaustive search after the user chose it.
AnalysisOutcome RunChosenVolume(AnalysisEnv& env, std::uint32_t ordinal);

// Back: frees every folder and file item and clears the log flag.
void DiscardAnalysis(const AnalysisContext& ctx);

}  // namespace dravik::analysis
