#include "app/save_workflow.h"

#include <ctime>

#include "app/app_context.h"
#include "saving/destination_guard.h"

namespace dravik::app {

DestinationCheck CheckSaveDestination(AppContext& ctx, const std::string& path, bool allowSameDevice) {
    DestinationCheck check;
    if (!allowSameDevice) {
        check.refusal = saving::DestinationOnSource(ctx, path);
        if (!check.refusal.empty()) {
            check.result = DestinationCheck::Result::OnSource;
            return check;
        }
    }
    ctx.saveRun.ResetForDestination();
    check.result = saving::CheckDestination(ctx, path) ? DestinationCheck::Result::Accepted
                                                       : DestinationCheck::Result::Refused;
    return check;
}

saving::DestinationDecision DecideAfterSizeWalk(AppContext& ctx) { return saving::DecideAfterSizeWalk(ctx); }

// ---- SizeRun ----

bool SizeRun::Start(Shown shown, std::function<void()> onChange) {
    return Launch(std::move(onChange), [this, shown = std::move(shown)](base::WorkerControl& control) {
        saving::CalculateDataSize(ctx_, tree_, control, shown);
    });
}

// ---- SaveRunner ----

bool SaveRunner::Start(saving::CopyProgressSink* sink, std::function<void()> onChange) {
    if (Running()) return false;
    ctx_.saveRun.ResetForProgress();
    paused_ = false;
    outcome_.store(-1);
    return Launch(std::move(onChange), [this, sink](base::WorkerControl& control) {
        saving::CopyEngine engine(ctx_, control, sink);
        engine.SetHashing(hashing_);
        if (report_) engine.SetReport(report_);
        outcome_.store(static_cast<int>(engine.RunSave(tree_)));
    });
}

std::optional<saving::SaveOutcome> SaveRunner::Outcome() const {
    const int o = outcome_.load();
    if (o < 0) return std::nullopt;
    return static_cast<saving::SaveOutcome>(o);
}

void SaveRunner::Pause() {
    if (paused_) return;
    paused_ = true;
    pauseStart_ = static_cast<std::int64_t>(std::time(nullptr));
    Control().Pause();
}

void SaveRunner::Resume() {
    if (!paused_) return;
    paused_ = false;
    ctx_.saveRun.pausedSeconds += static_cast<std::int64_t>(std::time(nullptr)) - pauseStart_;
    Control().Resume();
}

}  // namespace dravik::app
