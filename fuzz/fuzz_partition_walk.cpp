// The partition walk over a small disk made of the input (MBR, extended
// chains, GPT and the backup search all read from it), and the volume probe
// over the same bytes taken as a volume. The disk's size is known to the
// walk (the input also lies in a memory file the device map names), so
// entries past the disk's end must come out clipped or left out.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
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

// The input as a file the walk can measure.
std::string DiskFile(const std::vector<std::uint8_t>& bytes) {
    static const int fd = ::memfd_create("disk", 0);
    if (::ftruncate(fd, 0) != 0) __builtin_trap();
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) __builtin_trap();
        done += static_cast<std::size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 512 || size > (1 << 20)) return 0;
    std::vector<std::uint8_t> bytes(data, data + size);
    fuzz::MemoryDisk disk(bytes);
    auto& ctx = disk.ctx;
    ctx.devices.SetDisk(0, {DiskFile(bytes)});
    // A cached size inside the input, so that the backup search reads it.
    ctx.registry.SetValue(source::geometry_cache::kSize, "Disk0", std::to_string(size / 2));
    CountingSink sink;
    partition::WalkPartitions(ctx, &sink, 0, 0, true);
    const auto& table = ctx.partitions[0];
    if (table.Count < 0 || table.Count > partition::DiskPartitionTable::kMaxPartitions) __builtin_trap();
    if (sink.count > static_cast<partition::TreeHandle>(table.Count)) __builtin_trap();
    const std::uint64_t sectors = size / 512;
    for (int i = 0; i < table.Count; ++i)
        if (table.Entries[static_cast<std::size_t>(i)].Start >= sectors ||
            table.Entries[static_cast<std::size_t>(i)].End > sectors)
            __builtin_trap();

    source::MemoryDevice volume(bytes);
    drives::ProbeVolume(volume);
    return 0;
}
