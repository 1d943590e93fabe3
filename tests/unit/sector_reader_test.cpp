// The reader on real files: clipping, piece splits, the bad-sector policy and
// the handle cache. Faults are injected below a real posix device.
#include "source/sector_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "platform/le.h"
#include "support/scripted_prompter.h"
#include "support/test_images.h"

namespace dravik::source {
namespace {

using test::ScriptedPrompter;

constexpr std::uint32_t kBps = 512;
constexpr std::uint64_t kSectors = 200;

// Sector s holds bytes (s * 7 + i) & 0xFF with the sector number in its
// first four bytes, so misplaced or zero-filled sectors are easy to spot.
std::uint8_t Pattern(std::uint64_t sector, std::size_t i) {
    if (i < 4) return static_cast<std::uint8_t>((sector + 1) >> (8 * i));
    return static_cast<std::uint8_t>(sector * 7 + i);
}

class SectorReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("dravik-reader-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".img");
        std::ofstream f(path_, std::ios::binary);
        for (std::uint64_t s = 0; s < kSectors; ++s)
            for (std::size_t i = 0; i < kBps; ++i) f.put(static_cast<char>(Pattern(s, i)));
        map_.SetDisk(0, {path_.string()});
        map_.SetDisk(1, {path_.string(), 10 * kBps, 0});  // a window starting at sector 10
        log_ = std::make_shared<FaultInjectingDevice::Log>();
    }
    void TearDown() override { std::filesystem::remove(path_); }

    SectorReader MakeReader(std::set<std::uint64_t> bad = {}) {
        return SectorReader(source_, map_, prompter_, [this, bad](const platform::DeviceBacking& b) -> std::unique_ptr<SectorDevice> {
            auto dev = OpenPosixDevice(b);
            if (!dev) return nullptr;
            return std::make_unique<FaultInjectingDevice>(std::move(dev), kBps, bad, log_);
        });
    }

    static bool SectorIs(const std::vector<std::uint8_t>& buf, std::size_t pos, std::uint64_t sector) {
        for (std::size_t i = 0; i < kBps; ++i)
            if (buf[pos * kBps + i] != Pattern(sector, i)) return false;
        return true;
    }
    static bool SectorIsZero(const std::vector<std::uint8_t>& buf, std::size_t pos) {
        return std::all_of(buf.begin() + pos * kBps, buf.begin() + (pos + 1) * kBps, [](auto b) { return b == 0; });
    }

    std::filesystem::path path_;
    platform::DeviceMap map_;
    CurrentSource source_;
    ScriptedPrompter prompter_;
    std::shared_ptr<FaultInjectingDevice::Log> log_;
};

TEST_F(SectorReaderTest, ClipsReadsStartingPastEndSector) {
    auto reader = MakeReader();
    std::vector<std::uint8_t> buf(3 * kBps, 0xAB);
    source_.EndSector = 50;
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 51, 3, buf), 0);
    EXPECT_TRUE(SectorIsZero(buf, 0) && SectorIsZero(buf, 1) && SectorIsZero(buf, 2));
    EXPECT_EQ(log_->reads, 0u) << "a clipped read must not touch the device";

    // EndSector itself, and a run starting there that runs past it, still go to the device.
    EXPECT_NE(reader.ReadSectors("\\\\.\\PhysicalDrive0", 50, 3, buf), 0);
    EXPECT_TRUE(SectorIs(buf, 0, 50) && SectorIs(buf, 2, 52));

    source_.EndSector = 0;  // no limit
    EXPECT_NE(reader.ReadSectors("\\\\.\\PhysicalDrive0", 150, 1, buf), 0);
    EXPECT_TRUE(SectorIs(buf, 0, 150));
}

TEST_F(SectorReaderTest, LargeReadsGoWholeAndSplitIntoFortySectorPiecesOnlyWhenTheyFail) {
    using Call = std::pair<std::uint64_t, std::uint64_t>;
    {
        auto reader = MakeReader();
        std::vector<std::uint8_t> buf(80 * kBps);
        ASSERT_NE(reader.ReadSectors("\\\\.\\PhysicalDrive0", 3, 41, buf), 0);
        ASSERT_EQ(log_->calls, (std::vector<Call>{{3 * kBps, 41 * kBps}}));
        for (std::size_t i = 0; i < 41; ++i) EXPECT_TRUE(SectorIs(buf, i, 3 + i)) << i;
    }
    source_.BadSectorPolicy = BadSectorAnswer::SkipAll;
    {
        // 41 sectors: one 40-sector piece and a one-sector tail.
        log_->calls.clear();
        auto reader = MakeReader({43});
        std::vector<std::uint8_t> buf(80 * kBps);
        EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 3, 41, buf), 0);
        // The failed tail is read once more, sector by sector.
        EXPECT_EQ(log_->calls, (std::vector<Call>{{3 * kBps, 41 * kBps}, {3 * kBps, 40 * kBps}, {43 * kBps, kBps},
                                                  {43 * kBps, kBps}}));
        EXPECT_TRUE(SectorIs(buf, 39, 42));
        EXPECT_TRUE(SectorIsZero(buf, 40));
    }
    {
        // 80 sectors: two pieces and no tail.
        log_->calls.clear();
        auto reader = MakeReader({179});
        std::vector<std::uint8_t> buf(80 * kBps);
        EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 100, 80, buf), 0);
        std::vector<Call> want{{100 * kBps, 80 * kBps}, {100 * kBps, 40 * kBps}, {140 * kBps, 40 * kBps}};
        for (std::uint64_t s = 140; s < 180; ++s) want.push_back({s * kBps, kBps});
        EXPECT_EQ(log_->calls, want);
        EXPECT_TRUE(SectorIs(buf, 39, 139));
        // Under Skip too only the sector that fails is lost.
        EXPECT_TRUE(SectorIs(buf, 40, 140) && SectorIs(buf, 78, 178));
        EXPECT_TRUE(SectorIsZero(buf, 79));
    }
    EXPECT_EQ(prompter_.badSectorPrompts, 0);
}

TEST_F(SectorReaderTest, ReadsPastTheDeviceEndAsZeros) {
    auto reader = MakeReader();
    reader.WatchZeroFilled(true);
    std::vector<std::uint8_t> buf(4 * kBps, 0xAB);
    // The sectors past the end are not there: the read fails, they are
    // counted as unreadable (without a question) and listed where they sit.
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", kSectors - 2, 4, buf), 0);
    EXPECT_TRUE(SectorIs(buf, 0, kSectors - 2) && SectorIs(buf, 1, kSectors - 1));
    EXPECT_TRUE(SectorIsZero(buf, 2) && SectorIsZero(buf, 3));
    EXPECT_EQ(reader.PastEndSectors(), 2u);
    EXPECT_EQ(reader.ZeroFilledSectors(), 2u);
    EXPECT_EQ(prompter_.badSectorPrompts, 0);
    const auto listed = reader.TakeZeroFilled();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].sector, kSectors);
    EXPECT_EQ(listed[0].index, 2u);
    EXPECT_EQ(listed[1].index, 3u);

    // Past a selected end the device has: zeros by design, nothing counted;
    // past one that runs beyond the device, what is not there is counted.
    source_.EndSector = 100;
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 150, 2, buf), 0);
    EXPECT_TRUE(SectorIsZero(buf, 0) && SectorIsZero(buf, 1));
    EXPECT_EQ(reader.PastEndSectors(), 2u);
    source_.EndSector = kSectors + 10;
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", kSectors + 20, 3, buf), 0);
    EXPECT_EQ(reader.PastEndSectors(), 5u);
    EXPECT_EQ(reader.TakeZeroFilled().size(), 3u);

    // Another thread's reads are not listed for the watcher.
    source_.EndSector = 0;
    std::thread([&] {
        std::vector<std::uint8_t> other(kBps);
        reader.ReadSectors("\\\\.\\PhysicalDrive0", kSectors + 1, 1, other);
    }).join();
    EXPECT_EQ(reader.PastEndSectors(), 6u);
    EXPECT_TRUE(reader.TakeZeroFilled().empty());
}

TEST_F(SectorReaderTest, RetryOnceRereadsSectorBySectorAndZeroFillsTheBadOne) {
    auto reader = MakeReader({17});
    prompter_.badSectorAnswers = {BadSectorAnswer::RetryOnce};
    std::vector<std::uint8_t> buf(40 * kBps);
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 0, 40, buf), 0) << "a retried read reports failure";
    EXPECT_EQ(prompter_.badSectorPrompts, 1);
    for (std::size_t i = 0; i < 40; ++i) {
        if (i == 17)
            EXPECT_TRUE(SectorIsZero(buf, i));
        else
            EXPECT_TRUE(SectorIs(buf, i, i)) << i;
    }
    // 1 piece read + 40 single-sector reads + a second try of the bad one.
    EXPECT_EQ(log_->reads, 42u);

    // RetryOnce asks again at the next failed piece.
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 10, 10, buf), 0);
    EXPECT_EQ(prompter_.badSectorPrompts, 2);
}

TEST_F(SectorReaderTest, SkipAllStandsAndZeroFillsOnlyTheBadSectors) {
    auto reader = MakeReader({45, 130});
    prompter_.badSectorAnswers = {BadSectorAnswer::SkipAll};
    std::vector<std::uint8_t> buf(80 * kBps);
    EXPECT_NE(reader.ReadSectors("\\\\.\\PhysicalDrive0", 40, 80, buf), 0) << "the last piece was read";
    EXPECT_EQ(prompter_.badSectorPrompts, 1);
    EXPECT_EQ(source_.BadSectorPolicy, BadSectorAnswer::SkipAll);
    for (std::size_t i = 0; i < 80; ++i) {
        if (i == 5)
            EXPECT_TRUE(SectorIsZero(buf, i)) << "sector 45 unreadable";
        else
            EXPECT_TRUE(SectorIs(buf, i, 40 + i)) << i;
    }
    EXPECT_EQ(reader.ZeroFilledSectors(), 1u);

    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 120, 40, buf), 0);
    EXPECT_EQ(prompter_.badSectorPrompts, 1) << "Skip All is not asked again";
    EXPECT_TRUE(SectorIsZero(buf, 10));
    EXPECT_TRUE(SectorIs(buf, 0, 120) && SectorIs(buf, 39, 159));
    EXPECT_EQ(reader.ZeroFilledSectors(), 2u);
}

TEST_F(SectorReaderTest, ResultFollowsTheLastPieceAndTheTail) {
    auto reader = MakeReader({130});
    source_.BadSectorPolicy = BadSectorAnswer::SkipAll;
    std::vector<std::uint8_t> buf(120 * kBps);
    // Pieces 40..79, 80..119, 120..159: the last one fails.
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 40, 120, buf), 0);
    // Pieces 0..39, 40..79 and a failing tail 80..82 hold no bad sector but 130 is outside.
    EXPECT_NE(reader.ReadSectors("\\\\.\\PhysicalDrive0", 0, 83, buf), 0);
    EXPECT_EQ(prompter_.badSectorPrompts, 0);
}

TEST_F(SectorReaderTest, FailedTailIsSettledByThePolicyAndFailsTheRead) {
    auto reader = MakeReader({41});
    source_.BadSectorPolicy = BadSectorAnswer::RetryAll;
    std::vector<std::uint8_t> buf(45 * kBps);
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 0, 45, buf), 0);
    EXPECT_TRUE(SectorIs(buf, 40, 40));
    EXPECT_TRUE(SectorIsZero(buf, 41));
    EXPECT_TRUE(SectorIs(buf, 44, 44)) << "readable tail sectors are kept";
}

TEST_F(SectorReaderTest, ClosedPromptKeepsTheStandingPolicy) {
    auto reader = MakeReader({5});
    prompter_.badSectorAnswers = {std::nullopt};
    std::vector<std::uint8_t> buf(10 * kBps);
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive0", 0, 10, buf), 0);
    EXPECT_EQ(source_.BadSectorPolicy, BadSectorAnswer::RetryOnce);
    EXPECT_TRUE(SectorIs(buf, 4, 4)) << "RetryOnce still applies";
    EXPECT_TRUE(SectorIsZero(buf, 5));
}

TEST_F(SectorReaderTest, KeepsOneHandleAndReopensOnAnotherPath) {
    auto reader = MakeReader();
    std::vector<std::uint8_t> buf(kBps);
    reader.ReadSectors("\\\\.\\PhysicalDrive0", 1, 1, buf);
    reader.ReadSectors("\\\\.\\PhysicalDrive0", 2, 1, buf);
    EXPECT_EQ(reader.OpenCount(), 1u);

    // Disk 1 is a window starting at sector 10 of the same file.
    EXPECT_NE(reader.ReadSectors("\\\\.\\PhysicalDrive1", 2, 1, buf), 0);
    EXPECT_EQ(reader.OpenCount(), 2u);
    EXPECT_TRUE(SectorIs(buf, 0, 12));

    // A path that names nothing fails, and the failure is cached...
    std::fill(buf.begin(), buf.end(), 0xAB);
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive7", 0, 1, buf), 0);
    EXPECT_EQ(reader.ReadSectors("\\\\.\\PhysicalDrive7", 0, 1, buf), 0);
    EXPECT_EQ(reader.OpenCount(), 3u);
    EXPECT_EQ(buf[0], 0xAB) << "a failed open leaves the buffer untouched";
    // ...until the map changes what the path means.
    map_.SetDisk(7, {path_.string()});
    EXPECT_NE(reader.ReadSectors("\\\\.\\PhysicalDrive7", 0, 1, buf), 0);
    EXPECT_EQ(reader.OpenCount(), 4u);
}

TEST_F(SectorReaderTest, ReadsTheSlotThatDeviceIndexSelects) {
    auto reader = MakeReader();
    map_.SetVolume('E', {path_.string(), 100 * kBps, 0});
    std::vector<std::uint8_t> buf(kBps);
    source_.SelectVolume('e');
    EXPECT_EQ(source_.CurrentDevicePath(), "\\\\.\\e:");
    EXPECT_NE(reader.Read(0, 1, buf), 0);
    EXPECT_TRUE(SectorIs(buf, 0, 100));
    source_.SelectPhysicalDisk(1);
    EXPECT_EQ(source_.DeviceTable[0], "\\\\.\\PhysicalDrive0");
    EXPECT_NE(reader.Read(0, 1, buf), 0);
    EXPECT_TRUE(SectorIs(buf, 0, 10));
}

}  // namespace
}  // namespace dravik::source

namespace dravik::source {
namespace {

// The same policies over a real NTFS image: a bad sector inside the $MFT
// costs that sector only, under Retry and under Skip alike.
TEST(SectorReaderOnImage, BadSectorInsideTheMft) {
    const auto image = test::ImagePath("ntfs-basic.img").string();
    platform::DeviceMap map;
    map.SetDisk(0, {image});
    CurrentSource source;
    test::ScriptedPrompter prompter;
    SectorReader clean(source, map, prompter);
    std::vector<std::uint8_t> boot(512);
    ASSERT_NE(clean.Read(0, 1, boot), 0);
    const std::uint64_t mft = platform::U64(boot, 0x30) * boot[0x0D];
    std::vector<std::uint8_t> want(80 * 512);
    ASSERT_NE(clean.Read(mft, 80, want), 0);
    ASSERT_EQ(platform::U32(want, 0), 0x454C4946u) << "record 0 of the $MFT";

    auto faulty = [&](std::uint64_t bad) {
        return SectorReader(source, map, prompter, [bad](const platform::DeviceBacking& b) -> std::unique_ptr<SectorDevice> {
            return std::make_unique<FaultInjectingDevice>(OpenPosixDevice(b), 512, std::set<std::uint64_t>{bad});
        });
    };
    auto retry = faulty(mft + 43);
    prompter.badSectorAnswers = {BadSectorAnswer::RetryAll};
    std::vector<std::uint8_t> got(80 * 512);
    EXPECT_EQ(retry.Read(mft, 80, got), 0) << "the failed piece is the last one, which decides the result";
    for (std::size_t i = 0; i < 80; ++i) {
        const bool same = std::equal(got.begin() + i * 512, got.begin() + (i + 1) * 512, want.begin() + i * 512);
        if (i == 43)
            EXPECT_TRUE(std::all_of(got.begin() + i * 512, got.begin() + (i + 1) * 512, [](auto b) { return b == 0; }));
        else
            EXPECT_TRUE(same) << i;
    }
    EXPECT_EQ(prompter.badSectorPrompts, 1);

    source.BadSectorPolicy = BadSectorAnswer::SkipAll;
    auto skip = faulty(mft + 3);
    EXPECT_NE(skip.Read(mft, 80, got), 0);
    EXPECT_TRUE(std::all_of(got.begin() + 3 * 512, got.begin() + 4 * 512, [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 3 * 512, want.begin()));
    EXPECT_TRUE(std::equal(got.begin() + 4 * 512, got.end(), want.begin() + 4 * 512));
    EXPECT_EQ(prompter.badSectorPrompts, 1);
}

}  // namespace
}  // namespace dravik::source
