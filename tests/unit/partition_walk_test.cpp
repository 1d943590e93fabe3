// The partition walk over disks built sector by sector: identification by
// boot sector, MBR primaries, extended chains (and chains that loop), GPT and
// the backup GPT, the 26-partition limit; then over the test images.
#include "partition/partition_walk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "app/app_context.h"
#include "partition/boot_sector_id.h"
#include "drives/drive_catalogue.h"
#include "source/geometry_cache.h"
#include "support/disk_builder.h"
#include "support/scripted_prompter.h"
#include "support/test_images.h"

namespace dravik::partition {
namespace {

using base::BadSectorAnswer;
using test::PutFatBoot;
using test::PutGptEntry;
using test::PutGptHeader;
using test::PutMbrEntry;
using test::PutNtfsBoot;

std::vector<std::uint8_t> Sector(std::initializer_list<std::pair<std::size_t, std::string_view>> texts) {
    std::vector<std::uint8_t> s(512, 0);
    for (auto [at, text] : texts) test::PutText(s, at, text);
    return s;
}

TEST(BootSectorIdentity, LabelTestTakesTheFirstMatchInItsOrder) {
    EXPECT_EQ(IdentifyBootSector(Sector({{82, "FAT32"}, {54, "FAT16"}, {3, "NTFS"}}), 0x83), 0x0B);
    EXPECT_EQ(IdentifyBootSector(Sector({{54, "FAT16"}, {3, "NTFS"}}), 0x83), 0x06);
    EXPECT_EQ(IdentifyBootSector(Sector({{3, "NTFS"}}), 0x83), 0x07);
    EXPECT_EQ(IdentifyBootSector(Sector({{54, "FAT12"}}), 0x01), 0x01) << "FAT12 keeps the entry's type";
    EXPECT_EQ(IdentifyBootSector(std::vector<std::uint8_t>(60, 0), 0x83), 0x83) << "a short buffer is no match";
}

TEST(BootSectorIdentity, ShortTestLetsTheLastMatchStandWithItsLength) {
    auto both = Sector({{85, "32"}, {3, "NTFS"}});
    test::Put64(both, 40, 0x1'0000'0010);  // NTFS lengths are 64-bit
    test::Put32(both, 32, 777);
    EXPECT_EQ(ShortIdentify(both), (VolumeIdentity{"NTFS", 0x1'0000'0010}));

    // A FAT16 volume below 65 536 sectors keeps its length in the 16-bit field.
    std::vector<std::uint8_t> small(512, 0);
    PutFatBoot(small, "FAT16", 32768);
    EXPECT_EQ(ShortIdentify(small), (VolumeIdentity{"FAT16", 32768}));
    std::vector<std::uint8_t> large(512, 0);
    PutFatBoot(large, "FAT32", 3'000'000);
    EXPECT_EQ(ShortIdentify(large), (VolumeIdentity{"FAT32", 3'000'000}));

    // FAT12 floppies and small cards are volumes too.
    std::vector<std::uint8_t> floppy(512, 0);
    PutFatBoot(floppy, "FAT12", 2880);
    EXPECT_EQ(ShortIdentify(floppy), (VolumeIdentity{"FAT12", 2880}));
    EXPECT_EQ(ShortIdentify(Sector({{54, "FAT"}})), std::nullopt) << "the digits decide";
    EXPECT_EQ(ShortIdentify(std::vector<std::uint8_t>(58, '1')), std::nullopt) << "a short buffer is no match";
}

TEST(BootSectorIdentity, TypeLabelsDifferBetweenPrimaryAndChainOnlyForFat12) {
    EXPECT_EQ(LabelOfType(0x01, false), "");
    EXPECT_EQ(LabelOfType(0x01, true), "FAT16");
    for (std::uint8_t t : {0x04, 0x06, 0x0E}) EXPECT_EQ(LabelOfType(t, false), "FAT16");
    for (std::uint8_t t : {0x0B, 0x0C}) EXPECT_EQ(LabelOfType(t, true), "FAT32");
    EXPECT_EQ(LabelOfType(0x07, false), "NTFS");
    for (std::uint8_t t : {0x00, 0x05, 0x0F, 0x83, 0xEE}) EXPECT_EQ(LabelOfType(t, true), "");
}

class RecordingSink : public PartitionItemSink {
public:
    std::vector<std::pair<int, std::string>> calls;
    TreeHandle AddPartitionItem(int disk, const std::string& name) override {
        calls.emplace_back(disk, name);
        return static_cast<TreeHandle>(100 + calls.size());
    }
};

struct Listed {
    std::string label;
    std::uint64_t start, end;
    bool operator==(const Listed&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Listed& l) {
    return os << l.label << " " << l.start << ".." << l.end;
}

class WalkTest : public ::testing::Test {
protected:
    static constexpr std::uint64_t kDiskSectors = 10'000'000'000ULL;  // sparse: 5 TB costs nothing

    WalkTest()
        : disk_(kDiskSectors * 512),
          ctx_(prompter_, [this](const platform::DeviceBacking&) -> std::unique_ptr<source::SectorDevice> {
              return std::make_unique<source::FaultInjectingDevice>(disk_.Device(), disk_.SectorSize(), bad_, log_);
          }) {
        ctx_.devices.SetDisk(2, {"memory"});
    }

    int Walk(bool items = true) {
        notes_ = {};
        return WalkPartitions(ctx_, &sink_, 2, 0, items, &notes_);
    }
    std::vector<Listed> List() const {
        std::vector<Listed> out;
        const auto& t = ctx_.partitions[2];
        for (int i = 0; i < t.Count; ++i) out.push_back({t.FileSystem[i], t.Entries[i].Start, t.Entries[i].End});
        return out;
    }
    std::vector<std::uint8_t>& S(std::uint64_t s) { return disk_.Sector(s); }

    test::SparseDisk disk_;
    std::set<std::uint64_t> bad_;
    std::shared_ptr<source::FaultInjectingDevice::Log> log_ = std::make_shared<source::FaultInjectingDevice::Log>();
    test::ScriptedPrompter prompter_;
    app::AppContext ctx_;
    RecordingSink sink_;
    WalkNotes notes_;
};

TEST_F(WalkTest, PrimaryEntriesAreListedByTheirBootSectorAndAddedAsItems) {
    PutMbrEntry(S(0), 0, 0x07, 2048, 1'000'000);
    PutMbrEntry(S(0), 1, 0x83, 1'100'000, 50'000);  // relabelled by its boot sector
    PutFatBoot(S(1'100'000), "FAT32", 50'000);
    PutMbrEntry(S(0), 2, 0x01, 1'200'000, 4'000);  // FAT12 as a primary: not listed
    PutMbrEntry(S(0), 3, 0x82, 1'300'000, 4'000);  // swap
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(List(), (std::vector<Listed>{{"NTFS", 2048, 1'002'048}, {"FAT32", 1'100'000, 1'150'000}}));
    EXPECT_EQ(sink_.calls, (std::vector<std::pair<int, std::string>>{{2, "Partition - 1 ( NTFS )"}, {2, "Partition - 2 ( FAT32 )"}}));
    EXPECT_EQ(ctx_.partitions[2].Entries[1].TreeItem, 102u);
    EXPECT_EQ(ctx_.partitions[2].Entries[1].Index, 1);

    // A walk without items rewrites the ranges but keeps the items, so that a
    // clicked item still finds its entry.
    EXPECT_EQ(Walk(false), 1);
    EXPECT_EQ(sink_.calls.size(), 2u);
    EXPECT_EQ(ctx_.partitions[2].Entries[1].TreeItem, 102u);
    // While a drive letter is set no items are added.
    ctx_.source.DriveLetter = 'D';
    Walk(true);
    EXPECT_EQ(sink_.calls.size(), 2u);
}

TEST_F(WalkTest, WithoutBootSignatureNothingIsListedAndEarlierEntriesAreNotShown) {
    PutMbrEntry(S(0), 0, 0x07, 2048, 1000);
    ASSERT_EQ(Walk(), 1);
    S(0)[511] = 0;
    EXPECT_EQ(Walk(), 0);
    EXPECT_TRUE(List().empty()) << "a stale table would show another disk's partitions";
}

TEST_F(WalkTest, LogicalPartitionsFollowThePrimariesRelativeToTheirOwnRecord) {
    PutMbrEntry(S(0), 0, 0x07, 63, 1000);
    PutMbrEntry(S(0), 1, 0x0F, 10'000, 90'000);
    PutMbrEntry(S(0), 2, 0x0C, 5000, 2000);
    PutFatBoot(S(5000), "FAT32", 2000);
    PutMbrEntry(S(10'000), 0, 0x01, 63, 1000);   // FAT12 type, listed inside a chain
    PutMbrEntry(S(10'000), 1, 0x05, 2000, 5000);  // next record: extended start + 2000
    PutMbrEntry(S(12'000), 0, 0x83, 63, 3000);
    PutNtfsBoot(S(12'063), 3000);
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(List(), (std::vector<Listed>{{"NTFS", 63, 1063}, {"FAT32", 5000, 7000}, {"FAT16", 10'063, 11'063},
                                           {"NTFS", 12'063, 15'063}}));
    EXPECT_EQ(sink_.calls.back().second, "Partition - 4 ( NTFS )");
}

TEST_F(WalkTest, ExtendedChainsThatLoopOrNeverEndAreCut) {
    PutMbrEntry(S(0), 0, 0x05, 10'000, 90'000);
    PutMbrEntry(S(10'000), 0, 0x06, 63, 100);
    PutMbrEntry(S(10'000), 1, 0x05, 500, 100);  // -> 10 500
    PutMbrEntry(S(10'500), 0, 0x06, 63, 100);
    PutMbrEntry(S(10'500), 1, 0x05, 0, 100);  // -> back to 10 000
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(List(), (std::vector<Listed>{{"FAT16", 10'063, 10'163}, {"FAT16", 10'563, 10'663}}));
    EXPECT_TRUE(notes_.extendedLoop);

    // A chain of distinct records longer than any disk holds.
    PutMbrEntry(S(0), 0, 0x05, 50'000, 90'000);
    for (std::uint32_t k = 0; k < 2 * kMaxExtendedRecords; ++k) PutMbrEntry(S(50'000 + k), 1, 0x05, k + 1, 1);
    EXPECT_EQ(Walk(), 1);
    EXPECT_TRUE(notes_.extendedTooLong);
    EXPECT_TRUE(List().empty());
}

TEST_F(WalkTest, MoreThan26PartitionsStopAtTheTable) {
    PutMbrEntry(S(0), 0, 0x05, 1000, 900'000);
    for (std::uint32_t k = 0; k < 30; ++k) {
        PutMbrEntry(S(1000 + 100 * k), 0, 0x06, 10, 50);
        PutMbrEntry(S(1000 + 100 * k), 1, 0x05, 100 * (k + 1), 100);
    }
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(ctx_.partitions[2].Count, 26);
    EXPECT_TRUE(notes_.tableFull);
    EXPECT_EQ(sink_.calls.size(), 26u);
    EXPECT_EQ(sink_.calls.back().second, "Partition - 26 ( FAT16 )");
    EXPECT_EQ(ctx_.partitions[2].Entries[26].Start, 0u) << "nothing written past the 26 listed";
}

TEST_F(WalkTest, AVolumeAtSectorZeroIsOnePartitionWhateverItsTableBytesSay) {
    PutNtfsBoot(S(0), 3'999'999);
    PutMbrEntry(S(0), 0, 0x07, 2048, 1000);
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(List(), (std::vector<Listed>{{"NTFS", 0, 3'999'999}}));
    EXPECT_EQ(sink_.calls.at(0).second, "Partition - 1 ( NTFS )");
}

class GptTest : public WalkTest {
protected:
    GptTest() { PutMbrEntry(S(0), 0, 0xEE, 1, 0xFFFFFFFF); }
};

TEST_F(GptTest, RecognisedEntriesAreListedUntilAnEmptyOne) {
    PutGptHeader(S(1));
    PutGptEntry(S(2), 0, 2048, 9999);
    PutFatBoot(S(2048), "FAT32", 70'000);
    PutGptEntry(S(2), 128, 100'000, 199'999);  // an unrecognised file system
    PutGptEntry(S(2), 256, 200'000, 299'999);
    PutFatBoot(S(200'000), "FAT32", 80'000);
    PutGptEntry(S(2), 384, 5'000'000'000ULL, 6'000'000'000ULL);  // past 2^32 sectors
    PutNtfsBoot(S(5'000'000'000ULL), 999'999'999);
    PutGptEntry(S(3), 128, 400'000, 499'999);  // after the empty entry at S(3)+0
    PutFatBoot(S(400'000), "FAT32", 80'000);
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(List(), (std::vector<Listed>{{"FAT32", 2048, 72'048},
                                           {"FAT32", 200'000, 280'000},
                                           {"NTFS", 5'000'000'000ULL, 5'999'999'999ULL}}));
    EXPECT_EQ(sink_.calls[1].second, "Partition - 2 ( FAT32 )");
}

TEST_F(GptTest, EntrySizesOutsideTheUsualRangeAreTakenAs128) {
    PutGptHeader(S(1), 0);
    PutGptEntry(S(2), 0, 2048, 9999);
    PutGptEntry(S(2), 128, 4096, 9999);
    PutFatBoot(S(2048), "FAT32", 1000);
    PutFatBoot(S(4096), "FAT32", 1000);
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(List().size(), 2u);

    PutGptHeader(S(1), 256);  // honoured: the entry at 128 is not read
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(List(), (std::vector<Listed>{{"FAT32", 2048, 3048}}));
}

TEST_F(GptTest, FourKibibyteSectorsHoldThirtyTwoEntriesEach) {
    ctx_.source.BytesPerSector = 4096;
    test::SparseDisk big(1'000'000ULL * 4096, 4096);
    disk_ = big;
    PutMbrEntry(S(0), 0, 0xEE, 1, 0xFFFFFFFF);
    PutGptHeader(S(1));
    for (std::size_t e = 0; e < 6; ++e) {
        PutGptEntry(S(2), 128 * e, 256 + 1000 * e, 999);
        PutFatBoot(S(256 + 1000 * e), "FAT32", 500);
    }
    EXPECT_EQ(Walk(), 1);
    EXPECT_EQ(List().size(), 6u) << "entries past the first 512 bytes of a sector count too";
    EXPECT_EQ(List().back(), (Listed{"FAT32", 5256, 5756}));
}

TEST_F(GptTest, ADamagedPrimaryHeaderSendsTheWalkToTheBackupPastTheCachedSize) {
    // The cached size is whole cylinders; the backup header sits in the last
    // sector, here further than 10 000 sectors past the cached size.
    const std::uint64_t cached = 248 * 16065;
    const std::uint64_t last = cached + 12'000;
    ctx_.registry.SetValue(source::geometry_cache::kSize, "Disk2", std::to_string(cached * 512));
    PutGptHeader(S(last));
    PutGptEntry(S(last - 32), 0, 2048, 99'999);
    PutNtfsBoot(S(2048), 97'000);
    PutGptEntry(S(last - 32), 128, 100'000, 199'999);
    PutFatBoot(S(100'000), "FAT32", 99'000);
    ctx_.source.BadSectorPolicy = BadSectorAnswer::RetryAll;

    EXPECT_EQ(Walk(), 1);
    EXPECT_TRUE(notes_.backupSearched);
    EXPECT_EQ(notes_.backupHeader, last);
    EXPECT_EQ(List(), (std::vector<Listed>{{"NTFS", 2048, 99'048}, {"FAT32", 100'000, 199'000}}));
    EXPECT_EQ(ctx_.source.BadSectorPolicy, BadSectorAnswer::RetryOnce);

    // An unreadable sector before it ends the search, without a prompt.
    bad_ = {cached + 5};
    ctx_.devices.SetDisk(2, {"memory"});  // reopen with the fault
    EXPECT_EQ(Walk(), 1);
    EXPECT_TRUE(List().empty());
    EXPECT_EQ(prompter_.badSectorPrompts, 0);
    EXPECT_EQ(ctx_.source.BadSectorPolicy, BadSectorAnswer::RetryOnce);
}

TEST_F(GptTest, WithoutACachedSizeThePrimaryHeaderIsNotTakenForABackup) {
    PutGptHeader(S(1));
    PutGptEntry(S(2), 0, 2048, 9999);  // nothing recognisable there
    EXPECT_EQ(Walk(), 1);
    EXPECT_TRUE(notes_.backupSearched);
    EXPECT_EQ(notes_.backupHeader, 0u);
    EXPECT_TRUE(List().empty());
}

TEST(PartitionWalkImages, VolumeImagesAreOnePartitionFromSectorZero) {
    const std::vector<std::pair<std::string, std::vector<Listed>>> cases = {
        {"ntfs-basic.img", {{"NTFS", 0, 98303}}},  // NTFS leaves its backup boot sector out
        {"fat16.img", {{"FAT16", 0, 65536}}},
        {"fat32.img", {{"FAT32", 0, 131072}}},
        {"fat12.img", {{"FAT12", 0, 2880}}},
    };
    for (const auto& [image, expected] : cases) {
        SCOPED_TRACE(image);
        test::ScriptedPrompter prompter;
        app::AppContext ctx(prompter);
        ctx.devices.SetDisk(0, {test::ImagePath(image).string()});
        EXPECT_EQ(WalkPartitions(ctx, nullptr, 0, 0, false), 1);
        std::vector<Listed> got;
        for (int i = 0; i < ctx.partitions[0].Count; ++i)
            got.push_back({ctx.partitions[0].FileSystem[i], ctx.partitions[0].Entries[i].Start, ctx.partitions[0].Entries[i].End});
        EXPECT_EQ(got, expected);
    }
}

// A disk image's layout file: the rows that hold a file system, in table
// order (logical partitions after the primaries).
struct LayoutRow {
    int number = 0;
    std::string type, fileSystem;
    std::uint64_t start = 0, sectors = 0;
};
std::vector<LayoutRow> ReadLayout(const std::string& disk) {
    std::ifstream in(test::ManifestPath(disk + ".layout.tsv"));
    std::vector<LayoutRow> rows;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (std::exchange(header, false)) {
            EXPECT_EQ(line, "partition\ttype\tstart_sector\tsectors\tfilesystem");
            continue;
        }
        std::istringstream row(line);
        LayoutRow r;
        row >> r.number >> r.type >> r.start >> r.sectors >> r.fileSystem;
        rows.push_back(r);
    }
    return rows;
}

// Volume labels from the build notes: "partition N (...): mkfs.fat ... -n 'LABEL'" or "mkntfs ... -L 'LABEL'".
std::map<int, std::string> ReadLabels(const std::string& disk) {
    std::ifstream in(test::ManifestPath(disk + ".build-info.txt"));
    std::map<int, std::string> labels;
    std::string line;
    while (std::getline(in, line)) {
        int n = 0;
        if (std::sscanf(line.c_str(), "partition %d (", &n) != 1) continue;
        for (const std::string flag : {" -n '", " -L '"}) {
            const auto at = line.find(flag);
            if (at != std::string::npos) labels[n] = line.substr(at + flag.size(), line.find('\'', at + flag.size()) - at - flag.size());
        }
    }
    return labels;
}

// Each disk image attached as Disk0: the catalogue walks it with its cached
// size (the backup GPT search needs it) and lists its partitions and their
// logical drives.
TEST(PartitionWalkImages, DisksListWhatTheirLayoutSays) {
    for (const std::string disk : {"disk-mbr", "disk-mbr-odd", "disk-gpt", "disk-gpt-backup", "disk-nontable",
                                   "disk-nontable-ntfs", "disk-zeroed"}) {
        SCOPED_TRACE(disk);
        const auto rows = ReadLayout(disk);
        ASSERT_FALSE(rows.empty());
        const auto labels = ReadLabels(disk);
        std::vector<Listed> expected;
        std::vector<std::string> names, drives;
        // A zeroed MBR has no table: finding those volumes is the search's job.
        if (disk != "disk-zeroed") {
            for (const auto& r : rows) {
                if (r.fileSystem != "NTFS" && r.fileSystem != "FAT16" && r.fileSystem != "FAT32") continue;
                // A table entry gives the length; elsewhere the boot sector
                // does, and NTFS counts its backup boot sector out.
                const bool fromTable = r.type.starts_with("0x");
                const std::uint64_t length = r.sectors - (!fromTable && r.fileSystem == "NTFS" ? 1 : 0);
                expected.push_back({r.fileSystem, r.start, r.start + length});
                names.push_back(PartitionName(static_cast<int>(expected.size()), r.fileSystem));
                drives.push_back(drives::VolumeItemText(labels.at(r.number), static_cast<char>('C' + drives.size())));
            }
        }

        test::ScriptedPrompter prompter;
        app::AppContext ctx(prompter);
        ctx.drives.setup.systemDisks = false;
        ctx.drives.setup.attachedDisks = {test::ImagePath(disk + ".img").string()};
        ASSERT_TRUE(drives::BuildDriveCatalogue(ctx).built);
        std::vector<Listed> got;
        for (int i = 0; i < ctx.partitions[0].Count; ++i)
            got.push_back({ctx.partitions[0].FileSystem[i], ctx.partitions[0].Entries[i].Start, ctx.partitions[0].Entries[i].End});
        EXPECT_EQ(got, expected);

        const auto& c = ctx.drives.catalogue;
        const auto disks = c.Children(2);
        ASSERT_EQ(disks.size(), 1u);
        std::vector<std::string> gotNames, gotDrives;
        for (auto h : c.Children(disks[0])) gotNames.push_back(c.Item(h)->text);
        for (auto h : c.Children(3)) gotDrives.push_back(c.Item(h)->text);
        EXPECT_EQ(gotNames, names);
        EXPECT_EQ(gotDrives, drives);
        EXPECT_EQ(prompter.badSectorPrompts, 0);
    }
}

}  // namespace
}  // namespace dravik::partition
