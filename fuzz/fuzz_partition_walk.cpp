// The partition walk over a small disk made of the input (MBR, extended
// chains, GPT and the backup search all read from it), and the volume probe
// over the same bytes taken as a volume.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "partition/partition_walk.h"
#include "source/geometry_cache.h"
#include "drives/volume_probe.h"

using namespace dravik;

namespace {

class CountingSink : public partition::PartitionItemSink {
public:
    partition::TreeHandle AddPartitionItem(int, const std::string&) override { return ++count; }
    partition::TreeHandle count = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 512 || size > (1 << 20)) return 0;
    std::vector<std::uint8_t> bytes(data, data + size);
    fuzz::MemoryDisk disk(bytes);
    auto& ctx = disk.ctx;
    // A cached size inside the input, so that the backup search reads it.
    ctx.registry.SetValue(source::geometry_cache::kSize, "Disk0", std::to_string(size / 2));
    CountingSink sink;
    partition::WalkPartitions(ctx, &sink, 0, 0, true);
    const auto& table = ctx.partitions[0];
    if (table.Count < 0 || table.Count > partition::DiskPartitionTable::kMaxPartitions) __builtin_trap();
    if (sink.count > static_cast<partition::TreeHandle>(table.Count)) __builtin_trap();

    source::MemoryDevice volume(bytes);
    drives::ProbeVolume(volume);
    return 0;
}
