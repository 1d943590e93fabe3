// One long task on its own thread, and the control the task and its front
// end share. The task calls Checkpoint() between items (records, sectors,
// files): there it parks while paused and learns whether it must end. It is
// never interrupted anywhere else, so a store operation, a sector read or a
// file write always completes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace dravik::base {

class WorkerControl {
public:
    // ---- the front end's side ----
    // The worker parks at its next checkpoint until Resume (used while a
    // question is shown, and by the Pause button).
    void Pause();
    void Resume();
    bool IsPaused() const { return paused_.load(); }
    // Ends the current step early; the task decides what comes next.
    void RequestStop() { stop_.store(true); }
    // Ends the task at its next checkpoint (Back; wakes a parked worker).
    void Terminate();
    // True once the worker is parked at a checkpoint (it has finished the
    // item in hand).
    bool IsParked() const { return parked_.load(); }
    // Waits until the worker is parked or has ended; false on timeout.
    bool WaitParked(std::chrono::milliseconds timeout);

    // ---- the worker's side ----
    // Between two items: parks while paused; false when the task must end now.
    bool Checkpoint();
    bool StopRequested() const { return stop_.load(); }
    void ClearStop() { stop_.store(false); }
    bool Terminated() const { return terminate_.load(); }

    // Completion flags; each change calls the change callback (the dialog's
    // repaint), on the worker's thread.
    void SetFinished();
    bool Finished() const { return finished_.load(); }
    void SetCloseRequested();
    bool CloseRequested() const { return closeRequested_.load(); }
    void SetOnChange(std::function<void()> onChange);

    // Back to a fresh state before a task starts.
    void Reset();

private:
    void Notify();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> paused_ = false;
    std::atomic<bool> parked_ = false;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> terminate_ = false;
    std::atomic<bool> finished_ = false;
    std::atomic<bool> closeRequested_ = false;
    std::function<void()> onChange_;
};

// Runs one task at a time on a std::jthread. A second Start while a task runs
// is refused, as is a second worker of the same kind.
class Worker {
public:
    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    // Terminates the task at its next checkpoint and joins.
    ~Worker();

    bool Start(std::function<void(WorkerControl&)> task);
    bool Running() const { return running_.load(); }
    // Waits for the task to end.
    void Join();
    // Terminate() and Join().
    void End();

    WorkerControl& Control() { return control_; }

private:
    WorkerControl control_;
    std::atomic<bool> running_ = false;
    std::jthread thread_;
};

}  // namespace dravik::base
