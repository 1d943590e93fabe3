// Saving end to end on the real images: analyse, check, save, and compare
// what lands in the destination with the manifests recorded before anything
// was deleted.
#include "saving/copy_engine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>

#include "results/item_text.h"
#include "results/results_view.h"
#include "saving/destination.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"
#include "support/md5.h"
#include "support/ntfs_builder.h"

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() / ("dravik-save-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    static inline int next_ = 0;
    fs::path path_;
};

struct Saved {
    std::unique_ptr<test::AnalysisHarness> h;
    std::unique_ptr<results::ResultsView> view;
    TempDir dest;
    SaveOutcome outcome{};
};

// Analyses `image` in deleted mode and checks the root.
std::unique_ptr<Saved> Analysed(const std::string& image, const std::string& label,
                                source::DeviceOpenFn open = source::OpenPosixDevice) {
    auto s = std::make_unique<Saved>();
    s->h = std::make_unique<test::AnalysisHarness>(std::move(open));
    s->h->Select(test::ImagePath(image + ".img"), label);
    EXPECT_EQ(s->h->Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    s->view = std::make_unique<results::ResultsView>(s->h->ctx);
    s->view->Open();
    s->view->ToggleNode(s->view->Tree().Root());
    return s;
}

// The destination check, the size walk and the run, as the dialogs chain them.
void Save(Saved& s, const fs::path& destination) {
    auto& ctx = s.h->ctx;
    ctx.saveRun.ResetForDestination();
    ASSERT_TRUE(CheckDestination(ctx, destination.string()));
    base::WorkerControl control;
    CalculateDataSize(ctx, s.view->Tree(), control);
    ctx.saveRun.ResetForProgress();
    CopyEngine engine(ctx, control);
    s.outcome = engine.RunSave(s.view->Tree());
}

std::unique_ptr<Saved> SaveAll(const std::string& image, const std::string& label,
                               source::DeviceOpenFn open = source::OpenPosixDevice) {
    auto s = Analysed(image, label, std::move(open));
    Save(*s, s->dest.path());
    return s;
}

TEST(SaveNtfs, EveryLiveFileIsWrittenByteExactWithItsTime) {
    auto s = SaveAll("ntfs-basic", "NTFS");
    int live = 0, deletedExact = 0, deleted = 0, inLost = 0;
    for (const auto& row : test::ReadManifest(test::ManifestPath("ntfs-basic.manifest.tsv"))) {
        if (!row.IsFile()) continue;
        const fs::path path = s->dest.path() / row.path;
        if (row.state == "live") {
            ++live;
            SCOPED_TRACE(row.path);
            ASSERT_TRUE(fs::exists(path));
            EXPECT_EQ(fs::file_size(path), row.size);
            EXPECT_EQ(test::Md5::OfFile(path), row.md5);
            struct stat st {};
            ::stat(path.c_str(), &st);
            const std::uint64_t ft = (std::uint64_t(st.st_mtim.tv_sec) * 10'000'000ull + st.st_mtim.tv_nsec / 100) +
                                     116444736000000000ull;
            EXPECT_EQ(ft, row.mtime);
        } else if (row.state == "deleted") {
            ++deleted;
            // The files of a folder whose record a new file took are saved
            // into "Lost".
            const fs::path lost = s->dest.path() / "Lost" / row.Name();
            if (fs::exists(path) && test::Md5::OfFile(path) == row.md5) ++deletedExact;
            else if (fs::exists(lost) && test::Md5::OfFile(lost) == row.md5) ++inLost;
        }
    }
    std::printf("ntfs-basic: %d live files exact; %d of %d deleted files byte-exact at their path, %d in Lost\n",
                live, deletedExact, deleted, inLost);
    EXPECT_EQ(deletedExact + inLost, deleted);
    EXPECT_EQ(inLost, 3);
    EXPECT_GT(live, 1000);
    EXPECT_EQ(s->outcome, SaveOutcome::Completed);
    EXPECT_EQ(s->h->prompter.messages.back(), text::kCompleted);
}

// The DOS date and time words of a written file's last-write time, read as
// local time as FAT keeps it.
std::uint32_t DosWords(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    std::tm tm{};
    localtime_r(&st.st_mtim.tv_sec, &tm);
    const std::uint32_t date = ((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday;
    const std::uint32_t time = (tm.tm_hour << 11) | (tm.tm_min << 5);
    return (date << 16) | time;
}

class SaveFat : public ::testing::TestWithParam<std::string> {};

// Where a manifest row lands: a deleted 8.3-only name (file or folder on
// the way) has lost its first character to the deletion mark.
fs::path SavedPath(const fs::path& dest, const std::map<std::string, test::ManifestRow>& rows,
                   const std::map<std::string, std::string>& shortNames, const std::string& path) {
    auto upper = [](std::string t) {
        for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return t;
    };
    fs::path out = dest;
    std::string prefix;
    for (const auto& part : fs::path(path)) {
        prefix = prefix.empty() ? part.string() : prefix + "/" + part.string();
        std::string name = part.string();
        const auto& row = rows.at(prefix);
        // Only names whose base and extension are each in one case can be
        // 8.3 names without a long name.
        auto uniform = [&](const std::string& t) {
            return t == upper(t) || std::none_of(t.begin(), t.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        };
        const auto dot = name.rfind('.');
        const bool eightThree = upper(name) == shortNames.at(prefix) && uniform(name.substr(0, dot)) &&
                                (dot == std::string::npos || uniform(name.substr(dot + 1)));
        if (row.state != "live" && eightThree) name[0] = '_';
        out /= name;
    }
    return out;
}

TEST_P(SaveFat, EveryFileWhoseClustersSurviveIsWrittenByteExact) {
    const std::string image = GetParam();
    auto s = SaveAll(image, image == "fat32" ? "FAT32" : image == "fat16" ? "FAT16" : "FAT12");
    const auto manifest = test::ManifestPath(image + ".manifest.tsv");
    std::map<std::string, test::ManifestRow> rows;
    for (auto& row : test::ReadManifest(manifest)) rows[row.path] = row;
    std::map<std::string, std::string> shortNames;
    {
        std::ifstream in(manifest);
        std::string line;
        while (std::getline(in, line)) shortNames[line.substr(0, line.find('\t'))] = line.substr(line.rfind('\t') + 1);
    }
    int live = 0, deletedExact = 0, deleted = 0;
    for (const auto& [path, row] : rows) {
        if (!row.IsFile() || (row.state != "live" && row.state != "deleted")) continue;
        SCOPED_TRACE(path);
        const fs::path saved = SavedPath(s->dest.path(), rows, shortNames, path);
        if (row.state == "live") {
            ++live;
            ASSERT_TRUE(fs::exists(saved));
            EXPECT_EQ(test::Md5::OfFile(saved), row.md5);
            // The two-second part of the DOS time is not restored.
            EXPECT_EQ(DosWords(saved), row.mtime & ~0x1Fu);
        } else if (row.size > 0) {
            // Deleted, fragmented ones too: their clusters were freed and
            // nothing was written over them.
            ++deleted;
            const bool exact = fs::exists(saved) && test::Md5::OfFile(saved) == row.md5;
            deletedExact += exact;
        }
    }
    std::printf("%s: %d live files exact; %d of %d deleted non-empty files byte-exact at their path\n",
                image.c_str(), live, deletedExact, deleted);
    EXPECT_GT(live, 40);
    EXPECT_EQ(deletedExact, deleted);
    EXPECT_EQ(s->outcome, SaveOutcome::Completed);
}

INSTANTIATE_TEST_SUITE_P(Images, SaveFat, ::testing::Values("fat12", "fat16", "fat32"));

// The first FAT of a fragmented file points wrong; the second still holds
// its chain.
TEST(SaveFatChains, ABrokenFirstFatChainIsTakenFromTheSecond) {
    // fat16: FAT 1 at sector 4, 64 sectors per FAT; "split in pieces.dat"
    // starts at cluster 542 (4 runs).
    std::ifstream in(test::ImagePath("fat16.img"), std::ios::binary);
    std::vector<std::uint8_t> sector(512);
    in.seekg((4 + 542 * 2 / 512) * 512);
    in.read(reinterpret_cast<char*>(sector.data()), 512);
    test::Put(sector, 542 * 2 % 512, 0xFFFF, 2);  // ends the chain after one cluster
    auto s = SaveAll("fat16", "FAT16", test::Patched({{4 + 542 * 2 / 512, sector}}));
    const auto path = s->dest.path() / "Fragmented" / "split in pieces.dat";
    for (const auto& row : test::ReadManifest(test::ManifestPath("fat16.manifest.tsv")))
        if (row.path == "Fragmented/split in pieces.dat") {
            EXPECT_EQ(test::Md5::OfFile(path), row.md5);
        }
}

// Only what the saving settings let through is written.
TEST(SaveFilters, DeletedOnlyExtensionsAndDates) {
    auto s = Analysed("fat16", "FAT16");
    auto& ctx = s->h->ctx;
    test::ScriptedPrompter quiet;
    {
        SavingSettingsEditor editor(ctx.savingSettings, quiet);
        editor.SetMode(DeletedMode::Only);
        editor.AddExtension(u"txt");
        editor.Apply();
    }
    Save(*s, s->dest.path());
    std::set<std::string> want, got;
    for (const auto& row : test::ReadManifest(test::ManifestPath("fat16.manifest.tsv"))) {
        std::string name = row.Name();
        if (row.IsFile() && row.state != "live" && (name.ends_with(".txt") || name.ends_with(".TXT"))) want.insert(name.substr(1));
    }
    for (const auto& e : fs::recursive_directory_iterator(s->dest.path()))
        if (e.is_regular_file()) got.insert(e.path().filename().string().substr(1));
    EXPECT_EQ(got, want) << "deleted .txt files only (first letters aside: 8.3 names lose them)";
    EXPECT_EQ(s->outcome, SaveOutcome::Completed) << "filtered files are neither counted nor written";
}

// One file for a preview, and a save ended by Stop.
TEST(SaveControl, PreviewExtractionAndStop) {
    auto s = Analysed("ntfs-basic", "NTFS");
    auto& ctx = s->h->ctx;
    const analysis::FileItem* big = nullptr;
    for (const auto& f : ctx.items.files)
        if (results::DisplayName(f) == "frag large.bin") big = &f;
    ASSERT_NE(big, nullptr);
    base::WorkerControl control;
    CopyEngine engine(ctx, control);
    const fs::path target = s->dest.path() / "preview.bin";
    int last = -1;
    ASSERT_TRUE(engine.ExtractFile(*big, target, nullptr, [&](int p) { last = p; }));
    EXPECT_EQ(last, 100);
    for (const auto& row : test::ReadManifest(test::ManifestPath("ntfs-basic.manifest.tsv")))
        if (row.path == "Fragmented/frag large.bin") {
            EXPECT_EQ(test::Md5::OfFile(target), row.md5);
        }
    base::WorkerControl stop;
    stop.RequestStop();
    EXPECT_FALSE(engine.ExtractFile(*big, s->dest.path() / "stopped.bin", &stop, {}));
    EXPECT_LT(fs::file_size(s->dest.path() / "stopped.bin"), big->size);
    // Ended (Back, the pane going away): it stops between pieces as well.
    base::WorkerControl ended;
    ended.Terminate();
    EXPECT_FALSE(engine.ExtractFile(*big, s->dest.path() / "ended.bin", &ended, {}));
    EXPECT_LT(fs::file_size(s->dest.path() / "ended.bin"), big->size);
    // A stop request of the save run's control is a Skip, no concern of a
    // preview that has a control of its own.
    base::WorkerControl own;
    control.RequestStop();
    EXPECT_TRUE(engine.ExtractFile(*big, s->dest.path() / "whole.bin", &own, {}));
    EXPECT_EQ(fs::file_size(s->dest.path() / "whole.bin"), big->size);
    control.ClearStop();

    // Stop: the front end has asked and said "Saving aborted."; the run ends
    // between two chunks without its closing message.
    ctx.saveRun.ResetForDestination();
    ASSERT_TRUE(CheckDestination(ctx, (s->dest.path() / "run").string()));
    CalculateDataSize(ctx, s->view->Tree(), control);
    const auto messages = s->h->prompter.messages.size();
    control.Terminate();
    EXPECT_EQ(CopyEngine(ctx, control).RunSave(s->view->Tree()), SaveOutcome::Aborted);
    EXPECT_EQ(s->h->prompter.messages.size(), messages);
    EXPECT_LT(ctx.saveRun.bytesWritten.load(), ctx.saveRun.selectedBytes);
}

}  // namespace
}  // namespace dravik::saving
