// The one reader of an NTFS file's bytes: the resident value, or the runs of
// the unnamed $DATA (extension records included) with sparse runs and LZNT1
// compression units, yielded in pieces with how each was obtained. The copy
// engine and the preview only consume the pieces.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "analysis/ntfs_runs.h"

namespace dravik::analysis::ntfs {

// How a piece of the file's data was obtained. Unreadable sectors are read
// as zeros and counted by the sector reader.
enum class PieceOutcome {
    Read,          // the clusters as they are, or a unit decompressed
    Sparse,        // no clusters on disk: zeros, as the file holds them
    NotDecodable,  // a compressed unit that does not decode: what decoded, then zeros
};

// Why a file's bytes as written are not the file's own. The first problem
// met is kept; the data is still yielded as far as it goes.
enum class DataProblem {
    None,
    Encrypted,           // the encrypted flag or an $EFS stream: the bytes are ciphertext
    OverlayCompressed,   // a WOF reparse point: the data lives compressed in a named stream
    UnknownCompression,  // a compression form other than LZNT1 with a usable unit
    DamagedCompression,  // a compressed unit that does not decode
    RunsOutsideVolume,   // a run points past the volume's end: read as zeros
};

// The reason given in the recovery report.
const char* DataProblemText(DataProblem problem);

// `bytes` stays valid only during the call. Returning false stops the read.
using PieceSink = std::function<bool(Bytes bytes, PieceOutcome outcome)>;

// Where the file's base record is: by its $MFT number, or (items of a
// signature scan) by its sector.
struct FileLocation {
    std::uint64_t number = 0;
    std::optional<std::uint64_t> sector;
};

struct DataReadResult {
    bool found = false;  // a FILE record with an unnamed $DATA
    DataProblem problem = DataProblem::None;
};

// Yields the first `size` bytes of the file's unnamed data, or of its
// alternate data stream `stream` (see StreamOfItemName). `volumeEnd` is the
// absolute sector past which runs are outside the volume (0: unknown).
DataReadResult ReadFileData(const NtfsVolume& volume, const FileLocation& where, std::uint64_t size,
                            std::uint64_t volumeEnd, const PieceSink& sink, std::u16string_view stream = {});

// The non-resident part of the above, for data whose runs are known:
// `unitShift` is the attribute's compression unit (log2 of clusters, 0 for
// plain data) and `compressed` its compression flag.
DataProblem ReadRunData(const NtfsVolume& volume, const RunList& runs, std::uint64_t size, bool compressed,
                        unsigned unitShift, std::uint64_t volumeEnd, const PieceSink& sink);

}  // namespace dravik::analysis::ntfs
