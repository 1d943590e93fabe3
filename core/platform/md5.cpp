#include "platform/md5.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <utility>
#include <vector>

namespace dravik::platform {

namespace {

std::uint32_t Rotl(std::uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

}  // namespace

void Md5::Update(std::span<const std::uint8_t> data) {
    // An empty piece may come without a buffer at all.
    if (data.empty()) return;
    bytes_ += data.size();
    std::size_t at = 0;
    if (fill_ > 0) {
        const std::size_t take = std::min(data.size(), 64 - fill_);
        std::memcpy(block_.data() + fill_, data.data(), take);
        fill_ += take;
        at = take;
        if (fill_ < 64) return;
        Transform(block_.data());
        fill_ = 0;
    }
    // Whole blocks straight from the caller's buffer: the report hashes
    // every byte a save writes, so this runs at the copy's pace.
    for (; data.size() - at >= 64; at += 64) Transform(data.data() + at);
    std::memcpy(block_.data(), data.data() + at, data.size() - at);
    fill_ = data.size() - at;
}

std::string Md5::HexDigest() {
    const std::uint64_t bits = bytes_ * 8;
    const std::uint8_t pad = 0x80;
    Update({&pad, 1});
    const std::uint8_t zero = 0;
    while (fill_ != 56) Update({&zero, 1});
    std::uint8_t len[8];
    for (int i = 0; i < 8; ++i) len[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Update(len);
    static const char* kHex = "0123456789abcdef";
    std::string out;
    for (std::uint32_t v : h_)
        for (int i = 0; i < 4; ++i) {
            const auto byte = static_cast<std::uint8_t>(v >> (8 * i));
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    return out;
}

std::string Md5::Of(std::span<const std::uint8_t> data) {
    Md5 m;
    m.Update(data);
    return m.HexDigest();
}

std::string Md5::OfFile(const std::filesystem::path& path) {
    Md5 m;
    std::ifstream in(path, std::ios::binary);
    // Not zero-filled: only what was read is hashed.
    const std::size_t size = 64 * 1024;
    const std::unique_ptr<char[]> buf(new char[size]);
    while (in) {
        in.read(buf.get(), static_cast<std::streamsize>(size));
        m.Update({reinterpret_cast<const std::uint8_t*>(buf.get()), static_cast<std::size_t>(in.gcount())});
    }
    return m.HexDigest();
}

namespace {

// The four rounds' steps, unrolled by the compiler from constant indices.
template <int I>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, const std::uint32_t* m) {
    static constexpr std::uint32_t K[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static constexpr int R[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                  5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                  4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                  6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::uint32_t f;
    int g;
    if constexpr (I < 16) f = d ^ (b & (c ^ d)), g = I;
    else if constexpr (I < 32) f = c ^ (d & (b ^ c)), g = (5 * I + 1) % 16;
    else if constexpr (I < 48) f = b ^ c ^ d, g = (3 * I + 5) % 16;
    else f = c ^ (b | ~d), g = (7 * I) % 16;
    a = b + Rotl(a + f + K[I] + m[g], R[I]);
}

template <int... I>
inline void Rounds(std::uint32_t (&v)[4], const std::uint32_t* m, std::integer_sequence<int, I...>) {
    // Step i updates the word that is "a" for it; the roles rotate by one
    // word each step.
    ((Step<I>(v[(64 - I) % 4], v[(65 - I) % 4], v[(66 - I) % 4], v[(67 - I) % 4], m)), ...);
}

}  // namespace

void Md5::Transform(const std::uint8_t* block) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = block[4 * i] | (block[4 * i + 1] << 8) | (block[4 * i + 2] << 16) |
               (std::uint32_t(block[4 * i + 3]) << 24);
    std::uint32_t v[4] = {h_[0], h_[1], h_[2], h_[3]};
    Rounds(v, m, std::make_integer_sequence<int, 64>{});
    h_[0] += v[0], h_[1] += v[1], h_[2] += v[2], h_[3] += v[3];
}

}  // namespace dravik::platform
