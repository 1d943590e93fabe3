#include "saving/destination_paths.h"

#include <sys/stat.h>

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
    return out;
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

bool CreateFolderBelow(const fs::path& root, const fs::path& relative) {
    fs::path at = root;
    for (const auto& part : relative) {
        if (part.empty() || part == "." || part == "..") return false;
        at /= part;
        if (IsDirectory(at, false)) continue;
        if (Exists(at)) return false;
        if (::mkdir(at.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (!IsDirectory(at, false)) return false;
    }
    return true;
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
