// The workflow calls both front ends make: a source chosen by name is the
// one its catalogue item gives, a scan log is refused when the volume it
// names has changed, a short source is told, and a prompter's exception
// is handed to the waiting thread rather than ending the process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "analysis/scan_log.h"
#include "analysis/volume_geometry.h"
#include "app/app_context.h"
#include "app/workflow.h"
#include "source/sector_device.h"
#include "support/scripted_prompter.h"
#include "support/test_images.h"

namespace dravik {
namespace {

namespace fs = std::filesystem;

struct App {
    explicit App(source::DeviceOpenFn open = source::OpenPosixDevice) : ctx(prompter, std::move(open)) {}
    test::ScriptedPrompter prompter;
    app::AppContext ctx;
};

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("dravik-workflow-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Analyses partition `partition` of the only disk in deleted mode and
    // saves the scan log; its path.
    std::string AnalyseAndLog(App& a, int partition, const std::string& name) {
        EXPECT_TRUE(app::SelectDiskSource(a.ctx, 0, partition));
        app::ChooseRecoveryMode(a.ctx, app::RecoveryChoice::Deleted);
        EXPECT_TRUE(app::PrepareVolumeAnalysis(a.ctx, true));
        base::NullProgress progress;
        app::AnalysisRun run(a.ctx);
        EXPECT_TRUE(run.Start(progress));
        run.Join();
        const std::string log = (dir_ / name).string();
        EXPECT_TRUE(analysis::SaveScanLog(a.ctx, log));
        return analysis::ScanLogPath(log);
    }

    fs::path dir_;
};

TEST_F(WorkflowTest, ASourceChosenByNameIsTheOneItsCatalogueItemGives) {
    App clicked, named;
    const std::string disk = test::ImagePath("disk-mbr.img").string();
    ASSERT_TRUE(app::BuildSources(clicked.ctx, {disk}, false).built);
    ASSERT_TRUE(app::BuildSources(named.ctx, {disk}, false).built);
    int partitions = 0;
    for (const auto& item : clicked.ctx.drives.catalogue.items) {
        if (item.kind != drives::CatalogueItemKind::Partition) continue;
        SCOPED_TRACE(item.text);
        ++partitions;
        app::SelectSourceItem(clicked.ctx, item.handle);
        ASSERT_TRUE(app::SelectDiskSource(named.ctx, item.disk, item.partition));
        const auto &a = clicked.ctx.source, &b = named.ctx.source;
        EXPECT_EQ(a.StartSector, b.StartSector);
        EXPECT_EQ(a.EndSector, b.EndSector);
        EXPECT_EQ(a.PartitionLabel, b.PartitionLabel);
        EXPECT_EQ(a.PartitionIndex, b.PartitionIndex);
        EXPECT_EQ(a.PartitionText, b.PartitionText) << "the scan log stores it";
        EXPECT_EQ(a.ItemText, b.ItemText);
        EXPECT_EQ(a.DeviceIndex, b.DeviceIndex);
        EXPECT_EQ(a.BytesPerSector, b.BytesPerSector);
    }
    EXPECT_EQ(partitions, 4) << "the extended partition's container is no item";

    ASSERT_TRUE(app::SelectDiskSource(named.ctx, 0));
    EXPECT_EQ(named.ctx.source.PartitionLabel, "UNKNOWN") << "a whole disk has no file system of its own";
    EXPECT_FALSE(app::SelectDiskSource(named.ctx, 0, 9));
    EXPECT_FALSE(app::SelectDiskSource(named.ctx, 4));
    EXPECT_FALSE(app::SelectDriveSource(named.ctx, 'Q'));
    EXPECT_TRUE(named.prompter.messages.empty());
}

// A log of a volume that an image of the same name no longer holds would
// read other bytes at the logged sectors: it is refused for recovery and
// still accepted for listing.
TEST_F(WorkflowTest, ALogIsRefusedWhenItsImageNowHoldsAnotherVolume) {
    const fs::path image = dir_ / "card.img";
    fs::copy_file(test::ImagePath("fat16.img"), image);
    std::string log;
    {
        App a;
        ASSERT_TRUE(app::BuildSources(a.ctx, {image.string()}, false).built);
        log = AnalyseAndLog(a, 0, "card");
        ASSERT_GT(a.ctx.items.files.Count(), 0u);
    }
    EXPECT_EQ(app::FindScanLog((dir_ / "card").string()), log) << "the extension may be left out";
    EXPECT_EQ(app::FindScanLog((dir_ / "nothing").string()), "");
    {
        App same;
        ASSERT_TRUE(app::BuildSources(same.ctx, {image.string()}, false).built);
        const auto load = app::PrepareLogLoad(same.ctx, log);
        EXPECT_TRUE(load.ready) << load.problem;
        EXPECT_TRUE(load.diskFound);
    }
    // Reformatted: same size, same name, another layout.
    {
        const auto size = fs::file_size(image);
        fs::remove(image);
        fs::copy_file(test::ImagePath("fat12.img"), image);
        fs::resize_file(image, size);
    }
    App other;
    ASSERT_TRUE(app::BuildSources(other.ctx, {image.string()}, false).built);
    const auto refused = app::PrepareLogLoad(other.ctx, log);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.diskFound);
    EXPECT_NE(refused.problem.find("not the volume the scan log " + log + " was made on"), std::string::npos)
        << refused.problem;
    EXPECT_TRUE(app::PrepareLogLoad(other.ctx, log, /*needDisk=*/false)) << "listing reads no volume bytes";

    App absent;
    ASSERT_TRUE(app::BuildSources(absent.ctx, {test::ImagePath("fat12.img").string()}, false).built);
    const auto missing = app::PrepareLogLoad(absent.ctx, log);
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.diskFound);
    EXPECT_EQ(missing.model, "card.img");
    EXPECT_EQ(missing.problem, analysis::text::kSelectProperDevice);
}

// What the boot sector claims against what the source holds, in the
// volume's own sector size (4096 bytes on ntfs-4k, read in 512-byte ones).
TEST_F(WorkflowTest, ASourceShorterThanItsFileSystemIsTold) {
    for (const char* name : {"ntfs-basic.img", "ntfs-4k.img", "fat32.img"}) {
        SCOPED_TRACE(name);
        const fs::path whole = test::ImagePath(name);
        App a;
        ASSERT_TRUE(app::BuildSources(a.ctx, {whole.string()}, false).built);
        ASSERT_TRUE(app::SelectDiskSource(a.ctx, 0, 0));
        const auto claimed = analysis::FileSystemBytes(a.ctx);
        ASSERT_TRUE(claimed);
        EXPECT_LE(*claimed, fs::file_size(whole));
        EXPECT_GT(*claimed, fs::file_size(whole) - 1024 * 1024);
        EXPECT_EQ(app::ShorterSourceText(a.ctx), "");

        const fs::path cut = dir_ / name;
        fs::copy_file(whole, cut, fs::copy_options::overwrite_existing);
        fs::resize_file(cut, fs::file_size(whole) / 2);
        App b;
        ASSERT_TRUE(app::BuildSources(b.ctx, {cut.string()}, false).built);
        ASSERT_TRUE(app::SelectDiskSource(b.ctx, 0, 0));
        EXPECT_EQ(app::ShorterSourceText(b.ctx),
                  "the source is shorter than its file system: " + std::to_string(fs::file_size(cut)) + " of its " +
                      std::to_string(*claimed) +
                      " bytes are there; what lies past the end of the source is missing, and files there are "
                      "unreadable");
    }
}

// A prompter with nobody to ask (the command line without a terminal)
// throws; the exception must reach the thread that waits for the analysis.
class NobodyToAsk final : public test::ScriptedPrompter {
public:
    bool throws = true;
    std::optional<base::BadSectorAnswer> SectorsBadStatusAction() override {
        if (throws) throw std::runtime_error("nobody to ask");
        return base::BadSectorAnswer::SkipAll;
    }
};

TEST_F(WorkflowTest, APrompterThatThrowsEndsTheAnalysisOnTheWaitingThread) {
    NobodyToAsk prompter;
    app::AppContext ctx(prompter, [](const platform::DeviceBacking& backing) -> std::unique_ptr<source::SectorDevice> {
        auto device = source::OpenPosixDevice(backing);
        if (!device) return device;
        return std::make_unique<source::FaultInjectingDevice>(std::move(device), 512, std::set<std::uint64_t>{1, 2, 3});
    });
    ASSERT_TRUE(app::BuildSources(ctx, {test::ImagePath("fat12.img").string()}, false).built);
    ASSERT_TRUE(app::SelectDiskSource(ctx, 0, 0));
    app::ChooseRecoveryMode(ctx, app::RecoveryChoice::Deleted);
    app::PrepareVolumeAnalysis(ctx);
    base::NullProgress progress;
    app::AnalysisRun run(ctx);
    ASSERT_TRUE(run.Start(progress));
    run.Join();
    ASSERT_TRUE(run.Failure());
    EXPECT_THROW(std::rethrow_exception(run.Failure()), std::runtime_error);
    EXPECT_TRUE(run.Control().Finished()) << "the front end learns of the end as of any other";
    EXPECT_FALSE(run.Outcome()) << "no outcome was reached";

    // The next run of the same object starts afresh: no failure kept, its
    // own outcome.
    prompter.throws = false;
    app::PrepareVolumeAnalysis(ctx);
    ASSERT_TRUE(run.Start(progress));
    run.Join();
    EXPECT_FALSE(run.Failure());
    EXPECT_EQ(run.Outcome(), analysis::AnalysisOutcome::Finished);
}

}  // namespace
}  // namespace dravik
