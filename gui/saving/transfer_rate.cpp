#include "saving/transfer_rate.h"

#include <cmath>

#include "base/size_text.h"
#include "saving/copy_engine.h"

namespace dravik::gui {

void TransferRate::Sample(double seconds, std::uint64_t bytes) {
    if (!points_.empty() && (bytes < points_.back().bytes || seconds < points_.back().seconds)) points_.clear();
    points_.push_back({seconds, bytes});
    // Keep one point at or before the window's start, so the window is full.
    while (points_.size() > 2 && points_[1].seconds <= seconds - window_) points_.pop_front();
}

double TransferRate::BytesPerSecond() const {
    if (points_.size() < 2) return 0;
    const double span = points_.back().seconds - points_.front().seconds;
    if (span <= 0) return 0;
    return static_cast<double>(points_.back().bytes - points_.front().bytes) / span;
}

std::optional<std::int64_t> TransferRate::SecondsLeft(std::uint64_t total) const {
    const double rate = BytesPerSecond();
    if (rate <= 0 || points_.empty()) return std::nullopt;
    const std::uint64_t written = points_.back().bytes;
    if (written >= total) return 0;
    return static_cast<std::int64_t>(std::ceil(static_cast<double>(total - written) / rate));
}

std::string RateText(double bytesPerSecond) {
    constexpr double kKb = 1024.0, kMb = kKb * 1024, kGb = kMb * 1024;
    if (bytesPerSecond < kMb) return base::Format("%.3f KB/s", bytesPerSecond / kKb);
    if (bytesPerSecond < kGb) return base::Format("%.3f MB/s", bytesPerSecond / kMb);
    return base::Format("%.3f GB/s", bytesPerSecond / kGb);
}

std::string RateRowText(const TransferRate& rate, std::uint64_t total) {
    std::string t = RateText(rate.BytesPerSecond());
    if (const auto left = rate.SecondsLeft(total); left && *left > 0)
        t += ", " + saving::MinSecText(*left) + " left at this rate";
    return t;
}

}  // namespace dravik::gui
