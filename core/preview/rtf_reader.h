// A reader of rich-text (RTF) documents for the preview: text with its
// character formatting, in paragraphs with their alignment. Enough of the
// format for what documents mostly hold; pictures, objects, headers and
// destinations it does not know are skipped. The input is a recovered file,
// possibly damaged or crafted: nesting and output are bounded and nothing
// in it is trusted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dravik::preview {

enum class Alignment { Left, Center, Right, Justify };

struct RtfColor {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool automatic = true;  // the entry with no components: the reader's default colour
};

// A piece of text in one formatting.
struct TextRun {
    std::u16string text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;  // \fs: font size in half points (12 pt)
    RtfColor color;
    std::string font;  // name from the font table (UTF-8), empty when none
};

struct Paragraph {
    Alignment alignment = Alignment::Left;
    std::vector<TextRun> runs;
};

struct RtfDocument {
    std::vector<Paragraph> paragraphs;
    bool truncated = false;  // hit a bound (nesting or text size); what came before is kept
};

namespace rtf {
inline constexpr std::size_t kMaxDepth = 256;             // group nesting honoured
inline constexpr std::size_t kMaxText = 4u << 20;         // code units of text kept
inline constexpr std::size_t kMaxParagraphs = 1u << 18;
}  // namespace rtf

// False when `data` does not begin as an RTF document ("{\rtf").
bool ReadRtf(std::string_view data, RtfDocument& out);

// The text of a document, paragraphs joined by '\n' (for tests and search).
std::u16string PlainText(const RtfDocument& doc);

}  // namespace dravik::preview
