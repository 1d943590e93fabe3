// The scan-log reader over a log made of the input: the head, the volume
// records and every list section are attacker-controlled; then the results
// tree over what it stored, walked folder by folder as a recursive listing
// does. Seeded with real logs that the scan-log tests save
// (scripts/fuzz-seeds.py).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "analysis/scan_log.h"
#include "results/item_text.h"
#include "results/results_view.h"
#include "fuzz_support.h"

using namespace dravik;

namespace {

// The input as a file, in memory: the reader takes a path.
const std::string& LogPath(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("scan-log", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (::ftruncate(fd, 0) != 0) __builtin_trap();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) __builtin_trap();
        done += static_cast<std::size_t>(n);
    }
    return path;
}

}  // namespace

// Kept global so that the reads of the stored names stay.
std::size_t storedUnits = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = LogPath(data, size);
    fuzz::SilentPrompter prompter;
    app::AppContext ctx(prompter, [](const platform::DeviceBacking&) { return nullptr; });
    if (!analysis::ReadScanLogHead(ctx, path)) return 0;
    base::WorkerControl control;
    base::NullProgress sink;
    analysis::AnalysisProgress progress(sink);
    analysis::AnalysisEnv env{ctx, control, progress};
    analysis::ReadScanLogLists(env);
    // Touch what was stored, names included.
    std::size_t& units = storedUnits;
    for (const auto& f : ctx.items.folders) units += analysis::WideName(f).size() + analysis::NarrowName(f).size();
    for (const auto& f : ctx.items.files) units += analysis::WideName(f).size() + analysis::NarrowName(f).size();
    for (const auto& f : ctx.items.scan.foundFolders) units += f.name.size();
    for (const auto& f : ctx.items.scan.foundFiles) units += f.name.size();

    // A log cut short is refused by the command line; the desktop shows
    // what was read, so the tree is built over it all the same.
    results::ResultsView view(ctx);
    view.Open();
    auto& tree = view.Tree();
    if (!tree.Valid(tree.Root())) return 0;
    std::vector<results::NodeHandle> stack{tree.Root()};
    while (!stack.empty()) {
        const results::NodeHandle node = stack.back();
        stack.pop_back();
        units += tree.Path(node).size();
        view.ShowFolder(tree.FolderNumber(node));
        for (const auto& row : view.Rows())
            units += row.folder ? results::DisplayName(*row.folder).size() : results::DisplayName(*row.file).size();
        for (const auto child : tree.Node(node).children) stack.push_back(child);
    }
    return 0;
}
