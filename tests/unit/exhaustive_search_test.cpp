// Partition-data recovery: the range checks, the list of volumes found and
// locating the FAT copies of a chosen FAT volume.
#include "analysis/exhaustive_search.h"

#include <gtest/gtest.h>

#include <set>

#include "analysis/item_records.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"

namespace dravik::analysis {
namespace {




TEST(ExhaustiveSearchStart, RefusesBadRangesAndTypesWithTheirMessages) {
    test::AnalysisHarness h;
    auto& src = h.ctx.source;
    src.PartitionLabel = "FAT32";
    EXPECT_FALSE(StartExhaustiveSearch(h.ctx, "12ab", "2000", SearchFileSystem::Ntfs));
    EXPECT_FALSE(StartExhaustiveSearch(h.ctx, "", "2000", SearchFileSystem::Ntfs));
    EXPECT_FALSE(StartExhaustiveSearch(h.ctx, "1000", "x", SearchFileSystem::Ntfs));
    EXPECT_FALSE(StartExhaustiveSearch(h.ctx, "1000", "1000", SearchFileSystem::Ntfs));
    EXPECT_FALSE(StartExhaustiveSearch(h.ctx, "1000", "99999999999", SearchFileSystem::Ntfs)) << "past 32 bits";
    EXPECT_FALSE(StartExhaustiveSearch(h.ctx, "1000", "1001", SearchFileSystem::Unknown));
    EXPECT_EQ(h.prompter.messages,
              (std::vector<std::string>{text::kStartInvalid, text::kStartInvalid, text::kEndInvalid,
                                        text::kEndNotBigger, text::kEndInvalid, text::kSelectType}));
    EXPECT_EQ(src.EndSector, 0u) << "nothing set by a refused search";

    EXPECT_TRUE(StartExhaustiveSearch(h.ctx, "1000", "1001", SearchFileSystem::None));
    EXPECT_EQ(src.StartSector, 1000u);
    EXPECT_EQ(src.EndSector, 1001u);
    EXPECT_EQ(src.PartitionLabel, "FAT32") << "no choice keeps the label";
    EXPECT_TRUE(StartExhaustiveSearch(h.ctx, "0", "4294967295", SearchFileSystem::Ntfs));
    EXPECT_EQ(src.PartitionLabel, "NTFS");
    EXPECT_EQ(SearchFileSystemFor("FAT16"), SearchFileSystem::Fat16);
    EXPECT_EQ(SearchFileSystemFor("exFAT"), SearchFileSystem::Unknown);
}

TEST(ExhaustiveSearchList, NamesSizesAndRangesOfTheVolumesFound) {
    test::AnalysisHarness h;
    const auto image = test::ImagePath("ntfs-two-volumes.img");
    h.ctx.devices.SetDisk(0, {image.string()});
    h.ctx.source.SelectPhysicalDisk(0);
    const auto sectors = std::to_string(std::filesystem::file_size(image) / 512);
    ASSERT_TRUE(StartExhaustiveSearch(h.ctx, "0", sectors, SearchFileSystem::Ntfs));
    h.ctx.analysis.settings.exhaustive = true;
    h.ctx.analysis.settings.mode = RecoveryMode::Formatted;
    analysis::PrepareAnalysis(h.ctx);
    ASSERT_EQ(analysis::RunAnalysis(h.env), AnalysisOutcome::CloseRequested);
    EXPECT_EQ(FoundFileSystemTexts(h.ctx), (std::vector<std::string>{"File System 1 - NTFS", "File System 2 - NTFS"}));

    auto second = ShowFoundFileSystem(h.ctx, "File System 2 - NTFS");
    EXPECT_EQ(second.ordinal, 2u);
    EXPECT_EQ(second.type, "NTFS");
    EXPECT_EQ(second.start, 36864u);
    EXPECT_EQ(second.size, "16 MB");
    EXPECT_EQ(h.ctx.analysis.currentVolume, 2u);

    // Next: the chosen volume is analysed, and the list survives for another choice.
    analysis::PrepareAnalysis(h.ctx);
    ASSERT_EQ(analysis::RunAnalysis(h.env), AnalysisOutcome::Finished);
    const auto afterSecond = h.ctx.items.folders.Count();
    EXPECT_GT(afterSecond, 5u);
    EXPECT_EQ(FoundFileSystemTexts(h.ctx).size(), 2u);
    ShowFoundFileSystem(h.ctx, "File System 1 - NTFS");
    ASSERT_EQ(analysis::RunAnalysis(h.env), AnalysisOutcome::Finished);
    std::size_t firstVolume = 0;
    for (const auto& f : h.ctx.items.folders) firstVolume += f.volume == 1;
    EXPECT_GT(firstVolume, 5u) << "choosing a second volume still has its findings";

    LeaveFoundList(h.ctx);
    EXPECT_TRUE(FoundFileSystemTexts(h.ctx).empty());
    EXPECT_EQ(h.ctx.analysis.currentVolume, 0u);
}

TEST(ExhaustiveSearchList, SizeTexts) {
    EXPECT_EQ(FoundSizeText(0, 2047), "");
    EXPECT_EQ(FoundSizeText(0, 2048), "1 MB");
    EXPECT_EQ(FoundSizeText(0, 2097152), "1024 MB");
    EXPECT_EQ(FoundSizeText(0, 2097153), "1 GB");
    EXPECT_EQ(FoundSizeText(100, 0), "");
}

// A disk whose FAT copies begin at the given sectors.
std::unique_ptr<test::AnalysisHarness> DiskWithFats(std::uint64_t sectors, std::vector<std::uint64_t> fats) {
    std::vector<std::uint8_t> disk(sectors * 512, 0);
    for (auto s : fats) {
        disk[s * 512] = 0xF8;
        disk[s * 512 + 1] = 0xFF;
        disk[s * 512 + 2] = 0xFF;
    }
    auto h = std::make_unique<test::AnalysisHarness>([disk](const platform::DeviceBacking&) {
        return std::make_unique<source::MemoryDevice>(disk);
    });
    h->ctx.devices.SetDisk(0, {"memory"});
    h->ctx.source.SelectPhysicalDisk(0);
    return h;
}

TEST(FatCopies, Fat32CopiesAreSearchedUpTo30000SectorsBelowTheClusterBase) {
    auto h = DiskWithFats(50000, {19990, 20032, 27700, 40000});
    analysis::VolumeDescriptor v;
    v.typeName = "FAT32";
    v.clusterBase = 50000;
    LocateFatCopies(h->ctx, v);
    EXPECT_EQ(v.fat1Start, 20032u) << "19990 lies below the search";
    EXPECT_EQ(v.fat2Start, 27700u);
    EXPECT_EQ(v.sectorsPerFat, 7668u);
    EXPECT_EQ(v.rootDirStart, 2u);
}

TEST(FatCopies, Fat16NearTheDiskStartIsSearchedFromSector63) {
    auto h = DiskWithFats(1000, {62, 64, 200, 450});
    analysis::VolumeDescriptor v;
    v.typeName = "FAT16";
    v.clusterBase = 400;
    v.rootDirStart = 77;
    LocateFatCopies(h->ctx, v);
    EXPECT_EQ(v.fat1Start, 64u);
    EXPECT_EQ(v.fat2Start, 200u);
    EXPECT_EQ(v.sectorsPerFat, 136u);
    EXPECT_EQ(v.rootDirStart, 336u) << "the root follows the second copy";

    analysis::VolumeDescriptor one;
    one.typeName = "FAT16";
    one.clusterBase = 150;
    one.sectorsPerFat = 9;
    LocateFatCopies(h->ctx, one);
    EXPECT_EQ(one.fat1Start, 64u);
    EXPECT_EQ(one.fat2Start, 0u) << "one copy found: the rest stays";
    EXPECT_EQ(one.sectorsPerFat, 9u);
}

}  // namespace
}  // namespace dravik::analysis

namespace dravik::analysis {
namespace {

// A disk whose partition table is gone: a search of its whole range finds
// each file system again, by type.
class ZeroedTableDisk : public ::testing::Test {
protected:
    test::AnalysisHarness h;
    std::string sectors;

    void SetUp() override {
        const auto image = test::ImagePath("disk-zeroed.img");
        h.ctx.devices.SetDisk(0, {image.string()});
        h.ctx.source.SelectPhysicalDisk(0);
        sectors = std::to_string(std::filesystem::file_size(image) / 512);
    }
    AnalysisOutcome Search(SearchFileSystem fs) {
        EXPECT_TRUE(StartExhaustiveSearch(h.ctx, "0", sectors, fs));
        h.ctx.analysis.settings.exhaustive = true;
        h.ctx.analysis.settings.phase = 0;
        h.ctx.analysis.settings.mode = RecoveryMode::Formatted;
        analysis::PrepareAnalysis(h.ctx);
        return analysis::RunAnalysis(h.env);
    }
    template <class Item>
    std::set<std::string> Names(const Item& items, std::uint16_t volume) {
        std::set<std::string> out;
        for (const auto& f : items)
            if (f.volume == volume) out.insert(test::AnalysisHarness::Name(f));
        return out;
    }
};

TEST_F(ZeroedTableDisk, NtfsSearchFindsTheNtfsVolume) {
    ASSERT_EQ(Search(SearchFileSystem::Ntfs), AnalysisOutcome::CloseRequested);
    ASSERT_EQ(FoundFileSystemTexts(h.ctx), (std::vector<std::string>{"File System 1 - NTFS"}));
    auto shown = ShowFoundFileSystem(h.ctx, "File System 1 - NTFS");
    EXPECT_EQ(shown.start, 2048u);
    EXPECT_EQ(shown.end, 2048u + 32767u) << "the volume's own sector count, its backup boot sector excluded";
    EXPECT_EQ(shown.size, "15 MB");
    ASSERT_EQ(analysis::RunAnalysis(h.env), AnalysisOutcome::Finished);
    const auto folders = Names(h.ctx.items.folders, 1);
    for (const auto& row : test::ReadManifest(test::ManifestPath("disk-zeroed.p1.manifest.tsv")))
        if (row.IsDir()) {
            EXPECT_TRUE(folders.count(row.Name())) << row.path;
        }
}

TEST_F(ZeroedTableDisk, Fat32SearchFindsTheFatVolumeAndItsCopies) {
    ASSERT_EQ(Search(SearchFileSystem::Fat32), AnalysisOutcome::CloseRequested);
    const auto texts = FoundFileSystemTexts(h.ctx);
    ASSERT_GE(texts.size(), 1u);
    EXPECT_EQ(texts[0], "File System 1 - FAT32");
    const auto& v = h.ctx.items.volumes.items[0];
    EXPECT_EQ(v.startSector, 34816u);
    EXPECT_EQ(v.endSector, 34816u + 73728u);
    auto shown = ShowFoundFileSystem(h.ctx, texts[0]);
    EXPECT_EQ(shown.type, "FAT32");
    EXPECT_EQ(shown.size, "36 MB");
    EXPECT_EQ(v.fat1Start, 34816u + v.reservedSectors) << "the boot sector's own FAT position";
    EXPECT_EQ(v.fat2Start, v.fat1Start + v.sectorsPerFat);
    EXPECT_EQ(h.ctx.source.PartitionLabel, "FAT32");

    analysis::PrepareAnalysis(h.ctx);
    ASSERT_EQ(analysis::RunAnalysis(h.env), AnalysisOutcome::Finished);
    std::map<std::pair<std::uint32_t, std::string>, const analysis::FileItem*> files;
    for (const auto& f : h.ctx.items.files) files[{f.parent, test::AnalysisHarness::Name(f)}] = &f;
    const auto folders = Names(h.ctx.items.folders, 1);
    int live = 0;
    for (const auto& row : test::ReadManifest(test::ManifestPath("disk-zeroed.p2.manifest.tsv"))) {
        if (row.state != "live") continue;
        SCOPED_TRACE(row.path);
        if (row.IsDir()) {
            EXPECT_TRUE(folders.count(row.Name()));
        }
        if (row.IsFile()) {
            auto it = files.find({row.parent, row.Name()});
            ASSERT_NE(it, files.end());
            EXPECT_EQ(it->second->size, row.size);
        }
        ++live;
    }
    EXPECT_GT(live, 10);
}

}  // namespace
}  // namespace dravik::analysis
