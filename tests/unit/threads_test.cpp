// What threads share: the worker control's pause, resume and terminate
// racing with the task, a prompt answered from another thread while the
// worker waits, the sector reader's handle cache read by two workers, and an
// analysis run ended by Back. Built also with ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/app_context.h"
#include "base/prompter.h"
#include "base/worker.h"
#include "app/workflow.h"
#include "source/sector_device.h"
#include "source/sector_reader.h"
#include "support/scripted_prompter.h"
#include "support/test_images.h"

namespace dravik {
namespace {

using namespace std::chrono_literals;

TEST(ThreadsWorker, PauseResumeAndTerminateRaceTheTaskSafely) {
    for (int round = 0; round < 20; ++round) {
        base::Worker worker;
        std::atomic<std::uint64_t> items = 0;
        ASSERT_TRUE(worker.Start([&](base::WorkerControl& c) {
            while (c.Checkpoint()) {
                items.fetch_add(1);
                if (c.StopRequested()) c.ClearStop();
            }
        }));
        EXPECT_FALSE(worker.Start([](base::WorkerControl&) {})) << "one task at a time";
        for (int i = 0; i < 5; ++i) {
            worker.Control().Pause();
            ASSERT_TRUE(worker.Control().WaitParked(2s));
            const auto frozen = items.load();
            std::this_thread::sleep_for(1ms);
            EXPECT_EQ(items.load(), frozen) << "a parked task does no work";
            worker.Control().RequestStop();
            worker.Control().Resume();
        }
        worker.End();
        EXPECT_FALSE(worker.Running());
    }
}

TEST(ThreadsWorker, TerminateWakesAParkedTask) {
    base::Worker worker;
    std::atomic<bool> ended = false;
    worker.Start([&](base::WorkerControl& c) {
        while (c.Checkpoint()) std::this_thread::sleep_for(100us);
        ended = true;
    });
    worker.Control().Pause();
    ASSERT_TRUE(worker.Control().WaitParked(2s));
    worker.End();
    EXPECT_TRUE(ended);
}

// A prompter whose answers come from another thread, as a GUI's do: the
// worker blocks in the call until the answering thread has replied.
class HandOffPrompter final : public test::ScriptedPrompter {
public:
    std::optional<base::BadSectorAnswer> SectorsBadStatusAction() override {
        std::unique_lock lock(mutex_);
        asked_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return answer_.has_value(); });
        auto a = *answer_;
        answer_.reset();
        asked_ = false;
        ++answered;
        return a;
    }
    // On the answering thread: waits for a question and answers it.
    bool Answer(base::BadSectorAnswer a) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, 5s, [&] { return asked_; })) return false;
        answer_ = a;
        changed_.notify_all();
        return true;
    }
    std::atomic<int> answered = 0;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool asked_ = false;
    std::optional<std::optional<base::BadSectorAnswer>> answer_;
};

std::vector<std::uint8_t> Numbered(std::size_t sectors) {
    std::vector<std::uint8_t> bytes(sectors * 512);
    for (std::size_t s = 0; s < sectors; ++s) bytes[s * 512] = static_cast<std::uint8_t>(s);
    return bytes;
}

TEST(ThreadsPrompts, AWorkersPromptIsAnsweredFromAnotherThreadAndTheAnswerStands) {
    HandOffPrompter prompter;
    app::AppContext ctx(prompter, [](const platform::DeviceBacking&) -> std::unique_ptr<source::SectorDevice> {
        return std::make_unique<source::FaultInjectingDevice>(std::make_unique<source::MemoryDevice>(Numbered(400)),
                                                              512, std::set<std::uint64_t>{10, 90, 250});
    });
    ctx.devices.SetDisk(0, {"memory"});
    ctx.source.SelectPhysicalDisk(0);
    base::Worker worker;
    std::atomic<int> reads = 0;
    worker.Start([&](base::WorkerControl&) {
        std::vector<std::uint8_t> buf(40 * 512);
        for (std::uint64_t at = 0; at < 400; at += 40) {
            ctx.reader.Read(at, 40, buf);
            reads.fetch_add(1);
        }
    });
    // The first failed piece asks; "Skip All" then stands for the others.
    ASSERT_TRUE(prompter.Answer(base::BadSectorAnswer::SkipAll));
    worker.Join();
    EXPECT_EQ(reads.load(), 10);
    EXPECT_EQ(prompter.answered.load(), 1);
    EXPECT_EQ(ctx.source.BadSectorPolicy, base::BadSectorAnswer::SkipAll);
    EXPECT_EQ(ctx.reader.ZeroFilledSectors(), 3u);
}

TEST(ThreadsReader, TwoWorkersShareTheReadersHandle) {
    test::ScriptedPrompter prompter;
    app::AppContext ctx(prompter);
    ctx.devices.SetDisk(0, {test::ImagePath("ntfs-basic.img").string()});
    ctx.source.SelectPhysicalDisk(0);
    std::vector<std::uint8_t> want(64 * 512);
    ASSERT_NE(ctx.reader.Read(0, 64, want), 0);
    std::atomic<int> mismatches = 0;
    auto task = [&](base::WorkerControl& c) {
        std::vector<std::uint8_t> buf(64 * 512);
        for (int i = 0; i < 200 && c.Checkpoint(); ++i) {
            ctx.reader.Read(0, 64, buf);
            if (buf != want) mismatches.fetch_add(1);
            (void)ctx.reader.CurrentDeviceBytes();
        }
    };
    base::Worker a, b;
    a.Start(task);
    b.Start(task);
    a.Join();
    b.Join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(ctx.reader.OpenCount(), 1u) << "one cached handle for both";
}

TEST(ThreadsAnalysis, BackDuringTheAnalysisEndsItAndFreesTheItems) {
    for (int round = 0; round < 3; ++round) {
        test::ScriptedPrompter prompter;
        app::AppContext ctx(prompter);
        ASSERT_TRUE(app::BuildSources(ctx, {test::ImagePath("ntfs-basic.img").string()}, false).built);
        partition::TreeHandle item = 0;
        for (const auto& i : ctx.drives.catalogue.items)
            if (i.kind == drives::CatalogueItemKind::Partition) item = i.handle;
        app::SelectSourceItem(ctx, item);
        ASSERT_EQ(app::ConfirmSource(ctx, {}), app::SourceConfirmation::Analyse);
        base::NullProgress progress;
        app::AnalysisRun run(ctx);
        ASSERT_TRUE(run.Start(progress));
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
        run.Control().Pause();
        run.Control().WaitParked(2s);
        run.Discard();
        EXPECT_FALSE(run.Running());
        EXPECT_EQ(ctx.items.files.Count(), 0u);
        EXPECT_EQ(ctx.items.folders.Count(), 0u);
    }
}

}  // namespace
}  // namespace dravik
