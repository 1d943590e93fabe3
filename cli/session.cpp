#include "session.h"

#include <sys/stat.h>

#include <filesystem>

#include "app/workflow.h"
#include "partition/partition_walk.h"
#include "source/drive_catalogue.h"

namespace dravik::cli {

namespace fs = std::filesystem;

void Session::Catalogue(const std::vector<std::string>& images, bool systemDisks) {
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
        struct stat st {};
        if (::stat(source.c_str(), &st) != 0) throw CliError("no such source: " + source);
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
    source::RewalkDisk(ctx, c.disk);
    const int count = ctx.partitions[c.disk].Count;
    if (count == 0) throw CliError("no NTFS or FAT partition on " + source + " (try --mode partition)");
    if (partition == 0 && count > 1)
        throw CliError(source + " has " + std::to_string(count) + " partitions; choose one with --partition N:" +
                       PartitionList(ctx, c.disk));
    if (partition > count) throw CliError("no partition " + std::to_string(partition) + ":" + PartitionList(ctx, c.disk));
    c.partition = partition == 0 ? 0 : partition - 1;
    return c;
}

void SelectSource(Session& s, const SourceChoice& c) {
    auto& ctx = *s.ctx;
    auto& src = ctx.source;
    if (c.letter) {
        const auto* v = ctx.drives.catalogue.Volume(c.letter);
        src.SelectVolume(c.letter);
        src.BytesPerSector = static_cast<std::int32_t>(v->bytesPerSector);
        src.EndSector = 0;
        partition::WalkPartitions(ctx, nullptr, 0, 0, false);
        const auto& t = ctx.partitions[0];
        if (t.Count == 0) throw CliError("no NTFS or FAT file system on drive " + std::string(1, c.letter) + ":");
        src.StartSector = t.Entries[0].Start;
        src.EndSector = t.Entries[0].End;
        src.PartitionLabel = t.FileSystem[0];
        src.PartitionIndex = 0;
    } else {
        src.SelectPhysicalDisk(c.disk);
        src.BytesPerSector = static_cast<std::int32_t>(source::DiskSectorSize(ctx, c.disk));
        const auto& t = ctx.partitions[c.disk];
        src.StartSector = t.Entries[c.partition].Start;
        src.EndSector = t.Entries[c.partition].End;
        src.PartitionLabel = t.FileSystem[c.partition];
        src.PartitionIndex = static_cast<std::int16_t>(c.partition);
        src.ItemText = partition::PartitionName(c.partition + 1, src.PartitionLabel);
    }
    src.BadSectorPolicy = base::BadSectorAnswer::RetryOnce;
}

void SelectWholeDisk(Session& s, int disk) {
    auto& ctx = *s.ctx;
    ctx.source.SelectPhysicalDisk(disk);
    ctx.source.BytesPerSector = static_cast<std::int32_t>(source::DiskSectorSize(ctx, disk));
    ctx.source.BadSectorPolicy = base::BadSectorAnswer::RetryOnce;
}

}  // namespace dravik::cli
