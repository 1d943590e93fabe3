// Scan logs: an analysis saved to a file (the source and geometry it ran on,
// its items or, from the list of a partition search, its findings) and
// loaded again later without analysing the disk.
//
// The front end chooses the path (its file dialogs filter "*.qsln") and
// hands it in; the core shows its messages through the prompter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/analysis_context.h"
#include "analysis/pipeline.h"

namespace dravik::analysis {

namespace text {
inline constexpr const char* kNoPathSelected = "You have not selected any path. Please try again.";
inline constexpr const char* kLogCreateError = "Error found while creating log file. Please try again.";
inline constexpr const char* kLogOpenError = "Error found while opening log file. Please try again.";
inline constexpr const char* kLogNotValid = "Log file is not valid. Invalid seeking. .";
inline constexpr const char* kSelectProperDevice = "Please select proper device.";
inline constexpr const char* kUnableToOpenFile = "Unable to open file.";
}  // namespace text

inline constexpr std::string_view kScanLogExtension = ".qsln";

// Where a log is saved from.
enum class ScanLogOrigin {
    Results,        // the results browser: the folder and file items
    PartitionList,  // the list of file systems a partition search found: its findings
};

// The chosen path with ".qsln" appended unless it ends with it already. The
// path keeps its case.
std::string ScanLogPath(std::string_view chosen);

// Writes the log to ScanLogPath(path), replacing an existing file (made
// writable first). A log from the partition list carries the findings of the
// search when there are any (the exhaustive flag is set); otherwise it is a
// normal log. Names longer than 255 characters are cut to 255. Returns false
// after showing the message when the path is empty or the file cannot be
// written (an incomplete file is removed).
bool SaveScanLog(const AnalysisContext& ctx, std::string_view path, ScanLogOrigin origin = ScanLogOrigin::Results);

// The model of the disk the log at `path` was made on, for choosing the
// source before its head is read; nullopt when the file is not a readable log.
std::optional<std::string> ScanLogDeviceModel(std::string_view path);

// Reads the head of the log at `path` (taken as it is). Refuses a log made
// on another disk model than the one selected ("Please select proper
// device."), a log whose kind flag is neither 0 nor 1 (silently), and a head
// that does not fit the file or holds impossible values ("Log file is not
// valid. Invalid seeking. ."); a refused log changes nothing. Otherwise it
// restores the current source, both geometry sets, the flags and the volume
// list, remembers where the lists begin, sets the log flag and the recovery
// mode, and returns true: the caller prepares and runs the analysis, which
// loads the lists (PrepareAnalysis keeps the log's geometry).
// `checkDevice` false skips the model comparison, for front ends that only
// list a log's items while its disk is absent.
bool ReadScanLogHead(const AnalysisContext& ctx, std::string_view path, bool checkDevice = true);

enum class ScanLogLoad {
    Complete,
    Abandoned,   // the message was shown; what was stored before stays
    Terminated,  // Back
};

// Loads the lists of the log ReadScanLogHead accepted, through the normal
// stores: a normal log's folder and file items (the duplicate rule applies,
// every item starts unselected), or a partition-search log's findings (which
// replace the scan-time lists; the log flag is cleared after those). A stop
// request skips the rest of the current section. Every length and count is
// checked against the file's size before it is used.
ScanLogLoad ReadScanLogLists(AnalysisEnv& env);

}  // namespace dravik::analysis
