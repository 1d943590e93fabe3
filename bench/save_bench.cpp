// Times a whole recovery of an image: analysis in deleted mode, every item
// checked, everything written to a folder.
//
//   dravik_bench_save IMAGE LABEL OUTDIR
//
// Prints "save_seconds=S analysis_seconds=S files=N bytes=N" as its last line.
#include "analysis_bench.h"
#include "results/results_view.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"

using namespace dravik;
using namespace dravik::bench;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IMAGE LABEL OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string image = argv[1], label = argv[2], out = argv[3];
    QuietPrompter prompter;
    app::AppContext ctx(prompter);
    ctx.devices.SetDisk(0, {image});
    ctx.source.SelectPhysicalDisk(0);
    ctx.source.EndSector = std::filesystem::file_size(image) / 512;
    ctx.source.PartitionLabel = label;
    base::WorkerControl control;
    base::NullProgress sink;
    analysis::AnalysisProgress progress(sink);
    analysis::AnalysisEnv env{ctx, control, progress};

    const auto t0 = std::chrono::steady_clock::now();
    analysis::ReadVolumeGeometry(ctx);
    analysis::PrepareAnalysis(ctx);
    analysis::RunAnalysis(env);
    results::ResultsView view(ctx);
    view.Open();
    view.ToggleNode(view.Tree().Root());
    const auto t1 = std::chrono::steady_clock::now();
    ctx.saveRun.ResetForDestination();
    if (!saving::CheckDestination(ctx, out)) return 1;
    saving::CalculateDataSize(ctx, view.Tree(), control);
    ctx.saveRun.ResetForProgress();
    saving::CopyEngine(ctx, control).RunSave(view.Tree());
    const auto t2 = std::chrono::steady_clock::now();
    std::printf("save_seconds=%.3f analysis_seconds=%.3f files=%d bytes=%llu\n",
                std::chrono::duration<double>(t2 - t0).count(), std::chrono::duration<double>(t1 - t0).count(),
                ctx.saveRun.selectedCount, static_cast<unsigned long long>(ctx.saveRun.bytesWritten.load()));
    return 0;
}
