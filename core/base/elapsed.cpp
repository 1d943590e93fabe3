#include "base/elapsed.h"

#include "base/size_text.h"

namespace dravik::base {

std::string ElapsedText(std::chrono::milliseconds elapsed) {
    const long long s = elapsed.count() / 1000;
    return Format("%lld : %lld : %lld", s / 3600, s / 60 % 60, s % 60);
}

}  // namespace dravik::base
