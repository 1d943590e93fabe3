// What a long task shows while it runs. Front ends implement it: the GUI
// posts each call to its thread, the command line draws a status line.
// Calls come from the worker's thread.
#pragma once

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

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetText(ProgressField field, const std::string& text) = 0;
    // 0..100.
    virtual void SetPercent(int percent) = 0;
    // The detail fields are hidden to speed the task up.
    virtual void HideDetails() {}
    // The task started over in another mode: the elapsed time restarts.
    virtual void RestartElapsed() {}
};

class NullProgress final : public ProgressSink {
public:
    void SetText(ProgressField, const std::string&) override {}
    void SetPercent(int) override {}
};

}  // namespace dravik::base
