// Unreadable source sectors in a save run: each file they touch is reported
// with how many sectors and where in the file, the run is not a success and
// its final message counts the files; sectors a retry recovers cost nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>

#include "results/item_text.h"
#include "results/results_view.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "support/analysis_harness.h"

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Sectors that fail to read; a "flaky" one fails only its first read.
struct Faults {
    std::set<std::uint64_t> bad;
    std::map<std::uint64_t, int> flaky;  // sector -> failures left
};

class FaultyDevice final : public source::SectorDevice {
public:
    FaultyDevice(std::unique_ptr<source::SectorDevice> inner, std::shared_ptr<Faults> faults)
        : inner_(std::move(inner)), faults_(std::move(faults)) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
        const std::uint64_t first = offset / 512, last = (offset + buf.size() - 1) / 512;
        auto it = faults_->bad.lower_bound(first);
        if (it != faults_->bad.end() && *it <= last) return false;
        for (auto& [sector, left] : faults_->flaky)
            if (sector >= first && sector <= last && left > 0) {
                --left;
                return false;
            }
        return inner_->ReadAt(offset, buf);
    }
    std::uint64_t Size() const override { return inner_->Size(); }

private:
    std::unique_ptr<source::SectorDevice> inner_;
    std::shared_ptr<Faults> faults_;
};

// fat12 analysed whole and every item checked; the sectors of a file are
// found from its first cluster (the files used here are not fragmented).
class UnreadableSave : public ::testing::Test {
protected:
    std::shared_ptr<Faults> faults = std::make_shared<Faults>();
    fs::path scratch = fs::temp_directory_path() / ("dravik-unreadable-" + std::to_string(::getpid()) + "-" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::unique_ptr<test::AnalysisHarness> h;
    std::unique_ptr<results::ResultsView> view;
    std::map<std::string, FileReport> reports;  // by name

    void SetUp() override {
        fs::remove_all(scratch);
        auto f = faults;
        h = std::make_unique<test::AnalysisHarness>([f](const platform::DeviceBacking& b) {
            return std::unique_ptr<source::SectorDevice>(std::make_unique<FaultyDevice>(source::OpenPosixDevice(b), f));
        });
        h->Select(test::ImagePath("fat12.img"), "FAT12");
        ASSERT_EQ(h->Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
        view = std::make_unique<results::ResultsView>(h->ctx);
        view->Open();
        view->ToggleNode(view->Tree().Root());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(scratch, ec);
    }
    const analysis::FileItem& File(const std::string& name) {
        for (const auto& f : h->ctx.items.files)
            if (results::DisplayName(f) == name && f.deleted != analysis::kYes) return f;
        ADD_FAILURE() << "no file " << name;
        return *h->ctx.items.files.begin();
    }
    std::uint64_t FirstSector(const std::string& name) {
        const auto& g = h->ctx.analysis.geometry;
        return g.clusterBase + std::uint64_t(File(name).number) * g.sectorsPerCluster;
    }
    SaveOutcome Save(const fs::path& to) {
        auto& ctx = h->ctx;
        reports.clear();
        ctx.saveRun.ResetForDestination();
        EXPECT_TRUE(CheckDestination(ctx, to.string()));
        base::WorkerControl control;
        CalculateDataSize(ctx, view->Tree(), control);
        ctx.saveRun.ResetForProgress();
        CopyEngine engine(ctx, control);
        engine.SetReport([&](const FileReport& r) {
            if (r.file->deleted != analysis::kYes) reports[results::DisplayName(*r.file)] = r;
        });
        return engine.RunSave(view->Tree());
    }
    // The file's bytes as the image holds them.
    std::string FromImage(const std::string& name) {
        std::ifstream in(test::ImagePath("fat12.img"), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(FirstSector(name) * 512));
        std::string bytes(File(name).size, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }
};

TEST_F(UnreadableSave, EachFileTellsItsZeroFilledSectorsAndTheRunCountsTheFiles) {
    h->ctx.source.BadSectorPolicy = base::BadSectorAnswer::SkipAll;
    // video clip.mp4 (102,721 bytes, 201 sectors, read as one run of 40-sector
    // pieces): two sectors in the first piece, one in the second and the
    // last, partly used sector; DRAFT1.TXT (256 bytes): its only sector.
    const std::uint64_t clip = FirstSector("video clip.mp4");
    faults->bad = {clip + 8, clip + 9, clip + 45, clip + 200, FirstSector("DRAFT1.TXT")};
    const std::string clipBytes = FromImage("video clip.mp4");

    EXPECT_EQ(Save(scratch / "a"), SaveOutcome::NotCompleted) << "zeros where the source was unreadable are no success";
    EXPECT_EQ(h->prompter.messages.back(),
              std::string(text::kNotCompleted) + "\n2 files hold unreadable sectors written as zeros.");
    EXPECT_EQ(h->ctx.saveRun.unreadableFiles.load(), 2);
    EXPECT_EQ(h->ctx.saveRun.unreadableSectors.load(), 5u);

    const auto& r = reports.at("video clip.mp4");
    EXPECT_EQ(r.outcome, FileOutcome::Written) << "every byte was written";
    EXPECT_EQ(r.zeroFilledSectors, 4u);
    EXPECT_EQ(r.zeroFilledOffsets, (std::vector<std::uint64_t>{8 * 512, 9 * 512, 45 * 512, 200 * 512}));
    EXPECT_EQ(reports.at("DRAFT1.TXT").zeroFilledOffsets, (std::vector<std::uint64_t>{0}));
    std::size_t others = 0;
    for (const auto& [name, rep] : reports)
        if (name != "video clip.mp4" && name != "DRAFT1.TXT") others += rep.zeroFilledSectors == 0;
    EXPECT_EQ(others, reports.size() - 2) << "no other file is blamed";

    // Only the failing sectors are zeros: the rest of the file is exact.
    std::string expected = clipBytes;
    for (std::uint64_t s : {8, 9, 45})
        std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(s * 512), 512, '\0');
    std::fill(expected.begin() + 200 * 512, expected.end(), '\0');
    const auto written = fs::recursive_directory_iterator(scratch / "a");
    fs::path clipPath;
    for (const auto& e : written)
        if (e.path().filename() == "video clip.mp4") clipPath = e.path();
    ASSERT_FALSE(clipPath.empty());
    EXPECT_TRUE(Slurp(clipPath) == expected);
}

TEST_F(UnreadableSave, ASectorARetryReadsCostsNothingAndTheNextRunStartsFromZero) {
    h->ctx.source.BadSectorPolicy = base::BadSectorAnswer::RetryAll;
    const std::uint64_t clip = FirstSector("video clip.mp4");
    // Fails the whole read and the piece; the sector's own read then works.
    faults->flaky = {{clip + 12, 2}};
    EXPECT_EQ(Save(scratch / "a"), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.messages.back(), text::kCompleted);
    EXPECT_EQ(reports.at("video clip.mp4").zeroFilledSectors, 0u);
    EXPECT_EQ(h->ctx.saveRun.unreadableFiles.load(), 0);

    // A sector that stays bad under Retry is zero-filled and counted; a run
    // after it without faults counts nothing of the earlier one.
    faults->bad = {clip + 100};
    EXPECT_EQ(Save(scratch / "b"), SaveOutcome::NotCompleted);
    EXPECT_EQ(reports.at("video clip.mp4").zeroFilledOffsets, (std::vector<std::uint64_t>{100 * 512}));
    EXPECT_EQ(h->prompter.messages.back(),
              std::string(text::kNotCompleted) + "\n1 file holds unreadable sectors written as zeros.");
    faults->bad.clear();
    EXPECT_EQ(Save(scratch / "c"), SaveOutcome::Completed);
    EXPECT_EQ(h->ctx.saveRun.unreadableFiles.load(), 0);
    EXPECT_EQ(h->ctx.saveRun.unreadableSectors.load(), 0u);
}

TEST_F(UnreadableSave, AnUnreadableFatSectorIsNoneOfTheFilesBytes) {
    h->ctx.source.BadSectorPolicy = base::BadSectorAnswer::SkipAll;
    // The first FAT's first sector: every chain is then looked up in the
    // second FAT; no file's data is touched.
    faults->bad = {h->ctx.analysis.geometry.fat1Start};
    Save(scratch / "a");
    for (const auto& [name, rep] : reports) EXPECT_EQ(rep.zeroFilledSectors, 0u) << name;
    EXPECT_EQ(h->ctx.saveRun.unreadableFiles.load(), 0);
}

}  // namespace
}  // namespace dravik::saving

#ifdef DRAVIK_CLI_PATH
#include "support/cli_process.h"
#include <nlohmann/json.hpp>

namespace dravik::saving {
namespace {

// The first sector of `bytes` in the image (a file's first bytes, which in
// these images are nowhere else).
std::uint64_t SectorHolding(const fs::path& image, const std::string& bytes) {
    const std::string all = Slurp(image);
    const auto at = all.find(bytes);
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(at % 512, 0u);
    return at / 512;
}

TEST(UnreadableRecover, ReportsEachFileAndEndsWithStatusOne) {
    const fs::path dir = fs::temp_directory_path() / ("dravik-unreadable-cli-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string image = test::ImagePath("fat12.img").string(), log = (dir / "log").string();
    auto r = test::RunCli(DRAVIK_CLI_PATH, {"analyse", image, "--no-system-disks", "--log", log});
    ASSERT_EQ(r.status, 0) << r.err;
    auto recover = [&](const std::string& to, const std::vector<std::pair<std::string, std::string>>& env) {
        return test::RunCli(DRAVIK_CLI_PATH, {"recover", log + ".qsln", "--no-system-disks", "--image", image, "--all",
                                              "--to", (dir / to).string(), "--allow-same-device", "--on-bad-sector",
                                              "skip", "--report", (dir / (to + ".json")).string()},
                            env);
    };
    r = recover("clean", {});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string clip = Slurp(dir / "clean" / "Media" / "video clip.mp4");
    ASSERT_EQ(clip.size(), 102721u);
    const std::uint64_t first = SectorHolding(image, clip.substr(0, 4096));

    // Two sectors inside the clip and its last one.
    const std::string bad = std::to_string(first + 3) + "-" + std::to_string(first + 4) + "," + std::to_string(first + 200);
    r = recover("bad", {{"DRAVIK_TEST_UNREADABLE", bad}});
    EXPECT_EQ(r.status, 1) << "done with incomplete files: " << r.err;
    EXPECT_NE(r.err.find("Saving not completed successfully.\n1 file holds unreadable sectors written as zeros."),
              std::string::npos)
        << r.err;
    std::ifstream in(dir / "bad.json");
    const auto report = nlohmann::json::parse(in);
    int blamed = 0;
    for (const auto& e : report) {
        if (e["source"] != "Media/video clip.mp4") {
            blamed += e["unreadable_sectors"] != 0;
            continue;
        }
        EXPECT_EQ(e["outcome"], "unreadable sectors zero-filled");
        EXPECT_EQ(e["unreadable_sectors"], 3);
        EXPECT_EQ(e["unreadable_offsets"], nlohmann::json::parse("[1536, 2048, 102400]"));
        EXPECT_EQ(e["written"], 102721);
    }
    EXPECT_EQ(blamed, 0);
    fs::remove_all(dir);
}

TEST(UnreadableAnalyse, TakesTheStandingAnswersRecoverTakes) {
    const fs::path dir = fs::temp_directory_path() / ("dravik-unreadable-analyse-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string image = test::ImagePath("fat12.img").string(), log = (dir / "log").string();
    // The first FAT's sectors and one of the root folder's.
    const std::vector<std::pair<std::string, std::string>> bad{{"DRAVIK_TEST_UNREADABLE", "1-3,40"}};
    auto analyse = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"analyse", image, "--no-system-disks", "--log", log};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::RunCli(DRAVIK_CLI_PATH, args, bad);
    };
    // No terminal to ask: the message names the option, which exists.
    auto r = analyse({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--on-bad-sector"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(log + ".qsln"));
    for (const char* answer : {"skip", "retry"}) {
        SCOPED_TRACE(answer);
        r = analyse({"--on-bad-sector", answer});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("52 files"), std::string::npos) << "the second FAT and the other sectors serve: " << r.out;
        EXPECT_TRUE(fs::exists(log + ".qsln"));
        fs::remove(log + ".qsln");
    }
    EXPECT_NE(test::RunCli(DRAVIK_CLI_PATH, {"analyse", image, "--log", log, "--on-bad-sector", "maybe"}).status, 0);
    fs::remove_all(dir);
}

TEST(ShortSource, TheAnalysisSaysSoAndFilesPastTheEndAreNoSuccess) {
    const fs::path dir = fs::temp_directory_path() / ("dravik-short-source-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path whole = test::ImagePath("fat12.img"), image = dir / "cut.img";
    const std::string before = Slurp(whole);
    auto analyse = [&](const fs::path& source) {
        return test::RunCli(DRAVIK_CLI_PATH, {"analyse", source.string(), "--no-system-disks", "--log", (dir / "log").string()});
    };
    auto r = analyse(whole);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("shorter"), std::string::npos) << "a whole image is not";
    r = test::RunCli(DRAVIK_CLI_PATH, {"recover", (dir / "log.qsln").string(), "--no-system-disks", "--image",
                                       whole.string(), "--all", "--to", (dir / "whole").string(), "--allow-same-device"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Cut in the middle of video clip.mp4 (202 sectors from its start).
    const std::string clip = Slurp(dir / "whole" / "Media" / "video clip.mp4");
    const std::uint64_t first = SectorHolding(whole, clip.substr(0, 4096));
    std::ofstream(image, std::ios::binary) << before.substr(0, (first + 100) * 512);

    r = analyse(image);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("the source is shorter than its file system: " + std::to_string((first + 100) * 512) + " of its " +
                         std::to_string(before.size()) + " bytes are there"),
              std::string::npos)
        << r.out;
    const fs::path report = dir / "report.json";
    r = test::RunCli(DRAVIK_CLI_PATH, {"recover", (dir / "log.qsln").string(), "--no-system-disks", "--image",
                                       image.string(), "--select", "Media/video clip.mp4", "--to",
                                       (dir / "cut").string(), "--allow-same-device", "--report", report.string()});
    EXPECT_EQ(r.status, 1) << "not a success: " << r.err;
    std::ifstream in(report);
    const auto json = nlohmann::json::parse(in);
    ASSERT_EQ(json.size(), 1u);
    EXPECT_NE(json[0]["outcome"], "written") << json.dump();
    EXPECT_EQ(Slurp(whole), before) << "the source is only read";
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dravik::saving
#endif
