// Byte counts as the system writes them.
#pragma once

#include <cstdint>
#include <string>

namespace dravik::base {

// Three decimals in MB up to 2^30 bytes, GB up to 2^40, TB above:
// exactly 2^30 bytes is "1024.000 MB", one byte more "1.000 GB".
std::string SizeText(std::uint64_t bytes);

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace dravik::base
