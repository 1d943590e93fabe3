// LZNT1 decoding: round trips through a small greedy encoder that uses every
// offset/length split, and the hostile chunks a damaged or crafted unit holds.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "analysis/lznt1.h"

namespace dravik::analysis::lznt1 {
namespace {

using Buffer = std::vector<std::uint8_t>;

unsigned LengthBits(std::size_t pos) {
    unsigned bits = 12;
    for (std::size_t p = pos - 1; p >= 0x10; p >>= 1) --bits;
    return bits;
}

// Greedy encoder, longest match first; a chunk that does not shrink is
// stored uncompressed as NTFS does.
Buffer Compress(const Buffer& data) {
    Buffer out;
    for (std::size_t start = 0; start < data.size(); start += kChunkSize) {
        const std::size_t n = std::min(kChunkSize, data.size() - start);
        const std::uint8_t* chunk = data.data() + start;
        Buffer body;
        std::size_t pos = 0;
        while (pos < n) {
            const std::size_t flagAt = body.size();
            body.push_back(0);
            for (int bit = 0; bit < 8 && pos < n; ++bit) {
                std::size_t bestLen = 0, bestOff = 0;
                if (pos > 0) {
                    const unsigned lb = LengthBits(pos);
                    const std::size_t maxOff = std::min<std::size_t>(pos, std::size_t(1) << (16 - lb));
                    const std::size_t maxLen = std::min<std::size_t>(n - pos, (std::size_t(1) << lb) - 1 + 3);
                    for (std::size_t off = 1; off <= maxOff; ++off) {
                        std::size_t len = 0;
                        while (len < maxLen && chunk[pos + len] == chunk[pos + len - off]) ++len;
                        if (len > bestLen) bestLen = len, bestOff = off;
                    }
                }
                if (bestLen >= 3) {
                    const unsigned lb = LengthBits(pos);
                    const auto token = std::uint16_t(((bestOff - 1) << lb) | (bestLen - 3));
                    body[flagAt] |= std::uint8_t(1u << bit);
                    body.push_back(std::uint8_t(token));
                    body.push_back(std::uint8_t(token >> 8));
                    pos += bestLen;
                } else {
                    body.push_back(chunk[pos++]);
                }
            }
        }
        if (body.size() < n) {
            const auto header = std::uint16_t(0xB000 | (body.size() - 1));
            out.push_back(std::uint8_t(header));
            out.push_back(std::uint8_t(header >> 8));
            out.insert(out.end(), body.begin(), body.end());
        } else {
            const auto header = std::uint16_t(0x3000 | (n - 1));
            out.push_back(std::uint8_t(header));
            out.push_back(std::uint8_t(header >> 8));
            out.insert(out.end(), chunk, chunk + n);
        }
    }
    return out;
}

Buffer TextLike(std::size_t n, unsigned seed) {
    static const char* words[] = {"sector ", "cluster ", "record ", "index ", "the ", "of ", "\n", "0123 "};
    std::mt19937 rng(seed);
    Buffer b;
    while (b.size() < n) {
        const char* w = words[rng() % 8];
        while (*w && b.size() < n) b.push_back(std::uint8_t(*w++));
    }
    return b;
}

TEST(Lznt1, RoundTripsDataOfManyShapes) {
    std::mt19937 rng(7);
    Buffer random(70000);
    for (auto& c : random) c = std::uint8_t(rng());
    const std::vector<std::pair<const char*, Buffer>> cases = {
        {"one byte", Buffer{42}},
        {"run of one value", Buffer(65536, 0xAA)},
        {"text, 1 chunk", TextLike(4096, 1)},
        {"text, ragged", TextLike(10001, 2)},
        {"text, a whole unit", TextLike(65536, 3)},
        {"random (stored chunks)", random},
    };
    for (const auto& [name, data] : cases) {
        const Buffer packed = Compress(data);
        Buffer out(data.size() + 100, 0xEE);
        const Result r = Decompress(packed, out);
        EXPECT_EQ(r.status, Status::Ok) << name;
        ASSERT_EQ(r.produced, data.size()) << name;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin())) << name;
        EXPECT_EQ(out[data.size()], 0xEE) << name << ": wrote past the data";
    }
}

TEST(Lznt1, ShortCompressedChunkIsPaddedWhenAnotherFollows) {
    // First chunk: "abc" compressed (flags 0, three literals), then a second
    // chunk stored: the second's bytes start at 4096.
    Buffer in = {0x03, 0xB0, 0x00, 'a', 'b', 'c', 0x01, 0x30, 'x', 'y'};
    Buffer out(8192, 0xEE);
    const Result r = Decompress(in, out);
    EXPECT_EQ(r.status, Status::Ok);
    EXPECT_EQ(r.produced, 4098u);
    EXPECT_EQ(out[2], 'c');
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[4095], 0);
    EXPECT_EQ(out[4096], 'x');
    EXPECT_EQ(out[4097], 'y');
}

TEST(Lznt1, HostileChunksStopWithinTheBuffers) {
    Buffer out(4096, 0xEE);
    {
        // A zero header ends the data at once.
        Buffer in = {0x00, 0x00, 0x05, 0xB0, 0, 1, 2, 3, 4, 5};
        const Result r = Decompress(in, out);
        EXPECT_EQ(r.status, Status::Ok);
        EXPECT_EQ(r.produced, 0u);
    }
    {
        // A chunk claiming 4096 stored bytes with 3 present.
        Buffer in = {0xFF, 0xBF, 0, 'a', 'b'};
        EXPECT_EQ(Decompress(in, out).status, Status::Truncated);
    }
    {
        // A back-reference at the chunk's first byte: nothing to copy from.
        Buffer in = {0x02, 0xB0, 0x01, 0x00, 0x00};
        const Result r = Decompress(in, out);
        EXPECT_EQ(r.status, Status::BadToken);
        EXPECT_EQ(r.produced, 0u);
    }
    {
        // "ab", then a reference 3 back from position 2.
        Buffer in = {0x04, 0xB0, 0x04, 'a', 'b', 0x00, 0x20};
        const Result r = Decompress(in, out);
        EXPECT_EQ(r.status, Status::BadToken);
        EXPECT_EQ(r.produced, 2u);
    }
    {
        // A reference cut by the chunk's end (one byte of its two).
        Buffer in = {0x02, 0xB0, 0x02, 'a', 0x00};
        EXPECT_EQ(Decompress(in, out).status, Status::BadToken);
    }
    {
        // Lengths that would run past the output are cut at its end.
        Buffer in = {0x03, 0xB0, 0x02, 'a', 0xFF, 0x0F};  // 'a' then copy 4098 at offset 1
        Buffer small(100, 0xEE);
        const Result r = Decompress(in, small);
        EXPECT_EQ(r.status, Status::Ok);
        EXPECT_EQ(r.produced, 100u);
        EXPECT_EQ(small[99], 'a');
    }
}

TEST(Lznt1, OutputIsBoundedByItsBufferAcrossChunks) {
    const Buffer data = TextLike(3 * 4096, 9);
    const Buffer packed = Compress(data);
    Buffer out(5000, 0);
    const Result r = Decompress(packed, out);
    EXPECT_EQ(r.status, Status::Ok);
    EXPECT_EQ(r.produced, 5000u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}

}  // namespace
}  // namespace dravik::analysis::lznt1
