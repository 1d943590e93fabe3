// Paths under the destination: names made safe, folders created level by
// level, numbered names for conflicts. Recovered names come from disks that
// may be damaged or crafted, so nothing they contain may lead a write out of
// the destination.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace dravik::saving {

// What Linux file systems take: 255 bytes a name, 4096 a path (its NUL
// included). A name shortened to fit keeps room for a clash number.
inline constexpr std::size_t kMaxNameBytes = 255;
inline constexpr std::size_t kShortenedNameBytes = 240;
inline constexpr std::size_t kMaxPathBytes = 4096;

// A name usable as one path component: '/' and NUL become '_', and "." and
// ".." (which would name the folder itself or its parent) become "_" and
// "__"; an empty name becomes "_"; a name over 255 bytes is cut to 240 at a
// character's boundary, keeping its extension.
std::string SafeName(std::string_view name);

// Creates every missing folder of `path`, level by level. Nothing that is in
// the way is removed or replaced: when a level exists as a file, the path
// cannot be created and false is returned.
bool CreateFolderPath(const std::filesystem::path& path);

// Creates the folders of `relative` below the existing folder `root`. A level
// that exists as a symbolic link is refused as well: a recovered tree must
// not be led out of the destination by a link found there.
bool CreateFolderBelow(const std::filesystem::path& root, const std::filesystem::path& relative);

// A folder of the destination held open: everything below it is created and
// opened relative to it, so a link planted on the way cannot lead out, and a
// deep tree costs one step per level rather than a walk from the root.
class OpenFolder {
public:
    OpenFolder(int fd, dev_t device, ino_t inode) : fd_(fd), device_(device), inode_(inode) {}
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    int Fd() const { return fd_; }
    dev_t Device() const { return device_; }
    ino_t Inode() const { return inode_; }

private:
    int fd_;
    dev_t device_;
    ino_t inode_;
};

// Creates the destination root as CreateFolderPath does and opens it; links
// in the path the user chose are followed. nullptr when it cannot be.
std::shared_ptr<OpenFolder> OpenDestinationRoot(const std::filesystem::path& root);

// Opens the folder `name` of `parent`, creating it when missing. Nothing that
// is there already is replaced, and a symbolic link (or anything else that is
// not a folder) is refused: nullptr.
std::shared_ptr<OpenFolder> OpenFolderBelow(const OpenFolder& parent, const std::string& name);

// MakeUniqueName for the file `name` in the open folder: the first free
// numbered variant, or `name` when all 10000 are taken.
std::string MakeUniqueNameIn(const OpenFolder& folder, const std::string& name);

// True when `path`, once made lexically normal, lies inside `root`.
bool Inside(const std::filesystem::path& root, const std::filesystem::path& path);

// The first free numbered variant of `path`'s file name: report.doc ->
// report0.doc, report1.doc, ...; README -> README0. Counts 0..9999; when all
// exist, `path` is returned unchanged.
std::filesystem::path MakeUniqueName(const std::filesystem::path& path);

}  // namespace dravik::saving
