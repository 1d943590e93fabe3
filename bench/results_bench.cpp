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
#include "app/worker.h"
#include "results/results_view.h"
#include "results/search.h"

using namespace dravik;

namespace {

constexpr std::uint32_t kFolders = 200'000;
constexpr std::uint32_t kFiles = 1'000'000;
constexpr std::uint32_t kBigFolderFiles = 100'000;
constexpr int kMaxDepth = 10;
constexpr std::uint32_t kFirstNumber = 16;  // NTFS record numbers of ordinary items start here

const char* const kWords[] = {"budget", "report", "invoice", "photo",  "holiday", "draft",  "minutes", "ledger",
                              "summary", "notes", "contract", "backup", "archive", "review", "project", "scan"};
const char* const kExtensions[] = {".doc", ".docx", ".txt", ".jpg", ".pdf", ".xls", ".png", ".mp3",
                                   ".dll", ".exe",  ".htm", ".zip", ".ini", ".log", ".xml", ".odt"};

struct Generator {
    std::mt19937 rng{20240607};
    std::uint32_t Pick(std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    }
    std::u16string Name(bool file, std::uint32_t serial) {
        std::string s = kWords[Pick(0, 15)];
        for (std::uint32_t i = Pick(0, 2); i > 0; --i) (s += ' ') += kWords[Pick(0, 15)];
        s += ' ' + std::to_string(serial);
        if (file) s += kExtensions[Pick(0, 15)];
        return std::u16string(s.begin(), s.end());
    }
    // A FILETIME between 2005 and 2024.
    std::uint64_t Time() {
        constexpr std::uint64_t k2005 = 127495296000000000ull, kYear = 315360000000000ull;
        return k2005 + std::uniform_int_distribution<std::uint64_t>(0, 19 * kYear)(rng);
    }
};

// Fills the stores; returns the number of the folder holding the big group.
std::uint32_t Populate(app::AppContext& ctx) {
    Generator g;
    auto& folders = ctx.items.folders;
    auto& files = ctx.items.files;
    std::vector<std::uint32_t> parentOf(kFolders);
    std::vector<std::uint8_t> depthOf(kFolders);
    // A few dozen folders at the top, then each folder under an earlier one,
    // half the time a recent one so that branches grow deep; a parent at the
    // deepest level hands its child to its own parent.
    for (std::uint32_t i = 0; i < kFolders; ++i) {
        std::int64_t parent = -1;
        if (i >= 40) {
            parent = g.Pick(0, 1) ? g.Pick(0, i - 1) : g.Pick(i > 50 ? i - 50 : 0, i - 1);
            while (parent >= 0 && depthOf[parent] >= kMaxDepth) {
                const std::uint32_t up = parentOf[parent];
                parent = up == analysis::kNtfsRoot ? -1 : std::int64_t{up - kFirstNumber};
            }
        }
        parentOf[i] = parent < 0 ? analysis::kNtfsRoot : static_cast<std::uint32_t>(parent) + kFirstNumber;
        depthOf[i] = parent < 0 ? 1 : static_cast<std::uint8_t>(depthOf[parent] + 1);
        const std::u16string name = g.Name(false, i);
        const std::uint64_t t = g.Time();
        folders.AddFolderItem(analysis::ItemName::Wide(name), g.Pick(0, 9) == 0, parentOf[i], i + kFirstNumber, 0, t,
                              t, t, 0);
    }
    // The big folder: one four levels down.
    std::uint32_t big = 0;
    while (depthOf[big] != 4) ++big;
    const std::uint32_t bigNumber = big + kFirstNumber;

    for (std::uint32_t i = 0; i < kFiles; ++i) {
        std::uint32_t parent;
        if (i % 10 == 5) {
            parent = bigNumber;
        } else {
            // Skewed: early (shallow) folders hold more files; some lie in the root.
            const double u = std::uniform_real_distribution<double>(0, 1)(g.rng);
            parent = g.Pick(0, 99) == 0 ? analysis::kNtfsRoot
                                        : static_cast<std::uint32_t>(u * u * (kFolders - 1)) + kFirstNumber;
            if (parent == bigNumber) parent = analysis::kNtfsRoot;
        }
        const std::u16string name = g.Name(true, i);
        const std::uint64_t t = g.Time();
        // One name in ten is an 8.3 name, as FAT and old NTFS entries give.
        if (g.Pick(0, 9) == 0) {
            const std::string narrow(name.begin(), name.end());
            files.AddFileItem(analysis::ItemName::Narrow(narrow), g.Pick(0, 9) == 0, g.Pick(0, 1u << 24), parent, i,
                              0, t, t, t);
        } else {
            files.AddFileItem(analysis::ItemName::Wide(name), g.Pick(0, 9) == 0, g.Pick(0, 1u << 24), parent, i, 0,
                              t, t, t);
        }
    }
    return bigNumber;
}

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
    fill = Time([&] { bigNumber = Populate(ctx); });
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

        app::WorkerControl control;
        results::SearchCriteria criteria;
        criteria.name = u"*.doc";
        search.push_back(Time([&] { hits = results::RunSearch(view, criteria, control).Size(); }));
        std::printf("round %d: tree %.0f ms (%zu nodes), list %.0f ms (%zu rows), root check %.0f ms, "
                    "folder check %.0f ms (%zu files marked), search %.0f ms (%zu hits)\n",
                    round + 1, tree.back(), view.Tree().Size(), list.back(), rows, root.back(), check.back(), marked,
                    search.back(), hits);
    }
    auto slowest = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
    std::printf("medians: tree_ms=%.0f list_ms=%.0f root_check_ms=%.0f check_ms=%.0f search_ms=%.0f\n",
                bench::Median(tree), bench::Median(list), bench::Median(root), bench::Median(check),
                bench::Median(search));
    std::printf("root_check_ms=%.0f\n", slowest(root));
    std::printf("results-bench: tree_ms=%.0f list_ms=%.0f check_ms=%.0f search_ms=%.0f sort_name_ms=%.0f "
                "parent_us=%.3f\n",
                slowest(tree), slowest(list), slowest(check), slowest(search), slowest(sortName), parentUs);
    return 0;
}
