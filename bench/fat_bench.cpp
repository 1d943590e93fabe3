// Times the deleted-mode FAT directory walk on a large FAT32 image, the
// median of three runs with the image in the page cache.
//
//   dravik_bench_fat IMAGE
//
// Prints "walk_seconds=S items=N bytes_per_item=N" as its last line;
// bench/run fat compares it with fls.
#include "analysis_bench.h"

using namespace dravik;
using namespace dravik::bench;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s IMAGE\n", argv[0]);
        return 2;
    }
    const std::string image = argv[1];
    WarmCache(image);
    const std::size_t heap0 = HeapInUse();
    std::vector<double> walk;
    Run last;
    for (int i = 0; i < 3; ++i) {
        last = Analyse(image, "FAT32", analysis::RecoveryMode::Deleted, heap0);
        walk.push_back(last.seconds);
        std::printf("directory walk %d: %.3f s, %llu items, %.1f MB heap held by the results\n", i + 1, last.seconds,
                    static_cast<unsigned long long>(last.items), last.heapAfter / 1e6);
    }
    std::printf("walk_seconds=%.4f items=%llu bytes_per_item=%zu\n", Median(walk),
                static_cast<unsigned long long>(last.items), last.items ? last.heapAfter / last.items : 0);
    return 0;
}
