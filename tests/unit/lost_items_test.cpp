// Gathering unreachable folders and files under "Lost", on item lists built
// by hand: the cases real volumes produce only occasionally.
#include "analysis/lost_items.h"

#include <gtest/gtest.h>

#include "analysis/analysis_texts.h"
#include "support/analysis_harness.h"

namespace dravik::analysis {
namespace {

class LostItemsTest : public ::testing::Test {
protected:
    test::AnalysisHarness h;
    FolderStore& folders = h.ctx.items.folders;
    FileStore& files = h.ctx.items.files;

    void SetUp() override {
        folders.AddFolderItem(ItemName::Wide(text::kLostName), false, kNtfsRoot, kLostFolder, 0, 0, 0, 0, 0);
    }
    FolderItem* Folder(std::uint32_t number, std::uint32_t parent, std::uint16_t volume = 0) {
        return folders.AddFolderItem(ItemName::Narrow("d" + std::to_string(number)), false, parent, number, 0, 0, 0,
                                     0, volume);
    }
    FileItem& File(std::uint32_t number, std::uint32_t parent) {
        return files.AddFileItem(ItemName::Narrow("f" + std::to_string(number)), true, 10, parent, number, 0, 0, 0,
                                 0);
    }
};

TEST_F(LostItemsTest, FoldersWithAMissingParentMoveUnderLostInListOrder) {
    Folder(40, kNtfsRoot);
    Folder(41, 40);
    Folder(50, 99);  // parent never stored
    Folder(51, 98);
    Folder(52, 50);  // child of an orphan stays below it
    ASSERT_TRUE(GatherLostItems(h.env, 0, kNtfsRoot));
    EXPECT_EQ(folders.FindFolder(40, 0)->parent, kNtfsRoot);
    EXPECT_EQ(folders.FindFolder(41, 0)->parent, 40u);
    EXPECT_EQ(folders.FindFolder(52, 0)->parent, 50u);
    // In list order, which is by parent: 51 (parent 98) before 50 (parent 99).
    auto lost = folders.Children(kLostFolder);
    ASSERT_EQ(lost.size(), 2u);
    EXPECT_EQ(lost[0].number, 51u);
    EXPECT_EQ(lost[1].number, 50u);
    EXPECT_EQ(h.sink.last[base::ProgressField::Detail], "Assigning Lost Folders : 6/6");
}

TEST_F(LostItemsTest, OnlyTheVolumeAtHandIsExamined) {
    Folder(60, 70, 1);
    Folder(70, kNtfsRoot, 2);  // the parent's number exists, in another volume
    Folder(61, 71, 2);
    ASSERT_TRUE(GatherLostItems(h.env, 1, kNtfsRoot));
    EXPECT_EQ(folders.FindFolder(60, 1)->parent, kLostFolder);
    EXPECT_EQ(folders.FindFolder(61, 2)->parent, 71u) << "volume 2 is not examined";
}

TEST_F(LostItemsTest, ParentCyclesAreCutOnceEach) {
    Folder(80, 81);
    Folder(81, 82);
    Folder(82, 80);  // 80 -> 81 -> 82 -> 80
    Folder(83, 82);  // hangs below the cycle
    Folder(90, 90);  // its own parent
    ASSERT_TRUE(GatherLostItems(h.env, 0, kNtfsRoot));
    // The cycle is cut at its first folder in list order (82, whose parent
    // 80 is the smallest); the rest of it stays below.
    auto lost = folders.Children(kLostFolder);
    ASSERT_EQ(lost.size(), 2u);
    EXPECT_EQ(lost[0].number, 82u);
    EXPECT_EQ(lost[1].number, 90u);
    EXPECT_EQ(folders.FindFolder(80, 0)->parent, 81u);
    EXPECT_EQ(folders.FindFolder(81, 0)->parent, 82u);
    EXPECT_EQ(folders.FindFolder(83, 0)->parent, 82u);
}

TEST_F(LostItemsTest, FilesOfMissingFoldersMoveUnderLost) {
    Folder(40, kNtfsRoot);
    File(100, 40);
    File(101, 77);  // folder record reused by a file
    File(102, 77);
    File(103, kNtfsRoot);
    File(104, kLostFolder);
    ASSERT_TRUE(GatherLostItems(h.env, 0, kNtfsRoot));
    EXPECT_EQ(files.Children(40).size(), 1u);
    EXPECT_EQ(files.Children(77).size(), 0u);
    auto lost = files.Children(kLostFolder);
    ASSERT_EQ(lost.size(), 3u);
    EXPECT_EQ(lost[0].number, 104u);
    EXPECT_EQ(lost[1].number, 101u);
    EXPECT_EQ(lost[2].number, 102u);
    EXPECT_EQ(files.Children(kNtfsRoot).size(), 1u);
}

TEST_F(LostItemsTest, FatRootIsZero) {
    folders.Clear();
    folders.AddFolderItem(ItemName::Narrow("Lost"), false, kFatRoot, kLostFolder, 0, 0, 0, 0, 0);
    Folder(3, kFatRoot);
    Folder(4, 9);
    File(7, kFatRoot);
    File(8, 9);
    ASSERT_TRUE(GatherLostItems(h.env, 0, kFatRoot));
    EXPECT_EQ(folders.FindFolder(3, 0)->parent, kFatRoot);
    EXPECT_EQ(folders.FindFolder(4, 0)->parent, kLostFolder);
    EXPECT_EQ(files.Children(kFatRoot).size(), 1u);
    EXPECT_EQ(files.Children(kLostFolder).size(), 1u);
}

TEST_F(LostItemsTest, TerminationEndsTheExamination) {
    Folder(50, 99);
    h.control.Terminate();
    EXPECT_FALSE(GatherLostItems(h.env, 0, kNtfsRoot));
    EXPECT_EQ(folders.FindFolder(50, 0)->parent, 99u);
}

}  // namespace
}  // namespace dravik::analysis
