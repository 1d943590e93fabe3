// Partition-data recovery: the sector range and file-system type the user
// gives, the list of file systems the scan found in it, and preparing the
// chosen one for its analysis.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_context.h"

namespace dravik::analysis {

struct VolumeDescriptor;

namespace text {
inline constexpr const char* kStartInvalid = "Start lSectorNoRead is not valid.";
inline constexpr const char* kEndInvalid = "End lSectorNoRead is not valid.";
inline constexpr const char* kEndNotBigger = "End lSectorNoRead should be bigger than start lSectorNoRead.";
inline constexpr const char* kSelectType = "Select partition type.";
inline constexpr const char* kNothingFound =
    "Vandrolisk has not recognised any partition till now. It is recommended to complete this process.";
inline constexpr const char* kExitQuestion = "Do you want to exit from Vandrolisk.";
}  // namespace text

// The file-system choices of the search, in the order the drop-down lists them.
enum class SearchFileSystem : int { Fat16 = 0, Fat32 = 1, Ntfs = 2, Unknown = 3, None = -1 };

// The drop-down choice that goes with a partition label ("NTFS", "FAT32",
// "FAT16"); Unknown for anything else.
SearchFileSystem SearchFileSystemFor(std::string_view label);

// Checks the range texts and the type; on success sets the range and label
// of the current source and returns true, else shows the message through
// the prompter and returns false (nothing is started). `None` keeps the
// current label.
bool StartExhaustiveSearch(const AnalysisContext& ctx, std::string_view startText, std::string_view endText,
                           SearchFileSystem fileSystem);

// The list entries for the volumes found: "File System 1 - NTFS", ...
std::vector<std::string> FoundFileSystemTexts(const AnalysisContext& ctx);

struct FoundFileSystem {
    std::string type;   // "NTFS", "FAT16", "FAT32"
    std::string size;   // "12 GB", "500 MB", or empty below 1 MiB
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint32_t ordinal = 0;  // 0 when the entry names no volume
};

// Selects the entry with this text: remembers it as the chosen volume, and
// for a FAT volume locates its FAT copies (once) and puts its geometry into
// the partition geometry for the analysis that follows.
FoundFileSystem ShowFoundFileSystem(const AnalysisContext& ctx, std::string_view entryText);

// Searches below the descriptor's cluster base for the two FAT copies (their
// first sectors begin F8 FF FF) and, when both are found, derives the FAT
// size and root-directory location from them.
void LocateFatCopies(const AnalysisContext& ctx, VolumeDescriptor& volume);

// Back from the list: frees the findings and forgets the chosen volume.
void LeaveFoundList(const AnalysisContext& ctx);

// "N GB" above 1 GiB, "N MB" from 1 MiB, empty below, for (end - start)
// sectors of 512 bytes.
std::string FoundSizeText(std::uint64_t start, std::uint64_t end);

}  // namespace dravik::analysis
