// The prompts of a save run on a real FAT12 volume: name conflicts with and
// without a standing answer, files that cannot be created, a destination
// that fills up, unreadable source sectors; and what never happens: a write
// outside the destination or to the source.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "results/item_text.h"
#include "results/results_view.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "saving/destination_paths.h"
#include "support/analysis_harness.h"
#include "support/md5.h"

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;
using base::CopyErrorAnswer;
using base::ReplaceChoice;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// fat12 analysed, with Docs/Letters/2023/Drafts (DRAFT1.TXT and "letter to
// the bank.txt") checked.
class DraftsSave : public ::testing::Test {
protected:
    fs::path scratch;
    fs::path dest;
    std::unique_ptr<test::AnalysisHarness> h;
    std::unique_ptr<results::ResultsView> view;
    fs::path drafts;

    void SetUp() override { Open(source::OpenPosixDevice); }
    void Open(source::DeviceOpenFn open) {
        // The destination sits alone in a scratch folder of its own, so that
        // what lands beside it can be seen.
        scratch = fs::temp_directory_path() / ("dravik-prompts-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch);
        dest = scratch / "dest";
        fs::create_directories(dest);
        h = std::make_unique<test::AnalysisHarness>(std::move(open));
        h->Select(test::ImagePath("fat12.img"), "FAT12");
        ASSERT_EQ(h->Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
        view = std::make_unique<results::ResultsView>(h->ctx);
        view->Open();
        results::NodeHandle node = view->Tree().Root();
        for (const char16_t* name : {u"Docs", u"Letters", u"2023", u"Drafts"}) {
            for (auto c : view->Tree().Node(node).children)
                if (view->Tree().Node(c).text == name) node = c;
        }
        ASSERT_EQ(view->Tree().Node(node).text, u"Drafts");
        view->ToggleNode(node);
        drafts = dest / "Docs" / "Letters" / "2023" / "Drafts";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(scratch, ec);
    }
    SaveOutcome SaveRun(const fs::path& to) {
        auto& ctx = h->ctx;
        ctx.saveRun.ResetForDestination();
        EXPECT_TRUE(CheckDestination(ctx, to.string()));
        base::WorkerControl control;
        CalculateDataSize(ctx, view->Tree(), control);
        ctx.saveRun.ResetForProgress();
        CopyEngine engine(ctx, control);
        return engine.RunSave(view->Tree());
    }
    SaveOutcome SaveRun() { return SaveRun(dest); }
    void Existing(const std::string& name, const std::string& content = "old") {
        fs::create_directories(drafts);
        std::ofstream(drafts / name) << content;
    }
    std::set<std::string> Files(const fs::path& dir) {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }
};

TEST_F(DraftsSave, OnlyTheCheckedFolderIsWritten) {
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(Files(drafts), (std::set<std::string>{"DRAFT1.TXT", "letter to the bank.txt"}));
    EXPECT_EQ(h->ctx.saveRun.selectedCount, 2);
    EXPECT_EQ(Files(dest / "Docs"), (std::set<std::string>{"Letters"})) << "no files of unchecked folders";
}

TEST_F(DraftsSave, RenameAsksAgainUnlessForAll) {
    Existing("DRAFT1.TXT");
    Existing("DRAFT10.TXT");
    Existing("letter to the bank.txt");
    h->prompter.replaceAnswers = {ReplaceChoice::Rename, ReplaceChoice::Rename};
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.replacePrompts, 2);
    EXPECT_EQ(Files(drafts), (std::set<std::string>{"DRAFT1.TXT", "DRAFT10.TXT", "DRAFT11.TXT",
                                                    "letter to the bank.txt", "letter to the bank0.txt"}));
    EXPECT_EQ(Slurp(drafts / "DRAFT1.TXT"), "old");

    h->prompter.replaceAnswers = {ReplaceChoice::RenameForAll};
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.replacePrompts, 3) << "one prompt for the whole run";
    EXPECT_TRUE(fs::exists(drafts / "DRAFT12.TXT"));
    EXPECT_TRUE(fs::exists(drafts / "letter to the bank1.txt"));
}

TEST_F(DraftsSave, YesForAllOverwritesEvenReadOnlyFiles) {
    Existing("DRAFT1.TXT");
    Existing("letter to the bank.txt");
    ::chmod((drafts / "letter to the bank.txt").c_str(), 0444);
    h->prompter.replaceAnswers = {ReplaceChoice::YesForAll};
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.replacePrompts, 1);
    EXPECT_EQ(fs::file_size(drafts / "DRAFT1.TXT"), 256u);
    EXPECT_EQ(fs::file_size(drafts / "letter to the bank.txt"), 1324u);
}

TEST_F(DraftsSave, SkippedConflictsCountAsDone) {
    Existing("DRAFT1.TXT");
    Existing("letter to the bank.txt");
    h->prompter.replaceAnswers = {ReplaceChoice::Skip, ReplaceChoice::Skip};
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.messages.back(), text::kCompleted);
    EXPECT_EQ(Slurp(drafts / "DRAFT1.TXT"), "old");
    EXPECT_EQ(h->prompter.replacePrompts, 2);

    // The standing "Skip for all" counts the files it passes over too.
    h->prompter.replaceAnswers = {ReplaceChoice::SkipForAll};
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.replacePrompts, 3);
}

TEST_F(DraftsSave, AClosedPromptLeavesTheExistingFile) {
    Existing("DRAFT1.TXT");
    h->prompter.replaceAnswers = {std::nullopt};
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(Slurp(drafts / "DRAFT1.TXT"), "old");
}

TEST_F(DraftsSave, FilesThatCannotBeCreatedAskAndTheRunFails) {
    // A file where the folder "Drafts" must go: nothing is removed to make room.
    fs::create_directories(drafts.parent_path());
    std::ofstream(drafts) << "in the way";
    h->prompter.copyErrorAnswers = {CopyErrorAnswer::Skip, CopyErrorAnswer::Skip};
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(h->prompter.copyErrorPrompts, 2) << "Skip asks again at the next file";
    EXPECT_EQ(Slurp(drafts), "in the way");
    EXPECT_EQ(h->prompter.messages.back(), text::kNotCompleted);

    h->prompter.copyErrorAnswers = {CopyErrorAnswer::SkipAll};
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(h->prompter.copyErrorPrompts, 3);

    h->prompter.copyErrorAnswers = {CopyErrorAnswer::Abort};
    h->ctx.saveRun.skipAllErrors = false;
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(h->prompter.copyErrorPrompts, 4) << "Abort ends the walk";
}

TEST_F(DraftsSave, AFullDestinationKeepsWhatWasWritten) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    const fs::path small = dest / "small";
    fs::create_directories(small);
    // Room for the first file's 256 bytes, not for the second's 1324.
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4k,nr_inodes=16") != 0) GTEST_SKIP() << "no tmpfs mount here";
    h->prompter.copyErrorAnswers = {CopyErrorAnswer::Skip, CopyErrorAnswer::Skip, CopyErrorAnswer::Skip};
    const auto outcome = SaveRun(small);
    // Whichever file came first took the room and keeps all its bytes.
    const fs::path folder = small / "Docs" / "Letters" / "2023" / "Drafts";
    const bool kept = (fs::exists(folder / "DRAFT1.TXT") && fs::file_size(folder / "DRAFT1.TXT") == 256u) ||
                      (fs::exists(folder / "letter to the bank.txt") &&
                       fs::file_size(folder / "letter to the bank.txt") == 1324u);
    ::umount(small.c_str());
    EXPECT_EQ(outcome, SaveOutcome::NotCompleted);
    EXPECT_GE(h->prompter.copyErrorPrompts, 1);
    EXPECT_TRUE(kept) << "the file written before the space ran out stays";
}

TEST_F(DraftsSave, CraftedNamesStayInsideTheDestination) {
    auto& files = h->ctx.items.files;
    auto& folders = h->ctx.items.folders;
    int renamed = 0;
    for (auto& f : files) {
        if (results::DisplayName(f) == "DRAFT1.TXT") renamed += files.Rename(f, analysis::ItemName::Wide(u"../../../../escaped.txt"));
        if (results::DisplayName(f) == "letter to the bank.txt") renamed += files.Rename(f, analysis::ItemName::Wide(u".."));
    }
    for (auto& f : folders)
        if (results::DisplayName(f) == "2023") renamed += folders.Rename(f, analysis::ItemName::Wide(u".."));
    ASSERT_EQ(renamed, 3);
    view->Open();  // the tree takes the new names
    results::NodeHandle node = view->Tree().NodeOfFolder(folders, [&] {
        for (auto& f : folders)
            if (results::DisplayName(f) == "Drafts") return f.number;
        return 0u;
    }());
    view->ToggleNode(node);
    const auto before = Files(dest.parent_path());
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(Files(dest.parent_path()), before) << "nothing lands beside the destination";
    const fs::path folder = dest / "Docs" / "Letters" / "__" / "Drafts";
    EXPECT_EQ(Files(folder), (std::set<std::string>{"__", ".._.._.._.._escaped.txt"}));
}

// Unreadable sectors of a file being saved are settled by the bad-sector
// policy, whose standing answer also governs later reads.
class BadSectorSave : public DraftsSave {
protected:
    std::shared_ptr<std::set<std::uint64_t>> bad = std::make_shared<std::set<std::uint64_t>>();

    void SetUp() override {
        auto set = bad;
        Open([set](const platform::DeviceBacking& b) -> std::unique_ptr<source::SectorDevice> {
            class Device final : public source::SectorDevice {
            public:
                Device(std::unique_ptr<source::SectorDevice> inner, std::shared_ptr<std::set<std::uint64_t>> bad)
                    : inner_(std::move(inner)), bad_(std::move(bad)) {}
                bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
                    auto it = bad_->lower_bound(offset / 512);
                    if (it != bad_->end() && *it <= (offset + buf.size() - 1) / 512) return false;
                    return inner_->ReadAt(offset, buf);
                }
                std::uint64_t Size() const override { return inner_->Size(); }

            private:
                std::unique_ptr<source::SectorDevice> inner_;
                std::shared_ptr<std::set<std::uint64_t>> bad_;
            };
            return std::make_unique<Device>(source::OpenPosixDevice(b), set);
        });
        // DRAFT1.TXT: 256 bytes in one 512-byte cluster.
        for (const auto& f : h->ctx.items.files)
            if (results::DisplayName(f) == "DRAFT1.TXT")
                bad->insert(h->ctx.analysis.geometry.clusterBase + f.number * h->ctx.analysis.geometry.sectorsPerCluster);
        ASSERT_EQ(bad->size(), 1u);
    }
};

TEST_F(BadSectorSave, SkipAllWritesZerosWithoutAskingAgain) {
    h->prompter.badSectorAnswers = {base::BadSectorAnswer::SkipAll};
    // Every byte was written, some as zeros: not a success.
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(Slurp(drafts / "DRAFT1.TXT"), std::string(256, '\0'));
    EXPECT_EQ(fs::file_size(drafts / "letter to the bank.txt"), 1324u);
    EXPECT_EQ(h->prompter.badSectorPrompts, 1);
    fs::remove_all(drafts);
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(h->prompter.badSectorPrompts, 1) << "Skip All given once stands for later saves";
}

TEST_F(BadSectorSave, RetryAsksAtEveryFailedRead) {
    h->prompter.badSectorAnswers = {base::BadSectorAnswer::RetryOnce};
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(Slurp(drafts / "DRAFT1.TXT"), std::string(256, '\0'));
    EXPECT_EQ(h->prompter.badSectorPrompts, 1);
    h->prompter.badSectorAnswers = {base::BadSectorAnswer::RetryOnce};
    fs::remove_all(drafts);
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(h->prompter.badSectorPrompts, 2);
}

TEST(SaveSource, IsNeverWritten) {
    const auto image = test::ImagePath("fat16.img");
    const std::string before = test::Md5::OfFile(image);
    struct stat st0 {};
    ::stat(image.c_str(), &st0);
    {
        test::AnalysisHarness h;
        h.Select(image, "FAT16");
        ASSERT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
        results::ResultsView view(h.ctx);
        view.Open();
        view.ToggleNode(view.Tree().Root());
        const fs::path dest = fs::temp_directory_path() / ("dravik-source-" + std::to_string(::getpid()));
        ASSERT_TRUE(CheckDestination(h.ctx, dest.string()));
        base::WorkerControl control;
        CalculateDataSize(h.ctx, view.Tree(), control);
        CopyEngine(h.ctx, control).RunSave(view.Tree());
        fs::remove_all(dest);
    }
    struct stat st1 {};
    ::stat(image.c_str(), &st1);
    EXPECT_EQ(test::Md5::OfFile(image), before);
    EXPECT_EQ(st1.st_mtim.tv_sec, st0.st_mtim.tv_sec);
}

}  // namespace
}  // namespace dravik::saving
