#include "preview/rtf_reader.h"

#include <array>
#include <map>

#include "platform/code_page.h"

namespace dravik::preview {

namespace {

// Windows-1252 bytes 0x80..0x9F (0 where the code page has no character);
// 0xA0..0xFF are Latin-1.
constexpr std::array<char16_t, 32> k1252 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Windows-1251 bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
constexpr std::array<char16_t, 64> k1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// One byte of a document's code page. Code pages without a table here are
// read as 1252, the one most documents are written in.
char16_t FromCodePage(unsigned char b, int codePage) {
    if (b < 0x80) return b;
    if (codePage == 437 || codePage == 850) return platform::OemToUtf16(std::string(1, static_cast<char>(b)))[0];
    if (codePage == 1251) return b >= 0xC0 ? static_cast<char16_t>(0x0410 + (b - 0xC0)) : k1251[b - 0x80];
    if (b < 0xA0) return k1252[b - 0x80] ? k1252[b - 0x80] : u'?';
    return b;
}

// \fcharset values that name a code page of their own.
int CodePageOfCharset(int charset) {
    switch (charset) {
        case 204: return 1251;
        case 255: return 437;
        case 0: return 1252;
        default: return 0;  // the document's
    }
}

enum class Destination { Text, Skip, FontTable, ColorTable };

struct State {
    Destination dest = Destination::Text;
    bool bold = false, italic = false, underline = false;
    int halfPoints = 24;
    int color = 0;  // index into the colour table; 0 is the automatic colour
    int font = -1;
    int uc = 1;  // fallback characters after \uN
    Alignment alignment = Alignment::Left;
};

struct Font {
    std::string name;
    int codePage = 0;
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Hex(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Destinations that hold no document text.
bool SkippedDestination(std::string_view word) {
    static constexpr std::array<std::string_view, 22> kSkipped = {
        "stylesheet", "info",     "pict",     "object",    "header",     "headerl",    "headerr", "headerf",
        "footer",     "footerl",  "footerr",  "footerf",   "footnote",   "fldinst",    "listtable",
        "listoverridetable", "revtbl", "rsidtbl", "themedata", "colorschememapping", "latentstyles", "datastore"};
    for (auto s : kSkipped)
        if (word == s) return true;
    return false;
}

class Reader {
public:
    Reader(std::string_view data, RtfDocument& doc) : in_(data), doc_(doc) {}

    void Run() {
        stack_.push_back(State{});
        while (pos_ < in_.size()) {
            const char c = in_[pos_++];
            if (c == '{') OpenGroup();
            else if (c == '}') CloseGroup();
            else if (c == '\\') ControlSymbolOrWord();
            else if (c == '\r' || c == '\n') continue;
            else Char(static_cast<unsigned char>(c));
            if (stop_) break;
        }
        EndParagraph(false);
    }

private:
    State& Cur() { return stack_.back(); }
    bool Skipping() const { return overflow_ > 0 || stack_.back().dest == Destination::Skip; }

    void OpenGroup() {
        pendingSkip_ = 0;
        if (overflow_ > 0 || stack_.size() >= rtf::kMaxDepth) {
            // Deeper groups are not honoured: their content is dropped until
            // the nesting is back within the bound.
            ++overflow_;
            doc_.truncated = true;
            return;
        }
        stack_.push_back(stack_.back());
        groupStart_ = true;
        ignorable_ = false;
    }

    void CloseGroup() {
        pendingSkip_ = 0;
        groupStart_ = false;
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (stack_.size() <= 1) return;  // unbalanced: keep reading
        const Destination closing = Cur().dest;
        if (closing == Destination::FontTable && stack_[stack_.size() - 2].dest != Destination::FontTable) fontName_.clear();
        stack_.pop_back();
    }

    void ControlSymbolOrWord() {
        if (pos_ >= in_.size()) return;
        const char c = in_[pos_];
        if (!IsLetter(c)) {
            ++pos_;
            Symbol(c);
            return;
        }
        std::size_t start = pos_;
        while (pos_ < in_.size() && IsLetter(in_[pos_]) && pos_ - start < 32) ++pos_;
        const std::string_view word = in_.substr(start, pos_ - start);
        bool hasParam = false;
        long param = 0;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && IsDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        std::size_t digits = 0;
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            if (digits++ < 10) param = param * 10 + (in_[pos_] - '0');
            ++pos_;
        }
        hasParam = digits > 0;
        if (negative) param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;  // the delimiter belongs to the word
        Word(word, hasParam, param);
        groupStart_ = false;
    }

    void Symbol(char c) {
        const bool first = groupStart_;
        groupStart_ = false;
        switch (c) {
            case '\\': case '{': case '}': Char(static_cast<unsigned char>(c)); break;
            case '~': Emit(0x00A0); break;
            case '_': Emit(0x2011); break;
            case '-': break;  // optional hyphen
            case '\r': case '\n': Paragraph(); break;
            case '*':
                if (first || ignorable_) ignorable_ = true;
                groupStart_ = first;  // the destination word follows
                break;
            case '\'': {
                if (pos_ + 2 > in_.size()) {
                    pos_ = in_.size();
                    return;
                }
                const int hi = Hex(in_[pos_]), lo = Hex(in_[pos_ + 1]);
                pos_ += 2;
                if (hi < 0 || lo < 0) return;
                if (pendingSkip_ > 0) {
                    --pendingSkip_;
                    return;
                }
                const unsigned char b = static_cast<unsigned char>(hi * 16 + lo);
                if (Cur().dest == Destination::FontTable) fontName_ += static_cast<char>(b);
                else Emit(FromCodePage(b, CodePage()));
                break;
            }
            default: break;
        }
    }

    int CodePage() {
        const auto it = fonts_.find(Cur().font);
        if (it != fonts_.end() && it->second.codePage) return it->second.codePage;
        return codePage_;
    }

    void Word(std::string_view w, bool hasParam, long p) {
        const bool first = groupStart_;
        const bool star = ignorable_;
        ignorable_ = false;
        State& s = Cur();
        if (first) {
            if (w == "fonttbl") { s.dest = Destination::FontTable; return; }
            if (w == "colortbl") { s.dest = Destination::ColorTable; return; }
            if (SkippedDestination(w) || star) {
                // A destination marked \* that is not known is skipped with
                // its group; so are the ones that hold no text.
                if (w != "fldrslt" && w != "ud" && w != "upr") s.dest = Destination::Skip;
                return;
            }
        }
        if (w == "bin") {
            // Binary data: its length is given and is skipped whatever it holds.
            const std::size_t n = hasParam && p > 0 ? static_cast<std::size_t>(p) : 0;
            pos_ = n > in_.size() - pos_ ? in_.size() : pos_ + n;
            return;
        }
        if (w == "u" && hasParam) {
            long v = p;
            if (v < 0) v += 65536;
            if (v < 0 || v > 0xFFFF) v = u'?';
            if (s.dest == Destination::Text) Emit(static_cast<char16_t>(v));
            pendingSkip_ = s.uc;
            return;
        }
        pendingSkip_ = 0;
        const int v = static_cast<int>(p);
        if (w == "ansicpg" && hasParam) codePage_ = v;
        else if (w == "uc" && hasParam) s.uc = v < 0 ? 0 : (v > 8 ? 8 : v);
        else if (w == "f" && hasParam) {
            s.font = v;
            if (s.dest == Destination::FontTable) fontName_.clear();
        } else if (w == "fcharset" && hasParam && s.dest == Destination::FontTable) {
            fonts_[s.font].codePage = CodePageOfCharset(v);
        } else if (s.dest == Destination::ColorTable) {
            if (w == "red") color_.red = static_cast<std::uint8_t>(v & 0xFF), color_.automatic = false;
            else if (w == "green") color_.green = static_cast<std::uint8_t>(v & 0xFF), color_.automatic = false;
            else if (w == "blue") color_.blue = static_cast<std::uint8_t>(v & 0xFF), color_.automatic = false;
        } else if (w == "b") s.bold = !hasParam || v != 0;
        else if (w == "i") s.italic = !hasParam || v != 0;
        else if (w == "ul") s.underline = !hasParam || v != 0;
        else if (w == "ulnone") s.underline = false;
        else if (w == "fs" && hasParam) s.halfPoints = v > 0 && v <= 3276 ? v : 24;
        else if (w == "cf" && hasParam) s.color = v;
        else if (w == "plain") {
            s.bold = s.italic = s.underline = false;
            s.halfPoints = 24;
            s.color = 0;
        } else if (w == "pard") s.alignment = Alignment::Left;
        else if (w == "ql") s.alignment = Alignment::Left;
        else if (w == "qc") s.alignment = Alignment::Center;
        else if (w == "qr") s.alignment = Alignment::Right;
        else if (w == "qj") s.alignment = Alignment::Justify;
        else if (w == "par") Paragraph();
        else if (w == "line") Emit(0x2028);
        else if (w == "tab") Emit(u'\t');
        else if (w == "emdash") Emit(0x2014);
        else if (w == "endash") Emit(0x2013);
        else if (w == "bullet") Emit(0x2022);
        else if (w == "lquote") Emit(0x2018);
        else if (w == "rquote") Emit(0x2019);
        else if (w == "ldblquote") Emit(0x201C);
        else if (w == "rdblquote") Emit(0x201D);
    }

    void Char(unsigned char c) {
        groupStart_ = false;
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        State& s = Cur();
        if (overflow_ > 0) return;
        if (s.dest == Destination::FontTable) {
            if (c == ';') {
                fonts_[s.font].name = fontName_;
                fontName_.clear();
            } else {
                if (fontName_.size() < 256) fontName_ += static_cast<char>(c);
            }
            return;
        }
        if (s.dest == Destination::ColorTable) {
            if (c == ';') {
                if (colors_.size() < 4096) colors_.push_back(color_);
                color_ = RtfColor{};
            }
            return;
        }
        if (s.dest != Destination::Text) return;
        if (c == '\t') Emit(u'\t');
        else Emit(FromCodePage(c, CodePage()));
    }

    void Emit(char16_t ch) {
        if (Skipping() || Cur().dest != Destination::Text) return;
        if (text_ >= rtf::kMaxText) {
            doc_.truncated = true;
            stop_ = true;
            return;
        }
        ++text_;
        const State& s = Cur();
        TextRun want;
        want.bold = s.bold;
        want.italic = s.italic;
        want.underline = s.underline;
        want.halfPoints = s.halfPoints;
        if (s.color > 0 && static_cast<std::size_t>(s.color) < colors_.size()) want.color = colors_[static_cast<std::size_t>(s.color)];
        const auto f = fonts_.find(s.font);
        if (f != fonts_.end()) want.font = FontName(f->second.name);
        auto& runs = para_.runs;
        if (runs.empty() || !Same(runs.back(), want)) runs.push_back(std::move(want));
        runs.back().text += ch;
    }

    // Font names are narrow text of the document's code page.
    std::string FontName(const std::string& narrow) const {
        std::string out;
        for (char c : narrow) {
            const char16_t u = FromCodePage(static_cast<unsigned char>(c), codePage_);
            if (u < 0x80) out += static_cast<char>(u);
            else if (u < 0x800) {
                out += static_cast<char>(0xC0 | (u >> 6));
                out += static_cast<char>(0x80 | (u & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | (u >> 12));
                out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (u & 0x3F));
            }
        }
        return out;
    }

    static bool Same(const TextRun& a, const TextRun& b) {
        return a.bold == b.bold && a.italic == b.italic && a.underline == b.underline &&
               a.halfPoints == b.halfPoints && a.color.automatic == b.color.automatic && a.color.red == b.color.red &&
               a.color.green == b.color.green && a.color.blue == b.color.blue && a.font == b.font;
    }

    void Paragraph() {
        if (Skipping() || Cur().dest != Destination::Text) return;
        EndParagraph(true);
    }

    void EndParagraph(bool always) {
        if (!always && para_.runs.empty()) return;
        if (doc_.paragraphs.size() >= rtf::kMaxParagraphs) {
            doc_.truncated = true;
            stop_ = true;
            return;
        }
        para_.alignment = Cur().alignment;
        doc_.paragraphs.push_back(std::move(para_));
        para_ = preview::Paragraph{};
    }

    std::string_view in_;
    RtfDocument& doc_;
    std::size_t pos_ = 0;
    std::vector<State> stack_;
    std::size_t overflow_ = 0;
    bool groupStart_ = false;
    bool ignorable_ = false;
    bool stop_ = false;
    int pendingSkip_ = 0;
    int codePage_ = 1252;
    std::map<int, Font> fonts_;
    std::string fontName_;
    std::vector<RtfColor> colors_;
    RtfColor color_;
    std::size_t text_ = 0;
    preview::Paragraph para_;
};

}  // namespace

bool ReadRtf(std::string_view data, RtfDocument& out) {
    out = RtfDocument{};
    std::size_t at = 0;
    while (at < data.size() && (data[at] == ' ' || data[at] == '\r' || data[at] == '\n' || data[at] == '\t')) ++at;
    if (data.substr(at, 5) != "{\\rtf") return false;
    Reader(data.substr(at), out).Run();
    return true;
}

std::u16string PlainText(const RtfDocument& doc) {
    std::u16string out;
    for (std::size_t i = 0; i < doc.paragraphs.size(); ++i) {
        if (i) out += u'\n';
        for (const auto& r : doc.paragraphs[i].runs) out += r.text;
    }
    return out;
}

}  // namespace dravik::preview
