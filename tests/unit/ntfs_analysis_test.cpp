// Deleted-data analysis of real NTFS volumes: every item of the manifests is
// found with its name, state, size and time, under its parent or under
// "Lost" when the parent is gone.
#include <gtest/gtest.h>

#include "analysis/item_records.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"

namespace dravik::analysis {
namespace {

using test::AnalysisHarness;

class NtfsDeletedModeTest : public ::testing::TestWithParam<std::string> {};

TEST_P(NtfsDeletedModeTest, FindsEveryManifestItem) {
    AnalysisHarness h;
    h.Select(test::ImagePath(GetParam() + ".img"), "NTFS");
    ASSERT_EQ(h.Run(RecoveryMode::Deleted), AnalysisOutcome::Finished);
    ASSERT_TRUE(h.geometryRead);
    EXPECT_TRUE(h.prompter.messages.empty()) << "no switch to the signature scan";
    auto& folders = h.ctx.items.folders;
    EXPECT_EQ(folders.FindFolder(kNtfsRoot, 0), nullptr) << "the root is never stored";
    const FolderItem* lost = folders.FindFolder(kLostFolder, 0);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->parent, kNtfsRoot);

    const auto files = h.FilesByNumber();
    const auto rows = test::ReadManifest(test::ManifestPath(GetParam() + ".manifest.tsv"));
    int found = 0, inLost = 0;
    for (const auto& row : rows) {
        if (row.state == "reused") continue;
        SCOPED_TRACE(row.path + " record " + std::to_string(row.record));
        if (row.kind == "stream") {
            // A file's stream is an item of its own, with the file's record.
            auto it = files.find(row.record);
            ASSERT_NE(it, files.end());
            const bool listed = std::any_of(it->second.begin(), it->second.end(), [&](const FileItem* f) {
                return AnalysisHarness::Name(*f) == row.Name() && f->size == row.size &&
                       f->deleted == (row.state == "deleted" ? kYes : kNo);
            });
            EXPECT_TRUE(listed);
            continue;
        }
        if (!row.IsFile() && !row.IsDir()) continue;
        const bool parentKnown = row.parent == kNtfsRoot || folders.FindFolder(row.parent, 0) != nullptr;
        const std::uint32_t wantParent = parentKnown ? row.parent : kLostFolder;
        if (!parentKnown) ++inLost;
        if (row.IsDir()) {
            const FolderItem* f = folders.FindFolder(row.record, 0);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(AnalysisHarness::Name(*f), row.Name());
            EXPECT_EQ(f->deleted, row.state == "deleted" ? kYes : kNo);
            EXPECT_EQ(f->modified, row.mtime);
            EXPECT_EQ(f->parent, wantParent);
        } else {
            auto it = files.find(row.record);
            ASSERT_NE(it, files.end());
            std::vector<const FileItem*> own;  // without the record's streams
            for (const FileItem* item : it->second)
                if (AnalysisHarness::Name(*item).find(':') == std::string::npos) own.push_back(item);
            ASSERT_EQ(own.size(), 1u);
            const FileItem& f = *own[0];
            EXPECT_EQ(AnalysisHarness::Name(f), row.Name());
            EXPECT_EQ(f.deleted, row.state == "deleted" ? kYes : kNo);
            EXPECT_EQ(f.size, row.size);
            EXPECT_EQ(f.modified, row.mtime);
            EXPECT_EQ(f.parent, wantParent);
        }
        ++found;
    }
    EXPECT_GT(found, 1000);
    // The files of the folder whose record was reused have nowhere else to go.
    EXPECT_GE(inLost, 3);
}

INSTANTIATE_TEST_SUITE_P(Images, NtfsDeletedModeTest, ::testing::Values("ntfs-basic", "ntfs-small-clusters"),
                         [](const auto& info) {
                             std::string n = info.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

}  // namespace
}  // namespace dravik::analysis
