// The analysis side of progress reporting: throttles the per-item updates
// by count and by time, sends their figures (the sink's texts are made from
// them), and goes quiet while the details are hidden.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <functional>

#include "base/progress.h"

namespace dravik::analysis {

enum class ProgressMode {
    Sector,  // the value is the current sector
    Size,    // the value is the total size of the files found
};

class AnalysisProgress {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit AnalysisProgress(base::ProgressSink& sink, Clock clock = {})
        : sink_(sink), clock_(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)), lastUpdate_(clock_()) {}

    // Called after every item or sector. Every 1000th call updates the
    // display, but not sooner than kMinInterval after the last update (a
    // fast scan would flood the front end); a slow one updates once
    // kMaxInterval has passed, whatever the count. In sector mode the value
    // is shown against `endSector`; on NTFS the value field shows the index
    // blocks found instead and the sector pair moves to the detail line.
    void UpdateProgress(std::uint64_t value, std::uint32_t folders, std::uint32_t files, std::u16string_view lastName,
                        ProgressMode mode);
    // The context of sector mode.
    void SetSectorContext(std::uint64_t endSector, bool ntfs);
    void SetIndexBlockCount(std::uint32_t count) { indexBlocks_ = count; }

    void Step(const std::string& text) { sink_.SetText(base::ProgressField::Step, text); }
    // Detail lines of the "%d/%d" kind, sent every 256th call and on the last.
    void Counter(const char* format, std::uint32_t done, std::uint32_t total);
    void Detail(const std::string& text) { sink_.SetText(base::ProgressField::Detail, text); }
    void ValueLabel(const std::string& text) { sink_.SetText(base::ProgressField::ValueLabel, text); }
    // Sends the percentage when it changed; clipped to 0..100.
    void Percent(std::uint64_t done, std::uint64_t total);
    void SetPercent(int percent);
    void RestartElapsed() { sink_.RestartElapsed(); }

    // Set from the front end's thread (Hide Details / Show Details).
    void SetHideDetails(bool hide) { hide_.store(hide); }

    // Forces the next UpdateProgress call to update (after a phase change).
    void Flush() { forced_ = true; }

    static constexpr std::uint32_t kEvery = 1000;
    static constexpr std::chrono::milliseconds kMinInterval{40};
    static constexpr std::chrono::milliseconds kMaxInterval{250};

private:
    bool Due();

    base::ProgressSink& sink_;
    Clock clock_;
    std::chrono::steady_clock::time_point lastUpdate_{};
    bool updated_ = false;
    bool forced_ = false;
    std::atomic<bool> hide_ = false;
    bool hidden_ = false;
    std::uint32_t calls_ = 0;
    std::uint32_t counterCalls_ = 0;
    int percent_ = -1;
    std::u16string lastName_;
    std::string lastNameText_;
    std::uint64_t endSector_ = 0;
    bool ntfs_ = false;
    std::uint32_t indexBlocks_ = 0;
};

}  // namespace dravik::analysis
