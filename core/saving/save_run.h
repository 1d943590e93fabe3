// The state of the current save run: what was selected, what was written,
// and the standing answers of its prompts. One run at a time. Skip, Pause
// and Stop of the run act through its worker's control, not through here.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/prompter.h"

namespace dravik::saving {

struct SaveRun {
    // The destination root the user chose (UTF-8 path).
    std::string destination;
    // Counted by the size walk; the run compares what it wrote with them.
    std::int32_t selectedCount = 0;
    std::uint64_t selectedBytes = 0;

    std::atomic<std::uint64_t> bytesWritten = 0;
    base::ReplaceChoice replaceChoice = base::ReplaceChoice::Yes;
    std::atomic<bool> skipAllErrors = false;
    std::int64_t startTime = 0;                // seconds
    std::atomic<std::int64_t> pausedSeconds = 0;
    // Files of the run that hold sectors the source could not give (written
    // as zeros), and those sectors; the run is not a success while any does.
    std::atomic<std::int32_t> unreadableFiles = 0;
    std::atomic<std::uint64_t> unreadableSectors = 0;

    // When the destination is being chosen anew.
    void ResetForDestination() {
        selectedCount = 0;
        selectedBytes = 0;
        bytesWritten = 0;
        replaceChoice = base::ReplaceChoice::Yes;
    }
    // When the progress of a run opens.
    void ResetForProgress() {
        skipAllErrors = false;
        pausedSeconds = 0;
        unreadableFiles = 0;
        unreadableSectors = 0;
    }
};

}  // namespace dravik::saving
