// What the drive catalogue and the volume information pane read from a
// volume itself: its file system, label, capacity and, where that is cheap,
// its free space. Reads go straight to the volume's device, not through the
// sector reader: nothing here prompts about bad sectors, and an unreadable
// volume simply shows no figures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "source/sector_device.h"

namespace dravik::drives {

struct VolumeFacts {
    std::string fileSystem;  // "NTFS", "FAT32", "FAT16", "FAT12"; empty when not recognised
    std::string label;       // empty when the volume has none
    std::uint64_t capacity = 0;          // bytes of the data area; 0 when unknown
    std::optional<std::uint64_t> free;   // bytes; unknown for NTFS
    std::uint32_t bytesPerSector = 0;    // from the boot sector; 0 when unknown
};

// Never fails: an unreadable or unknown volume gives empty facts.
VolumeFacts ProbeVolume(source::SectorDevice& device);

}  // namespace dravik::drives
