// The elapsed time a long task shows, pauses excluded.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace dravik::base {

// "h : m : s" without padding, as the progress dialogs show it.
std::string ElapsedText(std::chrono::milliseconds elapsed);

class ElapsedClock {
public:
    using Clock = std::chrono::steady_clock;

    void Restart(Clock::time_point now = Clock::now()) {
        start_ = now;
        paused_ = {};
        pausedAt_.reset();
    }
    void Pause(Clock::time_point now = Clock::now()) {
        if (!pausedAt_) pausedAt_ = now;
    }
    void Resume(Clock::time_point now = Clock::now()) {
        if (pausedAt_) paused_ += now - *pausedAt_;
        pausedAt_.reset();
    }
    std::chrono::milliseconds Elapsed(Clock::time_point now = Clock::now()) const {
        const auto end = pausedAt_ ? *pausedAt_ : now;
        return std::chrono::duration_cast<std::chrono::milliseconds>(end - start_ - paused_);
    }

private:
    Clock::time_point start_ = Clock::now();
    Clock::duration paused_{};
    std::optional<Clock::time_point> pausedAt_;
};

}  // namespace dravik::base
