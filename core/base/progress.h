// What a long task shows while it runs. Front ends implement it: the GUI
// posts each call to its thread, the command line draws a status line.
// Calls come from the worker's thread.
#pragma once

#include <cstdint>
#include <string>

namespace dravik::base {

enum class ProgressField {
    Step,         // the step text
    Detail,       // the detail line under it
    Value,        // the running value (total size, current sector, indexes found)
    ValueLabel,   // the caption of Value: "Total Size", "Indexes Found", "Current Sector"
    Folders,      // folders found
    Files,        // files found
    LastName,     // the last name read
};

// The figures of the running step as the task counts them.
struct ProgressCounts {
    enum class Kind { Size, Sector };
    Kind kind = Kind::Size;
    std::uint64_t value = 0;      // the total size of the files found, or the current sector
    std::uint64_t endSector = 0;  // sector kind: the sector the range ends at
    // Sector kind on NTFS: the index blocks found are the value shown, the
    // sector pair goes to the detail line.
    bool ntfs = false;
    std::uint32_t indexBlocks = 0;
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::string lastName;  // UTF-8
};

class ProgressSink;

// Makes the fields' texts out of the figures and sends those that changed
// since the last figures it was given. Front ends that take the figures
// themselves keep one of these on their own thread.
class ProgressTexts {
public:
    void Send(const ProgressCounts& counts, ProgressSink& sink);
    // The texts of the Value field and of the detail line (empty when the
    // figures have none) for `counts`.
    static std::string ValueText(const ProgressCounts& counts);
    static std::string DetailText(const ProgressCounts& counts);

private:
    std::string lastValue_;
    std::int64_t lastFolders_ = -1;
    std::int64_t lastFiles_ = -1;
    std::string lastName_;
    bool nameShown_ = false;
};

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetText(ProgressField field, const std::string& text) = 0;
    // 0..100.
    virtual void SetPercent(int percent) = 0;
    // The figures of the running step, at most a few dozen times a second.
    // By default they become the texts of their fields.
    virtual void SetCounts(const ProgressCounts& counts) { texts_.Send(counts, *this); }
    // The detail fields are hidden to speed the task up.
    virtual void HideDetails() {}
    // The task started over in another mode: the elapsed time restarts.
    virtual void RestartElapsed() {}

private:
    ProgressTexts texts_;
};

class NullProgress final : public ProgressSink {
public:
    void SetText(ProgressField, const std::string&) override {}
    void SetPercent(int) override {}
    void SetCounts(const ProgressCounts&) override {}
};

}  // namespace dravik::base
