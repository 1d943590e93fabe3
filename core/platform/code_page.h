// The OEM code page of 8.3 names (437, the one FAT volumes are most often
// written with): narrow names read from disk are shown through it, and names
// the user types for a narrow-named item are stored back through it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dravik::platform {

std::u16string OemToUtf16(std::string_view oem);
std::string OemToUtf8(std::string_view oem);
// Characters the code page cannot hold become '_'.
std::string Utf16ToOem(std::u16string_view text);

// Case-insensitive comparison as the tree and the list sort names: ASCII and
// Latin-1 letters fold, other characters compare by code unit.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
// Upper case as the search compares names (same folding).
std::u16string UpperCase(std::u16string_view s);
// The same folding in place, for sort keys made once per row.
void FoldInPlace(std::u16string& s);

}  // namespace dravik::platform
