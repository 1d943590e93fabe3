// The results page and its models on a real analysis: the models hold to
// Qt's rules while checks change, the tree and list show the core's state,
// the page's commands act on it, and a saved log loads back to the same tree.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <filesystem>

#include "analysed_image.h"
#include "app/folder_tree_ctrl.h"
#include "gui_support.h"
#include "platform/text.h"
#include "results/colored_list_ctrl.h"
#include "results/results_models.h"
#include "results/results_view.h"
#include "results/view_data_in_controls.h"

namespace dravik::gui {
namespace {

using test::ClickInNextModal;
using test::SaveShot;
using test::WaitFor;

class ResultsModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::AnalyseImage(ctx_, "ntfs-basic.img", "Partition - 1 ( NTFS )"));
        view_ = std::make_unique<results::ResultsView>(ctx_);
        view_->Open();
        models_ = std::make_unique<ResultsModels>(*view_, nullptr);
    }
    void TearDown() override {
        delete models_->tree;
        delete models_->list;
        models_.reset();
    }
    QModelIndex Child(const QModelIndex& parent, const QString& text) {
        auto* m = models_->tree;
        for (int r = 0; r < m->rowCount(parent); ++r)
            if (m->index(r, 0, parent).data().toString() == text) return m->index(r, 0, parent);
        return {};
    }

    GuiPrompter prompter_;
    app::AppContext ctx_{prompter_};
    std::unique_ptr<results::ResultsView> view_;
    std::unique_ptr<ResultsModels> models_;
};

TEST_F(ResultsModelTest, ModelsKeepQtsRulesWhileChecksChange) {
    QAbstractItemModelTester treeTester(models_->tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester listTester(models_->list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto* tree = models_->tree;
    const QModelIndex root = tree->index(0, 0);
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(root.data().toString(), QStringLiteral("This PC"));
    EXPECT_GT(tree->rowCount(root), 2);
    // Every node's parent() is the index it was reached from.
    std::vector<QModelIndex> stack{root};
    int nodes = 0;
    while (!stack.empty()) {
        const QModelIndex i = stack.back();
        stack.pop_back();
        ++nodes;
        for (int r = 0; r < tree->rowCount(i); ++r) {
            const QModelIndex c = tree->index(r, 0, i);
            ASSERT_EQ(tree->parent(c), i);
            stack.push_back(c);
        }
    }
    EXPECT_EQ(static_cast<std::size_t>(nodes), view_->Tree().Size());

    const QModelIndex big = Child(root, QStringLiteral("Big"));
    ASSERT_TRUE(big.isValid());
    QSignalSpy changed(tree, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(tree->setData(big, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(big.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(big.data(Qt::FontRole).value<QFont>().bold());
    // A bold child shows its ancestors checked and bold.
    EXPECT_EQ(root.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(root.data(Qt::FontRole).value<QFont>().bold());
    EXPECT_GE(changed.count(), 2);
    EXPECT_LT(changed.count(), 200);  // ranges, not a signal per node
    const QModelIndex sub = tree->index(0, 0, big);
    EXPECT_EQ(sub.data(Qt::CheckStateRole).toInt(), Qt::Checked);

    // A click on the root toggles everything: off, then on with every list row.
    tree->setData(root, Qt::Unchecked, Qt::CheckStateRole);
    for (const auto& f : ctx_.items.files) ASSERT_EQ(f.mark, analysis::kNo);
    tree->setData(root, Qt::Checked, Qt::CheckStateRole);
    auto* list = models_->list;
    for (int r = 0; r < list->rowCount(); ++r)
        ASSERT_EQ(list->index(r, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked) << r;
    for (const auto& f : ctx_.items.files) ASSERT_EQ(f.mark, analysis::kYes);
    tree->setData(root, Qt::Unchecked, Qt::CheckStateRole);
    for (const auto& f : ctx_.items.files) ASSERT_EQ(f.mark, analysis::kNo);
}

TEST_F(ResultsModelTest, ListShowsTheCoresRowsRedWhenDeletedAndSortsDescendingFirst) {
    auto* list = models_->list;
    QAbstractItemModelTester tester(list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(list->columnCount(), 7);
    const char* headers[] = {"Name", "Type", "Size", "Modified Date", "Created Date", "Accessed Date", "ID"};
    for (int c = 0; c < 7; ++c) EXPECT_EQ(list->headerData(c, Qt::Horizontal).toString(), QString::fromUtf8(headers[c]));
    // Big holds a deleted folder: its row is red, the live ones black.
    view_->OpenFolder(view_->Tree().NodesAtPath(u"Big").front());
    int red = 0, black = 0;
    for (int r = 0; r < list->rowCount(); ++r) {
        const QString type = list->index(r, 1).data().toString();
        const QColor colour = list->index(r, 0).data(Qt::ForegroundRole).value<QColor>();
        if (type.startsWith(QStringLiteral("Deleted"))) {
            EXPECT_EQ(colour, QColor(255, 0, 0)) << type.toStdString();
            ++red;
        } else {
            EXPECT_EQ(colour, QColor(Qt::black));
            ++black;
        }
        EXPECT_EQ(list->index(r, 0).data().toString().toStdString(),
                  view_->CellText(view_->Rows()[static_cast<std::size_t>(r)], 0));
    }
    EXPECT_GT(red, 0);
    EXPECT_GT(black, 0);

    list->sort(results::kSize);
    for (int r = 1; r < list->rowCount(); ++r)
        ASSERT_GE(list->index(r - 1, 2).data().toString().toULongLong(), list->index(r, 2).data().toString().toULongLong());
    list->sort(results::kSize);
    for (int r = 1; r < list->rowCount(); ++r)
        ASSERT_LE(list->index(r - 1, 2).data().toString().toULongLong(), list->index(r, 2).data().toString().toULongLong());
}

TEST_F(ResultsModelTest, RenamingThroughTheModelsRenamesTheRecords) {
    auto* tree = models_->tree;
    const QModelIndex big = Child(tree->index(0, 0), QStringLiteral("Big"));
    ASSERT_TRUE(tree->setData(big, QStringLiteral("Bigger"), Qt::EditRole));
    EXPECT_EQ(big.data().toString(), QStringLiteral("Bigger"));
    EXPECT_FALSE(tree->flags(tree->index(0, 0)) & Qt::ItemIsEditable);  // the root keeps its name
    auto* list = models_->list;
    ASSERT_GT(list->rowCount(), 0);
    const QString before = list->index(0, 0).data().toString();
    list->setData(list->index(0, 0), QString(), Qt::EditRole);
    EXPECT_EQ(list->index(0, 0).data().toString(), before);  // empty keeps the name
    list->setData(list->index(0, 0), QStringLiteral("renamed.bin"), Qt::EditRole);
    EXPECT_EQ(list->index(0, 0).data().toString(), QStringLiteral("renamed.bin"));
}

class ResultsPageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::AnalyseImage(ctx_, "ntfs-basic.img", "Partition - 1 ( NTFS )")); }
    // Opens the page; the hint about Advance Mode is answered.
    void Open(ViewDataInControls& page) {
        QString hint;
        ClickInNextModal(QStringLiteral("&OK"), &hint);
        page.show();
        // The hint opens just after the tree stands: wait for it to be answered.
        ASSERT_TRUE(WaitFor([&] { return page.Ready() && !hint.isEmpty() && !QApplication::activeModalWidget(); }));
        EXPECT_TRUE(hint.startsWith(QStringLiteral("If you are unable to find the deleted/lost file's & folder's")))
            << hint.toStdString();
    }
    GuiPrompter prompter_;
    app::AppContext ctx_{prompter_};
};

TEST_F(ResultsPageTest, CommandsActOnTheTreeAndTheList) {
    ViewDataInControls page(ctx_);
    Open(page);
    EXPECT_EQ(page.windowTitle(), QStringLiteral("Dravik Ntfs Data Recovery"));
    for (const char* t : {"&Advance Mode", "&Recover Selected", "Recovery F&ilter", "&Save Log", "&Load Log",
                          "&Search Data", "R&ename Data", "E&xit", "Large I&cons", "&Details", "&Small Icons",
                          "&View Help"})
        EXPECT_NE(page.Action(QString::fromUtf8(t)), nullptr) << t;
    EXPECT_FALSE(page.Action(QStringLiteral("&Load Log"))->isEnabled());
    EXPECT_TRUE(page.Action(QStringLiteral("&Advance Mode"))->isEnabled());
    EXPECT_TRUE(page.Action(QStringLiteral("&Details"))->isChecked());

    const auto big = page.View().Tree().NodesAtPath(u"Big").front();
    page.ListNode(big);
    EXPECT_EQ(page.View().ListedNode(), big);
    EXPECT_EQ(page.Tree()->currentIndex(), page.Models()->tree->IndexOf(big));
    SaveShot(&page, "results");
    page.Up();
    EXPECT_EQ(page.View().ListedNode(), page.View().Tree().Root());

    page.Action(QStringLiteral("Large I&cons"))->trigger();
    EXPECT_EQ(page.List()->CurrentArrangement(), CColoredListCtrl::Arrangement::LargeIcons);
    SaveShot(&page, "results-large-icons");
    page.Action(QStringLiteral("&Details"))->trigger();

    // A double-click on a folder row lists it.
    const auto& rows = page.View().Rows();
    int folderRow = -1;
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (rows[r].folder && rows[r].folder->treeHandle == big) folderRow = static_cast<int>(r);
    ASSERT_GE(folderRow, 0);
    page.OpenRow(folderRow);
    EXPECT_EQ(page.View().ListedNode(), big);

    // Back asks; No stays.
    ClickInNextModal(QStringLiteral("&No"));
    page.GoBack();
    EXPECT_TRUE(page.isVisible());
    EXPECT_GT(ctx_.items.files.Count(), 0u);
    ClickInNextModal(QStringLiteral("&Yes"));
    page.GoBack();
    EXPECT_EQ(page.result(), QDialog::Rejected);
    EXPECT_EQ(ctx_.items.files.Count(), 0u);
}

TEST_F(ResultsPageTest, SavedLogLoadsBackToTheSameTree) {
    const auto log = std::filesystem::temp_directory_path() / ("dravik-gui-log-" + std::to_string(::getpid()));
    std::vector<std::u16string> before;
    {
        ViewDataInControls page(ctx_);
        Open(page);
        for (results::NodeHandle h = 2; h <= page.View().Tree().Size(); ++h)
            before.push_back(page.View().Tree().Path(h));
        page.SaveLog(QString::fromStdString(log.string()));
        EXPECT_TRUE(page.SavingLog() || std::filesystem::exists(log.string() + ".qsln"));
        ASSERT_TRUE(WaitFor([&] { return !page.SavingLog(); }));
    }
    const std::string path = log.string() + ".qsln";
    ASSERT_TRUE(std::filesystem::exists(path));

    GuiPrompter prompter;
    app::AppContext other(prompter);
    ASSERT_TRUE(app::BuildSources(other, {dravik::test::ImagePath("ntfs-basic.img").string()}, false).built);
    ASSERT_TRUE(app::PrepareLogLoad(other, path));
    base::NullProgress progress;
    app::AnalysisRun run(other);
    ASSERT_TRUE(run.Start(progress));
    run.Join();
    results::ResultsView view(other);
    view.Open();
    std::vector<std::u16string> after;
    for (results::NodeHandle h = 2; h <= view.Tree().Size(); ++h) after.push_back(view.Tree().Path(h));
    EXPECT_EQ(after, before);
    EXPECT_EQ(other.items.files.Count(), ctx_.items.files.Count());
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace dravik::gui
