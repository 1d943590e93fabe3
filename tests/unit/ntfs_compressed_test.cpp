// Compressed NTFS data: the data reader's units on a volume in memory (stored,
// compressed, sparse, damaged, outside the volume), and saving the compressed
// image in deleted and formatted mode against its manifest, with crafted
// records for the files whose bytes cannot be reproduced.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "analysis/ntfs_data.h"
#include "results/results_view.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"
#include "support/md5.h"
#include "support/ntfs_builder.h"

namespace dravik::analysis::ntfs {
namespace {

namespace fs = std::filesystem;
using test::Put;

constexpr std::size_t kSector = 512;
constexpr std::size_t kUnit = 16 * kSector;  // 16 clusters of one sector

struct Collected {
    std::vector<std::uint8_t> bytes;
    std::vector<PieceOutcome> outcomes;
};

class RunData : public ::testing::Test {
protected:
    std::vector<std::uint8_t> disk = std::vector<std::uint8_t>(128 * kSector, 0);
    std::unique_ptr<test::AnalysisHarness> h;
    NtfsVolume volume;

    void Open() {
        auto bytes = disk;
        h = std::make_unique<test::AnalysisHarness>([bytes](const platform::DeviceBacking&) {
            return std::make_unique<source::MemoryDevice>(bytes);
        });
        h->ctx.devices.SetDisk(0, {"memory"});
        h->ctx.source.SelectPhysicalDisk(0);
        volume.reader = &h->ctx.reader;
        volume.sectorsPerCluster = 1;
    }
    Collected Read(const RunList& runs, std::uint64_t size, bool compressed, DataProblem& problem,
                   std::uint64_t volumeEnd = 0) {
        Collected c;
        problem = ReadRunData(volume, runs, size, compressed, 4, volumeEnd, [&](Bytes b, PieceOutcome o) {
            c.bytes.insert(c.bytes.end(), b.begin(), b.end());
            c.outcomes.push_back(o);
            return true;
        });
        return c;
    }
    // "abc" and a back-reference repeating it to 4096 bytes: one chunk.
    void PutAbcChunk(std::size_t sector) {
        const std::uint8_t chunk[] = {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0xFA, 0x2F};
        std::copy(std::begin(chunk), std::end(chunk), disk.begin() + sector * kSector);
    }
};

TEST_F(RunData, UnitsStoredCompressedSparseAndDamaged) {
    PutAbcChunk(10);
    for (std::size_t i = 0; i < kUnit; ++i) disk[20 * kSector + i] = std::uint8_t(i * 7 + 1);  // stored unit
    const std::uint8_t bad[] = {0x02, 0xB0, 0x01, 0x00, 0x00};  // a reference before the start
    std::copy(std::begin(bad), std::end(bad), disk.begin() + 40 * kSector);
    Open();
    const RunList runs = {{10, 1, false}, {0, 15, true},  {20, 16, false},
                          {0, 16, true},  {40, 1, false}, {0, 15, true}};
    DataProblem problem{};
    const std::uint64_t size = 3 * kUnit + 100;  // the last unit is cut by the size
    const auto c = Read(runs, size, true, problem);
    ASSERT_EQ(c.bytes.size(), size);
    EXPECT_EQ(c.outcomes, (std::vector{PieceOutcome::Read, PieceOutcome::Read, PieceOutcome::Sparse,
                                       PieceOutcome::NotDecodable}));
    EXPECT_EQ(problem, DataProblem::DamagedCompression);
    for (std::size_t i = 0; i < 4096; ++i) ASSERT_EQ(c.bytes[i], "abc"[i % 3]) << i;
    for (std::size_t i = 4096; i < kUnit; ++i) ASSERT_EQ(c.bytes[i], 0) << "past the unit's only chunk, " << i;
    for (std::size_t i = 0; i < kUnit; ++i) ASSERT_EQ(c.bytes[kUnit + i], std::uint8_t(i * 7 + 1)) << i;
    for (std::size_t i = 2 * kUnit; i < size; ++i) ASSERT_EQ(c.bytes[i], 0) << i;
}

TEST_F(RunData, UnitsSpanRunsAndExtentsAndTheSinkCanStop) {
    // One compressed unit whose two stored clusters lie in different runs
    // (a file split between extension records is one such list): a stored
    // chunk of 508 bytes, then the "abc" chunk whose header ends sector 10
    // and whose body starts sector 30.
    std::vector<std::uint8_t> stream(2 * kSector, 0);
    stream[0] = 0xFB, stream[1] = 0x31;
    for (std::size_t i = 2; i < 510; ++i) stream[i] = 'p';
    const std::uint8_t abc[] = {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0xFA, 0x2F};
    std::copy(std::begin(abc), std::end(abc), stream.begin() + 510);
    std::copy(stream.begin(), stream.begin() + kSector, disk.begin() + 10 * kSector);
    std::copy(stream.begin() + kSector, stream.end(), disk.begin() + 30 * kSector);
    Open();
    const RunList runs = {{10, 1, false}, {30, 1, false}, {0, 14, true}};
    DataProblem problem{};
    const auto c = Read(runs, kUnit, true, problem);
    EXPECT_EQ(problem, DataProblem::None);
    ASSERT_EQ(c.bytes.size(), kUnit);
    EXPECT_EQ(c.bytes[0], 'p');
    EXPECT_EQ(c.bytes[507], 'p');
    EXPECT_EQ(c.bytes[508], 0) << "a stored chunk short of 4096 is followed by zeros";
    EXPECT_EQ(c.bytes[4095], 0);
    for (std::size_t i = 0; i < 4096; ++i) ASSERT_EQ(c.bytes[4096 + i], "abc"[i % 3]) << i;

    // A sink that declines stops the read after its first piece.
    int calls = 0;
    ReadRunData(volume, {{20, 64, false}}, 64 * kSector, true, 4, 0, [&](Bytes, PieceOutcome) {
        ++calls;
        return false;
    });
    EXPECT_EQ(calls, 1);
}

TEST_F(RunData, RunsOutsideTheVolumeReadAsZerosAndAreReported) {
    for (std::size_t i = 0; i < 4 * kSector; ++i) disk[60 * kSector + i] = 0x5A;
    Open();
    DataProblem problem{};
    const auto c = Read({{60, 4, false}}, 4 * kSector, false, problem, 62);
    EXPECT_EQ(problem, DataProblem::RunsOutsideVolume);
    ASSERT_EQ(c.bytes.size(), 4 * kSector);
    EXPECT_EQ(c.bytes[2 * kSector - 1], 0x5A);
    EXPECT_EQ(c.bytes[2 * kSector], 0);
    // Inside the volume: no problem.
    Read({{60, 2, false}}, 2 * kSector, false, problem, 62);
    EXPECT_EQ(problem, DataProblem::None);
}

}  // namespace
}  // namespace dravik::analysis::ntfs

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;

const std::string kImage = "ntfs-compressed";

struct SaveResult {
    std::unique_ptr<test::AnalysisHarness> h;
    fs::path dest;
    SaveOutcome outcome{};
    std::map<std::string, FileReport> reports;  // by destination path below dest
};

SaveResult SaveImage(const std::string& image, analysis::RecoveryMode mode, source::DeviceOpenFn open,
                     const std::string& tag) {
    SaveResult r;
    r.h = std::make_unique<test::AnalysisHarness>(std::move(open));
    r.h->Select(test::ImagePath(image + ".img"), "NTFS");
    EXPECT_EQ(r.h->Run(mode), analysis::AnalysisOutcome::Finished);
    results::ResultsView view(r.h->ctx);
    view.Open();
    view.ToggleNode(view.Tree().Root());
    r.dest = fs::temp_directory_path() / ("dravik-compressed-" + std::to_string(::getpid()) + "-" + tag);
    fs::remove_all(r.dest);
    fs::create_directories(r.dest);
    auto& ctx = r.h->ctx;
    ctx.saveRun.ResetForDestination();
    EXPECT_TRUE(CheckDestination(ctx, r.dest.string()));
    base::WorkerControl control;
    CalculateDataSize(ctx, view.Tree(), control);
    ctx.saveRun.ResetForProgress();
    CopyEngine engine(ctx, control);
    engine.SetReport([&](const FileReport& f) {
        r.reports[fs::relative(f.destination, r.dest).string()] = f;
    });
    r.outcome = engine.RunSave(view.Tree());
    return r;
}

std::vector<test::ManifestRow> Files(const std::string& image) {
    std::vector<test::ManifestRow> out;
    for (auto& row : test::ReadManifest(test::ManifestPath(image + ".manifest.tsv")))
        if (row.IsFile()) out.push_back(row);
    return out;
}

TEST(SaveCompressed, EveryFileLiveOrDeletedIsByteExactInDeletedMode) {
    auto r = SaveImage(kImage, analysis::RecoveryMode::Deleted, source::OpenPosixDevice, "deleted");
    int exact = 0, deleted = 0;
    const auto files = Files(kImage);
    for (const auto& row : files) {
        SCOPED_TRACE(row.path);
        const fs::path path = r.dest / row.path;
        ASSERT_TRUE(fs::exists(path));
        EXPECT_EQ(fs::file_size(path), row.size);
        EXPECT_EQ(test::Md5::OfFile(path), row.md5);
        exact += test::Md5::OfFile(path) == row.md5;
        deleted += row.state == "deleted";
    }
    std::printf("%s deleted mode: %d of %zu manifest files byte-exact (%d deleted)\n", kImage.c_str(), exact,
                files.size(), deleted);
    EXPECT_GE(deleted, 4);
    EXPECT_EQ(r.outcome, SaveOutcome::Completed);
    fs::remove_all(r.dest);
}

TEST(SaveCompressed, LiveFilesAreByteExactInFormattedMode) {
    auto r = SaveImage(kImage, analysis::RecoveryMode::Formatted, source::OpenPosixDevice, "formatted");
    // Formatted mode finds the files by their records: compare by name and
    // size wherever they landed.
    std::map<std::string, std::string> found;  // md5 by file name
    for (const auto& e : fs::recursive_directory_iterator(r.dest))
        if (e.is_regular_file()) found[e.path().filename().string()] = test::Md5::OfFile(e.path());
    int exact = 0;
    const auto files = Files(kImage);
    for (const auto& row : files) {
        auto it = found.find(row.Name());
        if (it != found.end() && it->second == row.md5) ++exact;
        // Extension records are found through the $MFT's run list, which a
        // signature scan does not build: those files are left out here.
        else if (row.state == "live" && !row.attrlist)
            ADD_FAILURE() << row.path << " not byte-exact in formatted mode";
    }
    std::printf("%s formatted mode: %d of %zu manifest files byte-exact\n", kImage.c_str(), exact, files.size());
    fs::remove_all(r.dest);
}

// The sectors of a manifest file's record, read from the image, patched by
// `edit` (which sees the record's first sector and its attribute walk).
std::map<std::uint64_t, std::vector<std::uint8_t>> PatchRecord(
    const std::string& path, const std::function<void(std::vector<std::uint8_t>&)>& edit) {
    std::uint32_t number = 0;
    for (const auto& row : Files(kImage))
        if (row.path == path) number = row.record;
    EXPECT_NE(number, 0u) << path;
    std::ifstream in(test::ImagePath(kImage + ".img"), std::ios::binary);
    std::vector<std::uint8_t> boot(512);
    in.read(reinterpret_cast<char*>(boot.data()), 512);
    const std::uint64_t clusterBytes = std::uint64_t(platform::U16(boot, 0x0B)) * platform::U8(boot, 0x0D);
    // The test volume's $MFT is one run: record n is n KiB into it.
    const std::uint64_t at = platform::U64(boot, 0x30) * clusterBytes + std::uint64_t(number) * 1024;
    std::vector<std::uint8_t> record(1024);
    in.seekg(static_cast<std::streamoff>(at));
    in.read(reinterpret_cast<char*>(record.data()), 1024);
    EXPECT_TRUE(analysis::ntfs::IsFileRecord(record));
    edit(record);
    return {{at / 512, record}};
}

// Offset of the first attribute of `type` in a record (in its first sector).
std::size_t AttributeAt(const std::vector<std::uint8_t>& record, std::uint32_t type) {
    std::size_t off = platform::U16(record, 0x14);
    while (off + 8 < 512 && platform::U32(record, off) != type && platform::U32(record, off + 4) != 0)
        off += platform::U32(record, off + 4);
    EXPECT_EQ(platform::U32(record, off), type);
    return off;
}

TEST(SaveCompressed, FilesThatCannotBeReproducedAreReportedNotExact) {
    // "many units.log" marked encrypted in its $STANDARD_INFORMATION,
    // "one unit.txt" given a compression form other than LZNT1.
    auto patches = PatchRecord("Packed/many units.log", [](std::vector<std::uint8_t>& rec) {
        const std::size_t si = AttributeAt(rec, 0x10);
        const std::size_t value = si + platform::U16(rec, si + 0x14);
        test::Put(rec, value + 0x20, platform::U32(rec, value + 0x20) | 0x4000, 4);
    });
    patches.merge(PatchRecord("Packed/one unit.txt", [](std::vector<std::uint8_t>& rec) {
        const std::size_t data = AttributeAt(rec, 0x80);
        test::Put(rec, data + 0x0C, (platform::U16(rec, data + 0x0C) & 0xFF00) | 0x02, 2);
    }));
    auto r = SaveImage(kImage, analysis::RecoveryMode::Deleted, test::Patched(patches), "inexact");
    const auto& encrypted = r.reports.at("Packed/many units.log");
    EXPECT_EQ(encrypted.outcome, FileOutcome::NotExact);
    EXPECT_EQ(encrypted.reason, "encrypted");
    EXPECT_EQ(encrypted.written, encrypted.file->size) << "written as far as it goes";
    const auto& unknown = r.reports.at("Packed/one unit.txt");
    EXPECT_EQ(unknown.outcome, FileOutcome::NotExact);
    EXPECT_EQ(unknown.reason, "unknown compression");
    EXPECT_EQ(r.reports.at("Packed/ragged end.txt").outcome, FileOutcome::Written);
    EXPECT_TRUE(r.reports.at("Packed/ragged end.txt").reason.empty());
    EXPECT_EQ(r.outcome, SaveOutcome::NotCompleted);
    EXPECT_EQ(r.h->prompter.messages.back(), text::kNotCompleted);
    fs::remove_all(r.dest);
}

}  // namespace
}  // namespace dravik::saving
