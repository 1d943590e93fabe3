// Times the results page's views offscreen over the synthetic analysis of
// the results benchmark (200,000 folders, 1,000,000 files, 100,000 in one
// folder): each step ends when the views have painted.
//   tree      building the tree and showing it in the tree view
//   list100k  listing the 100,000-file folder in the list view
//   sort100k  sorting it by name
//   check     checking the root (every mark at once) with the views redrawn
// and the resident memory with the views against the core's own.
//
// Prints "gui-bench: tree_ms=N list100k_ms=N sort100k_ms=N check_root_ms=N
// rss_mb=N" as its last line.
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QWidget>

#include <cstdio>
#include <fstream>
#include <string>

#include "analysis_bench.h"
#include "app/folder_tree_ctrl.h"
#include "results/colored_list_ctrl.h"
#include "results/results_models.h"
#include "results/results_view.h"
#include "results_items.h"

using namespace dravik;

namespace {

double RssMb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

template <class F>
double TimePainted(QWidget& w, F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    w.repaint();
    QApplication::processEvents();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const double baseMb = RssMb();

    bench::QuietPrompter prompter;
    app::AppContext ctx(prompter);
    ctx.analysis.geometry.fileSystem = "NTFS";
    const std::uint32_t bigNumber = bench::Populate(ctx);
    results::ResultsView view(ctx);
    view.Open();
    const double coreMb = RssMb() - baseMb;

    QWidget window;
    window.resize(1080, 668);
    auto* layout = new QHBoxLayout(&window);
    auto* tree = new gui::CFolderTreeCtrl(&window);
    auto* list = new gui::CColoredListCtrl(&window);
    layout->addWidget(tree, 1);
    layout->addWidget(list, 3);
    window.show();
    QApplication::processEvents();

    gui::ResultsModels* models = nullptr;
    const double treeMs = TimePainted(window, [&] {
        view.Open();
        models = new gui::ResultsModels(view, &window);
        tree->SetResultsMode(models->tree);
        list->SetModel(models->list);
    });
    const double listMs = TimePainted(window, [&] { view.ShowFolder(bigNumber); });
    const int rows = models->list->rowCount();
    const double sortMs = TimePainted(window, [&] { models->list->sort(results::kName); });
    const QModelIndex root = models->tree->index(0, 0);
    const double checkMs = TimePainted(window, [&] { models->tree->setData(root, Qt::Checked, Qt::CheckStateRole); });
    // Scrolling through the big folder: a page at a time, painted.
    const double scrollMs = TimePainted(window, [&] {
        for (int r = 0; r < rows; r += rows / 50) {
            list->Details()->scrollTo(models->list->index(r, 0));
            list->Details()->viewport()->repaint();
        }
    });
    const double rssMb = RssMb() - baseMb;

    std::printf("items: %u folders, %u files; listed %d rows\n", ctx.items.folders.Count(), ctx.items.files.Count(), rows);
    std::printf("core_mb=%.0f with_views_mb=%.0f ratio=%.2f scroll50_ms=%.0f\n", coreMb, rssMb,
                coreMb > 0 ? rssMb / coreMb : 0.0, scrollMs);
    std::printf("gui-bench: tree_ms=%.0f list100k_ms=%.0f sort100k_ms=%.0f check_root_ms=%.0f rss_mb=%.0f\n", treeMs,
                listMs, sortMs, checkMs, rssMb);
    delete models;
    return 0;
}
