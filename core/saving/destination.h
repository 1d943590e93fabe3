// Before a save: the destination folder, the count of what the checked items
// amount to after the saving filters, and the free-space check.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "saving/copy_engine.h"

namespace dravik::saving {

namespace text {
inline constexpr const char* kSelectPath = "Please select Data Recovery path.";
inline constexpr const char* kNothingSelected = "You have not selected any file/folder.";
inline constexpr const char* kTerminateQuestion = "Do you want to terminate this process.";
inline constexpr const char* kCheckingVolume = "Checking data volume selected...";
inline constexpr const char* kPathNote = "Note : Please choose different data recovery path for recovery.  ";
}  // namespace text

// "OK" of the destination dialog, first part: an empty path, or one that
// cannot be created level by level, is refused with "Please select Data
// Recovery path."; otherwise it becomes the run's destination.
bool CheckDestination(const SavingContext& ctx, std::string_view pathText);

// "%.3f MB size" and its GB/TB kin.
std::string DataSizeText(std::uint64_t bytes);

// The size walk: resets the run's selected totals and counts the marked files
// that pass `filter` below the checked nodes of `tree`, exactly as the save
// walk will write them. `shown` gets the totals after every counted file. The
// control's Terminate ends it keeping what was counted.
void CalculateDataSize(const SavingContext& ctx, const results::ResultsTree& tree, base::WorkerControl& control,
                       const std::function<void(std::int32_t, std::uint64_t)>& shown = {});
void CalculateDataSize(const SavingContext& ctx, const results::ResultsTree& tree, base::WorkerControl& control,
                       const FileFilter& filter, const std::function<void(std::int32_t, std::uint64_t)>& shown = {});

// The file system's total free bytes at `path` (not a quota); 0 when it
// cannot be told.
std::uint64_t FreeBytes(const std::filesystem::path& path);

// "Insufficient free space on destination drive. Selected file/folder
// requires ... of free space. Press Yes if you want continue with it."
std::string InsufficientSpaceText(std::uint64_t selectedBytes);

enum class DestinationDecision { Save, StayInDialog, CloseDialog };

// After the size walk: nothing selected closes the dialog with its message;
// a destination without more free space than the selection asks whether to
// go on (No stays in the dialog).
DestinationDecision DecideAfterSizeWalk(const SavingContext& ctx);

}  // namespace dravik::saving
