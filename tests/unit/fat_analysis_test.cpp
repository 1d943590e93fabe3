// FAT analyses of real volumes made with mkfs.fat and mtools: the directory
// walk lists every entry of the manifests, live and deleted, with its name,
// size, time and parent; the directory-cluster scan finds the old folders of
// a reformatted volume.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "analysis/analysis_texts.h"
#include "analysis/fat_analysis.h"
#include "analysis/item_records.h"
#include "results/item_text.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"

namespace dravik::analysis {
namespace {

using test::AnalysisHarness;

// The manifests keep FAT times as (date << 16) | time; items keep the date
// in the low half and the time in the high half.
std::uint64_t ManifestTime(std::uint64_t item) { return ((item & 0xFFFF) << 16) | (item >> 32); }

struct FatImage {
    std::string name;
    std::string label;  // what the volume's boot sector is read as
};

std::string ShortNameOf(const std::filesystem::path& manifest, const std::string& path) {
    // The shortname column: read it through the raw file.
    std::ifstream in(manifest);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(path + "\t", 0) == 0) return line.substr(line.rfind('\t') + 1);
    }
    return {};
}

class FatDeletedModeTest : public ::testing::TestWithParam<FatImage> {};

TEST_P(FatDeletedModeTest, ListsEveryManifestEntry) {
    const auto& img = GetParam();
    AnalysisHarness h;
    h.Select(test::ImagePath(img.name + ".img"), img.label);
    ASSERT_EQ(h.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    ASSERT_TRUE(h.geometryRead);
    EXPECT_TRUE(h.prompter.messages.empty());

    std::map<std::pair<std::uint32_t, std::string>, const FileItem*> files;
    for (const auto& f : h.ctx.items.files) files[{f.parent, AnalysisHarness::Name(f)}] = &f;
    const auto manifest = test::ManifestPath(img.name + ".manifest.tsv");
    int checked = 0;
    for (const auto& row : test::ReadManifest(manifest)) {
        if (!row.IsFile() && !row.IsDir()) continue;
        SCOPED_TRACE(row.path + " (" + row.state + ")");
        const bool deleted = row.state != "live";
        std::string want = row.Name();
        const std::string shortName = ShortNameOf(manifest, row.path);
        auto upper = [](std::string t) {
            for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return t;
        };
        // An 8.3 name whose base and extension are each all upper or all
        // lower case needs no long name; a deleted one loses its first byte.
        auto uniform = [&](const std::string& part) {
            return part == upper(part) || std::none_of(part.begin(), part.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        };
        const auto dot = want.rfind('.');
        const bool eightThree = upper(want) == shortName && uniform(want.substr(0, dot)) &&
                                (dot == std::string::npos || uniform(want.substr(dot + 1)));
        if (deleted && eightThree) want[0] = '_';
        if (row.IsDir()) {
            const FolderItem* f = h.ctx.items.folders.FindFolder(row.record, 0);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(AnalysisHarness::Name(*f), want);
            EXPECT_EQ(f->parent, row.parent);
            EXPECT_EQ(f->deleted, deleted ? kYes : kNo);
            EXPECT_EQ(ManifestTime(f->modified), row.mtime);
        } else {
            auto it = files.find({row.parent, want});
            ASSERT_NE(it, files.end());
            const FileItem& f = *it->second;
            EXPECT_EQ(f.number, row.record);
            EXPECT_EQ(f.size, row.size);
            EXPECT_EQ(f.deleted, deleted ? kYes : kNo);
            EXPECT_EQ(ManifestTime(f.modified), row.mtime);
            EXPECT_EQ(ManifestTime(f.created), row.crtime);
        }
        ++checked;
    }
    EXPECT_GT(checked, 50);
}

INSTANTIATE_TEST_SUITE_P(Images, FatDeletedModeTest,
                         ::testing::Values(FatImage{"fat12", "FAT12"}, FatImage{"fat16", "FAT16"},
                                           FatImage{"fat32", "FAT32"}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace dravik::analysis

namespace dravik::analysis {
namespace {

// A FAT32 volume formatted again over its old content: the new FATs and root
// know nothing of the old tree, but its directory clusters are all there.
TEST(FatFormatted, DirectoryScanFindsTheOldFoldersAndTheirFiles) {
    AnalysisHarness h;
    h.Select(test::ImagePath("fat32-formatted.img"), "FAT32");
    ASSERT_EQ(h.Run(RecoveryMode::Formatted), AnalysisOutcome::Finished);
    EXPECT_EQ(h.sink.steps.front(), text::kFatStepFolders);
    const auto& folders = h.ctx.items.folders;
    ASSERT_NE(folders.FindFolder(kLostFolder, 0), nullptr);
    std::map<std::pair<std::uint32_t, std::string>, const FileItem*> files;
    for (const auto& f : h.ctx.items.files) files[{f.parent, AnalysisHarness::Name(f)}] = &f;

    // What the new volume wrote covers some old clusters (it allocates
    // from the start of the fresh FAT, one 512-byte cluster at a time).
    std::set<std::uint32_t> overwritten;
    for (const auto& row : test::ReadManifest(test::ManifestPath("fat32-formatted.new.manifest.tsv"))) {
        const std::uint64_t clusters = row.IsDir() ? 1 : (row.size + 511) / 512;
        for (std::uint64_t c = 0; c < clusters; ++c) overwritten.insert(static_cast<std::uint32_t>(row.record + c));
    }
    const auto rows = test::ReadManifest(test::ManifestPath("fat32-formatted.manifest.tsv"));
    auto survives = [&](std::uint32_t cluster) { return cluster != 0 && !overwritten.count(cluster); };

    // Directories in one run of clusters can be read whole; of a fragmented
    // one only the first cluster is known once the FAT is gone.
    std::set<std::uint32_t> oneRun;
    for (const auto& row : rows)
        if (row.IsDir() && row.fragments == "1") oneRun.insert(row.record);
    int dirs = 0, namedDirs = 0, oldFiles = 0, foundFiles = 0, readable = 0, foundReadable = 0;
    for (const auto& row : rows) {
        if (row.state != "live") continue;
        SCOPED_TRACE(row.path);
        if (row.IsDir() && survives(row.record)) {
            ++dirs;
            const FolderItem* f = folders.FindFolder(row.record, 0);
            ASSERT_NE(f, nullptr) << "every old directory cluster is found";
            if (survives(row.parent)) {
                // Its entry in the old parent names it.
                EXPECT_EQ(AnalysisHarness::Name(*f), row.Name());
                EXPECT_EQ(f->parent, row.parent);
                ++namedDirs;
            } else {
                // Only "." and ".." remain: a made-up name, under the root
                // or, when the parent is gone, under "Lost".
                EXPECT_EQ(AnalysisHarness::Name(*f).rfind("Dir", 0), 0u);
                EXPECT_EQ(f->parent, row.parent == 0 ? kFatRoot : kLostFolder);
            }
        } else if (row.IsFile() && survives(row.parent)) {
            ++oldFiles;
            auto it = files.find({row.parent, row.Name()});
            const bool found = it != files.end() && it->second->size == row.size;
            foundFiles += found;
            if (oneRun.count(row.parent)) {
                ++readable;
                foundReadable += found;
                EXPECT_TRUE(found);
            }
        }
    }
    std::printf("reformatted FAT32: %d old folders found (%d under their real names), %d of %d old files below them "
                "(%d of %d in folders of one cluster run)\n",
                dirs, namedDirs, foundFiles, oldFiles, foundReadable, readable);
    EXPECT_GT(readable, 10);
    EXPECT_GT(namedDirs, 5);
}

}  // namespace
}  // namespace dravik::analysis

namespace dravik::analysis {
namespace {

// A live 8.3 name that begins with byte 0xE5 is stored with 0x05 in its
// place; made here by patching README.TXT in a copy of the FAT16 volume.
TEST(FatNames, ALeadingByte05IsReadAsE5) {
    const auto copy = std::filesystem::temp_directory_path() / ("dravik-fat05-" + std::to_string(::getpid()) + ".img");
    std::filesystem::copy_file(test::ImagePath("fat16.img"), copy, std::filesystem::copy_options::overwrite_existing);
    {
        std::fstream f(copy, std::ios::binary | std::ios::in | std::ios::out);
        std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        std::size_t at = bytes.find("README  TXT");
        while (at != std::string::npos && (at % 32 != 0 || bytes[at + 11] == 0x0F)) at = bytes.find("README  TXT", at + 1);
        ASSERT_NE(at, std::string::npos);
        f.seekp(static_cast<std::streamoff>(at));
        f.put('\x05');
    }
    AnalysisHarness h;
    h.Select(copy, "FAT16");
    ASSERT_EQ(h.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    std::filesystem::remove(copy);
    const FileItem* found = nullptr;
    for (const auto& f : h.ctx.items.files)
        if (f.parent == kFatRoot && AnalysisHarness::Name(f) == "\xE5" "EADME.TXT") found = &f;
    ASSERT_NE(found, nullptr) << "listed, not dropped as deleted";
    EXPECT_EQ(found->deleted, kNo);
    EXPECT_EQ(found->size, 700u);
    EXPECT_EQ(results::DisplayName16(*found), u"\u03C3EADME.TXT") << "0xE5 through the volume's code page";
}

// A deleted tree whose folders span many 512-byte clusters, each chain
// freed and its clusters between the data of the folder's files: the walk
// knows only each folder's first cluster.
TEST(FatDeletedTree, FoldersOfManyClustersKeepTheirFiles) {
    AnalysisHarness h;
    h.Select(test::ImagePath("fat-deep.img"), "FAT32");
    ASSERT_EQ(h.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    const auto& folders = h.ctx.items.folders;
    auto sameName = [](std::string got, std::string want) {
        // An 8.3-only deleted name lost its first byte.
        if (got.size() == want.size() && !got.empty() && got[0] == '_') got[0] = want[0];
        return got == want;
    };
    std::multimap<std::uint32_t, const FileItem*> byCluster;
    for (const auto& f : h.ctx.items.files) byCluster.insert({f.number, &f});
    int files = 0, atPath = 0, anywhere = 0, dirs = 0, dirsPlaced = 0;
    for (const auto& row : test::ReadManifest(test::ManifestPath("fat-deep.manifest.tsv"))) {
        if (row.state != "deleted") continue;
        if (row.IsDir()) {
            ++dirs;
            const FolderItem* f = folders.FindFolder(row.record, 0);
            dirsPlaced += f && f->parent == row.parent && f->deleted == kYes;
            continue;
        }
        if (!row.IsFile() || row.record == 0) continue;  // an empty file has no cluster to tell it by
        ++files;
        bool placed = false, seen = false;
        for (auto [it, end] = byCluster.equal_range(row.record); it != end; ++it) {
            const FileItem& f = *it->second;
            if (f.size != row.size || !sameName(AnalysisHarness::Name(f), row.Name())) continue;
            seen = true;
            placed = placed || f.parent == row.parent;
            EXPECT_TRUE(f.parent == row.parent || f.parent == kLostFolder) << row.path << " under " << f.parent;
        }
        atPath += placed;
        anywhere += seen;
    }
    std::printf("deleted tree of many-cluster folders: %d of %d files at their path, %d found (the rest under "
                "\"Lost\"); %d of %d folders in place\n",
                atPath, files, anywhere, dirsPlaced, dirs);
    EXPECT_GT(files, 250);
    EXPECT_EQ(dirsPlaced, dirs);
    EXPECT_GE(anywhere * 100, files * 98) << "directory clusters no entry names are gathered";
    EXPECT_GE(atPath * 100, files * 90) << "a folder's clusters are followed by what they hold";
    if (anywhere > atPath) {
        EXPECT_NE(folders.FindFolder(kLostFolder, 0), nullptr);
    }
}

}  // namespace
}  // namespace dravik::analysis
