// What the harnesses share: nobody to ask, a disk made of the input, and an
// analysis run with nobody watching.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/pipeline.h"
#include "app/app_context.h"
#include "source/sector_device.h"

namespace dravik::fuzz {

// Every prompt answered so that a run goes on to its end: unreadable sectors
// skipped, questions answered No.
class SilentPrompter final : public base::Prompter {
public:
    void ViewMsgBox(const std::string&) override {}
    int ViewQuestionMsg(const std::string&) override { return 2; }
    std::optional<base::BadSectorAnswer> SectorsBadStatusAction() override { return base::BadSectorAnswer::SkipAll; }
    std::optional<base::CopyErrorAnswer> ErrorCopying() override { return base::CopyErrorAnswer::Skip; }
    std::optional<base::ReplaceChoice> FileReplaceOptions() override { return base::ReplaceChoice::Skip; }
    void FatalError(const std::string&) noexcept override {}
};

// An application context whose Disk0 holds `bytes`.
struct MemoryDisk {
    SilentPrompter prompter;
    app::AppContext ctx;
    explicit MemoryDisk(const std::vector<std::uint8_t>& bytes)
        : ctx(prompter, [&bytes](const platform::DeviceBacking&) { return std::make_unique<source::MemoryDevice>(bytes); }) {
        ctx.devices.SetDisk(0, {"memory"});
    }
};

// Runs the analysis the settings call for.
inline analysis::AnalysisOutcome Analyse(app::AppContext& ctx) {
    base::WorkerControl control;
    base::NullProgress sink;
    analysis::AnalysisProgress progress(sink);
    analysis::AnalysisEnv env{ctx, control, progress};
    return analysis::RunAnalysis(env);
}

}  // namespace dravik::fuzz
