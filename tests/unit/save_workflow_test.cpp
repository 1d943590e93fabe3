// The save as the front ends run it: the destination check, the size walk
// and the save run on their workers, with Skip, Pause, Stop, Abort at a
// prompt, the numbers the run reports and a prompt that throws.
#include "app/save_workflow.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "results/item_text.h"
#include "results/results_view.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"
#include "support/md5.h"

namespace dravik::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using saving::FileOutcome;
using saving::SaveOutcome;

// Every read takes a while, so that a run lasts long enough to act on.
class SlowDevice final : public source::SectorDevice {
public:
    SlowDevice(std::unique_ptr<source::SectorDevice> inner, const std::atomic<int>& delayUs)
        : inner_(std::move(inner)), delayUs_(delayUs) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
        if (const int d = delayUs_.load()) std::this_thread::sleep_for(std::chrono::microseconds(d));
        return inner_->ReadAt(offset, buf);
    }
    std::uint64_t Size() const override { return inner_->Size(); }

private:
    std::unique_ptr<source::SectorDevice> inner_;
    const std::atomic<int>& delayUs_;
};

// Keeps every update and can act on one (on the worker's thread).
class RecordingSink final : public saving::CopyProgressSink {
public:
    std::function<void(const saving::CopyCounts&)> onUpdate;
    void Update(const saving::CopyCounts& c) override {
        {
            std::lock_guard lock(mutex_);
            all_.push_back(c);
        }
        if (onUpdate) onUpdate(c);
    }
    std::vector<saving::CopyCounts> All() {
        std::lock_guard lock(mutex_);
        return all_;
    }

private:
    std::mutex mutex_;
    std::vector<saving::CopyCounts> all_;
};

class SaveWorkflow : public ::testing::Test {
protected:
    void SetUp() override {
        h = std::make_unique<test::AnalysisHarness>([this](const platform::DeviceBacking& b)
                                                        -> std::unique_ptr<source::SectorDevice> {
            auto dev = source::OpenPosixDevice(b);
            if (!dev) return nullptr;
            return std::make_unique<SlowDevice>(std::move(dev), delayUs);
        });
        h->Select(test::ImagePath("ntfs-basic.img"), "NTFS");
        ASSERT_EQ(h->Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
        view = std::make_unique<results::ResultsView>(h->ctx);
        view->Open();
        dest = fs::temp_directory_path() /
               ("dravik-workflow-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dest);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dest, ec);
    }
    void Check(const std::u16string& folder) {
        const auto nodes = view->Tree().NodesAtPath(folder);
        ASSERT_FALSE(nodes.empty());
        view->ToggleNode(nodes.front());
    }
    // The destination and the size walk, as both front ends take them.
    void Prepare() {
        ASSERT_TRUE(CheckSaveDestination(h->ctx, dest.string()));
        SizeRun size(h->ctx, view->Tree());
        ASSERT_TRUE(size.Start());
        size.Join();
        ASSERT_EQ(DecideAfterSizeWalk(h->ctx), saving::DestinationDecision::Save);
    }
    static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }
    std::map<std::string, const test::ManifestRow*> Manifest() {
        rows = test::ReadManifest(test::ManifestPath("ntfs-basic.manifest.tsv"));
        std::map<std::string, const test::ManifestRow*> out;
        for (const auto& r : rows) out[r.path] = &r;
        return out;
    }

    std::atomic<int> delayUs = 0;
    std::unique_ptr<test::AnalysisHarness> h;
    std::unique_ptr<results::ResultsView> view;
    fs::path dest;
    std::vector<test::ManifestRow> rows;
};

TEST_F(SaveWorkflow, TheDestinationIsRefusedOnTheSourceEmptyAndStartsTheTotalsAfresh) {
    auto& ctx = h->ctx;
    // The folder that holds the image: a file saved there could replace it.
    const fs::path holding = test::ImagePath("ntfs-basic.img").parent_path();
    const auto entries = [&] { return std::distance(fs::directory_iterator(holding), fs::directory_iterator()); };
    const auto before = entries();
    auto check = CheckSaveDestination(ctx, holding.string());
    EXPECT_EQ(check.result, DestinationCheck::Result::OnSource);
    EXPECT_NE(check.refusal.find("holds the image being recovered"), std::string::npos) << check.refusal;
    EXPECT_EQ(entries(), before) << "nothing is created on the source";
    EXPECT_TRUE(h->prompter.messages.empty()) << "the caller tells the refusal";

    EXPECT_EQ(CheckSaveDestination(ctx, "").result, DestinationCheck::Result::Refused);
    EXPECT_EQ(h->prompter.messages, std::vector<std::string>{saving::text::kSelectPath});

    // Allowed all the same, the folder is the run's; the totals and the
    // standing conflict answer of a run before are gone.
    ctx.saveRun.selectedCount = 7;
    ctx.saveRun.bytesWritten = 99;
    ctx.saveRun.replaceChoice = base::ReplaceChoice::SkipForAll;
    check = CheckSaveDestination(ctx, holding.string(), /*allowSameDevice=*/true);
    EXPECT_TRUE(check);
    EXPECT_EQ(ctx.saveRun.destination, holding.string());
    EXPECT_EQ(ctx.saveRun.selectedCount, 0);
    EXPECT_EQ(ctx.saveRun.bytesWritten.load(), 0u);
    EXPECT_EQ(ctx.saveRun.replaceChoice, base::ReplaceChoice::Yes);

    // Nothing checked: the size walk finds nothing and the page closes.
    check = CheckSaveDestination(ctx, dest.string());
    ASSERT_TRUE(check);
    SizeRun size(ctx, view->Tree());
    bool changed = false;
    ASSERT_TRUE(size.Start({}, [&] { changed = true; }));
    size.Join();
    EXPECT_TRUE(changed && size.Control().Finished()) << "the end is told through the flag";
    EXPECT_EQ(DecideAfterSizeWalk(ctx), saving::DestinationDecision::CloseDialog);
    EXPECT_EQ(h->prompter.messages.back(), saving::text::kNothingSelected);
}

TEST_F(SaveWorkflow, ARunReportsItsNumbersThrottledAndEndsWithTheWholeCount) {
    Check(u"Fragmented");
    Prepare();
    auto& run = h->ctx.saveRun;
    std::vector<int> totals;
    {
        SizeRun size(h->ctx, view->Tree());
        ASSERT_TRUE(size.Start([&](std::int32_t files, std::uint64_t) { totals.push_back(files); }));
        size.Join();
    }
    ASSERT_EQ(static_cast<int>(totals.size()), run.selectedCount) << "one call per file counted";
    ASSERT_GT(run.selectedCount, 3);

    SaveRunner runner(h->ctx, view->Tree());
    RecordingSink sink;
    std::map<std::string, std::string> md5;
    runner.SetHashing(true);
    runner.SetReport([&](const saving::FileReport& r) { md5[results::DisplayName(*r.file)] = r.md5; });
    ASSERT_TRUE(runner.Start(&sink));
    EXPECT_FALSE(runner.Start(&sink)) << "one run at a time";
    runner.Join();
    EXPECT_EQ(runner.Outcome(), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.messages.back(), saving::text::kCompleted);

    const auto all = sink.All();
    ASSERT_FALSE(all.empty());
    // The last update carries the whole run, the last file's name included.
    const auto& last = all.back();
    EXPECT_EQ(last.bytesWritten, run.selectedBytes);
    EXPECT_EQ(last.selectedBytes, run.selectedBytes);
    EXPECT_EQ(last.filesDone, run.selectedCount);
    EXPECT_EQ(last.filesTotal, run.selectedCount);
    EXPECT_FALSE(last.file.empty());
    EXPECT_EQ(saving::CopyProgressTexts::Of(last).dataCopied, saving::SizeTextIn(run.selectedBytes));
    // Counts only grow.
    for (std::size_t i = 1; i < all.size(); ++i) {
        EXPECT_GE(all[i].bytesWritten, all[i - 1].bytesWritten);
        EXPECT_GE(all[i].filesDone, all[i - 1].filesDone);
    }
    // Fast as it is, the run is not one update per piece: 373 + 701 + 150
    // fragments and more were written.
    EXPECT_LT(all.size(), 60u) << all.size();

    const auto manifest = Manifest();
    for (const auto& [name, sum] : md5) {
        const auto it = manifest.find("Fragmented/" + name);
        if (it == manifest.end() || it->second->state != "live") continue;
        EXPECT_EQ(sum, it->second->md5) << name << ": hashed as written";
        EXPECT_EQ(test::Md5::OfFile(dest / "Fragmented" / name), it->second->md5) << name;
    }
}

TEST_F(SaveWorkflow, SkipEndsTheFileInHandAndTheRunGoesOn) {
    Check(u"Fragmented");
    Prepare();
    delayUs = 1500;
    SaveRunner runner(h->ctx, view->Tree());
    RecordingSink sink;
    std::atomic<bool> skipped = false;
    sink.onUpdate = [&](const saving::CopyCounts& c) {
        if (c.file.filename() == "attrlist live.bin" && c.fileWritten > 0 && c.fileWritten < c.fileSize &&
            !skipped.exchange(true))
            runner.Skip();
    };
    std::map<std::string, FileOutcome> outcomes;
    runner.SetReport([&](const saving::FileReport& r) { outcomes[results::DisplayName(*r.file)] = r.outcome; });
    ASSERT_TRUE(runner.Start(&sink));
    runner.Join();
    ASSERT_TRUE(skipped) << "the file was never seen half written";
    EXPECT_EQ(outcomes["attrlist live.bin"], FileOutcome::Incomplete);
    EXPECT_EQ(runner.Outcome(), SaveOutcome::NotCompleted);
    EXPECT_EQ(h->prompter.messages.back(), saving::text::kNotCompleted);
    // Only that file: the others are whole, and the skip does not carry over.
    int written = 0;
    for (const auto& [name, outcome] : outcomes) {
        if (name == "attrlist live.bin") continue;
        EXPECT_NE(outcome, FileOutcome::Incomplete) << name;
        written += outcome == FileOutcome::Written;
    }
    EXPECT_GE(written, 4);
    EXPECT_EQ(outcomes.size(), static_cast<std::size_t>(h->ctx.saveRun.selectedCount));
}

TEST_F(SaveWorkflow, PauseHoldsTheRunBetweenPiecesAndStopEndsItQuietly) {
    Check(u"Fragmented");
    Prepare();
    delayUs = 1500;
    auto& run = h->ctx.saveRun;
    SaveRunner runner(h->ctx, view->Tree());
    RecordingSink sink;
    ASSERT_TRUE(runner.Start(&sink));
    ASSERT_TRUE(WaitFor([&] { return run.bytesWritten.load() > 0; }));
    runner.Pause();
    EXPECT_TRUE(runner.Paused());
    ASSERT_TRUE(runner.Control().WaitParked(5s));
    const auto held = run.bytesWritten.load();
    std::this_thread::sleep_for(1100ms);
    EXPECT_EQ(run.bytesWritten.load(), held) << "nothing is written while paused";
    runner.Resume();
    EXPECT_GE(run.pausedSeconds.load(), 1) << "the paused time is not elapsed time";
    ASSERT_TRUE(WaitFor([&] { return run.bytesWritten.load() > held; }));

    // Stop: the front end has asked and said "Saving aborted."; the run
    // ends without its own message and leaves no short file in place.
    const auto messages = h->prompter.messages.size();
    runner.Control().Terminate();
    runner.Join();
    EXPECT_EQ(runner.Outcome(), SaveOutcome::Aborted);
    EXPECT_EQ(h->prompter.messages.size(), messages);
    EXPECT_LT(run.bytesWritten.load(), run.selectedBytes);
    const auto manifest = Manifest();
    for (const auto& e : fs::recursive_directory_iterator(dest)) {
        if (!e.is_regular_file()) continue;
        const auto rel = fs::relative(e.path(), dest).string();
        ASSERT_TRUE(manifest.contains(rel)) << rel << ": no partial file stays";
        EXPECT_EQ(fs::file_size(e.path()), manifest.at(rel)->size) << rel;
    }
}

TEST_F(SaveWorkflow, AbortAtAnErrorPromptEndsTheWalkButTheRunStillSaysHowItWent) {
    Check(u"Fragmented");
    // A file where the folder must go: every file of it meets the prompt.
    fs::create_directories(dest);
    std::ofstream(dest / "Fragmented") << "in the way";
    Prepare();
    h->prompter.copyErrorAnswers = {base::CopyErrorAnswer::Abort};
    SaveRunner runner(h->ctx, view->Tree());
    int reported = 0;
    runner.SetReport([&](const saving::FileReport&) { ++reported; });
    ASSERT_TRUE(runner.Start(nullptr));
    runner.Join();
    EXPECT_EQ(h->prompter.copyErrorPrompts, 1);
    EXPECT_EQ(reported, 1) << "no file after the answer";
    EXPECT_EQ(runner.Outcome(), SaveOutcome::NotCompleted);
    EXPECT_EQ(h->prompter.messages.back(), saving::text::kNotCompleted);

    // The next run starts with a fresh control: Skip goes on to every file.
    h->prompter.copyErrorAnswers = {base::CopyErrorAnswer::Skip, base::CopyErrorAnswer::SkipAll};
    ASSERT_TRUE(runner.Start(nullptr));
    runner.Join();
    EXPECT_EQ(h->prompter.copyErrorPrompts, 3);
    EXPECT_EQ(runner.Outcome(), SaveOutcome::NotCompleted);
}

// What throws on the worker (a prompt the command line cannot answer
// throws the same way) ends the run and waits for the front end.
TEST_F(SaveWorkflow, WhatThrowsOnTheWorkerEndsTheRunAndIsHandedToTheFrontEnd) {
    Check(u"Fragmented");
    Prepare();
    SaveRunner runner(h->ctx, view->Tree());
    int reported = 0;
    runner.SetReport([&](const saving::FileReport&) {
        if (++reported == 2) throw std::runtime_error("no answer");
    });
    bool changed = false;
    ASSERT_TRUE(runner.Start(nullptr, [&] { changed = true; }));
    runner.Join();
    EXPECT_EQ(reported, 2);
    EXPECT_TRUE(changed && runner.Control().Finished()) << "the front end still learns of the end";
    EXPECT_FALSE(runner.Outcome());
    ASSERT_TRUE(runner.Failure());
    EXPECT_THROW(std::rethrow_exception(runner.Failure()), std::runtime_error);
    EXPECT_TRUE(h->prompter.messages.empty()) << "no closing message";

    // A run after it starts clean.
    runner.SetReport({});
    ASSERT_TRUE(runner.Start(nullptr));
    runner.Join();
    EXPECT_FALSE(runner.Failure());
    EXPECT_TRUE(runner.Outcome());
}

}  // namespace
}  // namespace dravik::app
