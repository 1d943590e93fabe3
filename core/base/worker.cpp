#include "base/worker.h"

namespace dravik::base {

void WorkerControl::Pause() {
    std::lock_guard lock(mutex_);
    paused_.store(true);
}

void WorkerControl::Resume() {
    {
        std::lock_guard lock(mutex_);
        paused_.store(false);
    }
    wake_.notify_all();
}

void WorkerControl::Terminate() {
    {
        std::lock_guard lock(mutex_);
        terminate_.store(true);
    }
    wake_.notify_all();
}

bool WorkerControl::WaitParked(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, timeout, [this] { return parked_.load() || !paused_.load() || terminate_.load(); }) &&
           (parked_.load() || terminate_.load());
}

bool WorkerControl::Checkpoint() {
    if (!paused_.load(std::memory_order_relaxed) && !terminate_.load(std::memory_order_relaxed)) return true;
    std::unique_lock lock(mutex_);
    if (paused_.load() && !terminate_.load()) {
        parked_.store(true);
        wake_.notify_all();
        wake_.wait(lock, [this] { return !paused_.load() || terminate_.load(); });
        parked_.store(false);
    }
    return !terminate_.load();
}

void WorkerControl::SetFinished() {
    finished_.store(true);
    Notify();
}

void WorkerControl::SetCloseRequested() {
    closeRequested_.store(true);
    Notify();
}

void WorkerControl::SetOnChange(std::function<void()> onChange) {
    std::lock_guard lock(mutex_);
    onChange_ = std::move(onChange);
}

void WorkerControl::Notify() {
    std::function<void()> f;
    {
        std::lock_guard lock(mutex_);
        f = onChange_;
    }
    if (f) f();
}

void WorkerControl::Reset() {
    std::lock_guard lock(mutex_);
    paused_ = false;
    parked_ = false;
    stop_ = false;
    terminate_ = false;
    finished_ = false;
    closeRequested_ = false;
}

Worker::~Worker() { End(); }

bool Worker::Start(std::function<void(WorkerControl&)> task) {
    if (running_.exchange(true)) return false;
    if (thread_.joinable()) thread_.join();
    control_.Reset();
    thread_ = std::jthread([this, task = std::move(task)](std::stop_token) {
        task(control_);
        running_.store(false);
    });
    return true;
}

void Worker::Join() {
    if (thread_.joinable()) thread_.join();
}

void Worker::End() {
    control_.Terminate();
    Join();
}

}  // namespace dravik::base
