// Destination paths and the texts of a save.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "saving/destination_paths.h"
#include "support/analysis_harness.h"

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;

class Scratch : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("dravik-paths-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Touch(const fs::path& p) { std::ofstream(p) << "x"; }
};

TEST(SafeNames, NothingAddressesAnotherFolder) {
    EXPECT_EQ(SafeName("report.doc"), "report.doc");
    EXPECT_EQ(SafeName("a/b"), "a_b");
    EXPECT_EQ(SafeName("/etc/passwd"), "_etc_passwd");
    EXPECT_EQ(SafeName(std::string("nul\0byte", 8)), "nul_byte");
    EXPECT_EQ(SafeName("."), "_");
    EXPECT_EQ(SafeName(".."), "__");
    EXPECT_EQ(SafeName(""), "_");
    EXPECT_EQ(SafeName("...hidden"), "...hidden");
}

TEST(SafeNames, InsideChecksTheNormalPath) {
    EXPECT_TRUE(Inside("/dest", "/dest/a/b.txt"));
    EXPECT_TRUE(Inside("/dest/", "/dest/a"));
    EXPECT_FALSE(Inside("/dest", "/dest/../x"));
    EXPECT_FALSE(Inside("/dest", "/destination/x"));
    EXPECT_FALSE(Inside("/dest", "/other"));
}

TEST_F(Scratch, UniqueNamesCountFromZero) {
    Touch(dir / "a.txt");
    Touch(dir / "a0.txt");
    EXPECT_EQ(MakeUniqueName(dir / "a.txt"), dir / "a1.txt");
    Touch(dir / "README");
    EXPECT_EQ(MakeUniqueName(dir / "README"), dir / "README0");
    Touch(dir / "archive.tar.gz");
    EXPECT_EQ(MakeUniqueName(dir / "archive.tar.gz"), dir / "archive.tar0.gz") << "the number goes before the last dot";
}

TEST_F(Scratch, FoldersAreCreatedLevelByLevelAndNothingIsReplaced) {
    EXPECT_TRUE(CreateFolderPath(dir / "one" / "two"));
    EXPECT_TRUE(fs::is_directory(dir / "one" / "two"));
    EXPECT_TRUE(CreateFolderPath(dir.string() + "/one/two/"));
    Touch(dir / "file");
    EXPECT_FALSE(CreateFolderPath(dir / "file" / "below"));
    EXPECT_TRUE(fs::is_regular_file(dir / "file"));

    // Below the destination a link is never followed.
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "link");
    EXPECT_FALSE(CreateFolderBelow(dir, fs::path("link") / "x"));
    EXPECT_FALSE(fs::exists(dir / "elsewhere" / "x"));
    EXPECT_TRUE(CreateFolderBelow(dir, fs::path("a") / "b"));
    EXPECT_FALSE(CreateFolderBelow(dir, fs::path("..") / "x"));
}

TEST_F(Scratch, DestinationCheckAndFreeSpaceQuestion) {
    test::ScriptedPrompter prompter;
    app::AppContext ctx(prompter);
    EXPECT_FALSE(CheckDestination(ctx, ""));
    Touch(dir / "file");
    EXPECT_FALSE(CheckDestination(ctx, (dir / "file" / "x").string()));
    EXPECT_EQ(prompter.messages, (std::vector<std::string>{text::kSelectPath, text::kSelectPath}));
    EXPECT_TRUE(CheckDestination(ctx, (dir / "new" / "deeper").string()));
    EXPECT_TRUE(fs::is_directory(dir / "new" / "deeper"));

    ctx.saveRun.selectedCount = 0;
    EXPECT_EQ(DecideAfterSizeWalk(ctx), DestinationDecision::CloseDialog);
    EXPECT_EQ(prompter.messages.back(), text::kNothingSelected);

    // Free space equal to the selection is not enough.
    ctx.saveRun.selectedCount = 1;
    ctx.saveRun.selectedBytes = FreeBytes(ctx.saveRun.destination);
    prompter.questionAnswers = {2};
    EXPECT_EQ(DecideAfterSizeWalk(ctx), DestinationDecision::StayInDialog);
    ASSERT_EQ(prompter.questions.size(), 1u);
    prompter.questionAnswers = {1};
    EXPECT_EQ(DecideAfterSizeWalk(ctx), DestinationDecision::Save);
    ctx.saveRun.selectedBytes = 10;
    EXPECT_EQ(DecideAfterSizeWalk(ctx), DestinationDecision::Save);
    EXPECT_EQ(prompter.questions.size(), 2u) << "no question when it fits";
}

TEST(SaveTexts, SizesAndTimes) {
    EXPECT_EQ(InsufficientSpaceText(1ull << 30),
              "Insufficient free space on destination drive. Selected file/folder requires 1024.000 MB of free "
              "space. Press Yes if you want continue with it.");
    EXPECT_EQ(SizeTextIn(1ull << 30), "1024.000 MB size in");
    EXPECT_EQ(SizeTextIn((1ull << 30) + 1), "1.000 GB size in");
    EXPECT_EQ(DataSizeText(3ull << 40), "3.000 TB size");
    EXPECT_EQ(MinSecText(3725), "62 Min 5 Sec") << "minutes are not folded into hours";
    EXPECT_EQ(MinSecText(0), "0 Min 0 Sec");
}

}  // namespace
}  // namespace dravik::saving
