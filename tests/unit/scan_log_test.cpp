// Scan logs: round trips of real analyses, the bytes of a log made by hand,
// and logs that are cut short, damaged or crafted.
#include "analysis/scan_log.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

#include "analysis/exhaustive_search.h"
#include "support/analysis_harness.h"

namespace dravik::analysis {
namespace {

namespace fs = std::filesystem;
using test::AnalysisHarness;

class Scratch {
public:
    Scratch() {
        path_ = fs::temp_directory_path() / ("dravik-scanlog-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    static inline int next_ = 0;
    fs::path path_;
};

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteAll(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The fuzz seeds are the logs these tests make (scripts/fuzz-seeds.py sets
// the variable).
void KeepAsSeed(const fs::path& log, const std::string& name) {
    if (const char* dir = std::getenv("DRAVIK_SCAN_LOG_SEEDS")) fs::copy_file(log, fs::path(dir) / name, fs::copy_options::overwrite_existing);
}

// Saves the analysis of `h` into `dir`.
fs::path Save(AnalysisHarness& h, const Scratch& dir, ScanLogOrigin origin = ScanLogOrigin::Results) {
    const fs::path chosen = dir / "scan";
    EXPECT_TRUE(SaveScanLog(h.ctx, chosen.string(), origin));
    return chosen.string() + ".qsln";
}

// Loads as the front end does: the head, then the analysis.
AnalysisOutcome Load(AnalysisHarness& h, const fs::path& log) {
    if (!ReadScanLogHead(h.ctx, log.string())) return AnalysisOutcome::Unsupported;
    PrepareAnalysis(h.ctx);
    return RunAnalysis(h.env);
}

template <class Item>
std::string NameOf(const Item& f) {
    return (f.nameA ? "A:" : "W:") + AnalysisHarness::Name(f);
}
std::string Describe(const FolderItem& f) {
    return testing::PrintToString(std::make_tuple(NameOf(f), f.deleted, f.parent, f.number, f.sector, f.volume,
                                                  f.modified, f.created, f.accessed));
}
std::string Describe(const FileItem& f) {
    return testing::PrintToString(std::make_tuple(NameOf(f), f.deleted, f.size, f.parent, f.number, f.sector,
                                                  f.modified, f.created, f.accessed));
}
std::string Describe(const FoundFolder& f) {
    return testing::PrintToString(std::make_tuple(platform::Utf16ToUtf8(f.name), f.deleted, f.parent, f.number,
                                                  f.sector, f.indexLcn, f.volume, f.modified, f.created, f.accessed));
}
std::string Describe(const FoundFile& f) {
    return testing::PrintToString(std::make_tuple(platform::Utf16ToUtf8(f.name), f.deleted, f.stamp, f.size, f.parent,
                                                  f.number, f.sector, f.modified, f.created, f.accessed));
}
std::string Describe(const VolumeDescriptor& v) {
    return testing::PrintToString(std::make_tuple(v.typeName, v.sectorsPerCluster, v.startSector, v.endSector,
                                                  v.sectorsPerFat, v.rootDirSectors, v.reservedSectors, v.rootDirStart,
                                                  v.clusterBase, v.fat1Start, v.fat2Start, v.sectorsPerRecord,
                                                  v.sectorsPerIndexBlock));
}
std::string Describe(const VolumeGeometry& g) {
    return testing::PrintToString(std::make_tuple(g.fileSystem, g.sectorsPerRecord, g.sectorsPerIndexBlock,
                                                  g.mftSector, g.mftMirrSector, g.sectorsPerCluster, g.sectorsPerFat,
                                                  g.rootDirStart, g.rootDirSectors, g.reservedSectors, g.clusterBase,
                                                  g.fat1Start, g.fat2Start));
}
template <class Range>
std::vector<std::string> Lines(const Range& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(Describe(r));
    return out;
}

// The partition geometry has no text of its own in a log: it takes the
// partition's label.
VolumeGeometry PartitionWords(VolumeGeometry g) {
    g.fileSystem.clear();
    return g;
}

// Everything a log restores besides the lists.
std::string StateOf(const app::AppContext& ctx) {
    const auto& s = ctx.source;
    const auto& a = ctx.analysis;
    return testing::PrintToString(std::make_tuple(std::string(s.CurrentDevicePath()), s.DriveLetter, s.BytesPerSector,
                                                  s.StartSector, s.EndSector, s.PartitionLabel, s.PartitionText,
                                                  s.PartitionIndex)) +
           Describe(PartitionWords(a.partition)) + Describe(a.geometry) +
           testing::PrintToString(std::make_tuple(a.partitionStart, a.partitionEnd, int(a.settings.mode),
                                                  a.settings.formatted, a.settings.exhaustive, a.settings.phase,
                                                  a.currentVolume));
}

// ---- round trips of real analyses ----

struct Case {
    const char* image;
    const char* label;
    RecoveryMode mode;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.image; }

class ScanLogRoundTrip : public ::testing::TestWithParam<Case> {
protected:
    Scratch dir;
    AnalysisHarness analysed;
    AnalysisHarness loaded;

    void SetUp() override {
        const auto image = test::ImagePath(std::string(GetParam().image) + ".img");
        analysed.Select(image, GetParam().label);
        ASSERT_EQ(analysed.Run(GetParam().mode), AnalysisOutcome::Finished);
        loaded.ctx.devices.SetDisk(0, {image.string()});
    }
};

TEST_P(ScanLogRoundTrip, LoadsTheSameItemsGeometryAndFlagsWithoutTheDisk) {
    // Marks are saved but not loaded: every loaded item starts unselected.
    for (auto& f : analysed.ctx.items.folders) f.mark = kYes;
    for (auto& f : analysed.ctx.items.files) f.mark = kYes;
    const fs::path log = Save(analysed, dir);
    KeepAsSeed(log, std::string(GetParam().image) + ".qsln");

    ASSERT_EQ(Load(loaded, log), AnalysisOutcome::Finished);
    EXPECT_TRUE(loaded.prompter.messages.empty());
    const auto& a = analysed.ctx;
    const auto& b = loaded.ctx;
    EXPECT_EQ(Lines(b.items.folders), Lines(a.items.folders));
    EXPECT_EQ(Lines(b.items.files), Lines(a.items.files));
    EXPECT_EQ(b.items.totalSize, a.items.totalSize);
    EXPECT_EQ(StateOf(b), StateOf(a));
    EXPECT_TRUE(b.analysis.settings.fromLog) << "a normal log stays the source until the results are left";
    for (const auto& f : b.items.folders) EXPECT_EQ(f.mark, kNo);
    for (const auto& f : b.items.files) EXPECT_EQ(f.mark, kNo);
    // The stored index is a fresh one, in list order.
    std::uint32_t index = 0;
    for (const auto& f : b.items.files) EXPECT_EQ(f.index, index++);
    // Saving finds $MFT-walk files by their record number again.
    EXPECT_EQ(b.analysis.mftRuns.size(), a.analysis.mftRuns.size());
    EXPECT_GT(b.items.files.Count(), 10u);
}

TEST_P(ScanLogRoundTrip, LoadingTwiceDuplicatesFilesButNotFolders) {
    const fs::path log = Save(analysed, dir);
    ASSERT_EQ(Load(loaded, log), AnalysisOutcome::Finished);
    ASSERT_EQ(Load(loaded, log), AnalysisOutcome::Finished);
    EXPECT_EQ(loaded.ctx.items.folders.Count(), analysed.ctx.items.folders.Count());
    EXPECT_EQ(loaded.ctx.items.files.Count(), 2 * analysed.ctx.items.files.Count());
    EXPECT_EQ(loaded.ctx.items.totalSize, 2 * analysed.ctx.items.totalSize);
}

INSTANTIATE_TEST_SUITE_P(Images, ScanLogRoundTrip,
                         ::testing::Values(Case{"ntfs-basic", "NTFS", RecoveryMode::Deleted},
                                           Case{"ntfs-formatted", "NTFS", RecoveryMode::Formatted},
                                           Case{"fat16", "FAT16", RecoveryMode::Deleted},
                                           Case{"fat32-formatted", "FAT32", RecoveryMode::Formatted}),
                         [](const auto& info) {
                             std::string n = info.param.image;
                             for (char& c : n) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return n;
                         });

TEST(ScanLogNames, TheLongestNamesRoundTripAndLongerOnesAreCutTo255) {
    Scratch dir;
    AnalysisHarness h;
    const std::u16string n255(255, u'n'), n300(300, u'x');
    std::u16string split(254, u'a');
    split += u"\U0001F600";  // a surrogate pair at characters 255 and 256
    auto& files = h.ctx.items.files;
    h.ctx.items.folders.AddFolderItem(ItemName::Wide(n255), false, kNtfsRoot, 40, 0, 1, 2, 3, 0);
    files.AddFileItem(ItemName::Wide(n255), false, 1, 40, 41, 0, 1, 2, 3);
    files.AddFileItem(ItemName::Wide(n300), false, 1, 40, 42, 0, 1, 2, 3);
    files.AddFileItem(ItemName::Wide(split), false, 1, 40, 43, 0, 1, 2, 3);
    files.AddFileItem(ItemName::Narrow(std::string(255, 'N')), false, 1, 40, 44, 0, 1, 2, 3);
    h.ctx.analysis.geometry.fileSystem = "NTFS";
    const fs::path log = Save(h, dir);
    KeepAsSeed(log, "names.qsln");

    AnalysisHarness b;
    ASSERT_EQ(Load(b, log), AnalysisOutcome::Finished);
    ASSERT_EQ(b.ctx.items.folders.Count(), 1u);
    EXPECT_EQ(WideName(*b.ctx.items.folders.begin()), n255);
    std::vector<std::u16string> wide;
    for (const auto& f : b.ctx.items.files) wide.push_back(std::u16string(WideName(f)));
    EXPECT_EQ(wide, (std::vector<std::u16string>{n255, n300.substr(0, 255), split.substr(0, 254), u""}));
    EXPECT_EQ(NarrowName(*b.ctx.items.files.FindByIndex(3)), std::string(255, 'N'));
}

TEST(ScanLogNames, TheNtfsImageKeepsItsOwn255CharacterName) {
    Scratch dir;
    AnalysisHarness a, b;
    a.Select(test::ImagePath("ntfs-basic.img"), "NTFS");
    ASSERT_EQ(a.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    ASSERT_EQ(Load(b, Save(a, dir)), AnalysisOutcome::Finished);
    int longest = 0;
    for (const auto& f : b.ctx.items.files) longest = std::max<int>(longest, f.nameLength);
    EXPECT_EQ(longest, 255);
}

// ---- a log of a partition search ----

class PartitionSearchLog : public ::testing::Test {
protected:
    Scratch dir;
    AnalysisHarness searched;
    AnalysisHarness loaded;
    fs::path image = test::ImagePath("disk-zeroed.img");

    void Search(analysis::SearchFileSystem fs) {
        searched.ctx.devices.SetDisk(0, {image.string()});
        loaded.ctx.devices.SetDisk(0, {image.string()});
        searched.ctx.source.SelectPhysicalDisk(0);
        const auto sectors = std::to_string(fs::file_size(image) / 512);
        ASSERT_TRUE(analysis::StartExhaustiveSearch(searched.ctx, "0", sectors, fs));
        auto& s = searched.ctx.analysis.settings;
        s.exhaustive = true;
        s.phase = 0;
        s.mode = RecoveryMode::Formatted;
        PrepareAnalysis(searched.ctx);
        ASSERT_EQ(RunAnalysis(searched.env), AnalysisOutcome::CloseRequested);
    }
    // Both choose the first file system and analyse it.
    void AnalyseFirstVolume() {
        for (AnalysisHarness* h : {&searched, &loaded}) {
            const auto texts = analysis::FoundFileSystemTexts(h->ctx);
            ASSERT_FALSE(texts.empty());
            analysis::ShowFoundFileSystem(h->ctx, texts[0]);
            PrepareAnalysis(h->ctx);
            ASSERT_EQ(RunAnalysis(h->env), AnalysisOutcome::Finished);
        }
    }
};

TEST_F(PartitionSearchLog, NtfsFindingsComeBackAndTheChosenVolumeIsTheSame) {
    ASSERT_NO_FATAL_FAILURE(Search(analysis::SearchFileSystem::Ntfs));
    const auto& a = searched.ctx;
    const fs::path log = Save(searched, dir, ScanLogOrigin::PartitionList);
    KeepAsSeed(log, "search-ntfs.qsln");
    EXPECT_EQ(ReadAll(log)[62], 1);

    ASSERT_EQ(Load(loaded, log), AnalysisOutcome::CloseRequested);
    const auto& b = loaded.ctx;
    EXPECT_FALSE(b.analysis.settings.fromLog) << "the findings are the search's own now";
    EXPECT_EQ(Lines(b.items.scan.foundFolders), Lines(a.items.scan.foundFolders));
    EXPECT_EQ(Lines(b.items.scan.foundFiles), Lines(a.items.scan.foundFiles));
    EXPECT_EQ(Lines(b.items.volumes.items), Lines(a.items.volumes.items));
    EXPECT_EQ(b.analysis.volumeCount, a.analysis.volumeCount);
    EXPECT_EQ(StateOf(b), StateOf(a));
    EXPECT_GT(b.items.scan.foundFiles.size(), 10u);

    ASSERT_NO_FATAL_FAILURE(AnalyseFirstVolume());
    EXPECT_EQ(Lines(b.items.folders), Lines(a.items.folders));
    EXPECT_EQ(Lines(b.items.files), Lines(a.items.files));
}

TEST_F(PartitionSearchLog, FatFindingsComeBackAndItemsSavedBesideThemAreNotRead) {
    ASSERT_NO_FATAL_FAILURE(Search(analysis::SearchFileSystem::Fat32));
    // A volume analysed before saving leaves items beside the findings.
    AnalysisHarness* first = &searched;
    const auto texts = analysis::FoundFileSystemTexts(first->ctx);
    analysis::ShowFoundFileSystem(first->ctx, texts.at(0));
    PrepareAnalysis(first->ctx);
    ASSERT_EQ(RunAnalysis(first->env), AnalysisOutcome::Finished);
    ASSERT_GT(searched.ctx.items.folders.Count(), 0u);
    const fs::path log = Save(searched, dir, ScanLogOrigin::PartitionList);
    KeepAsSeed(log, "search-fat.qsln");

    ASSERT_EQ(Load(loaded, log), AnalysisOutcome::CloseRequested);
    EXPECT_EQ(loaded.ctx.items.folders.Count(), 0u);
    EXPECT_EQ(Lines(loaded.ctx.items.scan.foundFolders), Lines(searched.ctx.items.scan.foundFolders));
    EXPECT_EQ(Lines(loaded.ctx.items.volumes.items), Lines(searched.ctx.items.volumes.items));
    ASSERT_NO_FATAL_FAILURE(AnalyseFirstVolume());
    EXPECT_EQ(Lines(loaded.ctx.items.folders), Lines(searched.ctx.items.folders));
    EXPECT_EQ(Lines(loaded.ctx.items.files), Lines(searched.ctx.items.files));
}

TEST(PartitionListLog, WithoutASearchIsANormalLog) {
    Scratch dir;
    AnalysisHarness a, b;
    a.Select(test::ImagePath("fat16.img"), "FAT16");
    ASSERT_EQ(a.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    const fs::path log = Save(a, dir, ScanLogOrigin::PartitionList);
    EXPECT_EQ(ReadAll(log)[62], 0) << "no findings to carry";
    ASSERT_EQ(Load(b, log), AnalysisOutcome::Finished);
    EXPECT_EQ(Lines(b.ctx.items.files), Lines(a.ctx.items.files));
}

// ---- the bytes ----

// Little-endian fields of a byte vector, for checking what was written.
struct Bytes {
    std::vector<std::uint8_t> b;
    std::uint64_t Get(std::size_t off, int n) const {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= std::uint64_t(b.at(off + i)) << (8 * i);
        return v;
    }
    std::uint16_t U16(std::size_t off) const { return static_cast<std::uint16_t>(Get(off, 2)); }
    std::uint32_t U32(std::size_t off) const { return static_cast<std::uint32_t>(Get(off, 4)); }
    std::uint64_t U64(std::size_t off) const { return Get(off, 8); }
    std::u16string Wide(std::size_t off, std::size_t chars) const {
        std::u16string s;
        for (std::size_t i = 0; i < chars; ++i) s += static_cast<char16_t>(U16(off + 2 * i));
        return s;
    }
};

constexpr std::uint64_t kHigh = std::uint64_t(1) << 32;  // sectors past 2 TiB

// A context with one of everything, on disk 1 ("Model X.img"), its
// partition starting past the 32-bit sector range.
class HandMadeLog : public ::testing::Test {
protected:
    Scratch dir;
    AnalysisHarness h;
    const std::uint64_t start = kHigh + 0x800;

    static void AttachModel(app::AppContext& ctx, int disk, const std::string& file) {
        drives::CatalogueDisk d;
        d.backing.path = "/images/" + file;
        d.attached = true;
        ctx.drives.catalogue.disks[disk] = d;
        ctx.source.SelectPhysicalDisk(disk);
    }

    void SetUp() override {
        auto& ctx = h.ctx;
        AttachModel(ctx, 1, "Model X.img");
        auto& src = ctx.source;
        src.PartitionIndex = 2;
        src.PartitionLabel = "NTFS";
        src.PartitionText = "Partition - 3 ( NTFS )";
        src.StartSector = start;
        src.EndSector = start + 0x2000000;
        auto& g = ctx.analysis.partition;
        g = {2, 8, start + 0x6000, start + 0x10, 8, 0, 0, 0, 0, start, 0, 0, "NTFS"};
        ctx.analysis.geometry = g;
        ctx.analysis.geometry.mftMirrSector = start + 0x20;
        ctx.analysis.partitionStart = src.StartSector;
        ctx.analysis.partitionEnd = src.EndSector;
        auto& s = ctx.analysis.settings;
        s.mode = RecoveryMode::Formatted;
        s.exhaustive = true;
        s.phase = 1;
        ctx.analysis.currentVolume = 2;
        ctx.items.volumes.AddVolumeDescriptor({"NTFS", 8, start, start + 0x1000000, 0, 0, 0, 0, start, 0, 0, 2, 8});
        ctx.items.volumes.AddVolumeDescriptor({"FAT32", 4, start + 0x1000000, start + 0x2000000, 100, 0, 32, 2,
                                               start + 0x1000000 + 224, start + 0x1000000 + 32,
                                               start + 0x1000000 + 132, 0, 0});
        ctx.items.scan.AddFoundFolder({u"Docs", kYes, 11, 12, 13, 5, 40, start + 0x6050, 0x1234, 1});
        ctx.items.scan.AddFoundFile({u"a.txt", kNo, 21, 22, 23, 7, kHigh + 1, 40, 41, start + 0x6052});
        auto* folder = ctx.items.folders.AddFolderItem(ItemName::Wide(u"Docs"), true, 5, 40, start + 0x6050, 31, 32,
                                                       33, 1);
        folder->mark = kYes;
        ctx.items.folders.SetTreeHandle(*folder, 0xABCD);
        auto& file = ctx.items.files.AddFileItem(ItemName::Narrow("A.TXT"), false, 1234, 40, 41, start + 0x6052, 41,
                                                 42, 43);
        file.mark = kYes;
    }
};

TEST_F(HandMadeLog, HeadAndOneRecordOfEachKindLieWhereTheLayoutPutsThem) {
    const fs::path log = Save(h, dir, ScanLogOrigin::PartitionList);
    KeepAsSeed(log, "hand-made.qsln");
    const Bytes b{ReadAll(log)};
    EXPECT_EQ(b.Wide(0, 31), u"Vandrolisk Data Recovery Wizard");
    EXPECT_EQ(b.U16(62), 1);
    EXPECT_EQ(b.U32(64), 11u);
    EXPECT_EQ(b.Wide(68, 11), u"Model X.img");

    std::size_t p = 68 + 22;
    EXPECT_EQ(b.b[p], 1);         // device index
    EXPECT_EQ(b.b[p + 1], 0);     // no drive letter
    EXPECT_EQ(b.U32(p + 2), 512u);
    EXPECT_EQ(b.b[p + 6], 1);     // disk of the partition
    EXPECT_EQ(b.b[p + 7], 2);     // partition index
    EXPECT_EQ(b.b[p + 8], 4);
    EXPECT_EQ(b.Wide(p + 9, 4), u"NTFS");
    p += 17;
    EXPECT_EQ(b.b[p], 22);
    EXPECT_EQ(b.Wide(p + 1, 22), u"Partition - 3 ( NTFS )");
    p += 45;
    EXPECT_EQ(b.U64(p), start);
    EXPECT_EQ(b.U64(p + 8), start + 0x2000000);
    p += 16;
    // sectors per FAT, per cluster, root sectors, root start, reserved, cluster
    // base, FAT 1, FAT 2, $MFT, $MFTMirr, per record, per index block
    const std::vector<std::uint32_t> partition{0, 8, 0, 0, 0, 0x800, 0, 0, 0x6800, 0x810, 2, 8};
    for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(b.U32(p + 4 * i), partition[i]) << "partition word " << i;
    EXPECT_EQ(b.U32(p + 48 + 36), 0x820u) << "the analysis block follows";
    p += 96;
    EXPECT_EQ(b.b[p], 4);
    p += 9;
    EXPECT_EQ(b.U32(p), 0u);       // formatted
    EXPECT_EQ(b.U32(p + 4), 1u);   // exhaustive
    EXPECT_EQ(b.U32(p + 8), 1u);   // phase
    EXPECT_EQ(b.U32(p + 12), 2u);  // current volume
    EXPECT_EQ(b.U32(p + 16), 2u);  // volumes
    p += 20;
    const std::size_t fat = p + 76;
    EXPECT_EQ(b.U64(fat + 0), start + 0x2000000);
    EXPECT_EQ(b.U64(fat + 8), start + 0x1000000);
    EXPECT_EQ(b.U32(fat + 16), 4u);
    EXPECT_EQ(b.U32(fat + 20), 0x1000800u + 224);
    EXPECT_EQ(b.U32(fat + 24), 0x1000800u + 32);
    EXPECT_EQ(b.U32(fat + 28), 32u);
    EXPECT_EQ(b.U32(fat + 36), 2u);
    EXPECT_EQ(b.U32(fat + 40), 0x1000800u + 132);
    EXPECT_EQ(b.U32(fat + 44), 100u);
    EXPECT_EQ(b.Wide(fat + 48, 10), std::u16string(u"FAT32\0\0\0\0\0", 10));
    EXPECT_EQ(b.U32(p + 68), 2u);  // the NTFS one's sectors per record
    EXPECT_EQ(b.U32(p + 72), 8u);
    p += 152;

    EXPECT_EQ(b.U32(p), 1u);  // found folders
    const std::size_t ff = p + 4;
    EXPECT_EQ(b.U64(ff + 0), 13u);  // accessed
    EXPECT_EQ(b.U64(ff + 8), 12u);  // created
    EXPECT_EQ(b.U32(ff + 16), 1u);  // volume
    EXPECT_EQ(b.U64(ff + 20), 11u);  // modified
    EXPECT_EQ(b.U32(ff + 28), 0x1234u);
    EXPECT_EQ(b.U32(ff + 32), 5u);
    EXPECT_EQ(b.U32(ff + 36), 0x6850u);
    EXPECT_EQ(b.U32(ff + 40), 0x1234u);
    EXPECT_EQ(b.U32(ff + 44), 40u);
    EXPECT_EQ(b.b[ff + 48], 'y');
    EXPECT_EQ(b.b[ff + 49], 4);
    EXPECT_EQ(b.Wide(ff + 50, 4), u"Docs");
    EXPECT_EQ(b.b[ff + 58], 0) << "an empty narrow name";
    p = ff + 59;

    EXPECT_EQ(b.U32(p), 1u);  // found files
    const std::size_t fi = p + 4;
    EXPECT_EQ(b.U64(fi + 0), 23u);
    EXPECT_EQ(b.U64(fi + 8), 22u);
    EXPECT_EQ(b.U32(fi + 16), 7u);  // stamp
    EXPECT_EQ(b.U64(fi + 20), 21u);
    EXPECT_EQ(b.U64(fi + 28), kHigh + 1);
    EXPECT_EQ(b.U32(fi + 36), 40u);
    EXPECT_EQ(b.U32(fi + 40), 0x6852u);
    EXPECT_EQ(b.U32(fi + 44), 0u);
    EXPECT_EQ(b.U32(fi + 48), 41u);
    EXPECT_EQ(b.b[fi + 52], 'n');
    EXPECT_EQ(b.b[fi + 53], 5);
    EXPECT_EQ(b.Wide(fi + 54, 5), u"a.txt");
    p = fi + 54 + 10 + 1;

    EXPECT_EQ(b.U32(p), 1u);  // folder items
    const std::size_t d = p + 4;
    EXPECT_EQ(b.U32(d + 0), 0xABCDu) << "the tree handle";
    EXPECT_EQ(b.U64(d + 4), 33u);
    EXPECT_EQ(b.U64(d + 12), 32u);
    EXPECT_EQ(b.U16(d + 20), 1u);
    EXPECT_EQ(b.b[d + 22], 'y');
    EXPECT_EQ(b.b[d + 23], 0);
    EXPECT_EQ(b.U64(d + 24), 31u);
    EXPECT_EQ(b.U32(d + 32), 5u);
    EXPECT_EQ(b.U32(d + 36), 0x6850u);
    EXPECT_EQ(b.U16(d + 40), 1u);
    EXPECT_EQ(b.b[d + 42], 'y');
    EXPECT_EQ(b.U32(d + 44), 40u);
    EXPECT_EQ(b.b[d + 48], 'D');
    EXPECT_EQ(b.b[d + 49], 'y');
    EXPECT_EQ(b.b[d + 50], 4);
    EXPECT_EQ(b.Wide(d + 51, 4), u"Docs");
    EXPECT_EQ(b.b[d + 59], 0);
    p = d + 60;

    EXPECT_EQ(b.U32(p), 1u);  // file items
    const std::size_t f = p + 4;
    EXPECT_EQ(b.U64(f + 0), 43u);
    EXPECT_EQ(b.U64(f + 8), 42u);
    EXPECT_EQ(b.U32(f + 16), 0u);  // index
    EXPECT_EQ(b.U64(f + 20), 41u);
    EXPECT_EQ(b.U64(f + 28), 1234u);
    EXPECT_EQ(b.U32(f + 36), 40u);
    EXPECT_EQ(b.U32(f + 40), 0x6852u);
    EXPECT_EQ(b.b[f + 44], 'y');
    EXPECT_EQ(b.Get(f + 45, 3), 0u);
    EXPECT_EQ(b.U32(f + 48), 41u);
    EXPECT_EQ(b.b[f + 52], 'F');
    EXPECT_EQ(b.b[f + 53], 'n');
    EXPECT_EQ(b.b[f + 54], 0) << "no wide name";
    EXPECT_EQ(b.b[f + 55], 5);
    EXPECT_EQ(std::string(b.b.begin() + f + 56, b.b.begin() + f + 61), "A.TXT");
    EXPECT_EQ(b.b.size(), f + 61);
}

TEST_F(HandMadeLog, SectorsPast32BitsComeBackWhole) {
    const fs::path log = Save(h, dir, ScanLogOrigin::PartitionList);
    AnalysisHarness b;
    AttachModel(b.ctx, 1, "Model X.img");
    ASSERT_EQ(Load(b, log), AnalysisOutcome::CloseRequested);
    EXPECT_EQ(StateOf(b.ctx), StateOf(h.ctx));
    EXPECT_EQ(Lines(b.ctx.items.volumes.items), Lines(h.ctx.items.volumes.items));
    EXPECT_EQ(Lines(b.ctx.items.scan.foundFolders), Lines(h.ctx.items.scan.foundFolders));
    EXPECT_EQ(Lines(b.ctx.items.scan.foundFiles), Lines(h.ctx.items.scan.foundFiles));
    EXPECT_EQ(b.ctx.source.PartitionText, "Partition - 3 ( NTFS )");
    EXPECT_EQ(b.ctx.source.PartitionIndex, 2);
}

TEST_F(HandMadeLog, ALogOfAnotherDiskModelIsRefused) {
    const fs::path log = Save(h, dir);
    AnalysisHarness b;
    AttachModel(b.ctx, 0, "Model Y.img");
    const std::string before = StateOf(b.ctx);
    EXPECT_FALSE(ReadScanLogHead(b.ctx, log.string()));
    EXPECT_EQ(b.prompter.messages, std::vector<std::string>{text::kSelectProperDevice});
    EXPECT_EQ(StateOf(b.ctx), before);
    EXPECT_FALSE(b.ctx.analysis.settings.fromLog);
    // The same model on another disk number is the disk that was analysed.
    AttachModel(b.ctx, 3, "Model X.img");
    EXPECT_TRUE(ReadScanLogHead(b.ctx, log.string()));
    EXPECT_EQ(b.ctx.source.DeviceIndex, 1) << "the log's disk";
}

TEST_F(HandMadeLog, TheModelIsReadBeforeADiskIsChosen) {
    const fs::path log = Save(h, dir);
    EXPECT_EQ(ScanLogDeviceModel(log.string()), "Model X.img");
    auto bytes = ReadAll(log);
    bytes.resize(70);  // the length promises more characters than follow
    WriteAll(dir / "cut.qsln", bytes);
    EXPECT_EQ(ScanLogDeviceModel((dir / "cut.qsln").string()), std::nullopt);
    EXPECT_EQ(ScanLogDeviceModel((dir / "missing.qsln").string()), std::nullopt);
}

// ---- damaged and crafted logs ----

// A small real log and where its lists begin.
class DamagedLog : public ::testing::Test {
protected:
    Scratch dir;
    fs::path good;
    std::vector<std::uint8_t> bytes;
    std::size_t listsAt = 0;
    std::uint32_t folders = 0, files = 0;

    void SetUp() override {
        AnalysisHarness a;
        a.Select(test::ImagePath("fat16.img"), "FAT16");
        ASSERT_EQ(a.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
        good = Save(a, dir);
        bytes = ReadAll(good);
        folders = a.ctx.items.folders.Count();
        files = a.ctx.items.files.Count();
        AnalysisHarness b;
        ASSERT_TRUE(ReadScanLogHead(b.ctx, good.string()));
        listsAt = b.ctx.analysis.log.listsOffset;
    }
    // Loads `damaged` into a fresh context.
    std::unique_ptr<AnalysisHarness> LoadBytes(const std::vector<std::uint8_t>& damaged, AnalysisOutcome* outcome) {
        const fs::path p = dir / "damaged.qsln";
        WriteAll(p, damaged);
        auto h = std::make_unique<AnalysisHarness>();
        *outcome = Load(*h, p);
        return h;
    }
    std::vector<std::uint8_t> With32(std::size_t off, std::uint32_t v) const {
        auto b = bytes;
        for (int i = 0; i < 4; ++i) b.at(off + i) = static_cast<std::uint8_t>(v >> (8 * i));
        return b;
    }
    std::size_t HeadField(std::size_t fromModelEnd) const {
        return 68 + 2 * std::size_t(Bytes{bytes}.U32(64)) + fromModelEnd;
    }
    // Where the file-item count lies: after the folder records.
    std::size_t FileCountAt() const {
        std::size_t p = listsAt + 4;
        for (std::uint32_t i = 0; i < folders; ++i) {
            p += 50;
            p += 1 + 2 * std::size_t(bytes.at(p));
            p += 1 + bytes.at(p);
        }
        return p;
    }
};

TEST_F(DamagedLog, EveryCutEndsWithTheMessageAndKeepsWhatWasRead) {
    std::uint32_t lastFolders = 0, lastFiles = 0;
    for (std::size_t cut = 0; cut < bytes.size(); cut += cut < listsAt + 64 ? 1 : 7) {
        AnalysisOutcome outcome{};
        auto h = LoadBytes({bytes.begin(), bytes.begin() + cut}, &outcome);
        ASSERT_EQ(h->prompter.messages, std::vector<std::string>{text::kLogNotValid}) << "cut at " << cut;
        if (cut < listsAt) {
            EXPECT_EQ(outcome, AnalysisOutcome::Unsupported) << "the head is refused whole";
            EXPECT_FALSE(h->ctx.analysis.settings.fromLog);
            continue;
        }
        EXPECT_EQ(outcome, AnalysisOutcome::Finished) << "cut at " << cut;
        const auto f = h->ctx.items.folders.Count(), g = h->ctx.items.files.Count();
        EXPECT_LE(f, folders);
        EXPECT_LT(g, files);
        EXPECT_GE(f, lastFolders) << "a longer log never loads less";
        EXPECT_GE(g, lastFiles);
        lastFolders = f;
        lastFiles = g;
    }
    EXPECT_EQ(lastFolders, folders);
    EXPECT_GT(lastFiles + 3, files) << "the last cuts lose only the last records";
}

TEST_F(DamagedLog, HostileLengthsAndValuesEndTheLoadWithoutHarm) {
    const std::size_t bps = HeadField(2);
    const std::size_t partitionText = HeadField(9 + 2 * std::size_t(bytes.at(HeadField(8))));
    const std::size_t words = partitionText + 1 + 2 * std::size_t(bytes.at(partitionText)) + 16;
    const std::size_t spr = words + 4 * 10;
    struct Damage {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool headRefused;
    };
    std::vector<Damage> damages = {
        {"model length past the file", With32(64, 0xFFFFFFFF), true},
        {"bytes per sector 3", With32(bps, 3), true},
        {"bytes per sector 1 GiB", With32(bps, 1u << 30), true},
        {"sectors per record", With32(spr, 0xFFFFFFFF), true},
        {"folder count past the file", With32(listsAt, 0xFFFFFFFF), false},
        {"file count past the file", With32(FileCountAt(), 0x10000000), false},
    };
    // The exhaustive flag set: the folder count is read as the volume count.
    auto volumes = With32(listsAt - 12, 1);
    for (int i = 0; i < 4; ++i) volumes.at(listsAt + i) = 0xFF;
    damages.push_back({"volume count past the file", volumes, true});
    // The last name's length byte claims more than is left.
    auto name = bytes;
    name.resize(name.size() - 1);
    damages.push_back({"last record cut", name, false});

    for (const auto& d : damages) {
        AnalysisOutcome outcome{};
        auto h = LoadBytes(d.bytes, &outcome);
        EXPECT_EQ(h->prompter.messages, std::vector<std::string>{text::kLogNotValid}) << d.what;
        EXPECT_EQ(outcome, d.headRefused ? AnalysisOutcome::Unsupported : AnalysisOutcome::Finished) << d.what;
    }
}

TEST_F(DamagedLog, KindFlagAndSectorSizeRules) {
    AnalysisOutcome outcome{};
    auto kind2 = bytes;
    kind2[62] = 2;
    auto h = LoadBytes(kind2, &outcome);
    EXPECT_EQ(outcome, AnalysisOutcome::Unsupported);
    EXPECT_TRUE(h->prompter.messages.empty()) << "refused without a message";
    EXPECT_FALSE(h->ctx.analysis.settings.fromLog);

    for (std::uint32_t stored : {0u, 0x80000000u}) {
        h = LoadBytes(With32(HeadField(2), stored), &outcome);
        EXPECT_EQ(outcome, AnalysisOutcome::Finished);
        EXPECT_EQ(h->ctx.source.BytesPerSector, 512) << stored;
    }
    h = LoadBytes(With32(HeadField(2), 4096), &outcome);
    EXPECT_EQ(h->ctx.source.BytesPerSector, 4096);
}

TEST_F(DamagedLog, MissingFilesAndPaths) {
    AnalysisHarness h;
    EXPECT_FALSE(ReadScanLogHead(h.ctx, ""));
    EXPECT_FALSE(SaveScanLog(h.ctx, ""));
    EXPECT_FALSE(ReadScanLogHead(h.ctx, (dir / "none.qsln").string()));
    EXPECT_EQ(h.prompter.messages, (std::vector<std::string>{text::kNoPathSelected, text::kNoPathSelected,
                                                             text::kLogOpenError}));
    // The log is gone between its head and its lists.
    const fs::path copy = dir / "copy.qsln";
    fs::copy_file(good, copy);
    h.prompter.messages.clear();
    ASSERT_TRUE(ReadScanLogHead(h.ctx, copy.string()));
    fs::remove(copy);
    PrepareAnalysis(h.ctx);
    EXPECT_EQ(RunAnalysis(h.env), AnalysisOutcome::Finished);
    EXPECT_EQ(h.prompter.messages, std::vector<std::string>{text::kUnableToOpenFile});
}

TEST_F(DamagedLog, StopSkipsTheRestOfASectionAndBackEndsTheLoad) {
    // Enough folders for the throttled progress to speak during the section.
    AnalysisHarness a;
    a.ctx.analysis.geometry.fileSystem = "FAT16";
    for (std::uint32_t n = 1; n <= 3000; ++n)
        a.ctx.items.folders.AddFolderItem(ItemName::Narrow("D" + std::to_string(n)), false, 0, n + 2, 0, 0, 0, 0, 0);
    for (std::uint32_t n = 0; n < 5; ++n)
        a.ctx.items.files.AddFileItem(ItemName::Narrow("F" + std::to_string(n)), false, 10, 3, 9000 + n, 0, 0, 0, 0);
    const fs::path log = Save(a, dir);

    AnalysisHarness b;
    b.sink.onText = [&](base::ProgressField field, const std::string&) {
        if (field == base::ProgressField::Folders) b.control.RequestStop();
    };
    ASSERT_EQ(Load(b, log), AnalysisOutcome::Finished);
    EXPECT_TRUE(b.prompter.messages.empty());
    EXPECT_GE(b.ctx.items.folders.Count(), 1000u);
    EXPECT_LT(b.ctx.items.folders.Count(), 3000u);
    EXPECT_EQ(b.ctx.items.files.Count(), 5u) << "the file section is found after the skipped folders";
    EXPECT_FALSE(b.control.StopRequested());

    AnalysisHarness c;
    ASSERT_TRUE(ReadScanLogHead(c.ctx, log.string()));
    c.control.Terminate();
    EXPECT_EQ(RunAnalysis(c.env), AnalysisOutcome::Terminated);
}

// ---- writing ----

TEST(SaveScanLogFile, NameRuleAndAnExistingReadOnlyFile) {
    EXPECT_EQ(ScanLogPath("/tmp/Case/Log"), "/tmp/Case/Log.qsln");
    EXPECT_EQ(ScanLogPath("/tmp/a.qsln"), "/tmp/a.qsln");
    EXPECT_EQ(ScanLogPath("/tmp/a.QSLN"), "/tmp/a.QSLN.qsln");

    Scratch dir;
    AnalysisHarness h;
    const fs::path existing = dir / "Old.qsln";
    WriteAll(existing, std::vector<std::uint8_t>(100000, 7));
    ::chmod(existing.c_str(), 0444);
    ASSERT_TRUE(SaveScanLog(h.ctx, existing.string()));
    struct stat st {};
    ASSERT_EQ(::stat(existing.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    EXPECT_LT(fs::file_size(existing), 1000u) << "replaced, not appended to";

    EXPECT_FALSE(SaveScanLog(h.ctx, (dir / "no such folder" / "log").string()));
    EXPECT_EQ(h.prompter.messages, std::vector<std::string>{text::kLogCreateError});
}

TEST(SaveScanLogFile, AWriteThatFailsIsReportedAndLeavesNoFile) {
    Scratch dir;
    AnalysisHarness h;
    for (std::uint32_t n = 0; n < 20000; ++n)
        h.ctx.items.files.AddFileItem(ItemName::Narrow("FILE" + std::to_string(n)), false, 1, 0, n, 0, 0, 0, 0);
    // The file may not grow past 64 KiB, as on a full disk.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 65536;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveScanLog(h.ctx, (dir / "full").string());
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(h.prompter.messages, std::vector<std::string>{text::kLogCreateError});
    EXPECT_FALSE(fs::exists(dir / "full.qsln"));
}

}  // namespace
}  // namespace dravik::analysis
