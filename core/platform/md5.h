// MD5 of a byte stream: the recovery report's checksum of what was written,
// and the tests' comparison with the image manifests.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace dravik::platform {

class Md5 {
public:
    void Update(std::span<const std::uint8_t> data);
    // Lower-case hex; ends the computation.
    std::string HexDigest();
    static std::string Of(std::span<const std::uint8_t> data);
    // Of a file's contents, read in large pieces; an unreadable file counts
    // as empty.
    static std::string OfFile(const std::filesystem::path& path);

private:
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> h_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::array<std::uint8_t, 64> block_{};
    std::size_t fill_ = 0;
    std::uint64_t bytes_ = 0;
};

}  // namespace dravik::platform
