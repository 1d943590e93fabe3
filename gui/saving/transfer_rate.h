// The transfer rate of a save as the progress dialog shows it: bytes per
// second over the last few seconds (pauses excluded by the caller's clock),
// and the time the rest would take at that rate. Qt-free, so that the
// arithmetic is tested on its own.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace dravik::gui {

class TransferRate {
public:
    explicit TransferRate(double windowSeconds = 5.0) : window_(windowSeconds) {}

    // Bytes written so far at `seconds` of running time. Samples must not go
    // back in time; a sample with fewer bytes than the last starts afresh.
    void Sample(double seconds, std::uint64_t bytes);
    // Over the samples of the last window; 0 until two samples span time.
    double BytesPerSecond() const;
    // Whole seconds the remaining `total - written` bytes take at the
    // current rate; nullopt while there is no rate.
    std::optional<std::int64_t> SecondsLeft(std::uint64_t total) const;

private:
    struct Point {
        double seconds;
        std::uint64_t bytes;
    };
    double window_;
    std::deque<Point> points_;
};

// "12.345 MB/s", "512.000 KB/s" below one MB a second, "1.234 GB/s" above a GB.
std::string RateText(double bytesPerSecond);

// What the rate row shows: "12.345 MB/s, 2 Min 5 Sec left at this rate", or
// the rate alone while nothing is left to estimate.
std::string RateRowText(const TransferRate& rate, std::uint64_t total);

}  // namespace dravik::gui
