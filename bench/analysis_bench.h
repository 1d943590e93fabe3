// What the analysis benchmarks share: a prompter that answers nothing, heap
// accounting, and one timed analysis of an image.
#pragma once

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/pipeline.h"
#include "analysis/volume_geometry.h"
#include "app/app_context.h"
#include "base/prompter.h"

namespace dravik::bench {


class QuietPrompter : public base::Prompter {
public:
    void ViewMsgBox(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
    int ViewQuestionMsg(const std::string&) override { return 2; }
    std::optional<base::BadSectorAnswer> SectorsBadStatusAction() override { return base::BadSectorAnswer::SkipAll; }
    std::optional<base::CopyErrorAnswer> ErrorCopying() override { return base::CopyErrorAnswer::Skip; }
    std::optional<base::ReplaceChoice> FileReplaceOptions() override { return base::ReplaceChoice::Skip; }
    void FatalError(const std::string& text) noexcept override { std::fprintf(stderr, "fatal: %s\n", text.c_str()); }
};

inline std::size_t HeapInUse() {
    malloc_trim(0);
    const auto mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

struct Run {
    double seconds = 0;
    std::uint64_t items = 0;
    std::size_t heapAfter = 0;
};

inline Run Analyse(const std::string& image, const std::string& label, analysis::RecoveryMode mode,
                   std::size_t heapBefore) {
    QuietPrompter prompter;
    app::AppContext ctx(prompter);
    ctx.devices.SetDisk(0, {image});
    ctx.source.SelectPhysicalDisk(0);
    ctx.source.StartSector = 0;
    ctx.source.EndSector = std::filesystem::file_size(image) / 512;
    ctx.source.PartitionLabel = label;
    ctx.analysis.settings.mode = mode;
    ctx.analysis.settings.formatted = mode == analysis::RecoveryMode::Formatted;
    base::WorkerControl control;
    base::NullProgress sink;
    analysis::AnalysisProgress progress(sink);
    analysis::AnalysisEnv env{ctx, control, progress};

    const auto t0 = std::chrono::steady_clock::now();
    if (!analysis::ReadVolumeGeometry(ctx)) std::fprintf(stderr, "no %s geometry\n", label.c_str());
    analysis::PrepareAnalysis(ctx);
    analysis::RunAnalysis(env);
    const auto t1 = std::chrono::steady_clock::now();
    Run r;
    r.seconds = std::chrono::duration<double>(t1 - t0).count();
    r.items = ctx.items.files.Count() + ctx.items.folders.Count();
    r.heapAfter = HeapInUse() - heapBefore;
    return r;
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Reads the whole image once so that the timed runs find it in the page cache.
inline void WarmCache(const std::string& image) {
    std::ifstream f(image, std::ios::binary);
    std::vector<char> buf(1 << 20);
    while (f.read(buf.data(), buf.size())) {}
}

}  // namespace dravik::bench
