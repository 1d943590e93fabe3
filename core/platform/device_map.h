// Maps the device paths the rest of the system uses ("\\.\PhysicalDriveN" for
// disk N, "\\.\X:" for the volume with drive letter X) to what backs them on
// Linux: a whole block device, a partition block device, or an image file the
// user attached (optionally a window of one, for a volume inside a disk image).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace dravik::platform {

struct DeviceBacking {
    std::string path;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;  // 0: up to the end of the file
    bool operator==(const DeviceBacking&) const = default;
};

class DeviceMap {
public:
    static constexpr int kMaxDisks = 10;

    void SetDisk(int n, DeviceBacking backing);
    void ClearDisk(int n);
    const std::optional<DeviceBacking>& Disk(int n) const;

    void SetVolume(char letter, DeviceBacking backing);
    void ClearVolume(char letter);
    // Gives the volume the first free drive letter from C: upwards (A: and B:
    // are never volumes); returns it, or 0 when all are taken.
    char AddVolume(DeviceBacking backing);
    void ClearVolumes();
    const std::map<char, DeviceBacking>& Volumes() const { return volumes_; }

    // Resolves "\\.\PhysicalDriveN" (N = 0..9) or "\\.\X:". Paths are matched
    // exactly as the reader's handle cache compares them; the drive letter is
    // case-insensitive as on the platform we emulate.
    std::optional<DeviceBacking> Resolve(std::string_view devicePath) const;

    // Bumped on every change, so that an open device whose path now means
    // something else is reopened.
    std::uint64_t Generation() const { return generation_; }

private:
    std::array<std::optional<DeviceBacking>, kMaxDisks> disks_;
    std::map<char, DeviceBacking> volumes_;
    std::uint64_t generation_ = 0;
};

}  // namespace dravik::platform
