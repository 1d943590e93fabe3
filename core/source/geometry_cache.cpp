#include "source/geometry_cache.h"

#include <charconv>

#include "platform/registry_store.h"

namespace dravik::source::geometry_cache {

std::string CachedValue(const platform::RegistryStore& store, std::string_view key, int n) {
    return store.GetValue(key, DiskValueName(n)).value_or(std::string());
}

std::uint64_t CachedDiskSize(const platform::RegistryStore& store, int n) {
    const std::string text = CachedValue(store, kSize, n);
    std::uint64_t size = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    return size;
}

}  // namespace dravik::source::geometry_cache
