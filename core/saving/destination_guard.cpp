#include "saving/destination_guard.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>

#include "saving/saving_context.h"

namespace dravik::saving {

namespace fs = std::filesystem;

namespace {

constexpr const char* kOverwriteWarning =
    " Saving there can overwrite the very data being recovered. Please choose a folder on another drive.";

// device-mapper stacks are shallow; the bound only guards against a
// strange sysfs.
constexpr int kMaxStackDepth = 16;

std::string Numbers(dev_t d) { return std::to_string(major(d)) + ":" + std::to_string(minor(d)); }

// The sysfs folder of a block device (<sysfs>/dev/block/MAJ:MIN resolved).
std::optional<fs::path> SysfsDir(dev_t d, const platform::SystemPaths& paths) {
    std::error_code ec;
    auto dir = fs::canonical(paths.sysfs / "dev" / "block" / Numbers(d), ec);
    if (ec) return std::nullopt;
    return dir;
}

// The "dev" file of a sysfs block folder: "8:1".
std::optional<dev_t> DevOf(const fs::path& dir) {
    std::ifstream in(dir / "dev");
    unsigned maj = 0, min = 0;
    char colon = 0;
    if (!(in >> maj >> colon >> min) || colon != ':') return std::nullopt;
    return makedev(maj, min);
}

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> IdOf(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

// The nearest existing folder at or above `p`.
fs::path ExistingAncestor(fs::path p) {
    std::error_code ec;
    p = fs::absolute(p, ec).lexically_normal();
    while (!p.empty() && !fs::exists(p, ec)) {
        if (p == p.parent_path()) break;
        p = p.parent_path();
    }
    return p;
}

// Whether `path` lies in the folder tree of `folder` (both made absolute,
// links of their existing parts resolved).
bool HoldsPath(const fs::path& folder, const fs::path& path) {
    std::error_code ec;
    const fs::path f = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    const fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    auto fi = f.begin();
    auto pi = p.begin();
    for (; fi != f.end(); ++fi, ++pi) {
        if (fi->empty()) continue;
        if (pi == p.end() || *fi != *pi) return false;
    }
    return true;
}

// What the destination's file system stands on: block devices (its own
// device number, the block device a FUSE or btrfs mount names, and what a
// device-mapper volume is built on) and files (the backing file of a loop
// device, the image a FUSE mount reads).
struct Footing {
    std::vector<dev_t> mounted;  // the file system's own number and the device it is mounted from
    std::set<dev_t> devices;     // those and everything they are built on
    std::vector<FileId> files;
};

Footing FootingOf(dev_t fsDev, const platform::SystemPaths& paths) {
    Footing f;
    auto& roots = f.mounted;
    roots.push_back(fsDev);
    std::ifstream in(paths.mountInfo);
    const std::string numbers = Numbers(fsDev);
    for (std::string line; std::getline(in, line);) {
        const auto m = platform::ParseMountInfoLine(line);
        if (!m || m->devNumbers != numbers || m->source.empty() || m->source.front() != '/') continue;
        struct stat st {};
        if (::stat(m->source.c_str(), &st) != 0) continue;
        if (S_ISBLK(st.st_mode)) roots.push_back(st.st_rdev);
        else if (S_ISREG(st.st_mode)) f.files.push_back({st.st_dev, st.st_ino});
    }
    for (const dev_t root : roots)
        for (const dev_t d : DevicesBelow(root, paths)) {
            f.devices.insert(d);
            const auto dir = SysfsDir(d, paths);
            if (!dir) continue;
            std::ifstream backing(*dir / "loop" / "backing_file");
            std::string file;
            if (!std::getline(backing, file)) continue;
            if (const auto id = IdOf(file)) f.files.push_back(*id);
        }
    return f;
}

}  // namespace

std::vector<dev_t> DevicesOfSameDisk(dev_t device, const platform::SystemPaths& paths) {
    std::vector<dev_t> out{device};
    const auto dir = SysfsDir(device, paths);
    if (!dir) return out;
    std::error_code ec;
    // A partition's folder lies inside its disk's folder and has a
    // "partition" file.
    const fs::path disk = fs::exists(*dir / "partition", ec) ? dir->parent_path() : *dir;
    if (const auto d = DevOf(disk)) out.push_back(*d);
    for (fs::directory_iterator it(disk, ec), end; !ec && it != end; it.increment(ec))
        if (fs::exists(it->path() / "partition", ec))
            if (const auto d = DevOf(it->path())) out.push_back(*d);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<dev_t> DevicesBelow(dev_t device, const platform::SystemPaths& paths) {
    std::set<dev_t> seen{device};
    std::vector<std::pair<dev_t, int>> todo{{device, 0}};
    while (!todo.empty()) {
        const auto [d, depth] = todo.back();
        todo.pop_back();
        const auto dir = SysfsDir(d, paths);
        if (!dir || depth >= kMaxStackDepth) continue;
        std::error_code ec;
        for (fs::directory_iterator it(*dir / "slaves", ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code ec2;
            const auto slave = DevOf(fs::canonical(it->path(), ec2));
            if (!ec2 && slave && seen.insert(*slave).second) todo.push_back({*slave, depth + 1});
        }
    }
    return {seen.begin(), seen.end()};
}

std::string DestinationOnSource(const SavingContext& ctx, const fs::path& destination,
                                const platform::SystemPaths& paths) {
    if (destination.empty()) return {};
    const auto backing = ctx.devices.Resolve(ctx.source.CurrentDevicePath());
    if (!backing || backing->path.empty()) return {};
    struct stat src {};
    if (::stat(backing->path.c_str(), &src) != 0) return {};
    struct stat dst {};
    if (::stat(ExistingAncestor(destination).c_str(), &dst) != 0) return {};

    const Footing footing = FootingOf(dst.st_dev, paths);
    if (S_ISBLK(src.st_mode)) {
        for (const dev_t d : DevicesOfSameDisk(src.st_rdev, paths))
            if (footing.devices.count(d))
                return "The destination folder is on the disk being recovered (" + backing->path + ")." +
                       kOverwriteWarning;
        return {};
    }
    // Subvolumes of one btrfs have numbers of their own but one device.
    const Footing imageFs = FootingOf(src.st_dev, paths);
    const bool sameFs = std::any_of(imageFs.mounted.begin(), imageFs.mounted.end(), [&](dev_t d) {
        return std::find(footing.mounted.begin(), footing.mounted.end(), d) != footing.mounted.end();
    });
    // Files written beside an image cannot change its bytes; a destination
    // whose tree holds the image can (a replace may land on it).
    if (sameFs && HoldsPath(destination, backing->path))
        return "The destination folder holds the image being recovered (" + backing->path + ")." + kOverwriteWarning;
    const FileId image{src.st_dev, src.st_ino};
    if (std::find(footing.files.begin(), footing.files.end(), image) != footing.files.end())
        return "The destination folder is inside the image being recovered (" + backing->path + ")." +
               kOverwriteWarning;
    return {};
}

}  // namespace dravik::saving
