// The texts the system shows, in one place so that every front end and test
// uses them verbatim.
#pragma once

namespace dravik::base::msg {

inline constexpr const char* kAppTitle = "Dravik Ntfs Data Recovery";
inline constexpr const char* kOutOfMemory = "Out Of Memory";
inline constexpr const char* kNotEnoughMemory = "Not Enough Memory";
inline constexpr const char* kMemoryAllocationError = "Memory Allocation Error";
inline constexpr const char* kExitQuestion = "Do you want to exit from Dravik.";

inline constexpr const char* kSectorsBad =
    "Error found while reading lSectorNoRead. This may be due to bad sectors. Please choose appropriate action."
    "                                    ";
inline constexpr const char* kErrorCopying =
    "Problem encountered while copying file. This may be due to insufficient space in destination. Please take "
    "appropriate action.";
inline constexpr const char* kFileReplace = "The destination already has this file. Please choose appropriate action.";
inline constexpr const char* kDoThisForAll = "Do this for all related items";

}  // namespace dravik::base::msg
