// Paths under the destination: names made safe, folders created level by
// level, numbered names for conflicts. Recovered names come from disks that
// may be damaged or crafted, so nothing they contain may lead a write out of
// the destination.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace dravik::saving {

// A name usable as one path component: '/' and NUL become '_', and "." and
// ".." (which would name the folder itself or its parent) become "_" and
// "__"; an empty name becomes "_".
std::string SafeName(std::string_view name);

// Creates every missing folder of `path`, level by level. Nothing that is in
// the way is removed or replaced: when a level exists as a file, the path
// cannot be created and false is returned.
bool CreateFolderPath(const std::filesystem::path& path);

// Creates the folders of `relative` below the existing folder `root`. A level
// that exists as a symbolic link is refused as well: a recovered tree must
// not be led out of the destination by a link found there.
bool CreateFolderBelow(const std::filesystem::path& root, const std::filesystem::path& relative);

// True when `path`, once made lexically normal, lies inside `root`.
bool Inside(const std::filesystem::path& root, const std::filesystem::path& path);

// The first free numbered variant of `path`'s file name: report.doc ->
// report0.doc, report1.doc, ...; README -> README0. Counts 0..9999; when all
// exist, `path` is returned unchanged.
std::filesystem::path MakeUniqueName(const std::filesystem::path& path);

}  // namespace dravik::saving
