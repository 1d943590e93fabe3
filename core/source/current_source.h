// The selected source: which device every sector read goes to, and the range
// of it that the current analysis covers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/prompter.h"

namespace dravik::source {

using base::BadSectorAnswer;

inline constexpr int kDeviceSlots = 10;

// "\\.\PhysicalDriveN" for slot N.
std::string PhysicalDrivePath(int n);
// "\\.\X:" for drive letter X.
std::string VolumePath(char letter);

struct CurrentSource {
    // Device paths; slot 0 is overwritten with a volume path while a logical
    // drive is the source.
    std::array<std::string, kDeviceSlots> DeviceTable = InitialDeviceTable();
    std::int16_t DeviceIndex = 0;
    char DriveLetter = 0;  // 0 while the source is a physical disk
    std::int32_t BytesPerSector = 512;
    std::uint64_t StartSector = 0;
    std::uint64_t EndSector = 0;  // 0: no limit
    std::string ItemText;         // UTF-8
    std::string PartitionText;    // text of the chosen partition item; empty for a disk or volume
    std::string PartitionLabel;   // "NTFS", "FAT16", "FAT32"
    std::int16_t PartitionIndex = -1;
    BadSectorAnswer BadSectorPolicy = BadSectorAnswer::RetryOnce;

    // The path of the slot DeviceIndex selects, or empty when the index is out
    // of range.
    std::string_view CurrentDevicePath() const;

    // Selects physical disk n: restores slot 0 to its disk path.
    void SelectPhysicalDisk(int n);
    // Selects the volume with this letter through slot 0.
    void SelectVolume(char letter);

    static std::array<std::string, kDeviceSlots> InitialDeviceTable();
};

}  // namespace dravik::source
