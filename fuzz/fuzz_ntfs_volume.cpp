// Whole analyses over a small volume made of the input: the $MFT walk (with
// whatever boot sector, run list and records the bytes hold) and the
// signature scan with its number and volume inference.
#include <cstdint>
#include <vector>

#include "analysis/pipeline.h"
#include "analysis/volume_geometry.h"
#include "app/app_context.h"

using namespace dravik;

namespace {
class SilentPrompter : public app::Prompter {
public:
    void ViewMsgBox(const std::string&) override {}
    int ViewQuestionMsg(const std::string&) override { return 2; }
    std::optional<source::BadSectorAnswer> SectorsBadStatusAction() override { return source::BadSectorAnswer::SkipAll; }
    std::optional<app::CopyErrorAnswer> ErrorCopying() override { return app::CopyErrorAnswer::Skip; }
    std::optional<app::ReplaceChoice> FileReplaceOptions() override { return app::ReplaceChoice::Skip; }
    void FatalError(const std::string&) noexcept override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 512 || size > (1 << 20)) return 0;
    std::vector<std::uint8_t> bytes(data, data + size);
    for (auto mode : {analysis::RecoveryMode::Deleted, analysis::RecoveryMode::Formatted}) {
        SilentPrompter prompter;
        app::AppContext ctx(prompter, [&](const platform::DeviceBacking&) {
            return std::make_unique<source::MemoryDevice>(bytes);
        });
        ctx.devices.SetDisk(0, {"memory"});
        ctx.source.SelectPhysicalDisk(0);
        ctx.source.EndSector = (size + 511) / 512;
        ctx.source.PartitionLabel = "NTFS";
        ctx.analysis.settings.mode = mode;
        ctx.analysis.settings.formatted = mode == analysis::RecoveryMode::Formatted;
        if (!analysis::ReadVolumeGeometry(ctx)) {
            ctx.analysis.partition.fileSystem = "NTFS";
            ctx.analysis.partition.sectorsPerCluster = 1;
            ctx.analysis.partition.sectorsPerRecord = 2;
        }
        analysis::PrepareAnalysis(ctx);
        app::WorkerControl control;
        app::NullProgress sink;
        analysis::AnalysisProgress progress(sink);
        analysis::AnalysisEnv env{ctx, control, progress};
        analysis::RunAnalysis(env);
    }
    return 0;
}
