// FAT analyses over a small volume made of the input: the boot sector, FATs
// and directories are all attacker-controlled (the directory walk, long-name
// assembly, chains, the directory-cluster scan and the exhaustive scan).
#include <cstdint>
#include <vector>

#include "analysis/volume_geometry.h"
#include "fuzz_support.h"

using namespace dravik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1024 || size > (1 << 20)) return 0;
    std::vector<std::uint8_t> bytes(data, data + size);
    const char* labels[] = {"FAT12", "FAT16", "FAT32"};
    for (int run = 0; run < 3; ++run) {
        fuzz::MemoryDisk disk(bytes);
        auto& ctx = disk.ctx;
        ctx.source.SelectPhysicalDisk(0);
        ctx.source.EndSector = size / 512;
        ctx.source.PartitionLabel = labels[data[0] % 3];
        auto& s = ctx.analysis.settings;
        s.mode = run == 1 ? analysis::RecoveryMode::Formatted : analysis::RecoveryMode::Deleted;
        s.formatted = run == 1;
        s.exhaustive = run == 2;
        if (!analysis::ReadVolumeGeometry(ctx)) {
            // Geometry straight from the input, as an exhaustive search would hand it over.
            auto& g = ctx.analysis.partition;
            g.fileSystem = ctx.source.PartitionLabel;
            g.sectorsPerCluster = 1u << (data[1] % 4);
            g.sectorsPerFat = data[2] % 16 + 1;
            g.fat1Start = 1;
            g.fat2Start = 1 + g.sectorsPerFat;
            g.rootDirStart = g.fileSystem == "FAT32" ? 2 : 1 + 2 * g.sectorsPerFat;
            g.rootDirSectors = 4;
            g.clusterBase = g.rootDirStart + 4;
        }
        analysis::PrepareAnalysis(ctx);
        if (fuzz::Analyse(ctx) == analysis::AnalysisOutcome::CloseRequested && ctx.items.volumes.Count() > 0) {
            ctx.analysis.partition.fileSystem = ctx.items.volumes.items[0].typeName;
            fuzz::Analyse(ctx);  // the chosen volume
        }
    }
    return 0;
}
