// The NTFS decoders against real volumes made by mkntfs and ntfs-3g: every
// record the manifest names decodes to its name, parent, size and times, and
// every live file's data read through its runs has the manifest's md5.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "analysis/ntfs_boot.h"
#include "analysis/ntfs_record.h"
#include "analysis/ntfs_runs.h"
#include "app/app_context.h"
#include "platform/text.h"
#include "support/manifest.h"
#include "support/md5.h"
#include "support/scripted_prompter.h"
#include "support/test_images.h"

namespace dravik::analysis::ntfs {
namespace {

class NtfsImageTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const auto image = test::ImagePath(GetParam() + ".img");
        ASSERT_TRUE(std::filesystem::exists(image)) << image;
        rows_ = test::ReadManifest(test::ManifestPath(GetParam() + ".manifest.tsv"));
        ctx_.devices.SetDisk(0, {image.string()});
        ctx_.source.SelectPhysicalDisk(0);
        std::vector<std::uint8_t> boot(512);
        ASSERT_NE(ctx_.reader.Read(0, 1, boot), 0);
        auto b = DecodeBootSector(boot);
        ASSERT_TRUE(b);
        volume_.reader = &ctx_.reader;
        volume_.sectorsPerCluster = b->sectorsPerCluster;
        volume_.sectorsPerRecord = b->sectorsPerRecord;
        volume_.mftRuns = BuildMftRuns(volume_, b->mftLcn * b->sectorsPerCluster);
        ASSERT_FALSE(volume_.mftRuns.empty());
    }

    std::vector<std::uint8_t> Record(std::uint32_t number) {
        const auto sector = SectorOfRecord(volume_.mftRuns, number, volume_.sectorsPerRecord);
        if (sector == 0) return {};
        auto bytes = ReadRecordAt(volume_, sector);
        return bytes;
    }

    std::vector<std::uint8_t> ReadRuns(const RunList& runs, std::uint64_t size) {
        std::vector<std::uint8_t> data;
        const std::uint32_t bps = ctx_.reader.SectorSize();
        for (const auto& run : runs) {
            for (std::uint64_t done = 0; done < run.length && data.size() < size;) {
                const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(run.length - done, 2048));
                std::vector<std::uint8_t> chunk(std::size_t(n) * bps, 0);
                if (!run.sparse) ctx_.reader.Read(run.start + done, n, chunk);
                data.insert(data.end(), chunk.begin(), chunk.end());
                done += n;
            }
        }
        data.resize(std::min<std::uint64_t>(data.size(), size));
        return data;
    }

    test::ScriptedPrompter prompter_;
    app::AppContext ctx_{prompter_};
    NtfsVolume volume_;
    std::vector<test::ManifestRow> rows_;
};

TEST_P(NtfsImageTest, EveryRecordDecodesToItsManifestRow) {
    int checked = 0, lostNames = 0;
    for (const auto& row : rows_) {
        if ((!row.IsFile() && !row.IsDir()) || row.state == "reused") continue;
        SCOPED_TRACE(row.path + " record " + std::to_string(row.record));
        auto rec = Record(row.record);
        ASSERT_TRUE(IsFileRecord(rec));
        auto info = ReadRecordName(volume_, rec);  // fixes the record up
        const std::uint8_t flags = RecordFlags(rec);
        EXPECT_EQ((flags & 1) != 0, row.state == "live");
        EXPECT_EQ((flags & 2) != 0, row.IsDir());
        if (row.attrlist && row.state == "deleted" && info.name.empty()) {
            // Deleting such a record empties the extension record that held
            // its name; only the flags and times of the base remain.
            ++lostNames;
            continue;
        }
        EXPECT_EQ(platform::Utf16ToUtf8(info.name), row.Name());
        EXPECT_EQ(info.parent, row.parent);
        EXPECT_EQ(info.times.created, row.crtime);
        EXPECT_EQ(info.times.modified, row.mtime);
        EXPECT_EQ(info.times.accessed, row.atime);
        if (row.IsFile()) {
            // The size is in the first record that holds the unnamed $DATA.
            const std::size_t bound = std::size_t(volume_.sectorsPerRecord) * ctx_.reader.SectorSize();
            std::uint64_t size = 0;
            if (FindDataAttribute(rec).kind != DataKind::None) {
                size = ReadDataSize(rec, bound);
            } else {
                for (std::uint32_t n : ReadAttributeListNumbers(rec, bound)) {
                    auto ext = Record(n);
                    ApplyFixups(ext);
                    if (FindDataAttribute(ext).kind != DataKind::None) {
                        size = ReadDataSize(ext, bound);
                        break;
                    }
                }
            }
            EXPECT_EQ(size, row.size);
        }
        ++checked;
    }
    EXPECT_GT(checked, 20);
    EXPECT_LE(lostNames, 2);
}

TEST_P(NtfsImageTest, LiveFilesReadBackByteExact) {
    int resident = 0, fragmented = 0, withList = 0;
    for (const auto& row : rows_) {
        if (!row.IsFile() || row.state != "live") continue;
        SCOPED_TRACE(row.path);
        const auto sector = SectorOfRecord(volume_.mftRuns, row.record, volume_.sectorsPerRecord);
        auto rec = ReadRecordAt(volume_, sector);
        ApplyFixups(rec);
        const auto data = FindDataAttribute(rec);
        std::vector<std::uint8_t> bytes;
        if (data.kind == DataKind::Resident) {
            const std::size_t off = data.offset + platform::U16(rec, data.offset + 0x14);
            const std::size_t len = platform::U32(rec, data.offset + 0x10);
            ASSERT_LE(off + len, rec.size());
            bytes.assign(rec.begin() + off, rec.begin() + off + len);
            ++resident;
        } else {
            const auto runs = CollectFileRuns(volume_, sector);
            bytes = ReadRuns(runs, row.size);
            const auto real = std::count_if(runs.begin(), runs.end(), [](const DataRun& r) { return !r.sparse; });
            if (!row.fragments.empty() && row.fragments != "-") {
                EXPECT_EQ(std::to_string(real), row.fragments);
            }
            if (real > 1) ++fragmented;
        }
        if (row.attrlist) ++withList;
        EXPECT_EQ(bytes.size(), row.size);
        EXPECT_EQ(test::Md5::Of(bytes), row.md5);
    }
    EXPECT_GT(resident, 0);
    EXPECT_GT(fragmented, 0);
    EXPECT_GT(withList, 0) << "the image must hold a file whose runs spill into an extension record";
}

// Volumes whose manifests describe the records as they are on disk (the
// formatted image's manifest describes what was there before the format).
std::vector<std::string> NtfsImages() { return {"ntfs-basic", "ntfs-small-clusters"}; }

INSTANTIATE_TEST_SUITE_P(Images, NtfsImageTest, ::testing::ValuesIn(NtfsImages()),
                         [](const auto& info) {
                             std::string n = info.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(NtfsImageTest);

}  // namespace
}  // namespace dravik::analysis::ntfs
