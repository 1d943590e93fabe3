// The part of the application's state the partition walk reads and fills.
// The application context converts to it; tests may build one of their own.
#pragma once

#include <array>

#include "partition/partition_table.h"
#include "platform/device_map.h"
#include "platform/registry_store.h"
#include "source/current_source.h"
#include "source/sector_reader.h"

namespace dravik::partition {

using PartitionTables = std::array<DiskPartitionTable, source::kDeviceSlots>;

struct PartitionContext {
    platform::DeviceMap& devices;
    source::CurrentSource& source;
    source::SectorReader& reader;
    PartitionTables& partitions;
    platform::RegistryStore& registry;  // the disk geometry cache
};

}  // namespace dravik::partition
