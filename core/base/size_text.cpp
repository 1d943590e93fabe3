#include "base/size_text.h"

#include <cstdarg>
#include <cstdio>

namespace dravik::base {

std::string Format(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (n < 0) {
        va_end(copy);
        return out;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else {
        out.resize(static_cast<std::size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, format, copy);
    }
    va_end(copy);
    return out;
}

std::string SizeText(std::uint64_t bytes) {
    constexpr double kMb = 1024.0 * 1024.0;
    constexpr std::uint64_t kGb = std::uint64_t(1) << 30;
    constexpr std::uint64_t kTb = std::uint64_t(1) << 40;
    if (bytes > kTb) return Format("%.3f TB", static_cast<double>(bytes) / static_cast<double>(kTb));
    if (bytes > kGb) return Format("%.3f GB", static_cast<double>(bytes) / static_cast<double>(kGb));
    return Format("%.3f MB", static_cast<double>(bytes) / kMb);
}

}  // namespace dravik::base
