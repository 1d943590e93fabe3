// The step texts, detail lines and messages of an analysis, verbatim. A
// doubled "&&" shows as one "&" on screen; front ends unescape it.
#pragma once

namespace dravik::analysis::text {

inline constexpr const char* kSwitchToAdvanceNtfs =
    "Switching to Advance Mode for Lost files && folders. This will take long time.";
inline constexpr const char* kSwitchToAdvanceFat =
    "Switching to Advance Mode for Lost files & folders. This will take long time.";
inline constexpr const char* kStopQuestion =
    "Do you want to stop Recovery analysis. This may show incomplete data && you may need to run this step again.";
inline constexpr const char* kBackQuestion = "Do you want to go back to Previous Step.";
inline constexpr const char* kHeading = "Analysing Partition Data. Please wait...";
inline constexpr const char* kHideDetailsHelp = "Selecting Hide Details will speedup data recovery analysis...";

inline constexpr const char* kLabelTotalSize = "Total Size";
inline constexpr const char* kLabelIndexesFound = "Indexes Found";
inline constexpr const char* kLabelCurrentSector = "Current Sector";

inline constexpr const char* kStepScan = "Step 1/5 :- Searching MFTs, Index Allocations signatures...";
inline constexpr const char* kStepFolderNumbers = "Step 2/5 :- Assigning MFT Numbers to Folders...";
inline constexpr const char* kStepFileNumbers = "Step 3/5 :- Assigning MFT Numbers to Files...";
inline constexpr const char* kStepFileSystem = "Step 4.1/5 :- Analysing File System...";
inline constexpr const char* kStepFileSystemCount = "Step 4.1/5 :- Analysing File System.    File System Enumerated :- ";
inline constexpr const char* kStepDump = "Step 4.3/5 :- Dumping Files/Folders information...  ";
inline constexpr const char* kStepLostDirectories = "Step 5/5 :- Searching lost directories...";

inline constexpr const char* kDetailFolderNumbers = "Assigning Folders Mft Number's : %d/%d";
inline constexpr const char* kDetailFileNumbers = "Assigning File Mft Number's : %d/%d";
inline constexpr const char* kDetailFileSystem = "Assigning File system : %d/%d";
inline constexpr const char* kDetailDump = "Dumping Files && Folders : %d/%d";
inline constexpr const char* kDetailLostFolders = "Assigning Lost Folders : %d/%d";

inline constexpr const char16_t* kLostName = u"Lost";

}  // namespace dravik::analysis::text

namespace dravik::analysis::text {

inline constexpr const char* kFatStepFolders = "Step 1/5 :- Searching Folders signatures...";
inline constexpr const char* kFatStepLostFolders = "Step 2/5 :- Searching Lost Folders...  ";
inline constexpr const char* kFatStepRoot = "Step 3/5 :- Inserting Root Data...";
inline constexpr const char* kFatStepSubDirectories = "Step 4/5 :- Inserting Sub Directories Data...";
inline constexpr const char* kFatStepBootSectors = "Step 1/5 :- Searching Boot Sectors/Sub-Directories...";
inline constexpr const char* kFatStepPhase1 = "Step 2/5 :- Analysing File System(Phase 1)...";
inline constexpr const char* kFatStepPhase2 = "Step 3/5 :- Analysing File System(Phase 2)...";
inline constexpr const char* kFatStepDump = "Step 4/5 :- Dumping Folders information...  ";

}  // namespace dravik::analysis::text
