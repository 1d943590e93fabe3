// The steps a user takes, as one API for both front ends: the recovery
// mode, the choice of a source in the catalogue, the checks of Next, the
// analysis on a worker, the choice of a found volume and the way back. The
// front ends only draw and ask; what a choice means is decided here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_progress.h"
#include "analysis/pipeline.h"
#include "base/progress.h"
#include "app/worker_run.h"
#include "base/worker.h"
#include "analysis/exhaustive_search.h"
#include "partition/partition_table.h"
#include "drives/drive_catalogue.h"
#include "drives/drive_information.h"

namespace dravik::app {

class AppContext;

namespace text {
inline constexpr const char* kSelectLogicalDrive = "Please select Logical Drive.";
inline constexpr const char* kSelectPhysicalDisk = "Please select Physical Disk.";
inline constexpr const char* kSelectPartitionType = "Select partition type";
inline constexpr const char* kEndNotBigger = "End lSectorNoRead should be bigger than Start lSectorNoRead";
}  // namespace text

// ---- recovery mode ----
enum class RecoveryChoice : int { Deleted = 1, Formatted = 2, Partition = 3 };
// Deleted clears the formatted and exhaustive flags, Formatted sets the
// first and clears the second, Partition sets the exhaustive flag and keeps
// the formatted one.
void ChooseRecoveryMode(AppContext& ctx, RecoveryChoice choice);
RecoveryChoice CurrentRecoveryMode(const AppContext& ctx);

// ---- sources ----
// Builds the catalogue with `images` attached as disks (and the machine's
// own disks unless `systemDisks` is false).
drives::CatalogueStatus BuildSources(AppContext& ctx, const std::vector<std::string>& images, bool systemDisks);

// What a click on a catalogue item shows and prefills.
struct SourceItemSelection {
    bool group = true;  // a group item (or none): the information pane keeps its content
    drives::InformationPane pane;
    // For the range controls of a partition search.
    std::uint64_t rangeStart = 0;
    std::uint64_t rangeEnd = 0;
    analysis::SearchFileSystem fileSystem = analysis::SearchFileSystem::Unknown;
    std::string accessProblem;  // the disk cannot be read: why, and how to get access
};

// A click on catalogue item `item`: it becomes the current source (device,
// range, label) and its information pane is made.
SourceItemSelection SelectSourceItem(AppContext& ctx, partition::TreeHandle item);

// The range controls of a partition search, as the user left them.
struct RangeInput {
    std::string start;
    std::string end;
    analysis::SearchFileSystem fileSystem = analysis::SearchFileSystem::None;
};

enum class SourceConfirmation { Refused, Analyse, Search };

// Next on the source page: checks the choice (each refusal is told through
// the prompter) and prepares the analysis or the partition search, which
// the caller then runs (`AnalysisRun`).
SourceConfirmation ConfirmSource(AppContext& ctx, const RangeInput& range);

// The partition search of [start, end) for `fileSystem` on the current
// disk: checks the range and type (telling the refusals), then prepares
// the first phase of the search.
bool PrepareSearch(AppContext& ctx, const RangeInput& range);

// A found volume of the search list was chosen for analysis: its geometry
// is put in place and the second phase prepared.
void PrepareChosenVolume(AppContext& ctx);

// ---- choosing a source by name ----
// What the command line names instead of clicking: disk n (its partition
// `partition`, 0-based, or the whole disk when -1), or drive `letter`. The
// source is then chosen through the catalogue item, as a click would;
// false when the catalogue has no such item.
bool SelectDiskSource(AppContext& ctx, int disk, int partition = -1);
bool SelectDriveSource(AppContext& ctx, char letter);

// The analysis of the chosen partition in the current mode, once the
// checks of Next passed: reads its boot sector and prepares the analysis.
// An unusable boot sector does not stop it (the scans need none) unless
// `needBootSector`; then nothing is prepared and false returned.
bool PrepareVolumeAnalysis(AppContext& ctx, bool needBootSector = false);

// ---- scan logs ----
struct LogLoad {
    bool ready = false;      // the head was read and the analysis that loads the lists prepared
    bool diskFound = false;  // a disk or drive of the catalogue has the log's model (it is selected)
    std::string model;       // the model the log was made on
    // Why the log was refused, when the prompter has not told it (no disk
    // of its model, another volume there than the one logged).
    std::string problem;
    explicit operator bool() const { return ready; }
};

// The file a user named as a scan log: as named, else with the log's
// extension added; empty when neither exists.
std::string FindScanLog(const std::string& named);

// Load Log: selects the disk or drive the log was made on when one of the
// catalogue has its model (else the current choice stays and the log's
// check decides), reads the log's head and prepares the analysis that loads
// its lists. `needDisk` false accepts a log whose disk is absent (its items
// can be listed, not recovered). With the disk there, the volume it holds
// must still be the one logged (same boot-sector geometry): another image of
// the same name, or one formatted since, would be read at the log's sectors
// and give files of zeros or of other files' bytes.
LogLoad PrepareLogLoad(AppContext& ctx, const std::string& path, bool needDisk = true);

// After an analysis or a log load: a sentence saying the source is shorter
// than the file system on it claims (an image cut short), else empty. Reads
// the selected volume's boot sector.
std::string ShorterSourceText(AppContext& ctx);

// ---- the results ----
// Advance Mode is offered (and the hint to use it shown) unless the results
// come from advance mode or from an analysis over a sector range.
bool AdvanceModeOffered(const AppContext& ctx);
// Advance Mode chosen in the results: the items go, the formatted flag is
// set and the analysis is prepared again (the caller runs it).
void SwitchToAdvanceMode(AppContext& ctx);
// Back from the results: both item lists are freed, except after an
// analysis over a sector range, where the findings stay for the next
// volume (of a FAT volume only the files go).
void LeaveResults(AppContext& ctx);

// ---- the analysis ----
// One analysis on a worker: started with the sink its progress goes to
// (called on the worker's thread) and a change callback (completion; on
// the worker's thread too).
class AnalysisRun : public WorkerRun {
public:
    explicit AnalysisRun(AppContext& ctx);
    // The worker reads this object's members: it ends before they go.
    ~AnalysisRun();
    AnalysisRun(const AnalysisRun&) = delete;
    AnalysisRun& operator=(const AnalysisRun&) = delete;

    bool Start(base::ProgressSink& sink, std::function<void()> onChange = {});
    // Hide Details, from the front end's thread.
    void SetHideDetails(bool hide);
    // The outcome once the worker has ended; nullopt while it runs or when
    // it threw (Failure()).
    std::optional<analysis::AnalysisOutcome> Outcome() const;
    // Back: ends the worker at its next item and frees every item found.
    void Discard();

private:
    AppContext& ctx_;
    std::unique_ptr<analysis::AnalysisProgress> progress_;
    std::atomic<int> outcome_ = -1;
};

}  // namespace dravik::app
