#include "session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "app/workflow.h"
#include "partition/partition_walk.h"
#include "drives/drive_catalogue.h"

namespace dravik::cli {

namespace fs = std::filesystem;

namespace {

class SlowDevice final : public source::SectorDevice {
public:
    SlowDevice(std::unique_ptr<source::SectorDevice> inner, std::chrono::milliseconds delay)
        : inner_(std::move(inner)), delay_(delay) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
        std::this_thread::sleep_for(delay_);
        return inner_->ReadAt(offset, buf);
    }
    std::uint64_t Size() const override { return inner_->Size(); }

private:
    std::unique_ptr<source::SectorDevice> inner_;
    std::chrono::milliseconds delay_;
};

std::set<std::uint64_t> SectorList(const char* text) {
    std::set<std::uint64_t> out;
    for (const char* p = text; p && *p;) {
        char* end = nullptr;
        const std::uint64_t first = std::strtoull(p, &end, 10);
        std::uint64_t last = first;
        if (end == p) break;
        if (*end == '-') {
            p = end + 1;
            last = std::strtoull(p, &end, 10);
        }
        // A bound that keeps a mistyped range from filling the memory.
        for (std::uint64_t n = first; n <= last && n - first < (1u << 20); ++n) out.insert(n);
        p = *end == ',' ? end + 1 : end;
        if (end == p && *p) break;
    }
    return out;
}

}  // namespace

source::DeviceOpenFn SourceOpener() {
    const char* unreadable = std::getenv("DRAVIK_TEST_UNREADABLE");
    const char* delay = std::getenv("DRAVIK_TEST_READ_DELAY_MS");
    if (!unreadable && !delay) return source::OpenPosixDevice;
    const std::set<std::uint64_t> bad = SectorList(unreadable);
    const std::chrono::milliseconds pause(delay ? std::strtoul(delay, nullptr, 10) : 0);
    return [bad, pause](const platform::DeviceBacking& backing) -> std::unique_ptr<source::SectorDevice> {
        std::unique_ptr<source::SectorDevice> device = source::OpenPosixDevice(backing);
        if (!device) return device;
        if (!bad.empty()) device = std::make_unique<source::FaultInjectingDevice>(std::move(device), 512, bad);
        if (pause.count() > 0) device = std::make_unique<SlowDevice>(std::move(device), pause);
        return device;
    };
}

void CheckSourcePath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw CliError("no such file: " + path);
        throw CliError(path + ": " + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode))
        throw CliError(path + " is a folder; the source is a disk (Disk0), a drive (C:), a block device or an image file");
    // A FIFO is refused by the catalogue without being opened (an open would
    // wait for a writer); what can be opened is tried, for its permission.
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno == EACCES || errno == EPERM)
        throw CliError(path + ": permission denied. " +
                       (S_ISBLK(st.st_mode)
                            ? "Reading a disk needs root or membership of its group (\"disk\" on most systems): run "
                              "the command with sudo, or join the group (sudo usermod -aG disk $USER) and log in again."
                            : "Ask the file's owner for read access (chmod o+r), or run the command as a user who "
                              "may read it."));
    throw CliError(path + ": " + std::strerror(errno));
}

void Session::Catalogue(const std::vector<std::string>& images, bool systemDisks, std::uint32_t sectorSize) {
    for (const auto& image : images) CheckSourcePath(image);
    if (sectorSize != 0) ctx->drives.setup.imageSectorSize = sectorSize;
    const auto status = app::BuildSources(*ctx, images, systemDisks);
    if (!status.built) throw CliError("the disk geometry cache cannot be written");
}

namespace {

std::string PartitionList(const app::AppContext& ctx, int disk) {
    const auto& t = ctx.partitions[disk];
    std::string out;
    for (int i = 0; i < t.Count && i < partition::DiskPartitionTable::kMaxPartitions; ++i)
        out += "\n  " + std::to_string(i + 1) + ": " + partition::PartitionName(i + 1, t.FileSystem[i]) + "  sectors " +
               std::to_string(t.Entries[i].Start) + "-" + std::to_string(t.Entries[i].End);
    return out;
}

int DiskOfBacking(const app::AppContext& ctx, const std::string& path) {
    for (int n = 0; n < source::kDeviceSlots; ++n) {
        const auto& d = ctx.drives.catalogue.disks[n];
        if (d && d->backing.path == path) return n;
    }
    return -1;
}

}  // namespace

void CheckDiskAccess(const app::AppContext& ctx, int disk) {
    const auto& d = ctx.drives.catalogue.disks[disk];
    if (!d || d->openError == 0) return;
    throw CliError("Disk" + std::to_string(disk) + " (" + d->backing.path + "): " +
                   (d->openError == EACCES || d->openError == EPERM ? std::string("permission denied")
                                                                     : std::string(std::strerror(d->openError))) +
                   ". Reading a disk needs root or membership of its group (\"disk\" on most systems): run the "
                   "command with sudo, or join the group (sudo usermod -aG disk $USER) and log in again.");
}

SourceChoice ResolveSource(Session& s, const std::string& source, std::vector<std::string>& images, int partition) {
    auto& ctx = *s.ctx;
    SourceChoice c;
    if (source.size() >= 5 && source.rfind("Disk", 0) == 0 && std::isdigit(static_cast<unsigned char>(source[4]))) {
        c.disk = std::stoi(source.substr(4));
    } else if (source.size() == 2 && source[1] == ':' && std::isalpha(static_cast<unsigned char>(source[0]))) {
        c.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(source[0])));
        if (!ctx.drives.catalogue.Volume(c.letter)) throw CliError("no logical drive " + source);
        return c;
    } else {
        CheckSourcePath(source);
        const std::string path = fs::absolute(source).string();
        if (DiskOfBacking(ctx, path) < 0) {
            images.insert(images.begin(), source);
            s.Catalogue(images, ctx.drives.setup.systemDisks);
        }
        c.disk = DiskOfBacking(ctx, path);
        if (c.disk < 0) throw CliError("cannot read " + source);
    }
    if (c.disk < 0 || c.disk >= source::kDeviceSlots || !ctx.drives.catalogue.disks[c.disk])
        throw CliError("no disk " + source);
    CheckDiskAccess(ctx, c.disk);
    drives::RewalkDisk(ctx, c.disk);
    const int count = ctx.partitions[c.disk].Count;
    if (count == 0)
        throw CliError("no NTFS or FAT partition on " + source + " (--mode partition searches it for lost ones)",
                       exit_status::kNothingFound);
    if (partition == 0 && count > 1)
        throw CliError(source + " has " + std::to_string(count) + " partitions; choose one with --partition N:" +
                       PartitionList(ctx, c.disk));
    if (partition > count) throw CliError("no partition " + std::to_string(partition) + ":" + PartitionList(ctx, c.disk));
    c.partition = partition == 0 ? 0 : partition - 1;
    return c;
}

void SelectSource(Session& s, const SourceChoice& c) {
    auto& ctx = *s.ctx;
    if (c.letter) {
        if (!app::SelectDriveSource(ctx, c.letter) || ctx.partitions[0].Count == 0)
            throw CliError("no NTFS or FAT file system on drive " + std::string(1, c.letter) + ":");
        return;
    }
    if (!app::SelectDiskSource(ctx, c.disk, c.partition))
        throw CliError("no partition " + std::to_string(c.partition + 1) + " on Disk" + std::to_string(c.disk));
}

void SelectWholeDisk(Session& s, int disk) {
    if (!app::SelectDiskSource(*s.ctx, disk)) throw CliError("no disk Disk" + std::to_string(disk));
}

}  // namespace dravik::cli
