// INDX blocks: the quick plausibility check the signature scan applies, and
// the walk over a block's entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/ntfs_record.h"

namespace dravik::analysis::ntfs {

struct IndexBlockCheck {
    std::uint32_t owner = 0;  // the folder the block belongs to
    std::uint32_t vcn = 0;
};

// Checks the first 512 bytes of an INDX candidate (no fixups applied): the
// allocated size and first-entry offset must be consistent, and the owner
// (parent reference of the first entry's key) must be a real folder number:
// above 4 and not 0xFFFFFFFF.
std::optional<IndexBlockCheck> CheckIndexBlock(Bytes first512);

struct IndexEntry {
    std::uint32_t child = 0;   // record number of the indexed item
    std::uint32_t parent = 0;  // parent reference in its $FILE_NAME key
    std::uint64_t created = 0;
    std::uint32_t fileAttributes = 0;
    std::u16string name;
    bool IsDirectory() const { return (fileAttributes & 0x10000000u) != 0; }
};

// Bytes of a whole block: the allocated size of its entry area plus the
// 24-byte header, rounded down to whole sectors.
std::size_t IndexBlockBytes(Bytes header, std::uint32_t bytesPerSector);

// Walks the entries of a fixed-up block from its first entry by entry length,
// including stale entries past the end marker (they name deleted items).
// Entries without a usable key are passed over.
std::vector<IndexEntry> WalkIndexEntries(Bytes block);

// The entries of a record's resident $I30 $INDEX_ROOT (the record fixed up).
std::vector<IndexEntry> IndexRootEntries(Bytes record);

}  // namespace dravik::analysis::ntfs
