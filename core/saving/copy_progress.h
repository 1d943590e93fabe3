// What a save run reports while it goes: numbers only (bytes, files, times,
// the file in hand). The texts the progress page shows are made from them
// by one formatter that every front end uses, so that they read the same
// wherever they are shown.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace dravik::saving {

namespace text {
inline constexpr const char* kTimeZero = "00:00:00";
}  // namespace text

struct CopyCounts {
    std::filesystem::path file;        // destination of the file in hand; empty before the first
    std::uint64_t fileWritten = 0;     // of the file in hand
    std::uint64_t fileSize = 0;
    std::uint64_t bytesWritten = 0;    // of the run, skipped conflicts included
    std::uint64_t selectedBytes = 0;   // what the size walk counted
    std::int32_t filesDone = 0;        // selected files the run is done with (filtered ones aside)
    std::int32_t filesTotal = 0;       // what the size walk counted
    std::int64_t elapsedSeconds = 0;   // since the run started, pauses included
    std::int64_t pausedSeconds = 0;    // of those, spent paused
};

class CopyProgressSink {
public:
    virtual ~CopyProgressSink() = default;
    // Called on the worker's thread, throttled by the engine.
    virtual void Update(const CopyCounts& counts) = 0;
};

// The bars: 0..100, or nullopt while a bar stays as it is (nothing written
// yet, nothing to compare with).
std::optional<int> FilePercent(const CopyCounts& c);
std::optional<int> OverallPercent(const CopyCounts& c);

// "%.3f MB size in" and its GB/TB kin (exactly 2^30 bytes is 1024.000 MB).
std::string SizeTextIn(std::uint64_t bytes);
// "N Min N Sec": whole minutes (not folded into hours) and the seconds left.
std::string MinSecText(std::int64_t seconds);

// The detail fields of the progress page.
enum class CopyField { FolderName, LastDataName, DataSize, DataCopied, TimeLeft, TimeElapsed };

// The detail texts of the progress page for one update.
struct CopyProgressTexts {
    std::string folderName;    // the destination folder, with a trailing '/'
    std::string lastDataName;  // the file's name there
    std::string dataSize;
    std::string dataCopied;
    // Time left and time elapsed; nullopt while the rate is still 0 (the
    // page keeps what it showed). Both "00:00:00" before a second has passed.
    std::optional<std::string> timeLeft;
    std::optional<std::string> timeElapsed;

    static CopyProgressTexts Of(const CopyCounts& c);
    // The text of one field; nullopt for a time that stays as shown.
    std::optional<std::string> Field(CopyField field) const;
};

// When the next update is due: at most one per `gap`, the clock read only
// every `everyCalls` calls so that a flood of small pieces costs little.
class UpdateThrottle {
public:
    using Clock = std::chrono::steady_clock;
    explicit UpdateThrottle(std::chrono::milliseconds gap = std::chrono::milliseconds(50), unsigned everyCalls = 4)
        : gap_(gap), everyCalls_(everyCalls ? everyCalls : 1) {}
    // True when an update may go out now (and counts it as sent).
    bool Due(Clock::time_point now = Clock::now());
    // An update that went out regardless (the final one, one before a prompt).
    void Sent(Clock::time_point now = Clock::now());

private:
    std::chrono::milliseconds gap_;
    unsigned everyCalls_;
    unsigned calls_ = 0;
    bool any_ = false;
    Clock::time_point last_{};
};

}  // namespace dravik::saving
