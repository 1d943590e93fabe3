// Times the NTFS analyses on a large image: the deleted-mode $MFT walk and the
// signature scan of the whole volume, each the median of three runs with the
// image in the page cache, and the heap the results take per item.
//
//   dravik_bench_ntfs IMAGE
//
// Prints "mft_seconds=S items=N scan_seconds=S scan_bytes=B bytes_per_item=N"
// as its last line; bench/run ntfs compares those with fls and dd.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "analysis/pipeline.h"
#include "analysis/volume_geometry.h"
#include "app/app_context.h"
#include "app/prompter.h"

using namespace dravik;

namespace {

class QuietPrompter : public app::Prompter {
public:
    void ViewMsgBox(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
    int ViewQuestionMsg(const std::string&) override { return 2; }
    std::optional<source::BadSectorAnswer> SectorsBadStatusAction() override { return source::BadSectorAnswer::SkipAll; }
    std::optional<app::CopyErrorAnswer> ErrorCopying() override { return app::CopyErrorAnswer::Skip; }
    std::optional<app::ReplaceChoice> FileReplaceOptions() override { return app::ReplaceChoice::Skip; }
    void FatalError(const std::string& text) noexcept override { std::fprintf(stderr, "fatal: %s\n", text.c_str()); }
};

std::size_t HeapInUse() {
    malloc_trim(0);
    const auto mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

struct Run {
    double seconds = 0;
    std::uint64_t items = 0;
    std::size_t heapAfter = 0;
};

Run Analyse(const std::string& image, analysis::RecoveryMode mode, std::size_t heapBefore) {
    QuietPrompter prompter;
    app::AppContext ctx(prompter);
    ctx.devices.SetDisk(0, {image});
    ctx.source.SelectPhysicalDisk(0);
    ctx.source.StartSector = 0;
    ctx.source.EndSector = std::filesystem::file_size(image) / 512;
    ctx.source.PartitionLabel = "NTFS";
    ctx.analysis.settings.mode = mode;
    ctx.analysis.settings.formatted = mode == analysis::RecoveryMode::Formatted;
    app::WorkerControl control;
    app::NullProgress sink;
    analysis::AnalysisProgress progress(sink);
    analysis::AnalysisEnv env{ctx, control, progress};

    const auto t0 = std::chrono::steady_clock::now();
    if (!analysis::ReadVolumeGeometry(ctx)) std::fprintf(stderr, "no NTFS geometry\n");
    analysis::PrepareAnalysis(ctx);
    analysis::RunAnalysis(env);
    const auto t1 = std::chrono::steady_clock::now();
    Run r;
    r.seconds = std::chrono::duration<double>(t1 - t0).count();
    r.items = ctx.items.files.Count() + ctx.items.folders.Count();
    r.heapAfter = HeapInUse() - heapBefore;
    return r;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s IMAGE\n", argv[0]);
        return 2;
    }
    const std::string image = argv[1];
    const auto bytes = std::filesystem::file_size(image);
    {
        // Warm the page cache.
        std::ifstream f(image, std::ios::binary);
        std::vector<char> buf(1 << 20);
        while (f.read(buf.data(), buf.size())) {}
    }
    const std::size_t heap0 = HeapInUse();
    std::vector<double> mft, scan;
    Run last;
    for (int i = 0; i < 3; ++i) {
        last = Analyse(image, analysis::RecoveryMode::Deleted, heap0);
        mft.push_back(last.seconds);
        std::printf("deleted-mode walk %d: %.3f s, %llu items, %.1f MB heap held by the results\n", i + 1,
                    last.seconds, static_cast<unsigned long long>(last.items), last.heapAfter / 1e6);
    }
    const auto bytesPerItem = last.items ? last.heapAfter / last.items : 0;
    std::uint64_t scanItems = 0;
    for (int i = 0; i < 3; ++i) {
        auto r = Analyse(image, analysis::RecoveryMode::Formatted, heap0);
        scan.push_back(r.seconds);
        scanItems = r.items;
        std::printf("signature scan %d: %.3f s (%.2f GB/s), %llu items\n", i + 1, r.seconds, bytes / r.seconds / 1e9,
                    static_cast<unsigned long long>(r.items));
    }
    std::printf("mft_seconds=%.4f items=%llu scan_seconds=%.4f scan_bytes=%llu scan_items=%llu bytes_per_item=%zu\n",
                Median(mft), static_cast<unsigned long long>(last.items), Median(scan),
                static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(scanItems), bytesPerItem);
    return 0;
}
