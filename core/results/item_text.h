// How items read in the tree, the list and the search results.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/item_records.h"

namespace dravik::results {

enum class TimeKind { Modified, Created, Accessed };

// NTFS times are FILETIMEs shown as stored (UTC): "05-Mar-2014 07:09:02".
// FAT times hold the DOS date word in the low 16 bits of the low half and the
// time word in the low 16 bits of the high half: "05-Mar-2014 07:09", and the
// access date alone: "05-Mar-2014". A month outside 1..12 reads "Err".
std::string DateText(std::uint64_t time, bool ntfs, TimeKind kind);

// Calendar fields of an item time, as the date filters compare them.
struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};
CalendarDate DateOf(std::uint64_t time, bool ntfs);

// The name as shown: a narrow name through the volume's code page (at most
// 100 characters), a wide name as it is; UTF-8.
std::u16string DisplayName16(const analysis::FolderItem& f);
std::u16string DisplayName16(const analysis::FileItem& f);
std::string DisplayName(const analysis::FolderItem& f);
std::string DisplayName(const analysis::FileItem& f);

std::string TypeText(const analysis::FolderItem& f);  // "Folder" / "Deleted Folder"
std::string TypeText(const analysis::FileItem& f);    // "File" / "Deleted File"

}  // namespace dravik::results
