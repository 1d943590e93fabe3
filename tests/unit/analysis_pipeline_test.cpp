// The analysis pipeline end to end on real images: damaged $MFTs, the switch
// to the signature scan, several volumes in one range, and the worker
// protocol (stop, termination, pause).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "analysis/analysis_texts.h"
#include "analysis/item_records.h"
#include "analysis/ntfs_boot.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"
#include "support/ntfs_builder.h"

namespace dravik::analysis {
namespace {

using test::AnalysisHarness;

struct BasicImage {
    std::filesystem::path path = test::ImagePath("ntfs-basic.img");
    std::uint64_t mftSector = 0;
    std::uint64_t mirrSector = 0;
    std::vector<test::ManifestRow> rows = test::ReadManifest(test::ManifestPath("ntfs-basic.manifest.tsv"));

    BasicImage() {
        std::ifstream f(path, std::ios::binary);
        std::vector<std::uint8_t> boot(512);
        f.read(reinterpret_cast<char*>(boot.data()), 512);
        auto b = ntfs::DecodeBootSector(boot);
        mftSector = b->mftLcn * b->sectorsPerCluster;
        mirrSector = b->mftMirrLcn * b->sectorsPerCluster;
    }
};

// The path of a folder item, from its parent chain.
template <class Item>
std::string PathOf(const FolderStore& folders, const Item& item, std::uint16_t volume) {
    std::string path = AnalysisHarness::Name(item);
    std::uint32_t parent = item.parent;
    for (int depth = 0; parent != kNtfsRoot && depth < 64; ++depth) {
        const FolderItem* f = folders.FindFolder(parent, volume);
        if (!f) return "?/" + path;
        path = AnalysisHarness::Name(*f) + "/" + path;
        parent = f->parent;
    }
    return path;
}

TEST(NtfsDamagedMft, ZeroedStartIsWalkedThroughTheMirror) {
    BasicImage img;
    std::map<std::uint64_t, std::vector<std::uint8_t>> zeros;
    for (std::uint64_t s = 0; s < 32; ++s) zeros[img.mftSector + s] = std::vector<std::uint8_t>(512, 0);
    AnalysisHarness h(test::Patched(zeros));
    h.Select(img.path, "NTFS");
    ASSERT_EQ(h.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    EXPECT_TRUE(h.prompter.messages.empty());
    EXPECT_EQ(h.ctx.analysis.geometry.mftSector, 0u) << "the $MFT's own record is gone";
    const auto files = h.FilesByNumber();
    int found = 0;
    for (const auto& row : img.rows) {
        if (!row.IsFile() || row.state != "live") continue;
        auto it = files.find(row.record);
        ASSERT_NE(it, files.end()) << row.path;
        EXPECT_EQ(AnalysisHarness::Name(*it->second[0]), row.Name());
        ++found;
    }
    EXPECT_GT(found, 1000);
}

TEST(NtfsDamagedMft, NoUsableRunsSwitchToTheSignatureScan) {
    BasicImage img;
    // Record 0 keeps its signature in both copies but maps nothing.
    auto empty = test::RecordBuilder(1).Finish();
    AnalysisHarness h(test::Patched({{img.mftSector, {empty.begin(), empty.begin() + 512}},
                                     {img.mftSector + 1, {empty.begin() + 512, empty.end()}},
                                     {img.mirrSector, {empty.begin(), empty.begin() + 512}},
                                     {img.mirrSector + 1, {empty.begin() + 512, empty.end()}}}));
    h.Select(img.path, "NTFS");
    ASSERT_EQ(h.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    ASSERT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_EQ(h.prompter.messages[0], text::kSwitchToAdvanceNtfs);
    EXPECT_EQ(h.sink.restarts, 1);
    EXPECT_EQ(h.sink.last[base::ProgressField::ValueLabel], text::kLabelCurrentSector);
    EXPECT_TRUE(h.ctx.analysis.settings.formatted);
    EXPECT_EQ(h.sink.steps.front(), text::kStepScan);
    EXPECT_EQ(h.sink.steps.back(), text::kStepLostDirectories);

    // The scan rebuilds the tree: files at their paths with their sizes.
    std::map<std::string, const FileItem*> byPath;
    for (const auto& f : h.ctx.items.files) byPath[PathOf(h.ctx.items.folders, f, 1)] = &f;
    int total = 0, right = 0;
    for (const auto& row : img.rows) {
        if (!row.IsFile() || row.state != "live") continue;
        ++total;
        auto it = byPath.find(row.path);
        if (it != byPath.end() && it->second->size == row.size) ++right;
    }
    EXPECT_GE(right * 100, total * 99) << right << " of " << total;
}

TEST(NtfsExhaustive, TwoVolumesInOneRange) {
    const auto image = test::ImagePath("ntfs-two-volumes.img");
    AnalysisHarness h;
    h.Select(image, "NTFS");
    h.ctx.analysis.settings.exhaustive = true;
    h.ctx.analysis.partition.sectorsPerCluster = 8;
    ASSERT_EQ(h.Run(RecoveryMode::Formatted), AnalysisOutcome::CloseRequested);
    EXPECT_EQ(h.ctx.analysis.settings.phase, 1);
    const auto& volumes = h.ctx.items.volumes;
    ASSERT_EQ(volumes.Count(), 2u);
    EXPECT_EQ(volumes.Find(1)->startSector, 2048u);
    EXPECT_EQ(volumes.Find(2)->startSector, 36864u);
    EXPECT_EQ(volumes.Find(2)->typeName, "NTFS");
    EXPECT_EQ(h.ctx.items.folders.Count(), 0u) << "nothing is dumped before the user picks a volume";

    ASSERT_EQ(RunChosenVolume(h.env, 2), AnalysisOutcome::Finished);
    EXPECT_EQ(h.ctx.analysis.currentVolume, 2u);
    for (int p = 1; p <= 2; ++p) {
        const auto rows = test::ReadManifest(test::ManifestPath("ntfs-two-volumes.p" + std::to_string(p) + ".manifest.tsv"));
        for (const auto& row : rows) {
            if (!row.IsDir() || row.state != "live") continue;
            const FolderItem* f = h.ctx.items.folders.FindFolder(row.record, static_cast<std::uint16_t>(p));
            if (!f) {
                for (std::uint16_t v = 0; v < 4; ++v)
                    if (auto* g = h.ctx.items.folders.FindFolder(row.record, v))
                        ADD_FAILURE() << row.path << " found in volume " << v << " as " << AnalysisHarness::Name(*g);
            }
            if (!f)
                for (const auto& g : h.ctx.items.folders)
                    if (AnalysisHarness::Name(g) == row.Name())
                        ADD_FAILURE() << "same name: number " << g.number << " parent " << g.parent << " volume "
                                      << g.volume << " sector " << g.sector;
            ASSERT_NE(f, nullptr) << "p" << p << " " << row.path;
            EXPECT_EQ(AnalysisHarness::Name(*f), row.Name());
            EXPECT_EQ(PathOf(h.ctx.items.folders, *f, static_cast<std::uint16_t>(p)), row.path);
        }
    }
}

TEST(AnalysisWorker, StopEndsOnlyTheCurrentStepOfTheScan) {
    AnalysisHarness h;
    h.Select(test::ImagePath("ntfs-basic.img"), "NTFS");
    h.sink.onText = [&](base::ProgressField field, const std::string& text) {
        if (field == base::ProgressField::Step && text == text::kStepScan) h.control.RequestStop();
    };
    ASSERT_EQ(h.Run(RecoveryMode::Formatted), AnalysisOutcome::Finished);
    const std::vector<std::string> want{text::kStepScan, text::kStepFolderNumbers, text::kStepFileNumbers,
                                        text::kStepFileSystem, text::kStepDump, text::kStepLostDirectories};
    std::vector<std::string> steps;
    for (const auto& s : h.sink.steps)
        if (!s.starts_with(text::kStepFileSystemCount)) steps.push_back(s);
    EXPECT_EQ(steps, want);
    EXPECT_EQ(h.ctx.items.scan.FoundFileCount(), 0u) << "the scan step ended before its first chunk";
    EXPECT_TRUE(h.control.Finished());
}

TEST(AnalysisWorker, StopInDeletedModeKeepsWhatWasFoundAndGathersTheLost) {
    AnalysisHarness h;
    h.Select(test::ImagePath("ntfs-basic.img"), "NTFS");
    h.sink.onText = [&](base::ProgressField field, const std::string&) {
        if (field == base::ProgressField::Files) h.control.RequestStop();
    };
    ASSERT_EQ(h.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    const auto& items = h.ctx.items;
    EXPECT_GT(items.files.Count() + items.folders.Count(), 900u);
    EXPECT_LT(items.files.Count(), 3000u) << "the walk ended early";
    // Whatever was stored is reachable: no file hangs below a missing folder.
    for (const auto& f : items.files)
        EXPECT_TRUE(f.parent == kNtfsRoot || f.parent == kLostFolder || items.folders.FindFolder(f.parent, 0));
}

TEST(AnalysisWorker, TerminationBetweenRecordsLeavesWholeLists) {
    AnalysisHarness h;
    h.Select(test::ImagePath("ntfs-basic.img"), "NTFS");
    h.sink.onText = [&](base::ProgressField field, const std::string&) {
        if (field == base::ProgressField::Files) h.control.Terminate();
    };
    ASSERT_EQ(h.Run(RecoveryMode::Deleted), AnalysisOutcome::Terminated);
    std::uint32_t n = 0;
    for (const auto& f : h.ctx.items.files) n += f.kind == 'F';
    EXPECT_EQ(n, h.ctx.items.files.Count());
    EXPECT_GT(n, 0u);
    DiscardAnalysis(h.ctx);
    EXPECT_EQ(h.ctx.items.files.Count() + h.ctx.items.folders.Count(), 0u);
}

TEST(AnalysisWorker, PauseParksTheWorkerUntilResumed) {
    AnalysisHarness h;
    h.Select(test::ImagePath("ntfs-basic.img"), "NTFS");
    h.ctx.analysis.settings.mode = RecoveryMode::Deleted;
    ASSERT_TRUE(ReadVolumeGeometry(h.ctx));
    PrepareAnalysis(h.ctx);
    base::Worker worker;
    std::atomic<bool> paused = false;
    h.sink.onText = [&](base::ProgressField field, const std::string&) {
        if (field == base::ProgressField::Files && !paused.exchange(true)) worker.Control().Pause();
    };
    AnalysisOutcome outcome{};
    ASSERT_TRUE(worker.Start([&](base::WorkerControl& control) {
        AnalysisEnv env{h.ctx, control, h.progress};
        outcome = RunAnalysis(env);
    }));
    EXPECT_FALSE(worker.Start([](base::WorkerControl&) {})) << "one worker at a time";
    while (!paused.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(worker.Control().WaitParked(std::chrono::seconds(10)));
    const auto files = h.ctx.items.files.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(h.ctx.items.files.Count(), files) << "a parked worker stores nothing";
    worker.Control().Resume();
    worker.Join();
    EXPECT_EQ(outcome, AnalysisOutcome::Finished);
    EXPECT_GT(h.ctx.items.files.Count(), files);
}

}  // namespace
}  // namespace dravik::analysis

namespace dravik::analysis {
namespace {

// A volume quick-formatted over an old one: the signature scan finds the old
// folders and files again (their records mostly survive a quick format).
TEST(NtfsFormatted, SignatureScanRebuildsTheOldTree) {
    AnalysisHarness h;
    h.Select(test::ImagePath("ntfs-formatted.img"), "NTFS");
    ASSERT_EQ(h.Run(RecoveryMode::Formatted), AnalysisOutcome::Finished);
    const auto& folders = h.ctx.items.folders;
    std::multimap<std::string, const FileItem*> byPath, byName;
    for (const auto& f : h.ctx.items.files) {
        byPath.emplace(PathOf(folders, f, 1), &f);
        byName.emplace(AnalysisHarness::Name(f), &f);
    }
    const auto rows = test::ReadManifest(test::ManifestPath("ntfs-formatted.manifest.tsv"));
    // The new volume's own records took (or zeroed) old records 64..75:
    // "Documents", "Documents/Letters" and the files of Letters. Everything
    // else of the old volume is on disk, so the scan must find it all; what
    // lay below "Documents" can only come back under "Lost".
    std::map<std::uint32_t, const test::ManifestRow*> byRecord;
    for (const auto& row : rows) byRecord[row.record] = &row;
    auto survives = [](std::uint32_t record) { return record < 64 || record > 75; };
    auto reachable = [&](const test::ManifestRow& row) {
        if (!survives(row.record)) return false;
        for (std::uint32_t p = row.parent; p != kNtfsRoot; p = byRecord.at(p)->parent)
            if (!survives(p)) return false;
        return true;
    };
    int total = 0, atPath = 0, anywhere = 0, canAtPath = 0, canAnywhere = 0, inLost = 0;
    for (const auto& row : rows) {
        if (!row.IsFile()) continue;
        ++total;
        auto sized = [&](auto range) {
            for (auto it = range.first; it != range.second; ++it)
                if (it->second->size == row.size) return true;
            return false;
        };
        canAtPath += reachable(row);
        canAnywhere += survives(row.record);
        atPath += sized(byPath.equal_range(row.path));
        anywhere += sized(byName.equal_range(row.Name()));
        if (survives(row.record) && !reachable(row)) {
            // Below a lost folder: under "Lost" with the rest of its path, or
            // below the new folder that took the old folder's record number
            // (a file's parent reference cannot tell the two apart).
            const auto rest = row.path.substr(row.path.find('/') + 1);
            bool found = sized(byPath.equal_range("Lost/" + rest));
            for (auto [it, end] = byName.equal_range(row.Name()); it != end && !found; ++it)
                found = it->second->size == row.size && it->second->parent == row.parent;
            inLost += found;
        }
    }
    std::printf("formatted volume: %d of %d old files at their path (%d possible), %d by name and size (%d "
                "possible), %d below Lost or a reused folder number\n",
                atPath, total, canAtPath, anywhere, canAnywhere, inLost);
    EXPECT_EQ(atPath, canAtPath);
    EXPECT_EQ(anywhere, canAnywhere);
    EXPECT_EQ(inLost, canAnywhere - canAtPath);
}

}  // namespace
}  // namespace dravik::analysis
