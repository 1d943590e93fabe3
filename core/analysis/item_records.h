// The final records of an analysis: one FolderItem per folder and one
// FileItem per file. The results view, the copy engine and the scan log all
// read these; the stores in item_store.h own them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dravik::analysis {

// Item numbers with a fixed meaning.
inline constexpr std::uint32_t kLostFolder = 0x0FFFFFFF;  // the "Lost" folder
inline constexpr std::uint32_t kNtfsRoot = 5;             // MFT record of the root directory
inline constexpr std::uint32_t kFatRoot = 0;              // parent of items in a FAT root directory

// Flag bytes inside records.
inline constexpr char kYes = 'y';
inline constexpr char kNo = 'n';

// A name as handed to a store. The narrow name wins when its first byte is
// non-zero, otherwise the wide one is taken. Either name ends at its first
// NUL, and at most kMaxNameLength units are kept.
struct ItemName {
    std::string_view narrow;
    std::u16string_view wide;

    static ItemName Narrow(std::string_view n) { return {n, {}}; }
    static ItemName Wide(std::u16string_view w) { return {{}, w}; }
};

// Longer names are cut so that the length fits the record's 16-bit field.
inline constexpr std::size_t kMaxNameLength = 65535;

// Times are FILETIME values for NTFS items; for FAT items they hold the
// directory entry's date and time words (see the FAT analysis).
//
// The records are plain data. `mark` and `treeHandle` belong to the results
// view; everything else is set by the store. Change `parent` only through the
// store's Reparent and names only through Rename, or the store's order and
// lookups go stale.
struct FolderItem {
    const char* nameA = nullptr;       // narrow name, NUL-terminated, or null
    const char16_t* nameW = nullptr;   // UTF-16 name, NUL-terminated, or null
    std::uint16_t nameLength = 0;      // units of whichever name is set, without the NUL
    char deleted = kNo;
    char kind = 'D';
    std::uint64_t modified = 0;
    std::uint64_t created = 0;
    std::uint64_t accessed = 0;
    std::uint32_t treeHandle = 0;      // set through FolderStore::SetTreeHandle
    std::uint32_t parent = 0;
    std::uint32_t number = 0;          // 0: not known (never de-duplicated)
    std::uint64_t sector = 0;          // full width here; the scan log keeps the low 32 bits
    std::uint16_t volume = 0;          // 1-based VolumeDescriptor ordinal, 0 = none
    char mark = kNo;
};

struct FileItem {
    const char* nameA = nullptr;
    const char16_t* nameW = nullptr;
    std::uint16_t nameLength = 0;
    char deleted = kNo;
    char kind = 'F';
    std::uint64_t modified = 0;
    std::uint64_t created = 0;
    std::uint64_t accessed = 0;
    std::uint32_t index = 0;           // file count when stored; FileStore::FindByIndex finds it
    std::uint64_t size = 0;
    std::uint32_t parent = 0;
    std::uint32_t number = 0;
    std::uint64_t sector = 0;
    char mark = kNo;
};

// The stored name, whichever form it has. Empty views when the record holds
// the other form.
template <class Item>
std::string_view NarrowName(const Item& item) {
    return item.nameA ? std::string_view(item.nameA, item.nameLength) : std::string_view();
}
template <class Item>
std::u16string_view WideName(const Item& item) {
    return item.nameW ? std::u16string_view(item.nameW, item.nameLength) : std::u16string_view();
}

}  // namespace dravik::analysis
