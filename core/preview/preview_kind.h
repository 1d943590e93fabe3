// What the preview pane makes of a recovered file, decided by its name
// alone (the data is not looked at before it is extracted), and where the
// extraction goes.
#pragma once

#include <filesystem>
#include <string_view>

namespace dravik::preview {

enum class PreviewKind { None, Picture, RichText, Archive };

// From the last four characters of the name, without regard to case:
// "JPEG", ".jpg", ".bmp", ".png", ".gif", ".tif", ".dng", ".ico" are
// pictures, ".rtf" rich text, ".zip" an archive. So PHOTO.JPEG is a picture
// and PHOTO.JPE is not. `name` is UTF-8.
PreviewKind KindOfName(std::string_view name);

// The file that previewing or opening `name` writes in `tempFolder`: the
// name made one safe path component (a recovered name may hold "..", '/'
// or anything else a damaged or crafted disk holds). Empty when the result
// would not lie inside the folder.
std::filesystem::path PreviewTarget(const std::filesystem::path& tempFolder, std::string_view name);

}  // namespace dravik::preview
