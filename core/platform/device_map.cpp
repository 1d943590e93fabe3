#include "platform/device_map.h"

#include <cctype>

namespace dravik::platform {

namespace {
constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kPhysicalDrive = "PhysicalDrive";

char UpperLetter(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
}  // namespace

void DeviceMap::SetDisk(int n, DeviceBacking backing) {
    if (n < 0 || n >= kMaxDisks) return;
    disks_[n] = std::move(backing);
    ++generation_;
}

void DeviceMap::ClearDisk(int n) {
    if (n < 0 || n >= kMaxDisks) return;
    disks_[n].reset();
    ++generation_;
}

const std::optional<DeviceBacking>& DeviceMap::Disk(int n) const {
    static const std::optional<DeviceBacking> kNone;
    if (n < 0 || n >= kMaxDisks) return kNone;
    return disks_[n];
}

void DeviceMap::SetVolume(char letter, DeviceBacking backing) {
    volumes_[UpperLetter(letter)] = std::move(backing);
    ++generation_;
}

void DeviceMap::ClearVolume(char letter) {
    volumes_.erase(UpperLetter(letter));
    ++generation_;
}

char DeviceMap::AddVolume(DeviceBacking backing) {
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (volumes_.count(letter)) continue;
        volumes_.emplace(letter, std::move(backing));
        ++generation_;
        return letter;
    }
    return 0;
}

void DeviceMap::ClearVolumes() {
    volumes_.clear();
    ++generation_;
}

std::optional<DeviceBacking> DeviceMap::Resolve(std::string_view path) const {
    if (!path.starts_with(kDevicePrefix)) return std::nullopt;
    path.remove_prefix(kDevicePrefix.size());
    if (path.starts_with(kPhysicalDrive)) {
        path.remove_prefix(kPhysicalDrive.size());
        if (path.size() != 1 || path[0] < '0' || path[0] > '9') return std::nullopt;
        return disks_[path[0] - '0'];
    }
    if (path.size() == 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        auto it = volumes_.find(UpperLetter(path[0]));
        if (it != volumes_.end()) return it->second;
    }
    return std::nullopt;
}

}  // namespace dravik::platform
