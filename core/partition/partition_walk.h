// Reading a disk's partition structures (MBR primaries, extended chains, GPT
// and its backup copy) or a volume's first sector into the disk's
// DiskPartitionTable: the partitions that hold NTFS, FAT16 or FAT32, with
// their labels and absolute sector ranges.
#pragma once

#include <cstdint>
#include <string>

#include "partition/partition_context.h"
#include "partition/partition_table.h"

namespace dravik::partition {

// Receives the items of the partitions a walk records: the GUI's source
// tree, the command line's catalogue, a test.
class PartitionItemSink {
public:
    virtual ~PartitionItemSink() = default;
    // Adds `name` under the item of disk `disk` (the one added last for that
    // disk) and returns the new item's handle, 0 for none.
    virtual TreeHandle AddPartitionItem(int disk, const std::string& name) = 0;
};

// What a walk ran into, for tests and diagnostics; the walk's result does not
// depend on it.
struct WalkNotes {
    bool extendedLoop = false;     // a chain named a record it had already read
    bool extendedTooLong = false;  // a chain ran past kMaxExtendedRecords
    bool tableFull = false;        // more partitions than the table holds
    int gptHeaders = 0;            // GPT headers whose entries were read
    bool backupSearched = false;
    std::uint64_t backupHeader = 0;  // sector of the backup GPT header found, 0 when none
    int beyondDisk = 0;     // entries that start past the end of the disk, left out
    int clippedToDisk = 0;  // entries that ran past the end, cut to it
};

// Extended boot records followed per walk at most.
inline constexpr int kMaxExtendedRecords = 1024;
// Sectors searched after the cached disk size for the backup GPT header: one
// cylinder of the cached geometry (255 heads x 63 sectors), since the size is
// truncated to whole cylinders.
inline constexpr std::uint64_t kBackupSearchSectors = 255 * 63;

// Walks disk `disk` (its DeviceTable slot, read with ReadSectors) from
// `tableSector` and rewrites ctx.partitions[disk] from entry 0 on. Count is
// reset first, so a walk that finds nothing leaves Count 0; entries keep
// their TreeItem unless the walk adds items. With `addItems`, a sink, and no
// drive letter set, each recorded partition gets an item named like
// "Partition - 1 ( FAT32 )". Returns 1 when the table sector carries the
// boot signature, else 0.
int WalkPartitions(const PartitionContext& ctx, PartitionItemSink* tree, int disk, std::uint64_t tableSector, bool addItems,
                   WalkNotes* notes = nullptr);

}  // namespace dravik::partition
