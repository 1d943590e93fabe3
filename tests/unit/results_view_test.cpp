// The results model: tree, rows, texts, sorting, navigation, the check-box
// selection and renaming, on item lists built by hand (and once on a real
// analysis).
#include "results/results_view.h"

#include <gtest/gtest.h>

#include "analysis/item_records.h"
#include "results/item_text.h"
#include "support/analysis_harness.h"

namespace dravik::results {
namespace {

using analysis::ItemName;
using analysis::kLostFolder;
using analysis::kNo;
using analysis::kYes;

constexpr std::uint64_t kMar5th2014 = 130384769420000000;  // 05-Mar-2014 07:09:02 UTC

class ResultsFixture : public ::testing::Test {
protected:
    test::AnalysisHarness h;
    analysis::FolderStore& folders = h.ctx.items.folders;
    analysis::FileStore& files = h.ctx.items.files;
    std::unique_ptr<ResultsView> view;

    analysis::FolderItem* Folder(const char16_t* name, std::uint32_t number, std::uint32_t parent,
                                 std::uint16_t volume = 0, bool deleted = false) {
        return folders.AddFolderItem(ItemName::Wide(name), deleted, parent, number, 0, kMar5th2014, 0, 0, volume);
    }
    analysis::FileItem& File(const char16_t* name, std::uint32_t parent, std::uint64_t size, bool deleted = false) {
        return files.AddFileItem(ItemName::Wide(name), deleted, size, parent, 100 + files.Count(), 0, kMar5th2014, 0, 0);
    }
    // Root (5): Docs(10) [Letters(11) [old.txt], a.txt, b.txt], Pics(12) [p.jpg],
    // Lost, $Recycle.Bin(13), root.txt; and a folder of volume 2 under the root.
    void Build() {
        h.ctx.analysis.geometry.fileSystem = "NTFS";
        h.ctx.analysis.currentVolume = 0;
        Folder(u"Lost", kLostFolder, 5);
        Folder(u"pics", 12, 5);
        Folder(u"Docs", 10, 5);
        Folder(u"$Recycle.Bin", 13, 5);
        Folder(u"Letters", 11, 10, 0, true);
        Folder(u"Other volume", 20, 5, 2);
        File(u"root.txt", 5, 1);
        File(u"a.txt", 10, 300);
        File(u"b.txt", 10, 20, true);
        File(u"old.txt", 11, 7);
        File(u"p.jpg", 12, 4000);
        view = std::make_unique<ResultsView>(h.ctx);
        view->Open();
    }
    NodeHandle NodeOf(std::uint32_t number) { return view->Tree().NodeOfFolder(folders, number); }
    std::vector<std::string> RowNames() {
        std::vector<std::string> out;
        for (const auto& r : view->Rows()) out.push_back(view->CellText(r, kName));
        return out;
    }
    std::size_t RowIndex(const std::string& name) {
        for (std::size_t i = 0; i < view->Rows().size(); ++i)
            if (view->CellText(view->Rows()[i], kName) == name) return i;
        ADD_FAILURE() << name;
        return 0;
    }
};

TEST_F(ResultsFixture, TreeOfTheCurrentVolumeInAlphabeticalOrder) {
    Build();
    const auto& tree = view->Tree();
    const auto& root = tree.Node(tree.Root());
    EXPECT_EQ(root.text, u"This PC");
    std::vector<std::u16string> texts;
    for (NodeHandle c : root.children) texts.push_back(tree.Node(c).text);
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"$Recycle.Bin", u"Docs", u"Lost", u"pics"}))
        << "no folder of another volume; case-insensitive order";
    const auto& lost = tree.Node(NodeOf(kLostFolder));
    EXPECT_EQ(lost.image, NodeImage::Lost);
    EXPECT_TRUE(lost.bold && !lost.checked);
    EXPECT_EQ(tree.Node(NodeOf(13)).image, NodeImage::Recycle);
    EXPECT_TRUE(tree.Node(NodeOf(13)).bold);
    EXPECT_FALSE(tree.Node(NodeOf(10)).bold);
    EXPECT_EQ(folders.FindFolder(11, 0)->treeHandle, NodeOf(11));
    EXPECT_EQ(tree.Path(NodeOf(11)), u"Docs\\Letters");
    EXPECT_EQ(tree.Path(tree.Root()), u"");
}

TEST_F(ResultsFixture, NodesAreFoundByPathAmongFoldersOfOneName) {
    // A second "Docs" (a deleted one) holding "Letters" too, and one without.
    Folder(u"Docs", 30, 5, 0, true);
    Folder(u"Letters", 31, 30);
    Build();
    const auto& tree = view->Tree();
    EXPECT_EQ(tree.NodesAtPath(u""), std::vector<NodeHandle>{tree.Root()});
    EXPECT_EQ(tree.NodesAtPath(u"Docs").size(), 2u);
    EXPECT_EQ(tree.NodesAtPath(u"Docs\\Letters").size(), 2u);
    const auto pics = tree.NodesAtPath(u"pics");
    EXPECT_EQ(pics, std::vector<NodeHandle>{NodeOf(12)});
    EXPECT_TRUE(tree.NodesAtPath(u"Pics").empty()) << "names compare exactly";
    EXPECT_TRUE(tree.NodesAtPath(u"Docs\\Nothing").empty());
    EXPECT_TRUE(tree.NodesAtPath(u"Docs\\").empty());
}

TEST_F(ResultsFixture, RowsTextsAndSorting) {
    Build();
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"$Recycle.Bin", "Docs", "Lost", "pics", "root.txt"}));
    view->ClickNode(NodeOf(10));
    EXPECT_EQ(view->ListedFolder(), 10u);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"Letters", "a.txt", "b.txt"}));
    const auto& rows = view->Rows();
    EXPECT_EQ(view->CellText(rows[0], kType), "Deleted Folder");
    EXPECT_EQ(view->CellText(rows[0], kSize), "0");
    EXPECT_EQ(view->CellText(rows[2], kType), "Deleted File");
    EXPECT_EQ(view->CellText(rows[1], kSize), "300");
    EXPECT_EQ(view->CellText(rows[1], kModified), "05-Mar-2014 07:09:02");
    EXPECT_EQ(view->CellText(rows[1], kCreated), "01-Jan-1601 00:00:00");
    EXPECT_EQ(view->CellText(rows[0], kId), std::to_string(NodeOf(11)));
    EXPECT_EQ(view->CellText(rows[1], kId), std::to_string(rows[1].file->index));

    view->SortBy(kSize);  // the first click sorts descending
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"a.txt", "b.txt", "Letters"}));
    view->SortBy(kSize);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"Letters", "b.txt", "a.txt"}));
    view->SortBy(kType);  // descending: deleted files, deleted folders, files, folders
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"b.txt", "Letters", "a.txt"}));
}

TEST_F(ResultsFixture, Navigation) {
    Build();
    view->ClickNode(NodeOf(10));
    const auto before = view->Rows().size();
    view->ClickNode(NodeOf(10));  // the listed node again: no refill, only the expansion toggles
    EXPECT_EQ(view->Rows().size(), before);
    EXPECT_TRUE(view->OpenRow(RowIndex("Letters")));
    EXPECT_EQ(view->ListedFolder(), 11u);
    EXPECT_TRUE(view->Tree().Node(NodeOf(11)).expanded);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"old.txt"}));
    EXPECT_FALSE(view->OpenRow(0)) << "a file row opens a preview instead";
    view->Up();
    EXPECT_EQ(view->ListedFolder(), 10u);
    view->Up();
    view->Up();
    EXPECT_EQ(view->ListedFolder(), 5u);
}

TEST_F(ResultsFixture, CheckingTheRootMarksEverythingAtOnce) {
    Build();
    view->ToggleNode(view->Tree().Root());
    for (const auto& f : folders) EXPECT_EQ(f.mark, f.volume == 0 ? kYes : kNo) << f.number;
    for (const auto& f : files) EXPECT_EQ(f.mark, kYes);
    for (const auto& r : view->Rows()) EXPECT_TRUE(r.checked);
    for (NodeHandle n = 1; n <= view->Tree().Size(); ++n) EXPECT_TRUE(view->Tree().Node(n).checked);
    view->ToggleNode(view->Tree().Root());
    for (const auto& f : files) EXPECT_EQ(f.mark, kNo);
}

TEST_F(ResultsFixture, CheckingAFolderNodeMarksItsSubtreeAndShowsItsAncestors) {
    Build();
    view->ToggleNode(NodeOf(10));
    EXPECT_EQ(folders.FindFolder(10, 0)->mark, kYes);
    EXPECT_EQ(folders.FindFolder(11, 0)->mark, kYes);
    for (const auto& f : files) EXPECT_EQ(f.mark, (f.parent == 10 || f.parent == 11) ? kYes : kNo) << f.index;
    EXPECT_TRUE(view->Tree().Node(NodeOf(11)).checked);
    const auto& root = view->Tree().Node(view->Tree().Root());
    EXPECT_TRUE(root.checked && root.bold) << "a bold child checks the root (display only)";
    EXPECT_EQ(files.Children(5)[0].mark, kNo) << "the root's own files keep their marks";
    EXPECT_TRUE(view->Rows()[RowIndex("Docs")].checked) << "the toggled folder's row in its parent";
    EXPECT_FALSE(view->Rows()[RowIndex("pics")].checked);
}

TEST_F(ResultsFixture, FileRowsCheckTheirAncestorsAndTheLastUncheckUnchecksUp) {
    Build();
    view->ClickNode(NodeOf(10));
    view->OpenRow(RowIndex("Letters"));
    view->SetRowChecked(0, true);  // old.txt
    EXPECT_EQ(files.Children(11)[0].mark, kYes);
    EXPECT_TRUE(view->Tree().Node(NodeOf(11)).checked);
    EXPECT_TRUE(view->Tree().Node(NodeOf(10)).checked);
    EXPECT_TRUE(view->Tree().Node(view->Tree().Root()).checked);
    EXPECT_EQ(folders.FindFolder(10, 0)->mark, kNo) << "no other mark changes";

    view->Up();
    view->SetRowChecked(RowIndex("a.txt"), true);
    view->OpenRow(RowIndex("Letters"));
    view->SetRowChecked(0, false);  // old.txt: Letters has nothing left, Docs still has a.txt
    EXPECT_FALSE(view->Tree().Node(NodeOf(11)).checked);
    EXPECT_TRUE(view->Tree().Node(NodeOf(10)).checked);
}

TEST_F(ResultsFixture, UncheckingAFolderRowUnchecksAncestorsWithoutSelection) {
    Build();
    view->ClickNode(NodeOf(10));
    view->SetRowChecked(RowIndex("Letters"), true);
    EXPECT_EQ(folders.FindFolder(11, 0)->mark, kYes);
    EXPECT_EQ(files.Children(11)[0].mark, kYes);
    view->SetRowChecked(RowIndex("Letters"), false);
    EXPECT_EQ(files.Children(11)[0].mark, kNo);
    EXPECT_FALSE(view->Tree().Node(NodeOf(10)).checked);
    EXPECT_EQ(folders.FindFolder(10, 0)->mark, kNo);
}

TEST_F(ResultsFixture, RenamingRowsAndNodes) {
    Build();
    view->ClickNode(NodeOf(10));
    EXPECT_FALSE(view->RenameRow(RowIndex("a.txt"), u""));
    EXPECT_EQ(DisplayName(files.Children(10)[0]), "a.txt") << "an empty name keeps the old one";
    EXPECT_TRUE(view->RenameRow(RowIndex("a.txt"), u"Ä new.txt"));
    EXPECT_EQ(DisplayName(files.Children(10)[0]), "Ä new.txt");
    EXPECT_TRUE(view->RenameRow(RowIndex("Letters"), u"Mail"));
    EXPECT_EQ(view->Tree().Node(NodeOf(11)).text, u"Mail") << "the node follows its row";
    EXPECT_TRUE(view->RenameNode(NodeOf(12), u"Photos"));
    EXPECT_EQ(DisplayName(*folders.FindFolder(12, 0)), "Photos");
    EXPECT_FALSE(view->RenameNode(view->Tree().Root(), u"x"));

    // A narrow (8.3) name stays narrow, through the code page.
    auto& narrow = files.AddFileItem(ItemName::Narrow("OLD.TXT"), false, 1, 10, 999, 0, 0, 0, 0);
    view->ShowFolder(10);
    view->RenameRow(RowIndex("OLD.TXT"), u"NEUE Ü.TXT");
    ASSERT_NE(narrow.nameA, nullptr);
    EXPECT_EQ(std::string(analysis::NarrowName(narrow)), "NEUE \x9A.TXT");
    EXPECT_EQ(DisplayName(narrow), "NEUE Ü.TXT");
}

// What a view model relies on: every node finds its row among its parent's
// children in one step, and each action tells the listener what changed.
class RecordingListener final : public ResultsListener {
public:
    void NodesChanged(NodeHandle node) override { nodes.push_back(node); }
    void RowsChanged() override { ++rowChanges; }
    void RowsReset() override { ++resets; }
    std::vector<NodeHandle> nodes;
    int rowChanges = 0;
    int resets = 0;
};

TEST_F(ResultsFixture, NodesKnowTheirRowAndActionsTellTheListener) {
    Build();
    const auto& tree = view->Tree();
    for (NodeHandle h = 2; h <= tree.Size(); ++h) {
        const auto& n = tree.Node(h);
        ASSERT_TRUE(tree.Valid(n.parent));
        ASSERT_LT(n.row, tree.Node(n.parent).children.size());
        EXPECT_EQ(tree.Node(n.parent).children[n.row], h);
    }
    RecordingListener l;
    view->SetListener(&l);
    view->ToggleNode(NodeOf(10));
    ASSERT_EQ(l.nodes.size(), 1u);
    EXPECT_EQ(l.nodes[0], NodeOf(10));
    EXPECT_EQ(l.rowChanges, 1);
    view->ShowFolder(10);
    EXPECT_EQ(l.resets, 1);
    view->SortBy(kSize);
    EXPECT_EQ(l.resets, 2);
    view->SetRowChecked(0, false);
    EXPECT_EQ(l.rowChanges, 2);
    EXPECT_TRUE(view->RenameRow(0, u"Renamed"));
    EXPECT_EQ(l.rowChanges, 3);
    view->SetListener(nullptr);
}

// Names sort through keys folded once; the order is the comparison's.
TEST_F(ResultsFixture, NameSortAgreesWithTheRowComparison) {
    Build();
    for (const char16_t* n : {u"beta.TXT", u"Alpha.txt", u"alpha.txt", u"\u00e9t\u00e9.doc", u"Zed", u"b"}) File(n, 5, 1);
    for (const char16_t* n : {u"zz", u"AA", u"mm"}) Folder(n, 200 + files.Count(), 5);
    view->Open();
    for (int round = 0; round < 2; ++round) {
        view->SortBy(kName);
        const auto& rows = view->Rows();
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const int c = view->CompareRows(rows[i - 1], rows[i], kName);
            EXPECT_TRUE(round == 0 ? c >= 0 : c <= 0) << i;
        }
    }
}

TEST(ItemTexts, DatesOfBothFileSystems) {
    // FAT: 5 March 2014, 07:09:30 -> date word (34 << 9) | (3 << 5) | 5, time word (7 << 11) | (9 << 5) | 15.
    const std::uint64_t date = (34u << 9) | (3u << 5) | 5u, time = (7u << 11) | (9u << 5) | 15u;
    const std::uint64_t fat = date | (time << 32);
    EXPECT_EQ(DateText(fat, false, TimeKind::Modified), "05-Mar-2014 07:09");
    EXPECT_EQ(DateText(date, false, TimeKind::Accessed), "05-Mar-2014");
    EXPECT_EQ(DateText((34u << 9) | (13u << 5) | 5u, false, TimeKind::Created), "05-Err-2014 00:00");
    EXPECT_EQ(DateText(0, false, TimeKind::Modified), "00-Err-1980 00:00");
    EXPECT_EQ(DateText(0, true, TimeKind::Modified), "01-Jan-1601 00:00:00");
    EXPECT_EQ(DateText(kMar5th2014, true, TimeKind::Accessed), "05-Mar-2014 07:09:02");
    EXPECT_EQ(DateText(125963423990000000, true, TimeKind::Created), "29-Feb-2000 23:59:59");
    EXPECT_EQ(DateText(157783680010000000, true, TimeKind::Created), "31-Dec-2100 00:00:01");
}

TEST(ResultsOnImage, TreeOfARealVolume) {
    test::AnalysisHarness h;
    h.Select(test::ImagePath("fat16.img"), "FAT16");
    ASSERT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    ResultsView view(h.ctx);
    int last = -1;
    view.Open([&](int p) { last = p; });
    EXPECT_EQ(last, 100);
    EXPECT_EQ(view.Tree().Size(), h.ctx.items.folders.Count() + 1) << "every folder is in the tree";
    EXPECT_EQ(view.ListedFolder(), 0u) << "FAT's root is folder 0";
    EXPECT_FALSE(view.Rows().empty());
}

}  // namespace
}  // namespace dravik::results
