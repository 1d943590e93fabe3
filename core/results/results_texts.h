// The texts of the results page, verbatim. A doubled "&&" shows as one "&".
#pragma once

namespace dravik::results::text {

inline constexpr const char* kInsertingTree = "Inserting Folders / Files to tree explorer. Please wait...";
inline constexpr const char* kInsertingList = "Inserting Folders / Files to List. Please wait...";
inline constexpr const char* kSelecting = "Please Wait - Selecting Data";
inline constexpr const char* kDeselecting = "Please Wait - De-Selecting Data";
inline constexpr const char* kAdvanceHint =
    "If you are unable to find the deleted/lost file's && folder's in the directory tree.\r\n\r\n"
    "Please choose 'Advance Mode' under Data menu.";
inline constexpr const char* kAdvanceQuestion =
    "Switching to Advance Mode for Lost files && folders. This will take long time.\r\n"
    "Are you sure you want to start this process";
inline constexpr const char* kSavingLog = "Please Wait - Saving Log";

}  // namespace dravik::results::text
