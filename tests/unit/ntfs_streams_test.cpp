// Alternate data streams: the named $DATA attributes of record fragments,
// and the streams image saved in deleted and formatted mode and through a
// scan log, every stream against its manifest row; records of a copy of the
// image made encrypted or overlay-compressed are reported not exact.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "analysis/ntfs_record.h"
#include "analysis/scan_log.h"
#include "results/results_view.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "support/analysis_harness.h"
#include "support/cli_process.h"
#include "support/manifest.h"
#include "support/md5.h"
#include "support/ntfs_builder.h"

namespace dravik::analysis::ntfs {
namespace {

using test::Put;

// A 1 KiB record of attributes laid one after another from 0x38.
class RecordFragment {
public:
    RecordFragment() {
        Put(bytes, 0, kFileSignature, 4);
        Put(bytes, 0x14, 0x38, 2);
        Put(bytes, 0x1C, 1024, 4);
    }
    // A resident $DATA named `name` holding `value` bytes.
    void Resident(std::u16string_view name, std::uint32_t value) {
        const std::size_t nameAt = 0x18, valueAt = (nameAt + 2 * name.size() + 7) & ~std::size_t(7);
        const std::size_t length = (valueAt + value + 7) & ~std::size_t(7);
        Header(name, length, false, nameAt);
        Put(bytes, at_ + 0x10, value, 4);
        Put(bytes, at_ + 0x14, valueAt, 2);
        at_ += length;
    }
    // A non-resident extent of the $DATA `name` from cluster `lowestVcn`.
    void NonResident(std::u16string_view name, std::uint64_t lowestVcn, std::uint64_t realSize) {
        const std::size_t nameAt = 0x40, pairs = (nameAt + 2 * name.size() + 7) & ~std::size_t(7);
        const std::size_t length = pairs + 8;
        Header(name, length, true, nameAt);
        Put(bytes, at_ + 0x10, lowestVcn, 8);
        Put(bytes, at_ + 0x20, pairs, 2);
        Put(bytes, at_ + 0x30, realSize, 8);
        Put(bytes, at_ + pairs, 0x11, 1);  // one run of 4 clusters at cluster 9
        Put(bytes, at_ + pairs + 1, 4, 1);
        Put(bytes, at_ + pairs + 2, 9, 1);
        at_ += length;
    }
    std::size_t Next() const { return at_; }
    std::vector<std::uint8_t> Done() {
        Put(bytes, at_, attr::kEnd, 4);
        return bytes;
    }
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(1024, 0);

private:
    void Header(std::u16string_view name, std::size_t length, bool nonResident, std::size_t nameAt) {
        Put(bytes, at_, attr::kData, 4);
        Put(bytes, at_ + 4, length, 4);
        Put(bytes, at_ + 8, nonResident ? 1 : 0, 1);
        Put(bytes, at_ + 9, name.size(), 1);
        Put(bytes, at_ + 0x0A, nameAt, 2);
        for (std::size_t i = 0; i < name.size(); ++i) Put(bytes, at_ + nameAt + 2 * i, name[i], 2);
    }
    std::size_t at_ = 0x38;
};

TEST(NamedStreams, EachStreamStartingInTheRecordOnceWithItsSize) {
    RecordFragment r;
    r.Resident(u"", 40);                 // the file's own data: no stream
    r.Resident(u"Zone.Identifier", 26);
    r.NonResident(u"thumbnail", 0, 70000);
    r.NonResident(u"later", 16, 90000);  // continues a stream that starts elsewhere
    r.Resident(u"summary", 5);
    r.Resident(u"summary", 9);           // a repeat is the same stream
    r.Resident(u"empty", 0);
    const auto streams = ReadNamedStreams(r.Done());
    EXPECT_EQ(streams, (std::vector<NamedStream>{
                           {u"Zone.Identifier", 26}, {u"thumbnail", 70000}, {u"summary", 5}, {u"empty", 0}}));
}

TEST(NamedStreams, NamesOutsideTheAttributeOrRecordAreNotStreams) {
    RecordFragment r;
    r.Resident(u"kept", 3);
    const std::size_t broken = r.Next();
    r.Resident(u"cut", 3);
    auto bytes = r.Done();
    // The name said to lie past the attribute's end.
    Put(bytes, broken + 0x0A, 0x100, 2);
    EXPECT_EQ(ReadNamedStreams(bytes), (std::vector<NamedStream>{{u"kept", 3}}));
    // A record with no attributes, and one cut off before its first.
    EXPECT_TRUE(ReadNamedStreams(RecordFragment().Done()).empty());
    EXPECT_TRUE(ReadNamedStreams(std::vector<std::uint8_t>(0x3A, 0)).empty());
}

TEST(NamedStreams, ItemNamesAndWhichRecordsHoldUserStreams) {
    EXPECT_EQ(StreamItemName(u"letter.txt", u"Zone.Identifier"), u"letter.txt:Zone.Identifier");
    EXPECT_EQ(StreamOfItemName(u"letter.txt:Zone.Identifier"), u"Zone.Identifier");
    EXPECT_EQ(StreamOfItemName(u"a:b:c"), u"c") << "a POSIX name may hold colons; a stream name cannot";
    EXPECT_TRUE(StreamOfItemName(u"letter.txt").empty());
    EXPECT_TRUE(StreamOfItemName(u"ends with:").empty());
    // $Secure:$SDS, $UpCase:$Info and $Extend's files carry no user data.
    EXPECT_FALSE(HoldsUserStreams(9, kNtfsRoot));
    EXPECT_FALSE(HoldsUserStreams(10, kNtfsRoot));
    EXPECT_FALSE(HoldsUserStreams(30, 11));
    EXPECT_TRUE(HoldsUserStreams(64, kNtfsRoot));
    EXPECT_TRUE(HoldsUserStreams(16, 64));
}

}  // namespace
}  // namespace dravik::analysis::ntfs

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;

const std::string kImage = "ntfs-streams";

struct Saved {
    std::unique_ptr<test::AnalysisHarness> h;
    fs::path dest;
    SaveOutcome outcome{};
    std::map<std::string, FileReport> reports;  // by destination path below dest
    ~Saved() {
        std::error_code ec;
        if (!dest.empty()) fs::remove_all(dest, ec);
    }
};

fs::path Scratch(const std::string& tag) {
    const fs::path p = fs::temp_directory_path() / ("dravik-streams-" + std::to_string(::getpid()) + "-" + tag);
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

// Saves everything the analysis in `r.h` found (run it first) into a scratch
// folder.
void SaveAll(Saved& r, const std::string& tag) {
    results::ResultsView view(r.h->ctx);
    view.Open();
    view.ToggleNode(view.Tree().Root());
    r.dest = Scratch(tag);
    auto& ctx = r.h->ctx;
    ctx.saveRun.ResetForDestination();
    ASSERT_TRUE(CheckDestination(ctx, r.dest.string()));
    base::WorkerControl control;
    CalculateDataSize(ctx, view.Tree(), control);
    ctx.saveRun.ResetForProgress();
    CopyEngine engine(ctx, control);
    engine.SetReport([&](const FileReport& f) { r.reports[fs::relative(f.destination, r.dest).string()] = f; });
    r.outcome = engine.RunSave(view.Tree());
}

void Analyse(Saved& r, analysis::RecoveryMode mode) {
    r.h = std::make_unique<test::AnalysisHarness>();
    r.h->Select(test::ImagePath(kImage + ".img"), "NTFS");
    ASSERT_EQ(r.h->Run(mode), analysis::AnalysisOutcome::Finished);
}

// The manifest's files and the streams of its files (a folder's stream is
// not a file of the folder). Left out: deleted files with an attribute list.
// ntfs-3g keeps their $FILE_NAME in an extension record and, deleting them,
// moves the streams left there over it: no name survives for them (The
// Sleuth Kit calls them OrphanFile-N).
std::vector<test::ManifestRow> FilesAndStreams() {
    const auto rows = test::ReadManifest(test::ManifestPath(kImage + ".manifest.tsv"));
    std::set<std::string> folders;
    for (const auto& row : rows)
        if (row.IsDir()) folders.insert(row.path);
    std::vector<test::ManifestRow> out;
    for (const auto& row : rows) {
        if (row.state == "deleted" && row.attrlist) continue;
        if (row.IsFile()) out.push_back(row);
        if (row.kind == "stream" && !folders.count(row.path.substr(0, row.path.rfind(':')))) out.push_back(row);
    }
    return out;
}

TEST(SaveStreams, EveryFileAndStreamLiveOrDeletedIsByteExactInDeletedMode) {
    Saved r;
    Analyse(r, analysis::RecoveryMode::Deleted);
    SaveAll(r, "deleted");
    int exact = 0, streams = 0, deletedStreams = 0, listed = 0;
    const auto rows = FilesAndStreams();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const fs::path path = r.dest / row.path;
        ASSERT_TRUE(fs::exists(path));
        EXPECT_EQ(fs::file_size(path), row.size);
        EXPECT_EQ(test::Md5::OfFile(path), row.md5);
        exact += test::Md5::OfFile(path) == row.md5;
        if (row.kind == "stream") {
            ++streams;
            deletedStreams += row.state == "deleted";
        }
    }
    // Each stream is an item of its own: the file's record, the file's
    // folder, deleted with its file.
    std::map<std::string, const test::ManifestRow*> byName;
    for (const auto& row : rows) byName[row.Name()] = &row;
    for (const auto& f : r.h->ctx.items.files) {
        const std::string name = test::AnalysisHarness::Name(f);
        if (name.find(':') == std::string::npos) continue;
        ++listed;
        EXPECT_EQ(name.find('$'), std::string::npos) << name << ": the volume's own streams are not listed";
        auto it = byName.find(name);
        ASSERT_NE(it, byName.end()) << name;
        EXPECT_EQ(f.number, it->second->record) << name;
        EXPECT_EQ(f.size, it->second->size) << name;
        EXPECT_EQ(f.deleted == analysis::kYes, it->second->state == "deleted") << name;
    }
    std::printf("%s deleted mode: %d of %zu manifest files and streams byte-exact (%d streams, %d deleted)\n",
                kImage.c_str(), exact, rows.size(), streams, deletedStreams);
    EXPECT_EQ(listed, streams) << "the folder's stream is no file";
    EXPECT_GE(deletedStreams, 4);
    EXPECT_EQ(r.outcome, SaveOutcome::Completed);
}

// The manifest's deleted files with an attribute list, each saved as
// Lost/File<record> whole.
void ExpectNamelessFilesUnderLost(const Saved& r) {
    int checked = 0;
    for (const auto& row : test::ReadManifest(test::ManifestPath(kImage + ".manifest.tsv"))) {
        if (!row.IsFile() || row.state != "deleted" || !row.attrlist) continue;
        SCOPED_TRACE(row.path);
        const fs::path path = r.dest / "Lost" / ("File" + std::to_string(row.record));
        ASSERT_TRUE(fs::exists(path));
        EXPECT_EQ(fs::file_size(path), row.size);
        EXPECT_EQ(test::Md5::OfFile(path), row.md5);
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

// The deleted files whose name went with their extension records are kept
// under "Lost" by record number, their data whole.
TEST(SaveStreams, DeletedFilesThatLostTheirNameAreKeptUnderLostByRecordNumber) {
    Saved r;
    Analyse(r, analysis::RecoveryMode::Deleted);
    SaveAll(r, "nameless");
    ExpectNamelessFilesUnderLost(r);
    // Records that never held data are not listed.
    for (const auto& f : r.h->ctx.items.files) {
        if (f.parent != analysis::kLostFolder) continue;
        EXPECT_GT(f.size, 0u) << test::AnalysisHarness::Name(f);
    }
}

// The same files found by a scan of the records, with no $MFT to walk.
TEST(SaveStreams, FormattedModeKeepsDeletedFilesThatLostTheirNameUnderLostToo) {
    Saved r;
    Analyse(r, analysis::RecoveryMode::Formatted);
    SaveAll(r, "nameless-formatted");
    ExpectNamelessFilesUnderLost(r);
    EXPECT_EQ(r.outcome, SaveOutcome::Completed);
}

// ntfs-basic's $MFT is in pieces: the extension records of a file with an
// attribute list do not lie where an unbroken $MFT would hold them, but
// where the scan met them.
TEST(SaveStreams, FormattedModeFindsExtensionRecordsOfAMftInPieces) {
    Saved r;
    r.h = std::make_unique<test::AnalysisHarness>();
    r.h->Select(test::ImagePath("ntfs-basic.img"), "NTFS");
    ASSERT_EQ(r.h->Run(analysis::RecoveryMode::Formatted), analysis::AnalysisOutcome::Finished);
    SaveAll(r, "basic-formatted");
    int checked = 0;
    for (const auto& row : test::ReadManifest(test::ManifestPath("ntfs-basic.manifest.tsv"))) {
        if (!row.IsFile() || row.state != "live" || !row.attrlist) continue;
        SCOPED_TRACE(row.path);
        const fs::path path = r.dest / row.path;
        ASSERT_TRUE(fs::exists(path));
        EXPECT_EQ(fs::file_size(path), row.size);
        EXPECT_EQ(test::Md5::OfFile(path), row.md5);
        ++checked;
    }
    EXPECT_EQ(checked, 1);
}

#ifdef DRAVIK_CLI_PATH
// A scan log keeps no map of where the scan met the extension records; the
// $MFT record among its items still maps them.
TEST(SaveStreams, FormattedModeFindsExtensionRecordsOfAMftInPiecesFromAScanLogToo) {
    const fs::path dir = Scratch("basic-formatted-log");
    const std::string image = test::ImagePath("ntfs-basic.img").string(), log = (dir / "log").string();
    auto analyse = test::RunCli(DRAVIK_CLI_PATH, {"analyse", image, "--no-system-disks", "--mode", "formatted", "--log", log});
    ASSERT_EQ(analyse.status, 0) << analyse.err;
    const fs::path to = dir / "out";
    auto recover = test::RunCli(DRAVIK_CLI_PATH, {"recover", log + ".qsln", "--image", image, "--no-system-disks", "--to",
                                                  to.string(), "--select", "Fragmented/attrlist live.bin"});
    EXPECT_EQ(recover.status, 0) << recover.err;
    for (const auto& row : test::ReadManifest(test::ManifestPath("ntfs-basic.manifest.tsv"))) {
        if (row.path == "Fragmented/attrlist live.bin") {
            EXPECT_EQ(test::Md5::OfFile(to / row.path), row.md5);
        }
    }
    fs::remove_all(dir);
}
#endif

TEST(SaveStreams, FilesAndStreamsAreByteExactInFormattedModeExtensionRecordsIncluded) {
    Saved r;
    Analyse(r, analysis::RecoveryMode::Formatted);
    SaveAll(r, "formatted");
    // Formatted mode places files by their records: compare by name. The
    // records that continue a file (its $DATA's later extents, its streams)
    // are found beside its base record without the $MFT's runs.
    std::map<std::string, std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(r.dest))
        if (e.is_regular_file()) found[e.path().filename().string()] = test::Md5::OfFile(e.path());
    int exact = 0;
    const auto rows = FilesAndStreams();
    for (const auto& row : rows) {
        auto it = found.find(row.Name());
        if (it != found.end() && it->second == row.md5)
            ++exact;
        else
            ADD_FAILURE() << row.path << " not byte-exact in formatted mode";
    }
    std::printf("%s formatted mode: %d of %zu manifest files and streams byte-exact\n", kImage.c_str(), exact,
                rows.size());
}

// A record whose name moved to an extension record keeps its times in
// its own $STANDARD_INFORMATION: formatted mode gave such files no times
// (written out as 1601).
TEST(SaveStreams, FormattedModeGivesFilesNamedFromExtensionRecordsTheirOwnTimes) {
    Saved r;
    Analyse(r, analysis::RecoveryMode::Formatted);
    int checked = 0;
    for (const auto& row : test::ReadManifest(test::ManifestPath(kImage + ".manifest.tsv"))) {
        if (!row.IsFile() || row.state != "live" || !row.attrlist) continue;
        SCOPED_TRACE(row.path);
        bool found = false;
        for (const auto& f : r.h->ctx.items.files) {
            if (test::AnalysisHarness::Name(f) != row.Name()) continue;
            found = true;
            EXPECT_EQ(f.modified, row.mtime);
            EXPECT_EQ(f.created, row.crtime);
            EXPECT_EQ(f.accessed, row.atime);
        }
        EXPECT_TRUE(found);
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

TEST(SaveStreams, AScanLogKeepsTheStreamsAndSavingFromItGivesTheSameBytes) {
    Saved analysed;
    Analyse(analysed, analysis::RecoveryMode::Deleted);
    const fs::path logDir = Scratch("log");
    ASSERT_TRUE(analysis::SaveScanLog(analysed.h->ctx, (logDir / "streams").string()));

    Saved loaded;
    loaded.h = std::make_unique<test::AnalysisHarness>();
    loaded.h->Select(test::ImagePath(kImage + ".img"), "NTFS");
    ASSERT_TRUE(analysis::ReadScanLogHead(loaded.h->ctx, (logDir / "streams.qsln").string()));
    analysis::PrepareAnalysis(loaded.h->ctx);
    ASSERT_EQ(analysis::RunAnalysis(loaded.h->env), analysis::AnalysisOutcome::Finished);
    auto streamsOf = [](const test::AnalysisHarness& h) {
        std::multiset<std::tuple<std::string, std::uint64_t, std::uint32_t, char>> out;
        for (const auto& f : h.ctx.items.files) {
            const std::string name = test::AnalysisHarness::Name(f);
            if (name.find(':') != std::string::npos) out.insert({name, f.size, f.number, f.deleted});
        }
        return out;
    };
    const auto before = streamsOf(*analysed.h);
    EXPECT_GT(before.size(), 40u);
    EXPECT_EQ(streamsOf(*loaded.h), before);

    SaveAll(loaded, "from-log");
    for (const auto& row : FilesAndStreams()) {
        if (row.kind != "stream") continue;
        SCOPED_TRACE(row.path);
        ASSERT_TRUE(fs::exists(loaded.dest / row.path));
        EXPECT_EQ(test::Md5::OfFile(loaded.dest / row.path), row.md5);
    }
    fs::remove_all(logDir);
}

TEST(SaveStreams, ALongNameLosesPartOfTheFileNameInTheLogNotTheStream) {
    test::AnalysisHarness h;
    const std::u16string file(300, u'f');
    auto& files = h.ctx.items.files;
    h.ctx.items.folders.AddFolderItem(analysis::ItemName::Wide(u"Docs"), false, analysis::kNtfsRoot, 40, 0, 1, 2, 3, 0);
    files.AddFileItem(analysis::ItemName::Wide(file + u":Zone.Identifier"), false, 26, 40, 41, 0, 1, 2, 3);
    files.AddFileItem(analysis::ItemName::Wide(file + u":" + std::u16string(200, u's')), false, 26, 40, 42, 0, 1, 2,
                      3);
    h.ctx.analysis.geometry.fileSystem = "NTFS";
    const fs::path dir = Scratch("long");
    ASSERT_TRUE(analysis::SaveScanLog(h.ctx, (dir / "long").string()));

    test::AnalysisHarness b;
    ASSERT_TRUE(analysis::ReadScanLogHead(b.ctx, (dir / "long.qsln").string()));
    analysis::PrepareAnalysis(b.ctx);
    ASSERT_EQ(analysis::RunAnalysis(b.env), analysis::AnalysisOutcome::Finished);
    std::vector<std::u16string> names;
    for (const auto& f : b.ctx.items.files) names.push_back(std::u16string(analysis::WideName(f)));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], file.substr(0, 255 - 16) + u":Zone.Identifier");
    // A stream name too long to keep whole is cut like any name.
    EXPECT_EQ(names[1], (file + u":" + std::u16string(200, u's')).substr(0, 255));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dravik::saving

#ifdef DRAVIK_CLI_PATH

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using platform::U16;
using platform::U32;
using platform::U64;

int RunCli(const std::vector<std::string>& args, std::string& err) {
    const fs::path errFile = fs::temp_directory_path() / ("dravik-streams-err-" + std::to_string(::getpid()));
    std::string command = std::string("exec '") + DRAVIK_CLI_PATH + "'";
    for (const auto& a : args) command += " '" + a + "'";
    command += " </dev/null >/dev/null 2>'" + errFile.string() + "'";
    const int st = std::system(command.c_str());
    std::ifstream e(errFile);
    err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
    fs::remove(errFile);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Edits $MFT record `number` of the image file at `image` in place: the
// update sequence is undone, `edit` sees the record as written, and the
// sequence is laid again so that the record stays whole.
void EditRecord(const fs::path& image, std::uint32_t number, const std::function<void(std::vector<std::uint8_t>&)>& edit) {
    std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
    std::vector<std::uint8_t> boot(512);
    f.read(reinterpret_cast<char*>(boot.data()), 512);
    const std::uint64_t clusterBytes = std::uint64_t(U16(boot, 0x0B)) * platform::U8(boot, 0x0D);
    // The image's $MFT is one run from its first cluster.
    const std::uint64_t at = U64(boot, 0x30) * clusterBytes + std::uint64_t(number) * 1024;
    std::vector<std::uint8_t> rec(1024);
    f.seekg(static_cast<std::streamoff>(at));
    f.read(reinterpret_cast<char*>(rec.data()), 1024);
    ASSERT_TRUE(analysis::ntfs::IsFileRecord(rec));
    ASSERT_EQ(U32(rec, 0x2C), number) << "the record says which it is";
    ASSERT_TRUE(analysis::ntfs::FixupsIntact(rec));
    const std::size_t usa = U16(rec, 0x04), blocks = U16(rec, 0x06) - 1u;
    analysis::ntfs::ApplyFixups(rec);
    edit(rec);
    const std::uint16_t usn = static_cast<std::uint16_t>(U16(rec, usa) + 1);
    Put(rec, usa, usn, 2);
    for (std::size_t k = 0; k < blocks; ++k) {
        const std::size_t tail = 512 * k + 510;
        Put(rec, usa + 2 + 2 * k, U16(rec, tail), 2);
        Put(rec, tail, usn, 2);
    }
    ASSERT_TRUE(analysis::ntfs::FixupsIntact(rec));
    f.seekp(static_cast<std::streamoff>(at));
    f.write(reinterpret_cast<const char*>(rec.data()), 1024);
}

// Offset of the first attribute of `type`, and of the end marker.
std::size_t AttributeOf(const std::vector<std::uint8_t>& rec, std::uint32_t type) {
    std::size_t off = U16(rec, 0x14);
    while (off + 8 < rec.size() && U32(rec, off) != type && U32(rec, off) != 0xFFFFFFFF) off += U32(rec, off + 4);
    return off;
}

TEST(HonestOutcomes, EncryptedAndOverlayCompressedFilesAreReportedNotExactWithTheReason) {
    const fs::path dir = fs::temp_directory_path() / ("dravik-honest-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path image = dir / "honest.img";
    fs::copy_file(ImagePath("ntfs-streams.img"), image);
    std::map<std::string, std::uint32_t> records;
    for (const auto& row : ReadManifest(ManifestPath("ntfs-streams.manifest.tsv"))) records[row.path] = row.record;
    // letter.txt: the encrypted flag of its $STANDARD_INFORMATION.
    EditRecord(image, records.at("Docs/letter.txt"), [](std::vector<std::uint8_t>& rec) {
        const std::size_t si = AttributeOf(rec, 0x10);
        const std::size_t value = si + U16(rec, si + 0x14);
        Put(rec, value + 0x20, U32(rec, value + 0x20) | 0x4000, 4);
    });
    // picture.bin: a reparse point of the overlay filter, as Windows leaves
    // it on a file whose data moved into a WofCompressedData stream.
    EditRecord(image, records.at("Docs/picture.bin"), [](std::vector<std::uint8_t>& rec) {
        const std::size_t end = AttributeOf(rec, 0xFFFFFFFF);
        ASSERT_LT(end + 0x30 + 8, std::size_t(U32(rec, 0x1C)));
        Put(rec, end, 0xC0, 4);
        Put(rec, end + 4, 0x30, 4);
        Put(rec, end + 8, 0, 4);          // resident, unnamed
        Put(rec, end + 0x0E, 9, 2);        // attribute id
        Put(rec, end + 0x10, 24, 4);       // value length
        Put(rec, end + 0x14, 0x18, 2);     // value offset
        Put(rec, end + 0x18, 0x80000017, 4);  // IO_REPARSE_TAG_WOF
        Put(rec, end + 0x1C, 16, 2);
        Put(rec, end + 0x20, 1, 4);        // WOF version
        Put(rec, end + 0x24, 2, 4);        // provider: a single file
        Put(rec, end + 0x28, 1, 4);
        Put(rec, end + 0x2C, 1, 4);        // LZX
        Put(rec, end + 0x30, 0xFFFFFFFF, 4);
        Put(rec, 0x18, end + 0x38, 4);     // bytes in use
    });

    std::string err;
    const std::string log = (dir / "honest").string();
    ASSERT_EQ(RunCli({"analyse", image.string(), "--no-system-disks", "--log", log}, err), 0) << err;
    const fs::path report = dir / "report.json";
    const int status = RunCli({"recover", log + ".qsln", "--to", (dir / "out").string(), "--all", "--image",
                               image.string(), "--no-system-disks", "--allow-same-device", "--report",
                               report.string()},
                              err);
    EXPECT_EQ(status, 1) << "done, with files whose bytes are not their own: " << err;
    EXPECT_NE(err.find("Saving not completed successfully."), std::string::npos) << err;
    std::map<std::string, nlohmann::json> bySource;
    for (const auto& e : nlohmann::json::parse(std::ifstream(report))) bySource[e["source"].get<std::string>()] = e;
    auto expect = [&](const std::string& source, const std::string& outcome, const std::string& reason) {
        SCOPED_TRACE(source);
        ASSERT_TRUE(bySource.count(source));
        EXPECT_EQ(bySource[source]["outcome"], outcome);
        EXPECT_EQ(bySource[source]["reason"], reason);
    };
    expect("Docs/letter.txt", "not exact", "encrypted");
    expect("Docs/letter.txt:summary", "not exact", "encrypted");
    expect("Docs/picture.bin", "not exact", "compressed by the Windows Overlay Filter");
    // The overlay filter replaces only the unnamed data.
    expect("Docs/picture.bin:thumbnail", "written", "");
    expect("Tagged/plain.txt", "written", "");
    EXPECT_EQ(bySource["Docs/picture.bin"]["written"], 50000) << "written as far as it goes";
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dravik::test

#endif
