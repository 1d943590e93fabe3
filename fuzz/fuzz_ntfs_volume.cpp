// Whole analyses over a small volume made of the input: the $MFT walk (with
// whatever boot sector, run list and records the bytes hold) and the
// signature scan with its number and volume inference.
#include <cstdint>
#include <vector>

#include "analysis/volume_geometry.h"
#include "fuzz_support.h"

using namespace dravik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 512 || size > (1 << 20)) return 0;
    std::vector<std::uint8_t> bytes(data, data + size);
    for (auto mode : {analysis::RecoveryMode::Deleted, analysis::RecoveryMode::Formatted}) {
        fuzz::MemoryDisk disk(bytes);
        auto& ctx = disk.ctx;
        ctx.source.SelectPhysicalDisk(0);
        ctx.source.EndSector = (size + 511) / 512;
        ctx.source.PartitionLabel = "NTFS";
        ctx.analysis.settings.mode = mode;
        ctx.analysis.settings.formatted = mode == analysis::RecoveryMode::Formatted;
        if (!analysis::ReadVolumeGeometry(ctx)) {
            ctx.analysis.partition.fileSystem = "NTFS";
            ctx.analysis.partition.sectorsPerCluster = 1;
            ctx.analysis.partition.sectorsPerRecord = 2;
        }
        analysis::PrepareAnalysis(ctx);
        fuzz::Analyse(ctx);
    }
    return 0;
}
