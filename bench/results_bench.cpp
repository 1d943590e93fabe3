// Times the results view and the search on a large synthetic analysis:
// 200,000 folders up to ten deep and 1,000,000 files, 100,000 of them in one
// folder. Each step is timed in three rounds and the slowest (the first,
// on a cold heap) is reported:
//   tree    ResultsView::Open (the tree, and the root listed)
//   list    ShowFolder of the folder with 100,000 files
//   root    checking the root (every mark at once)
//   check   checking the big folder's node (subtree and its files' pass)
//   search  "*.doc" over everything
//
// Prints "results-bench: tree_ms=N list_ms=N check_ms=N search_ms=N" as its
// last line.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "analysis_bench.h"
#include "results_items.h"
#include "base/worker.h"
#include "results/results_view.h"
#include "results/search.h"

using namespace dravik;

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

template <class F>
double Time(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return Ms(t0);
}

}  // namespace

int main() {
    bench::QuietPrompter prompter;
    app::AppContext ctx(prompter);
    ctx.analysis.geometry.fileSystem = "NTFS";
    ctx.analysis.currentVolume = 0;
    double fill = 0;
    std::uint32_t bigNumber = 0;
    fill = Time([&] { bigNumber = bench::Populate(ctx); });
    std::printf("items: %u folders, %u files, %u in folder %u (filled in %.0f ms)\n", ctx.items.folders.Count(),
                ctx.items.files.Count(), static_cast<unsigned>(ctx.items.files.Children(bigNumber).size()), bigNumber,
                fill);

    results::ResultsView view(ctx);
    std::vector<double> tree, list, root, check, search, sortName;
    double parentUs = 0;
    std::size_t rows = 0, hits = 0, marked = 0;
    for (int round = 0; round < 3; ++round) {
        tree.push_back(Time([&] { view.Open(); }));
        list.push_back(Time([&] { view.ShowFolder(bigNumber); }));
        rows = view.Rows().size();
        sortName.push_back(Time([&] { view.SortBy(results::kName); }));
        // The row-in-parent lookup a tree model's parent() makes, over every node.
        {
            const auto& t = view.Tree();
            std::uint64_t sum = 0;
            const double ms = Time([&] {
                for (results::NodeHandle h = 2; h <= t.Size(); ++h) {
                    const auto& n = t.Node(h);
                    sum += t.Node(n.parent).children[n.row] == h ? n.row : 0;
                }
            });
            parentUs = std::max(parentUs, ms * 1000.0 / static_cast<double>(t.Size()));
            if (sum == 0xFFFFFFFFFFFFull) std::printf("!\n");
        }
        const results::NodeHandle rootNode = view.Tree().Root();
        root.push_back(Time([&] { view.ToggleNode(rootNode); }));
        view.ToggleNode(rootNode);  // everything unchecked again
        const results::NodeHandle big = view.Tree().NodeOfFolder(ctx.items.folders, bigNumber);
        check.push_back(Time([&] { view.ToggleNode(big); }));
        marked = 0;
        for (const auto& f : ctx.items.files) marked += f.mark == analysis::kYes;
        view.ToggleNode(big);

        base::WorkerControl control;
        results::SearchCriteria criteria;
        criteria.name = u"*.doc";
        search.push_back(Time([&] { hits = results::RunSearch(view, criteria, control).Size(); }));
        std::printf("round %d: tree %.0f ms (%zu nodes), list %.0f ms (%zu rows), root check %.0f ms, "
                    "folder check %.0f ms (%zu files marked), search %.0f ms (%zu hits)\n",
                    round + 1, tree.back(), view.Tree().Size(), list.back(), rows, root.back(), check.back(), marked,
                    search.back(), hits);
    }
    auto slowest = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
    std::printf("medians: tree_ms=%.0f list_ms=%.0f root_check_ms=%.0f check_ms=%.0f search_ms=%.0f sort_name_ms=%.0f\n",
                bench::Median(tree), bench::Median(list), bench::Median(root), bench::Median(check),
                bench::Median(search), bench::Median(sortName));
    std::printf("root_check_ms=%.0f\n", slowest(root));
    std::printf("results-bench: tree_ms=%.0f list_ms=%.0f check_ms=%.0f search_ms=%.0f sort_name_ms=%.0f "
                "parent_us=%.3f\n",
                slowest(tree), slowest(list), slowest(check), slowest(search), slowest(sortName), parentUs);
    return 0;
}
