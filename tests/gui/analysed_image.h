// A test image analysed through the workflow the pages use, on the calling
// thread's worker: the context then holds its items as after the analysis
// page.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/app_context.h"
#include "app/gui_prompter.h"
#include "base/progress.h"
#include "app/workflow.h"
#include "support/test_images.h"

namespace dravik::gui::test {

// Attaches `image` alone, chooses the item `itemText` ("Partition - 1 ( NTFS )")
// in `mode` and runs its analysis to the end. False when any step refused.
inline bool AnalyseImage(app::AppContext& ctx, const std::string& image, const std::string& itemText,
                         app::RecoveryChoice mode = app::RecoveryChoice::Deleted) {
    app::ChooseRecoveryMode(ctx, mode);
    if (!app::BuildSources(ctx, {dravik::test::ImagePath(image).string()}, false).built) return false;
    partition::TreeHandle item = 0;
    for (const auto& i : ctx.drives.catalogue.items)
        if (i.text == itemText && !item) item = i.handle;
    if (!item) return false;
    app::SelectSourceItem(ctx, item);
    if (app::ConfirmSource(ctx, {}) != app::SourceConfirmation::Analyse) return false;
    base::NullProgress progress;
    app::AnalysisRun run(ctx);
    if (!run.Start(progress)) return false;
    run.Join();
    return run.Outcome() == analysis::AnalysisOutcome::Finished;
}

}  // namespace dravik::gui::test
