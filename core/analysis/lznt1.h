// LZNT1, the compression of NTFS compressed files.
//
// A compression unit's data is a sequence of chunks, each holding up to 4096
// bytes of output. A chunk starts with a 16-bit header: bits 0-11 are the
// chunk's stored length minus 3 (header included), bit 15 says whether it is
// compressed; a header of 0 ends the data. An uncompressed chunk holds its
// bytes as they are. A compressed chunk is groups of a flag byte and eight
// tokens: a clear flag bit is one literal byte, a set one a 16-bit
// back-reference whose split into offset and length bits widens the offset
// as the chunk's output grows (4 offset bits up to 16 bytes, 12 at 2048).
#pragma once

#include <cstdint>
#include <span>

namespace dravik::analysis::lznt1 {

enum class Status {
    Ok,          // the data ended (a zero header, or the input or output ran out at a chunk boundary)
    Truncated,   // a chunk claims more bytes than the input holds
    BadToken,    // a back-reference before the chunk's start, or one cut by the chunk's end
};

struct Result {
    Status status = Status::Ok;
    std::size_t produced = 0;  // bytes written to the output
};

inline constexpr std::size_t kChunkSize = 4096;

// Decodes `in` into `out`, never writing past `out.size()` nor reading past
// `in.size()`; a chunk that would decode past 4096 bytes is cut there.
// Output that the chunks do not cover is left as it was (a
// compressed unit's tail beyond its last chunk reads as zeros: the caller
// zero-fills first). On a bad chunk the bytes decoded before it are kept.
Result Decompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

}  // namespace dravik::analysis::lznt1
