// Times the NTFS analyses on a large image: the deleted-mode $MFT walk and the
// signature scan of the whole volume, each the median of three runs with the
// image in the page cache, and the heap the results take per item.
//
//   dravik_bench_ntfs IMAGE
//
// Prints "mft_seconds=S items=N scan_seconds=S scan_bytes=B bytes_per_item=N"
// as its last line; bench/run ntfs compares those with fls and dd.
#include "analysis_bench.h"

using namespace dravik;
using namespace dravik::bench;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s IMAGE\n", argv[0]);
        return 2;
    }
    const std::string image = argv[1];
    const auto bytes = std::filesystem::file_size(image);
    WarmCache(image);
    const std::size_t heap0 = HeapInUse();
    std::vector<double> mft, scan;
    Run last;
    for (int i = 0; i < 3; ++i) {
        last = Analyse(image, "NTFS", analysis::RecoveryMode::Deleted, heap0);
        mft.push_back(last.seconds);
        std::printf("deleted-mode walk %d: %.3f s, %llu items, %.1f MB heap held by the results\n", i + 1,
                    last.seconds, static_cast<unsigned long long>(last.items), last.heapAfter / 1e6);
    }
    const auto bytesPerItem = last.items ? last.heapAfter / last.items : 0;
    std::uint64_t scanItems = 0;
    for (int i = 0; i < 3; ++i) {
        auto r = Analyse(image, "NTFS", analysis::RecoveryMode::Formatted, heap0);
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
