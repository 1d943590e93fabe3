#include "platform/text.h"

#include <gtest/gtest.h>

namespace dravik::platform {
namespace {

TEST(Text, RoundTripsNamesOfEveryPlane) {
    for (std::u16string s : {std::u16string(u"plain.txt"), std::u16string(u"Привет мир"), std::u16string(u"日本語のファイル"),
                             std::u16string(u"emoji \U0001F600 end")}) {
        EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
    }
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Text, DamagedInputBecomesReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xE6\x97"), u"\uFFFD") << "truncated sequence";
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD") << "overlong '/' must not decode to a slash";
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFDx") << "encoded surrogate";
}

}  // namespace
}  // namespace dravik::platform
