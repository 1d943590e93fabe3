#include "preview/preview_kind.h"

#include <array>

#include "saving/destination_paths.h"

namespace dravik::preview {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The last four characters (code points) of a UTF-8 name, lower-cased in
// ASCII; a character outside ASCII stays as its bytes and matches nothing.
std::string LastFour(std::string_view name) {
    std::size_t at = name.size();
    for (int chars = 0; chars < 4 && at > 0; ++chars) {
        --at;
        while (at > 0 && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80) --at;
    }
    std::string tail(name.substr(at));
    for (char& c : tail) c = Lower(c);
    return tail;
}

}  // namespace

PreviewKind KindOfName(std::string_view name) {
    static constexpr std::array<std::string_view, 8> kPictures = {"jpeg", ".jpg", ".bmp", ".png",
                                                                   ".gif", ".tif", ".dng", ".ico"};
    const std::string tail = LastFour(name);
    for (auto p : kPictures)
        if (tail == p) return PreviewKind::Picture;
    if (tail == ".rtf") return PreviewKind::RichText;
    if (tail == ".zip") return PreviewKind::Archive;
    return PreviewKind::None;
}

std::filesystem::path PreviewTarget(const std::filesystem::path& tempFolder, std::string_view name) {
    if (tempFolder.empty()) return {};
    std::filesystem::path target = tempFolder / saving::SafeName(name);
    if (!saving::Inside(tempFolder, target)) return {};
    return target;
}

}  // namespace dravik::preview
