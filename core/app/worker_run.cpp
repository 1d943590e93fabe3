#include "app/worker_run.h"

namespace dravik::app {

std::exception_ptr WorkerRun::Failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

bool WorkerRun::Launch(std::function<void()> onChange, std::function<void(base::WorkerControl&)> task) {
    if (worker_.Running()) return false;
    worker_.Join();
    {
        std::lock_guard lock(mutex_);
        failure_ = nullptr;
    }
    worker_.Control().Reset();
    worker_.Control().SetOnChange(std::move(onChange));
    return worker_.Start([this, task = std::move(task)](base::WorkerControl& control) {
        try {
            task(control);
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        // The front end learns of the end through the flags, a failure too.
        if (!control.Finished() && !control.CloseRequested()) control.SetFinished();
    });
}

}  // namespace dravik::app
