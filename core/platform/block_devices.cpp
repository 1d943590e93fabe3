#include "platform/block_devices.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

namespace dravik::platform {

namespace fs = std::filesystem;

namespace {

// Devices under /sys/block that are not physical drives.
constexpr std::array<std::string_view, 7> kSkippedPrefixes = {"loop", "ram", "zram", "dm-", "md", "sr", "fd"};

std::string Trim(std::string s) {
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

// First line of a small sysfs file, trimmed; empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    return Trim(std::move(line));
}

std::optional<std::uint64_t> ReadNumber(const fs::path& file) {
    const std::string text = ReadAttribute(file);
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

fs::path DiskDir(const SystemPaths& paths, const std::string& disk) {
    return paths.sysfs / "block" / disk;
}

std::string Unescape(std::string_view s) {
    const auto oct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && oct(s[i + 1]) && oct(s[i + 2]) && oct(s[i + 3])) {
            out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    auto c = fs::canonical(path, ec);
    return ec ? path : c.string();
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
            // Compare the runs as numbers without converting: strip leading
            // zeros, then the longer run is the larger.
            std::string_view ra(a.data() + i, ie - i), rb(b.data() + j, je - j);
            while (ra.size() > 1 && ra.front() == '0') ra.remove_prefix(1);
            while (rb.size() > 1 && rb.front() == '0') rb.remove_prefix(1);
            if (ra.size() != rb.size()) return ra.size() < rb.size();
            if (ra != rb) return ra < rb;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> ListSystemDisks(const SystemPaths& paths) {
    std::vector<std::string> disks;
    std::error_code ec;
    for (fs::directory_iterator it(paths.sysfs / "block", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool skipped = std::any_of(kSkippedPrefixes.begin(), kSkippedPrefixes.end(),
                                         [&](std::string_view p) { return name.starts_with(p); });
        // A partition is never a disk, even if a tree lists one here.
        if (skipped || fs::exists(it->path() / "partition")) continue;
        disks.push_back(name);
    }
    std::sort(disks.begin(), disks.end(), NaturalLess);
    return disks;
}

std::vector<SysfsPartition> ListSysfsPartitions(const SystemPaths& paths, const std::string& disk) {
    std::vector<SysfsPartition> parts;
    std::error_code ec;
    for (fs::directory_iterator it(DiskDir(paths, disk), ec), end; !ec && it != end; it.increment(ec)) {
        if (!fs::exists(it->path() / "partition")) continue;
        auto start = ReadNumber(it->path() / "start");
        auto size = ReadNumber(it->path() / "size");
        if (!start || !size) continue;
        parts.push_back({it->path().filename().string(), *start, *size});
    }
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.start < b.start; });
    return parts;
}

bool SysfsRemovable(const SystemPaths& paths, const std::string& disk) {
    return ReadAttribute(DiskDir(paths, disk) / "removable") == "1";
}

std::string SysfsModel(const SystemPaths& paths, const std::string& disk) {
    return ReadAttribute(DiskDir(paths, disk) / "device" / "model");
}

std::uint32_t SysfsLogicalBlockSize(const SystemPaths& paths, const std::string& disk) {
    auto v = ReadNumber(DiskDir(paths, disk) / "queue" / "logical_block_size");
    return v && *v <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(*v) : 0;
}

std::uint64_t SysfsSizeBytes(const SystemPaths& paths, const std::string& disk) {
    auto v = ReadNumber(DiskDir(paths, disk) / "size");
    return v && *v < (std::uint64_t(1) << 54) ? *v * 512 : 0;
}

bool SysfsHasDisk(const SystemPaths& paths, const std::string& disk) {
    std::error_code ec;
    return !disk.empty() && fs::is_directory(DiskDir(paths, disk), ec);
}

std::string BlockDeviceName(const std::string& path) {
    std::error_code ec;
    const auto real = fs::canonical(path, ec);
    if (ec) return {};
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
    return real.filename().string();
}

std::optional<MountLine> ParseMountInfoLine(const std::string& line) {
    // id parent major:minor root mount-point options [optional...] - fstype source super-options
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string f; in >> f;) fields.push_back(std::move(f));
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3) return std::nullopt;
    return MountLine{fields[2], Unescape(fields[4]), Unescape(*(dash + 2))};
}

std::string FindMountPoint(const SystemPaths& paths, const std::string& device) {
    if (device.empty()) return {};
    std::string numbers;
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        numbers = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    const std::string canonical = Canonical(device);

    std::ifstream in(paths.mountInfo);
    for (std::string line; std::getline(in, line);) {
        auto m = ParseMountInfoLine(line);
        if (!m) continue;
        if ((!numbers.empty() && m->devNumbers == numbers) ||
            (!m->source.empty() && m->source.front() == '/' && Canonical(m->source) == canonical))
            return m->mountPoint;
    }
    return {};
}

std::optional<SpaceFigures> QueryFreeSpace(const std::string& mountPoint) {
    struct statvfs v {};
    if (mountPoint.empty() || ::statvfs(mountPoint.c_str(), &v) != 0) return std::nullopt;
    const std::uint64_t unit = v.f_frsize ? v.f_frsize : v.f_bsize;
    return SpaceFigures{std::uint64_t(v.f_blocks) * unit, std::uint64_t(v.f_bfree) * unit};
}

}  // namespace dravik::platform
