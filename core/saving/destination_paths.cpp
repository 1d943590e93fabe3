#include "saving/destination_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace dravik::saving {

namespace fs = std::filesystem;

std::string SafeName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c == '/' || c == '\0') c = '_';
    if (out.empty() || out == ".") return "_";
    if (out == "..") return "__";
    if (out.size() <= kMaxNameBytes) return out;
    // Too long for the destination (255 bytes a name): the stem is cut at a
    // character's boundary and the extension kept, with room left for the
    // number that makes a clash of two such names unique.
    std::string ext;
    if (const auto dot = out.rfind('.'); dot != std::string::npos && dot > 0 && out.size() - dot <= 16)
        ext = out.substr(dot);
    std::size_t keep = kShortenedNameBytes - ext.size();
    while (keep > 0 && (static_cast<unsigned char>(out[keep]) & 0xC0) == 0x80) --keep;
    return out.substr(0, keep) + ext;
}

namespace {
bool IsDirectory(const fs::path& p, bool followLinks) {
    struct stat st {};
    const int r = followLinks ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st);
    return r == 0 && S_ISDIR(st.st_mode);
}
bool Exists(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}
}  // namespace

bool CreateFolderPath(const fs::path& path) {
    fs::path at;
    for (const auto& part : path.lexically_normal()) {
        at /= part;
        if (part.empty()) continue;
        // The path the user typed may pass through links; they are followed.
        if (IsDirectory(at, true)) continue;
        if (Exists(at)) return false;
        if (::mkdir(at.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return IsDirectory(path, true);
}

OpenFolder::~OpenFolder() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {
std::shared_ptr<OpenFolder> Held(int fd) {
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<OpenFolder>(fd, st.st_dev, st.st_ino);
}
}  // namespace

std::shared_ptr<OpenFolder> OpenDestinationRoot(const fs::path& root) {
    if (!CreateFolderPath(root)) return nullptr;
    return Held(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::shared_ptr<OpenFolder> OpenFolderBelow(const OpenFolder& parent, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return nullptr;
    // mkdirat never follows a link in the last place; an existing entry is
    // then opened only when it is a folder itself.
    if (::mkdirat(parent.Fd(), name.c_str(), 0777) != 0 && errno != EEXIST) return nullptr;
    return Held(::openat(parent.Fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool CreateFolderBelow(const fs::path& root, const fs::path& relative) {
    std::shared_ptr<OpenFolder> at = Held(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const auto& part : relative) {
        if (!at) return false;
        at = OpenFolderBelow(*at, part.string());
    }
    return at != nullptr;
}

bool Inside(const fs::path& root, const fs::path& path) {
    const fs::path r = root.lexically_normal();
    const fs::path p = path.lexically_normal();
    auto ri = r.begin(), pi = p.begin();
    for (; ri != r.end(); ++ri, ++pi) {
        if (ri->empty()) continue;  // the trailing separator of a folder path
        if (pi == p.end() || *ri != *pi) return false;
    }
    for (; pi != p.end(); ++pi)
        if (*pi == "..") return false;
    return true;
}

namespace {
// report.doc -> report<n>.doc; README -> README<n>.
std::string Numbered(const std::string& name, int n) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return name + std::to_string(n);
    return name.substr(0, dot) + std::to_string(n) + name.substr(dot);
}
}  // namespace

std::string MakeUniqueNameIn(const OpenFolder& folder, const std::string& name) {
    for (int n = 0; n <= 9999; ++n) {
        const std::string candidate = Numbered(name, n);
        struct stat st {};
        if (::fstatat(folder.Fd(), candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            return candidate;
    }
    return name;
}

fs::path MakeUniqueName(const fs::path& path) {
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string rest = dot == std::string::npos ? "" : name.substr(dot);
    std::error_code ec;
    for (int n = 0; n <= 9999; ++n) {
        fs::path candidate = path.parent_path() / (stem + std::to_string(n) + rest);
        if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
    }
    return path;
}

}  // namespace dravik::saving
