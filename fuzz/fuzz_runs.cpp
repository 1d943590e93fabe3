// Mapping pairs, and the record-following run collection over a volume made
// of the input: the base record, its attribute list (resident or not) and the
// extension records it names are all attacker-controlled.
#include <cstdint>
#include <vector>

#include "analysis/ntfs_runs.h"
#include "fuzz_support.h"
#include "platform/device_map.h"
#include "source/sector_reader.h"

using namespace dravik;
using namespace dravik::analysis::ntfs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The last two bytes choose the geometry; the rest is the volume.
    const std::uint8_t a = data[size - 1], b = data[size - 2];
    RunList runs;
    DecodeRuns(Bytes(data, size), b % 64, size, a, a % 9, runs);

    fuzz::SilentPrompter prompter;
    platform::DeviceMap map;
    map.SetDisk(0, {"memory"});
    source::CurrentSource current;
    std::vector<std::uint8_t> bytes(data, data + size);
    source::SectorReader reader(current, map, prompter, [&](const platform::DeviceBacking&) {
        return std::make_unique<source::MemoryDevice>(bytes);
    });
    NtfsVolume volume;
    volume.reader = &reader;
    volume.sectorsPerCluster = 1 + a % 8;
    volume.sectorsPerRecord = 2;
    volume.mftRuns = BuildMftRuns(volume, 0);
    (void)CollectFileRuns(volume, b % 8);
    return 0;
}
