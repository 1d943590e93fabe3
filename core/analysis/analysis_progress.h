// The analysis side of progress reporting: throttles the per-item updates
// to every 1000th call, sends only fields whose values changed, and goes
// quiet while the details are hidden.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/progress.h"

namespace dravik::analysis {

enum class ProgressMode {
    Sector,  // the value is the current sector
    Size,    // the value is the total size of the files found
};

class AnalysisProgress {
public:
    explicit AnalysisProgress(base::ProgressSink& sink) : sink_(sink) {}

    // Called after every item or sector. Only every 1000th call updates the
    // display. In sector mode the value is shown against `endSector`; on
    // NTFS the value field shows the index blocks found instead and the
    // sector pair moves to the detail line.
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
    void Flush() { calls_ = kEvery - 1; }

private:
    static constexpr std::uint32_t kEvery = 1000;

    base::ProgressSink& sink_;
    std::atomic<bool> hide_ = false;
    bool hidden_ = false;
    std::uint32_t calls_ = 0;
    std::uint32_t counterCalls_ = 0;
    int percent_ = -1;
    std::int64_t lastFolders_ = -1;
    std::int64_t lastFiles_ = -1;
    std::u16string lastName_;
    bool nameShown_ = false;
    std::string lastValue_;
    std::uint64_t endSector_ = 0;
    bool ntfs_ = false;
    std::uint32_t indexBlocks_ = 0;
};

}  // namespace dravik::analysis
