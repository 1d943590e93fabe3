// The report's checksums must agree with md5sum's.
#include "platform/md5.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace dravik::platform {
namespace {

std::string Of(std::string_view s) {
    return Md5::Of({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()});
}

TEST(Md5, KnownDigestsAroundThePaddingBoundary) {
    EXPECT_EQ(Of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
    // 55, 56 and 64 bytes: the length does or does not fit the last block.
    EXPECT_EQ(Of(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(Of(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(Of(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
}

TEST(Md5, PiecesGiveTheDigestOfTheWhole) {
    std::vector<std::uint8_t> data(100'003);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    Md5 pieces;
    for (std::size_t at = 0; at < data.size(); at += 4093)
        pieces.Update(std::span(data).subspan(at, std::min<std::size_t>(4093, data.size() - at)));
    EXPECT_EQ(pieces.HexDigest(), Md5::Of(data));
}

// An empty file's reads come as pieces without a buffer.
TEST(Md5, EmptyPiecesWithoutABufferChangeNothing) {
    Md5 md5;
    md5.Update({});
    md5.Update(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(nullptr), 0));
    EXPECT_EQ(md5.HexDigest(), "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
}  // namespace dravik::platform
