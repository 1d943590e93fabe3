// Paths of the unpacked test images and their manifests.
#pragma once

#include <filesystem>
#include <string>

namespace dravik::test {

inline std::filesystem::path ImagePath(const std::string& name) {
    return std::filesystem::path(DRAVIK_IMAGE_DIR) / name;
}

inline std::filesystem::path ManifestPath(const std::string& name) {
    return std::filesystem::path(DRAVIK_MANIFEST_DIR) / name;
}

}  // namespace dravik::test
