// Saving end to end on the real images: analyse, check, save, and compare
// what lands in the destination with the manifests recorded before anything
// was deleted.
#include "saving/copy_engine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "results/results_view.h"
#include "saving/destination.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"
#include "support/md5.h"

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;

std::string Md5OfFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return test::Md5::Of(bytes);
}

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

// Analyses `image` in deleted mode, checks the root and saves everything.
std::unique_ptr<Saved> SaveAll(const std::string& image, const std::string& label) {
    auto s = std::make_unique<Saved>();
    s->h = std::make_unique<test::AnalysisHarness>();
    s->h->Select(test::ImagePath(image + ".img"), label);
    EXPECT_EQ(s->h->Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    auto& ctx = s->h->ctx;
    s->view = std::make_unique<results::ResultsView>(ctx);
    s->view->Open();
    s->view->ToggleNode(s->view->Tree().Root());
    ctx.saveRun.ResetForDestination();
    EXPECT_TRUE(CheckDestination(ctx, s->dest.path().string()));
    app::WorkerControl control;
    CalculateDataSize(ctx, s->view->Tree(), control);
    ctx.saveRun.ResetForProgress();
    CopyEngine engine(ctx, control);
    s->outcome = engine.RunSave(s->view->Tree());
    return s;
}

TEST(SaveNtfs, EveryLiveFileIsWrittenByteExactWithItsTime) {
    auto s = SaveAll("ntfs-basic", "NTFS");
    int live = 0, deletedExact = 0, deleted = 0;
    for (const auto& row : test::ReadManifest(test::ManifestPath("ntfs-basic.manifest.tsv"))) {
        if (!row.IsFile()) continue;
        const fs::path path = s->dest.path() / row.path;
        if (row.state == "live") {
            ++live;
            SCOPED_TRACE(row.path);
            ASSERT_TRUE(fs::exists(path));
            EXPECT_EQ(fs::file_size(path), row.size);
            EXPECT_EQ(Md5OfFile(path), row.md5);
            struct stat st {};
            ::stat(path.c_str(), &st);
            const std::uint64_t ft = (std::uint64_t(st.st_mtim.tv_sec) * 10'000'000ull + st.st_mtim.tv_nsec / 100) +
                                     116444736000000000ull;
            EXPECT_EQ(ft, row.mtime);
        } else if (row.state == "deleted") {
            ++deleted;
            if (fs::exists(path) && Md5OfFile(path) == row.md5) ++deletedExact;
        }
    }
    std::printf("ntfs-basic: %d live files exact; %d of %d deleted files byte-exact at their path\n", live,
                deletedExact, deleted);
    EXPECT_GT(live, 1000);
    EXPECT_EQ(s->outcome, SaveOutcome::Completed);
    EXPECT_EQ(s->h->prompter.messages.back(), text::kCompleted);
}

}  // namespace
}  // namespace dravik::saving
