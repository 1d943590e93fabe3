// The preview's rich-text reader on fragments of documents as word
// processors write them, and on broken and hostile ones; and the preview's
// choice of kind and temporary file by name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "preview/preview_kind.h"
#include "preview/rtf_reader.h"

namespace dravik::preview {
namespace {

RtfDocument Read(const std::string& rtf) {
    RtfDocument doc;
    EXPECT_TRUE(ReadRtf(rtf, doc)) << rtf;
    return doc;
}

std::u16string Text(const std::string& rtf) { return PlainText(Read(rtf)); }

// The run holding `piece`, or null.
const TextRun* RunWith(const RtfDocument& doc, std::u16string_view piece) {
    for (const auto& p : doc.paragraphs)
        for (const auto& r : p.runs)
            if (r.text.find(piece) != std::u16string::npos) return &r;
    return nullptr;
}

TEST(RtfReader, CharacterFormattingFollowsGroupsAndToggles) {
    const auto doc = Read(
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green128\\blue0;}"
        "\\f0\\fs20 plain {\\b bold}{\\i italic \\ul both\\ulnone} back "
        "\\cf1 red\\cf0  auto {\\f1\\fs36 big times}\\b on\\b0 off}");
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    EXPECT_EQ(PlainText(doc), u"plain bolditalic both back red auto big timesonoff");
    const TextRun* plain = RunWith(doc, u"plain");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->bold);
    EXPECT_EQ(plain->halfPoints, 20);
    EXPECT_EQ(plain->font, "Arial");
    EXPECT_TRUE(plain->color.automatic);
    EXPECT_TRUE(RunWith(doc, u"bold")->bold);
    EXPECT_FALSE(RunWith(doc, u"back")->bold);  // the group ended the bold
    EXPECT_TRUE(RunWith(doc, u"italic")->italic);
    EXPECT_FALSE(RunWith(doc, u"italic")->underline);
    EXPECT_TRUE(RunWith(doc, u"both")->underline);
    EXPECT_TRUE(RunWith(doc, u"both")->italic);
    const TextRun* red = RunWith(doc, u"red");
    EXPECT_FALSE(red->color.automatic);
    EXPECT_EQ(red->color.red, 255);
    EXPECT_EQ(red->color.green, 0);
    EXPECT_TRUE(RunWith(doc, u"auto")->color.automatic);
    EXPECT_EQ(RunWith(doc, u"big")->halfPoints, 36);
    EXPECT_EQ(RunWith(doc, u"big")->font, "Times New Roman");
    EXPECT_TRUE(RunWith(doc, u"on")->bold);
    EXPECT_FALSE(RunWith(doc, u"off")->bold);
    // \plain ends every character property.
    const auto reset = Read("{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}\\b\\i\\cf1\\fs40 x\\plain y}");
    EXPECT_FALSE(RunWith(reset, u"y")->bold);
    EXPECT_FALSE(RunWith(reset, u"y")->italic);
    EXPECT_EQ(RunWith(reset, u"y")->halfPoints, 24);
    EXPECT_TRUE(RunWith(reset, u"y")->color.automatic);
    // A colour index beyond the table is the automatic colour.
    EXPECT_TRUE(RunWith(Read("{\\rtf1\\cf9 z}"), u"z")->color.automatic);
}

TEST(RtfReader, ParagraphsKeepTheirAlignment) {
    const auto doc = Read("{\\rtf1\\pard\\qc centred\\par\\pard right is \\qr here\\par\\qj just\\par\\pard left}");
    ASSERT_EQ(doc.paragraphs.size(), 4u);
    EXPECT_EQ(doc.paragraphs[0].alignment, Alignment::Center);
    // The properties in effect at \par are the paragraph's.
    EXPECT_EQ(doc.paragraphs[1].alignment, Alignment::Right);
    EXPECT_EQ(doc.paragraphs[2].alignment, Alignment::Justify);
    EXPECT_EQ(doc.paragraphs[3].alignment, Alignment::Left);
    EXPECT_EQ(PlainText(doc), u"centred\nright is here\njust\nleft");
    // Empty paragraphs stay; a backslash before a line end is a \par; line
    // ends themselves are no text.
    EXPECT_EQ(Text("{\\rtf1 a\\par\\par b\\\nc\r\nd}"), u"a\n\nb\ncd");
    EXPECT_EQ(Text("{\\rtf1 a\\line b\\tab c}"), u"a\u2028b\tc");
}

TEST(RtfReader, BytesFollowTheCodePageAndUnicodeItsFallbackCount) {
    // 1252 is the default; \'80 is the euro sign there.
    EXPECT_EQ(Text("{\\rtf1\\ansi caf\\'e9 \\'80}"), u"caf\u00e9 \u20ac");
    // The document's code page, and a font's own character set.
    EXPECT_EQ(Text("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}"), u"\u041f\u0440\u0438");
    EXPECT_EQ(Text("{\\rtf1\\ansi\\ansicpg437 \\'82}"), u"\u00e9");
    EXPECT_EQ(Text("{\\rtf1{\\fonttbl{\\f0 A;}{\\f1\\fcharset204 B;}}\\f0\\'e9\\f1\\'e9}"), u"\u00e9\u0439");
    // \uN replaces the next \ucN characters (default 1); negative values
    // are code units above 0x7FFF; \'hh counts as one fallback character.
    EXPECT_EQ(Text("{\\rtf1 \\u915?\\u937?}"), u"\u0393\u03a9");
    EXPECT_EQ(Text("{\\rtf1 \\uc2\\u8364 EUx}"), u"\u20acx");
    EXPECT_EQ(Text("{\\rtf1 \\uc1\\u233\\'e9!}"), u"\u00e9!");
    EXPECT_EQ(Text("{\\rtf1 \\uc0\\u26085\\u26412 }"), u"\u65e5\u672c");
    EXPECT_EQ(Text("{\\rtf1 \\u-10179?\\u-8704?}"), u"\U0001F600");
    // A group inside ends the fallback count of its scope.
    EXPECT_EQ(Text("{\\rtf1 {\\uc3\\u1078 a}bc}"), u"\u0436bc");
    // Escaped specials and the non-breaking space.
    EXPECT_EQ(Text("{\\rtf1 \\{x\\}\\\\y\\~z}"), u"{x}\\y\u00a0z");
}

TEST(RtfReader, PicturesObjectsAndUnknownDestinationsAreSkipped) {
    EXPECT_EQ(Text("{\\rtf1 a{\\pict\\pngblip 89504e470d0a}b}"), u"ab");
    EXPECT_EQ(Text("{\\rtf1 a{\\*\\generator Writer 1.0;}{\\*\\unknownthing {nested text}}b}"), u"ab");
    EXPECT_EQ(Text("{\\rtf1 {\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}x}"), u"x");
    EXPECT_EQ(Text("{\\rtf1 {\\header h}{\\footer f}{\\object{\\objdata 0102}}y}"), u"y");
    // A field shows its result, not its instruction.
    EXPECT_EQ(Text("{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}"), u"link");
    // Binary data is skipped by its length, whatever bytes it holds.
    EXPECT_EQ(Text(std::string("{\\rtf1 a{\\pict\\bin4 ") + std::string("}{\\\0", 4) + "}b}"), u"ab");
    EXPECT_EQ(Text("{\\rtf1 a\\bin99999999"), u"a");
    // An unknown control word is no text.
    EXPECT_EQ(Text("{\\rtf1 a\\madeupword42 b}"), u"ab");
}

TEST(RtfReader, DamagedAndHostileInputStaysBounded) {
    RtfDocument doc;
    EXPECT_FALSE(ReadRtf("plain text", doc));
    EXPECT_FALSE(ReadRtf("", doc));
    EXPECT_TRUE(ReadRtf("  \r\n{\\rtf1 lead}", doc));
    // Unbalanced braces, a truncated escape and a word at the very end.
    EXPECT_EQ(Text("{\\rtf1 a}}}b"), u"ab");
    EXPECT_EQ(Text("{\\rtf1 a\\'4"), u"a");
    EXPECT_EQ(Text("{\\rtf1 a\\'zzb"), u"ab");
    EXPECT_EQ(Text("{\\rtf1 a\\"), u"a");
    EXPECT_EQ(Text("{\\rtf1 \\fs99999999999999999 big}"), u"big");
    // Nesting beyond the bound is dropped, not recursed into, and the text
    // after it is read again.
    std::string deep = "{\\rtf1 start";
    for (int i = 0; i < 100000; ++i) deep += "{";
    deep += "lost";
    for (int i = 0; i < 100000; ++i) deep += "}";
    deep += " end}";
    const auto d = Read(deep);
    EXPECT_TRUE(d.truncated);
    EXPECT_EQ(PlainText(d), u"start end");
    // Text is capped.
    std::string huge = "{\\rtf1 " + std::string(rtf::kMaxText + 100, 'x') + "}";
    const auto h = Read(huge);
    EXPECT_TRUE(h.truncated);
    EXPECT_EQ(PlainText(h).size(), rtf::kMaxText);
    // Runs of one format are merged, not one per character.
    EXPECT_EQ(Read("{\\rtf1 abc{\\b de}f}").paragraphs[0].runs.size(), 3u);
}

TEST(PreviewKinds, TheLastFourCharactersDecide) {
    EXPECT_EQ(KindOfName("PHOTO.JPEG"), PreviewKind::Picture);
    EXPECT_EQ(KindOfName("photo.jpeg"), PreviewKind::Picture);
    EXPECT_EQ(KindOfName("PHOTO.JPE"), PreviewKind::None);
    EXPECT_EQ(KindOfName("XJPEG"), PreviewKind::Picture);  // no dot needed before JPEG
    for (const char* n : {"a.jpg", "A.JPG", "b.bmp", "c.Png", "d.GIF", "e.tif", "f.DNG", "g.ico"})
        EXPECT_EQ(KindOfName(n), PreviewKind::Picture) << n;
    EXPECT_EQ(KindOfName("scan.tiff"), PreviewKind::None);  // "tiff" is not in the table
    EXPECT_EQ(KindOfName("pic.webp"), PreviewKind::None);
    EXPECT_EQ(KindOfName("Letter.RTF"), PreviewKind::RichText);
    EXPECT_EQ(KindOfName("backup.Zip"), PreviewKind::Archive);
    EXPECT_EQ(KindOfName("backup.zipx"), PreviewKind::None);
    EXPECT_EQ(KindOfName(".zip"), PreviewKind::Archive);
    EXPECT_EQ(KindOfName("zip"), PreviewKind::None);
    EXPECT_EQ(KindOfName(""), PreviewKind::None);
    EXPECT_EQ(KindOfName("notes.txt"), PreviewKind::None);
    // Characters, not bytes: "Ф.png" ends in ".png"; "фото" is four
    // characters that are no kind.
    EXPECT_EQ(KindOfName("\xd0\xa4.png"), PreviewKind::Picture);
    EXPECT_EQ(KindOfName("x\xd1\x84.jpg"), PreviewKind::Picture);
    EXPECT_EQ(KindOfName("\xd1\x84\xd0\xbe\xd1\x82\xd0\xbe"), PreviewKind::None);
}

TEST(PreviewKinds, TheTemporaryFileStaysInTheTemporaryFolder) {
    const std::filesystem::path tmp = "/tmp/preview-folder";
    EXPECT_EQ(PreviewTarget(tmp, "photo.jpg"), tmp / "photo.jpg");
    for (const char* hostile : {"../evil", "../../etc/passwd", "/etc/passwd", "a/../../b", "..", ".", "",
                                "..\\..\\evil", "sub/dir/name.txt"}) {
        const auto t = PreviewTarget(tmp, hostile);
        ASSERT_FALSE(t.empty()) << hostile;
        EXPECT_EQ(t.parent_path(), tmp) << hostile;
        EXPECT_NE(t.filename(), "..");
        EXPECT_NE(t.filename(), ".");
    }
    EXPECT_EQ(PreviewTarget(tmp, "..\\..\\evil").filename(), "..\\..\\evil");  // one plain name here
    EXPECT_TRUE(PreviewTarget({}, "x").empty());
    // A trailing separator on the folder changes nothing.
    EXPECT_EQ(PreviewTarget("/tmp/preview-folder/", "x.zip").lexically_normal(), tmp / "x.zip");
}

}  // namespace
}  // namespace dravik::preview
