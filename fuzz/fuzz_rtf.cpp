// The preview's rich-text reader over a recovered file's bytes: nesting,
// escapes, \bin lengths, \uN fallbacks and the font and colour tables are
// all attacker-controlled.
#include <cstdint>
#include <string_view>

#include "preview/rtf_reader.h"

using namespace dravik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    preview::RtfDocument doc;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!preview::ReadRtf(text, doc)) return 0;
    std::size_t units = 0;
    for (const auto& p : doc.paragraphs)
        for (const auto& r : p.runs) {
            if (r.text.empty()) __builtin_trap();  // a run holds what made it
            units += r.text.size();
        }
    if (units > preview::rtf::kMaxText || doc.paragraphs.size() > preview::rtf::kMaxParagraphs) __builtin_trap();
    return 0;
}
