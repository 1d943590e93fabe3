#include "analysis/volume_geometry.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "analysis/fat_boot.h"
#include "analysis/ntfs_boot.h"
#include "analysis/ntfs_record.h"
#include "analysis/ntfs_runs.h"
#include "analysis/analysis_context.h"
#include "partition/boot_sector_id.h"

namespace dravik::analysis {

using platform::U16;
using platform::U32;
using platform::U8;

namespace {

std::vector<std::uint8_t> ReadSector(const AnalysisContext& ctx, std::uint64_t sector) {
    std::vector<std::uint8_t> buf(ctx.reader.SectorSize() ? ctx.reader.SectorSize() : 512, 0);
    ctx.reader.Read(sector, 1, buf);
    return buf;
}

bool StartsWithFile(const AnalysisContext& ctx, std::uint64_t sector) {
    return sector != 0 && ntfs::IsFileRecord(ReadSector(ctx, sector));
}

bool ReadNtfsGeometry(const AnalysisContext& ctx, std::uint64_t start, std::uint64_t end, VolumeGeometry& g) {
    // The backup boot sector sits at the volume's last sector: the partition
    // end itself for a volume sized from its boot sector, one before it for a
    // partition-table entry (which counts the backup's sector too).
    std::vector<std::uint64_t> copies{start};
    if (end > start) {
        copies.push_back(end);
        copies.push_back(end - 1);
    }
    if (!partition::HasBootSignature(ReadSector(ctx, start)) && copies.size() > 1) std::swap(copies[0], copies[1]);

    std::optional<ntfs::BootSector> chosen;
    std::uint64_t mft = 0, mirr = 0;
    for (std::uint64_t at : copies) {
        auto boot = ntfs::DecodeBootSector(ReadSector(ctx, at), ctx.reader.SectorSize());
        if (!boot) continue;
        const std::uint32_t spc = boot->sectorsPerCluster;
        if (spc == 0 || spc > 128 || !std::has_single_bit(spc)) continue;
        if (!chosen) chosen = boot;
        if (mft == 0 && StartsWithFile(ctx, start + boot->mftLcn * spc)) mft = start + boot->mftLcn * spc;
        if (mirr == 0 && StartsWithFile(ctx, start + boot->mftMirrLcn * spc)) mirr = start + boot->mftMirrLcn * spc;
        if (mft != 0 && mirr != 0) break;
    }
    if (!chosen || (mft == 0 && mirr == 0)) return false;
    g = VolumeGeometry{};
    g.fileSystem = "NTFS";
    g.sectorsPerCluster = chosen->sectorsPerCluster;
    g.sectorsPerRecord = chosen->sectorsPerRecord;
    g.sectorsPerIndexBlock = chosen->sectorsPerIndexBlock;
    g.mftSector = mft;
    g.mftMirrSector = mirr;
    g.clusterBase = start;
    return true;
}

// The second FAT begins with the media byte: 0xF8 on fixed disks, 0xF0 on
// floppies and some removable media (0xF9..0xFF on old formats).
bool FatBootValid(const AnalysisContext& ctx, const std::vector<std::uint8_t>& boot, std::uint64_t fatSector) {
    return partition::HasBootSignature(boot) && U8(ReadSector(ctx, fatSector), 0) >= 0xF0;
}

bool ReadFatGeometry(const AnalysisContext& ctx, std::uint64_t start, bool fat32, VolumeGeometry& g,
                     const char* type) {
    auto boot = ReadSector(ctx, start);
    auto layout = fat::DecodeBootLayout(boot, start, fat32);
    if (!FatBootValid(ctx, boot, layout.fat2Start)) {
        if (!fat32) return false;
        boot = ReadSector(ctx, start + 6);  // the FAT32 backup boot sector
        layout = fat::DecodeBootLayout(boot, start, fat32);
        if (!FatBootValid(ctx, boot, layout.fat2Start)) return false;
    }
    g = VolumeGeometry{};
    g.fileSystem = type;
    g.sectorsPerCluster = layout.sectorsPerCluster;
    g.sectorsPerFat = layout.sectorsPerFat;
    g.reservedSectors = layout.reservedSectors;
    g.fat1Start = layout.fat1Start;
    g.fat2Start = layout.fat2Start;
    g.rootDirStart = layout.rootDirStart;
    g.rootDirSectors = layout.rootDirSectors;
    g.clusterBase = layout.clusterBase;
    return true;
}

}  // namespace

std::optional<std::uint64_t> FileSystemBytes(const AnalysisContext& ctx) {
    const std::uint32_t bps = ctx.reader.SectorSize();
    if (bps == 0) return std::nullopt;
    std::vector<std::uint8_t> sector(bps);
    if (!ctx.reader.Read(ctx.source.StartSector, 1, sector)) return std::nullopt;
    const platform::Bytes b(sector);
    if (const auto boot = ntfs::DecodeBootSector(b, bps)) {
        if (boot->volumeBytes == 0) return std::nullopt;
        return boot->volumeBytes;
    }
    if (!partition::HasBootSignature(b)) return std::nullopt;
    const auto layout = fat::DecodeBootLayout(b, 0, ctx.source.PartitionLabel == "FAT32");
    if (layout.bytesPerSector == 0 || layout.totalSectors == 0 ||
        layout.totalSectors > UINT64_MAX / layout.bytesPerSector)
        return std::nullopt;
    return layout.totalSectors * layout.bytesPerSector;
}

bool ReadVolumeGeometry(const AnalysisContext& ctx) {
    const auto& src = ctx.source;
    VolumeGeometry g;
    bool ok = false;
    if (src.PartitionLabel == "NTFS")
        ok = ReadNtfsGeometry(ctx, src.StartSector, src.EndSector, g);
    else if (src.PartitionLabel == "FAT12" || src.PartitionLabel == "FAT16")
        ok = ReadFatGeometry(ctx, src.StartSector, false, g, src.PartitionLabel == "FAT12" ? "FAT12" : "FAT16");
    else if (src.PartitionLabel == "FAT32")
        ok = ReadFatGeometry(ctx, src.StartSector, true, g, "FAT32");
    if (ok) ctx.analysis.partition = std::move(g);
    return ok;
}

void PrepareAnalysis(const AnalysisContext& ctx) {
    auto& a = ctx.analysis;
    // A loaded scan log brings the geometry and range its analysis ran with.
    if (!a.settings.fromLog) {
        a.geometry = a.partition;
        a.geometry.fileSystem = ctx.source.PartitionLabel;
        a.partitionStart = ctx.source.StartSector;
        a.partitionEnd = ctx.source.EndSector;
    }
    a.bytesPerSector = ctx.reader.SectorSize() ? ctx.reader.SectorSize() : 512;
    a.mftRuns.clear();
    // Items of a $MFT walk are found again by their record number, loaded
    // from a log or not: the copy engine needs the run list.
    if (a.geometry.fileSystem != "NTFS" || a.settings.mode != RecoveryMode::Deleted) return;
    ntfs::NtfsVolume volume;
    volume.reader = &ctx.reader;
    volume.partitionStart = a.geometry.clusterBase;
    volume.sectorsPerCluster = a.geometry.sectorsPerCluster;
    volume.sectorsPerRecord = a.geometry.sectorsPerRecord;
    if (a.geometry.mftSector != 0) a.mftRuns = ntfs::BuildMftRuns(volume, a.geometry.mftSector);
    // $MFTMirr holds a copy of the $MFT's own record, whose runs map the
    // whole $MFT.
    if (a.mftRuns.empty() && a.geometry.mftMirrSector != 0)
        a.mftRuns = ntfs::BuildMftRuns(volume, a.geometry.mftMirrSector);
    // A damaged record can claim runs far beyond the volume; the $MFT lies
    // inside it, so nothing past its end is walked.
    if (a.partitionEnd > a.partitionStart) {
        ntfs::RunList clipped;
        std::uint64_t room = a.partitionEnd - a.partitionStart;
        for (auto run : a.mftRuns) {
            if (room == 0) break;
            if (!run.sparse) {
                if (run.start < a.partitionStart || run.start >= a.partitionEnd) break;
                run.length = std::min(run.length, a.partitionEnd - run.start);
            }
            run.length = std::min(run.length, room);
            room -= run.length;
            clipped.push_back(run);
        }
        a.mftRuns = std::move(clipped);
    }
}

}  // namespace dravik::analysis
