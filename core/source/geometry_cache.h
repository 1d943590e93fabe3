// Names of the disk geometry cache that the drive catalogue rebuilds in the
// registry store: one key per figure, one string value per disk, named
// "Disk0" to "Disk9".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravik::platform {
class RegistryStore;
}

namespace dravik::source::geometry_cache {

inline constexpr std::string_view kRoot = "NuvelGeometry";  // "HDD" or "ZIP"; lists the disk
inline constexpr std::string_view kCylinder = "NuvelGeometry\\Cylinder";
inline constexpr std::string_view kHead = "NuvelGeometry\\Head";
inline constexpr std::string_view kMediaType = "NuvelGeometry\\MediaType";
inline constexpr std::string_view kModel = "NuvelGeometry\\Model";
inline constexpr std::string_view kSectorsPerTrack = "NuvelGeometry\\SectorsPerTrack";
inline constexpr std::string_view kSize = "NuvelGeometry\\Size";
inline constexpr std::string_view kBytesPerSector = "NuvelGeometry\\BytesPerSector";

inline constexpr std::string_view kFixedTop = "HDD";
inline constexpr std::string_view kRemovableTop = "ZIP";
inline constexpr std::string_view kFixedMedia = "Fixed hard disk media";
inline constexpr std::string_view kRemovableMedia = "Removable media other than floppy";

// "Disk" followed by n.
inline std::string DiskValueName(int n) {
    return "Disk" + std::to_string(n);
}

// The cached value of disk n under `key`, empty when there is none.
std::string CachedValue(const platform::RegistryStore& store, std::string_view key, int n);
// The cached size in bytes of disk n; 0 when missing or not a number.
std::uint64_t CachedDiskSize(const platform::RegistryStore& store, int n);

}  // namespace dravik::source::geometry_cache
