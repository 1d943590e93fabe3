// Writes the checked items of the results under the destination: folders
// recreated along the checked tree, files read from the source through the
// sector reader (NTFS extents or resident values, FAT cluster chains) and
// given their last-write time. The source is only ever read.
#pragma once

#include <time.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/item_records.h"
#include "base/worker.h"
#include "saving/copy_progress.h"
#include "saving/saving_context.h"

namespace dravik::results {
class ResultsTree;
}

namespace dravik::saving {

class OpenFolder;

namespace text {
inline constexpr const char* kCompleted = "Saving completed successfully.";
inline constexpr const char* kNotCompleted = "Saving not completed successfully.";
inline constexpr const char* kAborted = "Saving aborted.";
inline constexpr const char* kStopQuestion = "Do you want to stop this process. This may give you incomplete data.";
}  // namespace text

// The line the final message adds when files hold unreadable sectors:
// "1 file holds unreadable sectors written as zeros." and its plural.
std::string UnreadableFilesText(std::int64_t files);

// a + b, or the largest value when that does not fit: totals of sizes that
// damaged records claim must not wrap.
std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b);

// Which selected files a run writes and counts.
using FileFilter = std::function<bool(const analysis::FileItem& file, std::u16string_view name)>;

// The filter of the saving settings (deleted mode, extensions, dates).
FileFilter SettingsFilter(const SavingContext& ctx);

enum class SaveOutcome { Completed, NotCompleted, Aborted };

// What became of one selected file in a save run.
enum class FileOutcome {
    Written,
    Renamed,            // written under a numbered name
    SkippedByFilter,    // the saving settings left it out
    SkippedAtConflict,  // the destination had it already and it was kept
    FailedToCreate,     // the destination file could not be created
    WriteFailed,        // the destination refused some of its bytes (what was written stays)
    Incomplete,         // stopped (Skip, Abort, Stop) before all its bytes
    NotExact,           // written whole, but the bytes are not the file's own (see the reason)
};

struct FileReport {
    const analysis::FileItem* file = nullptr;
    std::filesystem::path destination;
    FileOutcome outcome = FileOutcome::Written;
    std::uint64_t written = 0;
    std::uint64_t zeroFilledSectors = 0;  // unreadable source sectors written as zeros
    std::string reason;  // why the data is not exact (encrypted, unknown compression...); empty when it is
    // Where those sectors are in the file (byte offsets, ascending). In a
    // compressed unit the offset is within the unit, as its bytes do not
    // map to the file's one for one.
    std::vector<std::uint64_t> zeroFilledOffsets;
    // MD5 of the bytes put in place, hashed as they were written (SetHashing);
    // empty when hashing is off or nothing was put in place.
    std::string md5{};
};

class CopyEngine {
public:
    CopyEngine(const SavingContext& ctx, base::WorkerControl& control, CopyProgressSink* sink = nullptr);

    // The saving settings' filter unless another is set.
    void SetFilter(FileFilter filter) { filter_ = std::move(filter); }
    // Told about every selected file of a save run, whatever became of it.
    void SetReport(std::function<void(const FileReport&)> report) { report_ = std::move(report); }
    // Hashes every file of a save run while it is written, for the report,
    // rather than reading it back afterwards.
    void SetHashing(bool on) { hashing_ = on; }

    // The save run: walks the checked nodes of `tree` from its root, writes
    // the marked files of each, and ends with "Saving completed
    // successfully." when every selected byte was written as the source
    // holds it, else "Saving not completed successfully." (shown through
    // the prompter; with the count of files holding unreadable sectors on
    // a line of its own when there are such files). The worker control
    // acts between two pieces: Pause holds the run, a stop request (Skip)
    // ends the file in hand and the run goes on with the next, Terminate
    // ends the run, which then returns Aborted and shows nothing (the front
    // end has said "Saving aborted."). Abort answered at an error prompt
    // ends the walk the same way but the run still tells how it went.
    SaveOutcome RunSave(const results::ResultsTree& tree);

    // One file for a preview: no filters, prompts, conflicts or progress
    // texts. Between two pieces `control` pauses it, and its stop request
    // or Terminate ends it; `percent` follows it.
    bool ExtractFile(const analysis::FileItem& file, const std::filesystem::path& target,
                     base::WorkerControl* control = nullptr, const std::function<void(int)>& percent = {});

private:
    struct Output;
    void SaveTree(const results::ResultsTree& tree);
    void SaveFolderFiles(std::uint32_t folderNumber, const std::filesystem::path& folder, const OpenFolder* open);
    void WriteFile(const analysis::FileItem& file, const OpenFolder* folder, std::filesystem::path path, bool saveRun);
    bool ResolveConflict(const OpenFolder& folder, std::filesystem::path& path, std::uint64_t size);
    std::array<timespec, 2> WriteTimes(const analysis::FileItem& file) const;
    // Creates a new file under a temporary name in the folder; -1 on failure.
    static int OpenPartial(int folderFd, std::string& name);
    // The same folder, given the item's last-write time once nothing holds it.
    std::shared_ptr<OpenFolder> TimedOnRelease(std::shared_ptr<OpenFolder> folder, std::uint64_t modified) const;
    bool WriteNtfs(const analysis::FileItem& file, Output& out);
    bool WriteFat(const analysis::FileItem& file, Output& out);
    bool WriteRuns(Output& out, std::uint64_t start, std::uint64_t sectors, bool sparse);
    // Notes the sectors the last reads zero-filled as offsets of the bytes
    // written from `base` on (`length` of them).
    void NoteZeroFilled(Output& out, std::uint64_t base, std::uint64_t length);
    // The run's numbers to the sink: when the throttle lets them, or now.
    void Progress(Output& out);
    void SendCounts();
    bool Interrupted(Output& out);
    void AbortByAnswer();

    SavingContext ctx_;
    base::WorkerControl& control_;
    CopyProgressSink* sink_;
    FileFilter filter_;
    std::function<void(const FileReport&)> report_;
    bool hashing_ = false;
    bool ntfs_ = true;
    bool fromScan_ = false;
    // The names this run has written, per folder (device, inode, name).
    std::set<std::tuple<std::uint64_t, std::uint64_t, std::string>> ownNames_;
    std::uint64_t inexactFiles_ = 0;  // files of this run whose bytes are not exact
    // Abort answered at an error prompt: the walk ends as by Stop, but the
    // run still says how it went.
    bool abortedByAnswer_ = false;
    CopyCounts counts_;
    UpdateThrottle throttle_;
};

}  // namespace dravik::saving
