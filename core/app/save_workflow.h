// Saving as steps both front ends take: the destination (refused on the
// source, created when missing), the size walk on a worker, the decision
// after it (nothing selected, too little room), and the save run on a
// worker with its Skip, Pause and Stop. The front ends ask and draw; the
// order of the core's calls and what each reset means are kept here.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "app/worker_run.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"

namespace dravik::results {
class ResultsTree;
}

namespace dravik::app {

class AppContext;

struct DestinationCheck {
    enum class Result { Accepted, OnSource, Refused };
    Result result = Result::Refused;
    // OnSource: why the folder may not be written; the caller tells it (the
    // prompter has not). Refused: "Please select Data Recovery path." was
    // told through the prompter.
    std::string refusal;
    explicit operator bool() const { return result == Result::Accepted; }
};

// "OK" of the destination: a folder on what is being recovered is refused
// before anything is created there (unless `allowSameDevice`); then the
// run's totals and standing conflict answer start afresh, and the path is
// checked and created level by level as the run's destination.
DestinationCheck CheckSaveDestination(AppContext& ctx, const std::string& path, bool allowSameDevice = false);

// After the size walk: nothing selected, or the question on too little room.
saving::DestinationDecision DecideAfterSizeWalk(AppContext& ctx);

// The size walk on a worker. `shown` gets the totals as they grow (on the
// worker's thread); the finished flag and `onChange` tell its end. Terminate
// (Stop answered Yes) keeps what was counted.
class SizeRun : public WorkerRun {
public:
    using Shown = std::function<void(std::int32_t files, std::uint64_t bytes)>;
    SizeRun(AppContext& ctx, const results::ResultsTree& tree) : ctx_(ctx), tree_(tree) {}
    ~SizeRun() { End(); }
    bool Start(Shown shown = {}, std::function<void()> onChange = {});

private:
    AppContext& ctx_;
    const results::ResultsTree& tree_;
};

// The save run on a worker: the progress page's state starts afresh, the
// copy engine writes the checked items and ends with its message through
// the prompter. The sink gets the run's numbers on the worker's thread.
class SaveRunner : public WorkerRun {
public:
    SaveRunner(AppContext& ctx, const results::ResultsTree& tree) : ctx_(ctx), tree_(tree) {}
    // The worker reads this object's members: it ends before they go.
    ~SaveRunner() { End(); }

    // Set before Start; the report is called on the worker's thread.
    void SetReport(std::function<void(const saving::FileReport&)> report) { report_ = std::move(report); }
    void SetHashing(bool on) { hashing_ = on; }

    bool Start(saving::CopyProgressSink* sink, std::function<void()> onChange = {});
    // Once the run has ended (nullopt while it runs, or when it threw).
    std::optional<saving::SaveOutcome> Outcome() const;

    // The buttons. Skip ends the file in hand and goes on; Pause holds the
    // run, its time not counted as elapsed; Stop is Control().Terminate()
    // once the user said Yes (Control().Pause() while asking).
    void Skip() { Control().RequestStop(); }
    void Pause();
    void Resume();
    bool Paused() const { return paused_; }

private:
    AppContext& ctx_;
    const results::ResultsTree& tree_;
    std::function<void(const saving::FileReport&)> report_;
    bool hashing_ = false;
    bool paused_ = false;
    std::int64_t pauseStart_ = 0;
    std::atomic<int> outcome_ = -1;
};

}  // namespace dravik::app
