// Damaged and hostile input: links planted in the destination, names that
// collide once made safe, sizes no volume holds, scan logs that are not
// regular files or name an unknown file system. Nothing may be written
// outside the destination, no run may claim a success it did not have, and
// nothing may hang. The source image is compared before and after each case.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <limits>
#include <map>
#include <set>
#include <thread>

#include "analysis/scan_log.h"
#include "partition/partition_walk.h"
#include "platform/posix_file.h"
#include "results/item_text.h"
#include "results/results_view.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "saving/destination_paths.h"
#include "support/analysis_harness.h"
#include "support/cli_process.h"
#include "support/md5.h"

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;
using base::CopyErrorAnswer;
using base::ReplaceChoice;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::set<std::string> Files(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
    return out;
}

// A scratch folder per test with the destination in it, beside a folder
// "outside" that nothing may touch.
class Scratch {
public:
    Scratch() {
        path_ = fs::temp_directory_path() / ("dravik-hostile-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// fat12 analysed with Docs/Letters/2023/Drafts checked: DRAFT1.TXT (256
// bytes) and "letter to the bank.txt" (1324 bytes).
class HostileSave : public ::testing::Test {
protected:
    Scratch scratch;
    fs::path dest = scratch / "dest";
    fs::path outside = scratch / "outside";
    fs::path image = test::ImagePath("fat12.img");
    std::string imageMd5;
    std::unique_ptr<test::AnalysisHarness> h;
    std::unique_ptr<results::ResultsView> view;
    fs::path drafts = dest / "Docs" / "Letters" / "2023" / "Drafts";
    std::vector<FileReport> reports;

    void SetUp() override { Open(source::OpenPosixDevice); }
    void Open(source::DeviceOpenFn open) {
        imageMd5 = test::Md5::OfFile(image);
        fs::create_directories(dest);
        fs::create_directories(outside);
        h = std::make_unique<test::AnalysisHarness>(std::move(open));
        h->Select(image, "FAT12");
        ASSERT_EQ(h->Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
        view = std::make_unique<results::ResultsView>(h->ctx);
        CheckDrafts();
    }
    void CheckDrafts() {
        view->Open();
        results::NodeHandle node = view->Tree().Root();
        for (const char16_t* name : {u"Docs", u"Letters", u"2023", u"Drafts"})
            for (auto c : view->Tree().Node(node).children)
                if (view->Tree().Node(c).text == name) node = c;
        ASSERT_EQ(view->Tree().Node(node).text, u"Drafts");
        view->ToggleNode(node);
    }
    void TearDown() override { EXPECT_EQ(test::Md5::OfFile(image), imageMd5) << "the source is never written"; }

    SaveOutcome SaveRun() {
        auto& ctx = h->ctx;
        ctx.saveRun.ResetForDestination();
        EXPECT_TRUE(CheckDestination(ctx, dest.string()));
        base::WorkerControl control;
        CalculateDataSize(ctx, view->Tree(), control);
        ctx.saveRun.ResetForProgress();
        CopyEngine engine(ctx, control);
        reports.clear();
        engine.SetReport([this](const FileReport& r) { reports.push_back(r); });
        return engine.RunSave(view->Tree());
    }
    analysis::FileItem& File(const std::string& name) {
        for (auto& f : h->ctx.items.files)
            if (results::DisplayName(f) == name) return f;
        ADD_FAILURE() << "no file " << name;
        return *h->ctx.items.files.begin();
    }
    void Rename(const std::string& name, const std::u16string& to) {
        ASSERT_TRUE(h->ctx.items.files.Rename(File(name), analysis::ItemName::Wide(to)));
    }
};

// ---- links planted in the destination ----

TEST_F(HostileSave, AFolderLinkInTheDestinationLeadsNothingOutside) {
    // dest/Docs -> outside, which holds the rest of the tree with a file the
    // run would overwrite.
    fs::create_directory_symlink(outside, dest / "Docs");
    fs::create_directories(outside / "Letters" / "2023" / "Drafts");
    std::ofstream(outside / "Letters" / "2023" / "Drafts" / "DRAFT1.TXT") << "old";
    h->prompter.replaceAnswers = {ReplaceChoice::YesForAll};
    h->prompter.copyErrorAnswers = {CopyErrorAnswer::SkipAll};

    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(Files(outside / "Letters" / "2023" / "Drafts"), std::set<std::string>{"DRAFT1.TXT"});
    EXPECT_EQ(Slurp(outside / "Letters" / "2023" / "Drafts" / "DRAFT1.TXT"), "old");
    EXPECT_EQ(h->prompter.replacePrompts, 0) << "a file beyond the link is no conflict of this run";
    ASSERT_EQ(reports.size(), 2u);
    for (const auto& r : reports) EXPECT_EQ(r.outcome, FileOutcome::FailedToCreate);
    EXPECT_TRUE(fs::is_symlink(dest / "Docs")) << "what was there is left as it was";
}

TEST_F(HostileSave, AFileLinkIsReplacedNotWrittenThrough) {
    fs::create_directories(drafts);
    std::ofstream(outside / "target") << "old";
    fs::create_symlink(outside / "target", drafts / "DRAFT1.TXT");
    h->prompter.replaceAnswers = {ReplaceChoice::YesForAll};

    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(Slurp(outside / "target"), "old");
    EXPECT_FALSE(fs::is_symlink(drafts / "DRAFT1.TXT"));
    EXPECT_EQ(fs::file_size(drafts / "DRAFT1.TXT"), 256u);
}

TEST_F(HostileSave, ALinkDeeperDownIsRefusedAndItsSubtreeWithIt) {
    // Only the last level is a link: the levels above are written.
    fs::create_directories(drafts.parent_path());
    fs::create_directory_symlink(outside, drafts);
    h->prompter.copyErrorAnswers = {CopyErrorAnswer::SkipAll};
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(h->prompter.copyErrorPrompts, 1);
}

// ---- the file under its final name is always whole ----

TEST_F(HostileSave, NoShortFileEverStandsUnderItsFinalName) {
    // A device that, while the save reads, looks at the destination: a file
    // under its final name must already hold all its bytes.
    auto armed = std::make_shared<bool>(false);
    auto shortSeen = std::make_shared<std::set<std::string>>();
    const fs::path folder = drafts;
    Open([=](const platform::DeviceBacking& b) -> std::unique_ptr<source::SectorDevice> {
        class Device final : public source::SectorDevice {
        public:
            Device(std::unique_ptr<source::SectorDevice> inner, std::function<void()> look)
                : inner_(std::move(inner)), look_(std::move(look)) {}
            bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
                look_();
                return inner_->ReadAt(offset, buf);
            }
            std::uint64_t Size() const override { return inner_->Size(); }

        private:
            std::unique_ptr<source::SectorDevice> inner_;
            std::function<void()> look_;
        };
        return std::make_unique<Device>(source::OpenPosixDevice(b), [=] {
            if (!*armed) return;
            const std::map<std::string, std::uintmax_t> whole{{"DRAFT1.TXT", 256}, {"letter to the bank.txt", 1324}};
            std::error_code ec;
            for (const auto& [name, size] : whole)
                if (fs::exists(folder / name, ec) && fs::file_size(folder / name, ec) != size) shortSeen->insert(name);
        });
    });
    *armed = true;
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    *armed = false;
    EXPECT_TRUE(shortSeen->empty()) << *shortSeen->begin();
    EXPECT_EQ(Files(drafts), (std::set<std::string>{"DRAFT1.TXT", "letter to the bank.txt"}))
        << "no temporary name is left behind";
}

// ---- collisions the safe-name rule made ----

TEST_F(HostileSave, NamesMadeTheSameGetNumberedNamesNeverSkipped) {
    // "x/y.txt" becomes x_y.txt, beside a real x_y.txt.
    Rename("DRAFT1.TXT", u"x/y.txt");
    Rename("letter to the bank.txt", u"x_y.txt");
    CheckDrafts();
    h->prompter.replaceAnswers = {ReplaceChoice::SkipForAll};
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.replacePrompts, 0) << "not a conflict the user had";
    EXPECT_EQ(Files(drafts), (std::set<std::string>{"x_y.txt", "x_y0.txt"}));
    std::set<std::uintmax_t> sizes{fs::file_size(drafts / "x_y.txt"), fs::file_size(drafts / "x_y0.txt")};
    EXPECT_EQ(sizes, (std::set<std::uintmax_t>{256, 1324}));

    // Files of an earlier run are the user's conflict: Skip for all keeps
    // them and writes nothing new.
    h->prompter.replaceAnswers = {ReplaceChoice::SkipForAll};
    EXPECT_EQ(SaveRun(), SaveOutcome::Completed);
    EXPECT_EQ(h->prompter.replacePrompts, 1);
    EXPECT_EQ(Files(drafts), (std::set<std::string>{"x_y.txt", "x_y0.txt"}));
}

// ---- sizes no volume holds ----

TEST_F(HostileSave, ClaimedSizesPastTheVolumeNeitherWrapTheTotalNorSucceed) {
    constexpr std::uint64_t kHuge = std::uint64_t(1) << 63;
    File("DRAFT1.TXT").size = kHuge;
    File("letter to the bank.txt").size = kHuge;
    // What the runs can hold is written; then sizes are chosen whose sum
    // wraps to exactly that, as a crafted volume can.
    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    const std::uint64_t written = h->ctx.saveRun.bytesWritten.load();
    ASSERT_GT(written, 1580u);
    for (const auto& r : reports) EXPECT_EQ(r.outcome, FileOutcome::Incomplete);
    File("letter to the bank.txt").size = kHuge + written;
    fs::remove_all(dest);
    fs::create_directories(dest);

    EXPECT_EQ(SaveRun(), SaveOutcome::NotCompleted);
    EXPECT_EQ(h->ctx.saveRun.selectedBytes, std::numeric_limits<std::uint64_t>::max()) << "the total saturates";
    EXPECT_EQ(h->prompter.messages.back(), text::kNotCompleted);
    ASSERT_EQ(reports.size(), 2u);
    for (const auto& r : reports) EXPECT_EQ(r.outcome, FileOutcome::Incomplete);
}

TEST(SaturatingAdd, StopsAtTheLargestValue) {
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(SaturatingAdd(1, 2), 3u);
    EXPECT_EQ(SaturatingAdd(kMax, 1), kMax);
    EXPECT_EQ(SaturatingAdd(std::uint64_t(1) << 63, std::uint64_t(1) << 63), kMax);
    EXPECT_EQ(SaturatingAdd(kMax - 1, 1), kMax);
}

// ---- scan logs ----

class HostileLog : public ::testing::Test {
protected:
    Scratch scratch;
    fs::path image = test::ImagePath("fat12.img");
    std::string imageMd5 = test::Md5::OfFile(image);

    void TearDown() override { EXPECT_EQ(test::Md5::OfFile(image), imageMd5); }

    // A log of fat12 saved by the core.
    fs::path SavedLog() {
        test::AnalysisHarness h;
        h.Select(image, "FAT12");
        EXPECT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
        const fs::path log = scratch / "case.qsln";
        EXPECT_TRUE(analysis::SaveScanLog(h.ctx, log.string()));
        return log;
    }
    static mode_t Mode(const fs::path& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    }
};

TEST_F(HostileLog, LoadingNeverChangesTheFilesPermissions) {
    const fs::path log = SavedLog();
    ::chmod(log.c_str(), 0444);
    test::AnalysisHarness h;
    EXPECT_TRUE(analysis::ReadScanLogHead(h.ctx, log.string(), false));
    EXPECT_EQ(Mode(log), 0444u);

    // Not a log at all, given by mistake: refused and left as it was.
    const fs::path other = scratch / "disk.img";
    fs::copy_file(image, other);
    ::chmod(other.c_str(), 0400);
    test::AnalysisHarness h2;
    EXPECT_FALSE(analysis::ReadScanLogHead(h2.ctx, other.string(), false));
    EXPECT_EQ(Mode(other), 0400u);
}

TEST_F(HostileLog, SavingReplacesOnlyTheLogItWrites) {
    // A read-only file of the log's name with a second name (a hard link):
    // the log is written anew, the other name keeps its bytes and its mode.
    const fs::path log = scratch / "old.qsln";
    const fs::path twin = scratch / "twin";
    std::ofstream(log) << "someone else's bytes";
    ::chmod(log.c_str(), 0444);
    ASSERT_EQ(::link(log.c_str(), twin.c_str()), 0);
    test::AnalysisHarness h;
    h.Select(image, "FAT12");
    ASSERT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    ASSERT_TRUE(analysis::SaveScanLog(h.ctx, log.string()));
    EXPECT_EQ(Slurp(twin), "someone else's bytes");
    EXPECT_EQ(Mode(twin), 0444u);
    EXPECT_GT(fs::file_size(log), 1000u);
    EXPECT_EQ(Files(scratch / ""), (std::set<std::string>{"old.qsln", "twin"})) << "no partial log is left";
    test::AnalysisHarness h2;
    EXPECT_TRUE(analysis::ReadScanLogHead(h2.ctx, log.string(), false));
}

TEST_F(HostileLog, AnUnknownFileSystemNameIsRefused) {
    const fs::path log = SavedLog();
    std::string bytes = Slurp(log);
    // The geometry's file-system name is the last "FAT12" of the head.
    const std::string name{"\x05" "F\0A\0T\0" "1\0" "2\0", 11};
    const auto at = bytes.rfind(name, 2048);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5] = 'X';  // "FAX12"
    std::ofstream(log, std::ios::binary | std::ios::trunc) << bytes;
    test::AnalysisHarness h;
    EXPECT_FALSE(analysis::ReadScanLogHead(h.ctx, log.string(), false));
    EXPECT_EQ(h.prompter.messages, std::vector<std::string>{analysis::text::kLogNotValid});
}

#ifdef DRAVIK_CLI_PATH
TEST_F(HostileLog, AShortOrInconsistentLogIsRefusedByTheCommandLine) {
    // Made by the binary, so that it names the image's disk.
    const fs::path log = scratch / "cli.qsln";
    ASSERT_EQ(test::RunCli(DRAVIK_CLI_PATH, {"analyse", image.string(), "--no-system-disks", "--log", log.string()}).status, 0);
    const std::string whole = Slurp(log);
    const fs::path to = scratch / "out";
    auto run = [&](const std::string& command) {
        std::vector<std::string> args{command, log.string(), "--no-system-disks", "--image", image.string()};
        if (command == "recover") args.insert(args.end(), {"--all", "--to", to.string(), "--allow-same-device"});
        if (command == "ls") args.push_back("-r");
        return test::RunCli(DRAVIK_CLI_PATH, args);
    };
    ASSERT_EQ(run("ls").status, 0) << "the whole log is fine";
    ASSERT_EQ(run("recover").status, 0) << "the whole log is fine";
    fs::remove_all(to);
    // As a killed run leaves it: cut inside the file items, or a few bytes
    // short of its end.
    for (const std::string& bytes : {whole.substr(0, whole.size() * 3 / 4), whole.substr(0, whole.size() - 3)}) {
        std::ofstream(log, std::ios::binary | std::ios::trunc) << bytes;
        for (const char* command : {"ls", "recover"}) {
            SCOPED_TRACE(std::string(command) + " of " + std::to_string(bytes.size()) + " bytes");
            const auto r = run(command);
            EXPECT_EQ(r.status, 2) << r.err;
            EXPECT_NE(r.err.find("Log file is not valid."), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("incomplete or damaged"), std::string::npos) << r.err;
            EXPECT_EQ(r.out.find("DRAFT1.TXT"), std::string::npos) << "nothing of it is listed";
        }
        EXPECT_FALSE(fs::exists(to)) << "nothing of it is recovered";
    }
}

TEST_F(HostileLog, WhatTheAnalysisAcceptsTheLoadAcceptsAnUnusedBootByteChanged) {
    const std::string whole = Slurp(test::ImagePath("ntfs-basic.img"));
    // The bytes after the record and index block sizes are unused; the
    // index block size itself out of its range.
    for (const std::size_t at : {0x41, 0x43, 0x45, 0x46, 0x47, 0x44}) {
        SCOPED_TRACE(at);
        std::string bytes = whole;
        bytes[at] = '\x5A';
        const fs::path image = scratch / "ntfs.img", log = scratch / "ntfs";
        std::ofstream(image, std::ios::binary | std::ios::trunc) << bytes;
        auto r = test::RunCli(DRAVIK_CLI_PATH, {"analyse", image.string(), "--no-system-disks", "--log", log.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> common{log.string() + ".qsln", "--no-system-disks", "--image", image.string()};
        std::vector<std::string> ls{"ls"}, recover{"recover"};
        ls.insert(ls.end(), common.begin(), common.end());
        recover.insert(recover.end(), common.begin(), common.end());
        recover.insert(recover.end(), {"--select", "Documents", "--to", (scratch / "out").string(), "--allow-same-device"});
        r = test::RunCli(DRAVIK_CLI_PATH, ls);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Documents"), std::string::npos);
        r = test::RunCli(DRAVIK_CLI_PATH, recover);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(fs::exists(scratch / "out" / "Documents" / "readme.txt"));
        fs::remove_all(scratch / "out");
    }
}

TEST_F(HostileLog, ALongDestinationIsTakenWholeNotCut) {
    const fs::path log = scratch / "cli";
    ASSERT_EQ(test::RunCli(DRAVIK_CLI_PATH, {"analyse", image.string(), "--no-system-disks", "--log", log.string()}).status, 0);
    // Over 259 characters, with the 259th inside a folder name.
    fs::path to = scratch / std::string(40, 'a');
    for (int i = 1; i < 8; ++i) to /= std::string(40, char('a' + i));
    ASSERT_GT(to.string().size(), 300u);
    const auto r = test::RunCli(DRAVIK_CLI_PATH, {"recover", log.string() + ".qsln", "--no-system-disks", "--image",
                                                  image.string(), "--select", "Docs", "--to", to.string(),
                                                  "--allow-same-device"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_directory(to / "Docs")) << "written where it was told";
    const std::string cut = to.string().substr(0, 259);
    EXPECT_FALSE(fs::exists(fs::path(cut) / "Docs")) << "nothing beside the folder meant";
}
#endif

TEST(SafeNames, ANameTooLongForTheDestinationIsCutKeepingItsExtension) {
    std::string stem;
    for (int i = 0; i < 200; ++i) stem += "\xC3\xA9";  // U+00E9, two bytes
    const std::string name = SafeName(stem + ".txt");
    EXPECT_LE(name.size(), kMaxNameBytes);
    EXPECT_GE(name.size(), kMaxNameBytes - 20) << "no more is cut than needed";
    EXPECT_EQ(name.substr(name.size() - 4), ".txt");
    EXPECT_EQ(name.substr(0, name.size() - 4), stem.substr(0, name.size() - 4)) << "whole characters only";
    EXPECT_EQ((name.size() - 4) % 2, 0u);
    // One byte too many is cut; 255 bytes are not.
    EXPECT_EQ(SafeName(std::string(255, 'x')), std::string(255, 'x'));
    EXPECT_LE(SafeName(std::string(256, 'x')).size(), kMaxNameBytes);
    // An "extension" that is most of the name is no extension to keep.
    const std::string dotted = SafeName("a." + std::string(300, 'y'));
    EXPECT_LE(dotted.size(), kMaxNameBytes);
    EXPECT_EQ(dotted.substr(0, 2), "a.");
}

// ---- what is neither a file nor a block device ----

TEST_F(HostileLog, AFifoIsRefusedWithoutBlocking) {
    const fs::path fifo = scratch / "fifo.qsln";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto opened = std::async(std::launch::async, [&] { return platform::PosixFile::OpenReadOnly(fifo.string()).has_value(); });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Let the blocked open go so that the test can end.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        FAIL() << "opening a FIFO blocked";
    }
    EXPECT_FALSE(opened.get());

    test::AnalysisHarness h;
    EXPECT_FALSE(analysis::ReadScanLogHead(h.ctx, fifo.string(), false));
    EXPECT_EQ(h.prompter.messages, std::vector<std::string>{analysis::text::kLogOpenError});
    EXPECT_FALSE(platform::PosixFile::OpenReadOnly((scratch / "").string()).has_value()) << "a folder holds no sectors";
    EXPECT_TRUE(platform::PosixFile::OpenReadOnly(image.string()).has_value());
}

// ---- partition entries past the disk ----

TEST(PartitionEntriesPastTheDisk, AreLeftOutOrCutToTheDisk) {
    Scratch scratch;
    const fs::path disk = scratch / "disk.img";
    fs::copy_file(test::ImagePath("disk-mbr.img"), disk);
    const std::uint64_t sectors = fs::file_size(disk) / 512;
    {
        // The free fourth entry: start and length 0xFFFFFFFF; the FAT32
        // entry's length made to run far past the end.
        std::fstream f(disk, std::ios::in | std::ios::out | std::ios::binary);
        const unsigned char beyond[16] = {0, 0, 0, 0, 0x07, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        f.seekp(446 + 3 * 16);
        f.write(reinterpret_cast<const char*>(beyond), 16);
        const unsigned char longer[4] = {0xF0, 0xFF, 0xFF, 0xFF};
        f.seekp(446 + 1 * 16 + 12);
        f.write(reinterpret_cast<const char*>(longer), 4);
    }
    const std::string md5 = test::Md5::OfFile(disk);
    test::ScriptedPrompter prompter;
    app::AppContext ctx(prompter);
    ctx.source.BytesPerSector = 512;
    ctx.devices.SetDisk(0, {disk.string()});
    partition::WalkNotes notes;
    EXPECT_EQ(partition::WalkPartitions(ctx, nullptr, 0, 0, false, &notes), 1);
    const auto& table = ctx.partitions[0];
    ASSERT_EQ(table.Count, 4);
    for (int i = 0; i < table.Count; ++i) {
        EXPECT_LT(table.Entries[i].Start, sectors);
        EXPECT_LE(table.Entries[i].End, sectors);
    }
    EXPECT_EQ(table.FileSystem[1], "FAT32");
    EXPECT_EQ(table.Entries[1].Start, 34816u);
    EXPECT_EQ(table.Entries[1].End, sectors) << "cut at the end of the disk";
    EXPECT_EQ(table.Entries[0].End, 2048u + 32768u) << "entries inside the disk stay as they are";
    EXPECT_EQ(notes.beyondDisk, 1);
    EXPECT_EQ(notes.clippedToDisk, 1);
    EXPECT_EQ(test::Md5::OfFile(disk), md5);
}

}  // namespace
}  // namespace dravik::saving
