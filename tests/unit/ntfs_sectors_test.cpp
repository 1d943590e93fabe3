// Volumes of 4096-byte sectors and the update sequence of every block: the
// boot sector's sizes in the reader's sectors, fix-ups whose blocks are a
// sector of 4 KiB, torn records told from whole ones, and the 4 KiB-sector
// image saved in deleted mode against its manifest.
#include <gtest/gtest.h>

#include "analysis/ntfs_boot.h"
#include "analysis/ntfs_record.h"
#include "partition/boot_sector_id.h"
#include "results/results_view.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"
#include "support/md5.h"
#include "support/ntfs_builder.h"

namespace dravik::analysis::ntfs {
namespace {

using test::Put;

std::vector<std::uint8_t> Boot(std::uint16_t bytesPerSector, std::uint8_t spc, std::uint32_t perRecord,
                               std::uint32_t perIndex) {
    std::vector<std::uint8_t> s(512, 0);
    std::copy_n("NTFS", 4, s.begin() + 3);
    s[510] = 0x55, s[511] = 0xAA;
    Put(s, 0x0B, bytesPerSector, 2);
    s[0x0D] = spc;
    Put(s, 0x28, 2047, 8);
    Put(s, 0x30, 4, 8);
    Put(s, 0x40, perRecord, 4);
    Put(s, 0x44, perIndex, 4);
    return s;
}

TEST(NtfsBoot4k, SizesComeInTheReadersSectors) {
    // mkntfs -s 4096 -c 4096: one sector per cluster, a record and an index
    // block of one cluster each.
    auto b = DecodeBootSector(Boot(4096, 1, 1, 1), 512);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->bytesPerSector, 4096u);
    EXPECT_EQ(b->sectorsPerCluster, 8u);
    EXPECT_EQ(b->sectorsPerRecord, 8u);
    EXPECT_EQ(b->sectorsPerIndexBlock, 8u);
    EXPECT_EQ(b->totalSectors, 2047u * 8);
    EXPECT_EQ(b->mftLcn, 4u);
    // Read from a 4Kn device the counts stand as they are.
    b = DecodeBootSector(Boot(4096, 1, 1, 1), 4096);
    EXPECT_EQ(b->sectorsPerCluster, 1u);
    EXPECT_EQ(b->sectorsPerRecord, 1u);
    EXPECT_EQ(b->totalSectors, 2047u);
    // Records given as a power of two: 4096 bytes (0xF4) are 8 sectors of
    // 512 and one of 4096.
    EXPECT_EQ(DecodeBootSector(Boot(512, 8, 0xF4, 0xF4), 512)->sectorsPerRecord, 8u);
    EXPECT_EQ(DecodeBootSector(Boot(4096, 1, 0xF4, 0xF4), 4096)->sectorsPerRecord, 1u);
    EXPECT_EQ(DecodeBootSector(Boot(512, 8, 0xF6, 0xF4), 512)->sectorsPerRecord, 2u);
    // A sector size that is not a multiple of the reader's is not scaled.
    EXPECT_EQ(DecodeBootSector(Boot(768, 8, 0xF6, 0xF4), 512)->sectorsPerCluster, 8u);
}

TEST(NtfsBoot4k, AVolumeWithoutATableIsSizedInTheReadersSectors) {
    const auto boot = Boot(4096, 1, 1, 1);
    EXPECT_EQ(partition::ShortIdentify(boot, 512)->totalSectors, 2047u * 8);
    EXPECT_EQ(partition::ShortIdentify(boot, 4096)->totalSectors, 2047u);
    EXPECT_EQ(partition::ShortIdentify(Boot(512, 8, 0xF6, 0xF4), 512)->totalSectors, 2047u);
}

// A record of `size` bytes whose update sequence covers blocks of `stride`.
std::vector<std::uint8_t> Record(std::size_t size, std::size_t stride, std::uint16_t usn) {
    std::vector<std::uint8_t> r(size, 0);
    Put(r, 0, kFileSignature, 4);
    Put(r, 0x04, 0x30, 2);
    Put(r, 0x06, size / stride + 1, 2);
    Put(r, 0x1C, size, 4);
    Put(r, 0x30, usn, 2);
    for (std::size_t k = 0; k < size / stride; ++k) {
        Put(r, 0x32 + 2 * k, 0xA100 + k, 2);  // the displaced bytes
        Put(r, stride * k + stride - 2, usn, 2);
    }
    return r;
}

TEST(NtfsFixups4k, BlocksAreTheVolumesSectors) {
    // 4096-byte sectors: one block, its fix-up at 4094; 510 is data.
    auto r = Record(4096, 4096, 0x0042);
    Put(r, 510, 0x1234, 2);
    EXPECT_TRUE(FixupsIntact(r));
    ApplyFixups(r);
    EXPECT_EQ(platform::U16(r, 4094), 0xA100);
    EXPECT_EQ(platform::U16(r, 510), 0x1234) << "a 4 KiB sector has no fix-up at 510";
    // A 4 KiB record on 512-byte sectors: eight blocks.
    auto small = Record(4096, 512, 0x0009);
    EXPECT_TRUE(FixupsIntact(small));
    ApplyFixups(small);
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(platform::U16(small, 512 * k + 510), 0xA100 + k) << k;
}

TEST(NtfsFixups4k, TornAndShortSequencesAreDamaged) {
    for (auto [size, stride] : {std::pair<std::size_t, std::size_t>{1024, 512}, {4096, 512}, {4096, 4096}, {512, 512}}) {
        SCOPED_TRACE(std::to_string(size) + "/" + std::to_string(stride));
        auto r = Record(size, stride, 0x0007);
        EXPECT_TRUE(FixupsIntact(r));
        auto torn = r;
        Put(torn, size - 2, 0x0006, 2);  // the last block from an older write
        EXPECT_FALSE(FixupsIntact(torn));
    }
    // A sequence of no blocks, or whose array lies past the record.
    auto r = Record(1024, 512, 0x0007);
    Put(r, 0x06, 1, 2);
    EXPECT_FALSE(FixupsIntact(r));
    Put(r, 0x06, 3, 2);
    Put(r, 0x04, 1023, 2);
    EXPECT_FALSE(FixupsIntact(r));
    // The builder's records (as the disk holds them) pass.
    test::RecordBuilder b;
    b.AddResident(attr::kStandardInformation, test::StandardInformationValue(1, 2, 3));
    EXPECT_TRUE(FixupsIntact(b.Finish()));
}

}  // namespace
}  // namespace dravik::analysis::ntfs

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;

TEST(Save4kSectors, EveryFileIsByteExactInDeletedMode) {
    test::AnalysisHarness h;
    h.Select(test::ImagePath("ntfs-4k.img"), "NTFS");
    ASSERT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    results::ResultsView view(h.ctx);
    view.Open();
    view.ToggleNode(view.Tree().Root());
    const fs::path dest = fs::temp_directory_path() / ("dravik-4k-" + std::to_string(::getpid()));
    fs::remove_all(dest);
    fs::create_directories(dest);
    auto& ctx = h.ctx;
    ctx.saveRun.ResetForDestination();
    ASSERT_TRUE(CheckDestination(ctx, dest.string()));
    base::WorkerControl control;
    CalculateDataSize(ctx, view.Tree(), control);
    ctx.saveRun.ResetForProgress();
    CopyEngine engine(ctx, control);
    EXPECT_EQ(engine.RunSave(view.Tree()), SaveOutcome::Completed);
    int exact = 0, total = 0, deleted = 0;
    for (const auto& row : test::ReadManifest(test::ManifestPath("ntfs-4k.manifest.tsv"))) {
        if (!row.IsFile()) continue;
        SCOPED_TRACE(row.path);
        ++total;
        deleted += row.state == "deleted";
        const fs::path path = dest / row.path;
        ASSERT_TRUE(fs::exists(path));
        EXPECT_EQ(test::Md5::OfFile(path), row.md5);
        exact += test::Md5::OfFile(path) == row.md5;
    }
    std::printf("ntfs-4k deleted mode: %d of %d manifest files byte-exact (%d deleted)\n", exact, total, deleted);
    EXPECT_GE(deleted, 4);
    fs::remove_all(dest);
}

}  // namespace
}  // namespace dravik::saving
