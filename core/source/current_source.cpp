#include "source/current_source.h"

namespace dravik::source {

std::string PhysicalDrivePath(int n) {
    return std::string("\\\\.\\PhysicalDrive") + std::to_string(n);
}

std::string VolumePath(char letter) {
    return std::string("\\\\.\\") + letter + ':';
}

std::array<std::string, kDeviceSlots> CurrentSource::InitialDeviceTable() {
    std::array<std::string, kDeviceSlots> t;
    for (int i = 0; i < kDeviceSlots; ++i) t[i] = PhysicalDrivePath(i);
    return t;
}

std::string_view CurrentSource::CurrentDevicePath() const {
    if (DeviceIndex < 0 || DeviceIndex >= kDeviceSlots) return {};
    return DeviceTable[DeviceIndex];
}

void CurrentSource::SelectPhysicalDisk(int n) {
    DeviceTable[0] = PhysicalDrivePath(0);
    DeviceIndex = static_cast<std::int16_t>(n);
    DriveLetter = 0;
}

void CurrentSource::SelectVolume(char letter) {
    DeviceTable[0] = VolumePath(letter);
    DeviceIndex = 0;
    DriveLetter = letter;
}

}  // namespace dravik::source
