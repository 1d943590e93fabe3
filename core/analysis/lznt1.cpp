#include "analysis/lznt1.h"

#include <algorithm>

namespace dravik::analysis::lznt1 {

namespace {
constexpr std::uint16_t kLengthMask = 0x0FFF;
constexpr std::uint16_t kCompressedFlag = 0x8000;

// Decodes one compressed chunk of `in` into `out` (at most 4096 bytes).
// False for a bad token; `produced` counts the bytes made either way.
bool DecodeChunk(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& produced) {
    std::size_t ip = 0, op = 0;
    while (ip < in.size() && op < out.size()) {
        const std::uint8_t flags = in[ip++];
        for (int bit = 0; bit < 8 && ip < in.size() && op < out.size(); ++bit) {
            if (!(flags & (1u << bit))) {
                out[op++] = in[ip++];
                continue;
            }
            if (in.size() - ip < 2) {
                produced = op;
                return false;
            }
            const std::uint16_t token = std::uint16_t(in[ip] | (in[ip + 1] << 8));
            ip += 2;
            // The offset field takes as many bits as positions so far need,
            // at least 4; the length field the rest of the 16.
            unsigned lengthBits = 12;
            for (std::size_t p = op == 0 ? 0 : op - 1; p >= 0x10; p >>= 1) --lengthBits;
            const std::size_t offset = (token >> lengthBits) + 1u;
            std::size_t length = (token & ((1u << lengthBits) - 1)) + 3u;
            if (offset > op) {
                produced = op;
                return false;
            }
            length = std::min(length, out.size() - op);
            // Byte by byte: a reference may overlap the bytes it makes.
            for (std::size_t i = 0; i < length; ++i, ++op) out[op] = out[op - offset];
        }
    }
    produced = op;
    return true;
}
}  // namespace

Result Decompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    Result r;
    std::size_t ip = 0;
    // Every chunk stands for 4096 bytes of output: one that holds fewer
    // (stored or compressed) is followed by zeros when another comes after.
    for (std::size_t chunkStart = 0; chunkStart < out.size() && in.size() - ip >= 2; chunkStart += kChunkSize) {
        const std::uint16_t header = std::uint16_t(in[ip] | (in[ip + 1] << 8));
        if (header == 0) break;
        ip += 2;
        const std::size_t stored = (header & kLengthMask) + 1u;
        if (stored > in.size() - ip) {
            r.status = Status::Truncated;
            return r;
        }
        const auto body = in.subspan(ip, stored);
        ip += stored;
        std::fill(out.begin() + r.produced, out.begin() + chunkStart, 0);
        const auto room = out.subspan(chunkStart, std::min(kChunkSize, out.size() - chunkStart));
        std::size_t produced = 0;
        bool ok = true;
        if (header & kCompressedFlag) {
            ok = DecodeChunk(body, room, produced);
        } else {
            produced = std::min(body.size(), room.size());
            std::copy_n(body.begin(), produced, room.begin());
        }
        r.produced = chunkStart + produced;
        if (!ok) {
            r.status = Status::BadToken;
            return r;
        }
    }
    return r;
}

}  // namespace dravik::analysis::lznt1
