// One long step of a workflow on its own worker: the analysis, the size
// walk, the save run. A task may throw (a prompt that cannot be answered
// ends the command line's run with an error): the exception is kept for the
// front end's thread, and the finished flag is set all the same.
#pragma once

#include <exception>
#include <functional>
#include <mutex>

#include "base/worker.h"

namespace dravik::app {

class WorkerRun {
public:
    bool Running() const { return worker_.Running(); }
    base::WorkerControl& Control() { return worker_.Control(); }
    // Waits for the worker to end.
    void Join() { worker_.Join(); }
    // Terminate and Join.
    void End() { worker_.End(); }
    // What the task threw, once it has ended; null when nothing.
    std::exception_ptr Failure() const;

protected:
    WorkerRun() = default;
    // A derived run whose members its task uses must End() in its own
    // destructor: by the time this one runs they are gone.
    ~WorkerRun() { worker_.End(); }
    // Starts `task` with a fresh control whose changes call `onChange` (on
    // the worker's thread). Its end sets the finished flag unless the task
    // set it, or asked for its page to close, itself.
    bool Launch(std::function<void()> onChange, std::function<void(base::WorkerControl&)> task);

private:
    base::Worker worker_;
    mutable std::mutex mutex_;
    std::exception_ptr failure_;
};

}  // namespace dravik::app
