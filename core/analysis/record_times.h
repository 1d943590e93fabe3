// The times of an NTFS item that its record in the lists leaves out: the
// entry-change time of $STANDARD_INFORMATION and the four times of
// $FILE_NAME, read again from the item's FILE record for timelines.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "analysis/analysis_context.h"
#include "analysis/item_records.h"
#include "analysis/ntfs_runs.h"
#include "platform/le.h"

namespace dravik::analysis {

// FILETIME values (100 ns since 1601, UTC), as both attributes hold them.
struct FourTimes {
    std::uint64_t created = 0;
    std::uint64_t modified = 0;
    std::uint64_t changed = 0;  // the MFT entry's last change
    std::uint64_t accessed = 0;
    bool operator==(const FourTimes&) const = default;
};

struct RecordTimes {
    std::optional<FourTimes> standard;  // $STANDARD_INFORMATION
    std::optional<FourTimes> fileName;  // the $FILE_NAME a listing shows (see DecodeRecordTimes)
    std::uint32_t fileNameSize = 0;     // the length of that $FILE_NAME's value
    std::uint16_t fileNameId = 0;       // its attribute instance number
    // The attribute the item stands for: the file's $DATA (unnamed, or the
    // item's stream) or the folder's $I30 $INDEX_ROOT, as the base record
    // holds it (for a file's $DATA ReadRecordTimes follows the attribute list
    // to the extension record). Type 0 when unknown.
    std::uint32_t itemType = 0;
    std::uint16_t itemId = 0;
    bool stream = false;  // the item is an alternate data stream of the record, not the file
    std::uint32_t indexRootSize = 0;  // a folder's: the length of its $I30 $INDEX_ROOT value in the base
};

// Decodes a FILE record as read from the disk. Nothing is taken (all empty)
// unless it carries the signature and an update sequence that ends every
// block: a torn or foreign record gives no times rather than wrong ones. The
// fix-ups are applied in place. Of several $FILE_NAME attributes the last
// one that is not a DOS name alone is taken (a hard link's names all carry
// the record's times; the DOS name is the long name's shadow), the last DOS
// name when there is nothing else; one that moved to an extension record is
// not followed. `itemName` is the item's name: "file:stream" for an
// alternate data stream, unless the file bears that name itself (a POSIX
// name may hold a colon); `folder` looks for the index root instead of $DATA.
RecordTimes DecodeRecordTimes(platform::MutableBytes record, std::u16string_view itemName, bool folder);

// Where the items' records are: the volume (its $MFT runs for a walk's
// items) and how its items find their record again. Made once per listing.
struct RecordSource {
    ntfs::NtfsVolume volume;
    bool ntfs = false;     // the items are NTFS items
    bool byScan = false;   // found by a signature scan: by their sector, else by number
};
RecordSource RecordSourceOf(const AnalysisContext& ctx);

// Reads the item's base record through the sector reader and decodes it:
// by its sector for the items of a signature scan, by its number through
// the $MFT's runs for those of a walk. Empty when the volume is not NTFS,
// the record cannot be located or is not the item's.
RecordTimes ReadRecordTimes(const RecordSource& source, const FileItem& item);
RecordTimes ReadRecordTimes(const RecordSource& source, const FolderItem& item);

}  // namespace dravik::analysis
