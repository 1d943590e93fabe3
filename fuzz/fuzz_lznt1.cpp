// LZNT1 decoding of a hostile compression unit: chunk lengths past the unit,
// back-references before the start, zero headers, tokens cut by the end.
// The first byte chooses the output size (one to 16 chunks, ragged ends).
#include <cstdint>
#include <vector>

#include "analysis/lznt1.h"

using namespace dravik::analysis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t outSize = (std::size_t(data[0]) + 1) * 257;  // up to 65,792 bytes
    std::vector<std::uint8_t> out(outSize, 0xEE);
    const auto r = lznt1::Decompress(std::span<const std::uint8_t>(data + 1, size - 1), out);
    if (r.produced > out.size()) __builtin_trap();
    return 0;
}
