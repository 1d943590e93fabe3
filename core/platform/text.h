// UTF-8 <-> UTF-16 conversion for names read from disk. Names from a damaged
// volume may hold unpaired surrogates: they convert to U+FFFD rather than
// failing, so a name is always shown.
#pragma once

#include <string>
#include <string_view>

namespace dravik::platform {

std::string Utf16ToUtf8(std::u16string_view s);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);

}  // namespace dravik::platform
