// The signature scan on small volumes built record by record: which FILE
// records it takes and how it reads them.
#include "analysis/signature_scan.h"

#include <gtest/gtest.h>

#include "analysis/ntfs_record.h"
#include "support/analysis_harness.h"
#include "support/ntfs_builder.h"

namespace dravik::analysis {
namespace {

using test::FileNameValue;
using test::RecordBuilder;
using test::StandardInformationValue;

std::vector<std::uint8_t> Record(std::uint16_t flags, std::u16string name, std::uint32_t parent) {
    RecordBuilder b(flags);
    b.AddResident(ntfs::attr::kStandardInformation, StandardInformationValue(1, 2, 3));
    b.AddResident(ntfs::attr::kFileName, FileNameValue(parent, name, 1));
    b.AddResident(ntfs::attr::kData, std::vector<std::uint8_t>(10, 'x'));
    return b.Finish();
}

class ScanOfBuiltVolume : public ::testing::Test {
protected:
    std::vector<std::uint8_t> volume = std::vector<std::uint8_t>(64 * 512, 0);
    void Put(std::size_t sector, const std::vector<std::uint8_t>& bytes) {
        const std::size_t n = std::min(bytes.size(), volume.size() - sector * 512);
        std::copy(bytes.begin(), bytes.begin() + n, volume.begin() + sector * 512);
    }
    std::unique_ptr<test::AnalysisHarness> Scan() {
        auto bytes = volume;
        auto h = std::make_unique<test::AnalysisHarness>([bytes](const platform::DeviceBacking&) {
            return std::make_unique<source::MemoryDevice>(bytes);
        });
        h->ctx.devices.SetDisk(0, {"memory"});
        h->ctx.source.SelectPhysicalDisk(0);
        h->ctx.source.EndSector = volume.size() / 512;
        h->ctx.analysis.partitionEnd = volume.size() / 512;
        h->ctx.analysis.geometry.fileSystem = "NTFS";
        h->ctx.analysis.geometry.sectorsPerRecord = 2;
        h->ctx.analysis.settings.mode = RecoveryMode::Formatted;
        EXPECT_EQ(RunSignatureScan(h->env), AnalysisOutcome::Finished);
        return h;
    }
};

TEST_F(ScanOfBuiltVolume, TakesWholeRecordsAndNumbersMetafiles) {
    Put(10, Record(1, u"$MFT", 5));
    Put(12, Record(5, u"odd flags.txt", 5));
    auto torn = Record(1, u"torn.txt", 5);
    torn[1022] ^= 0xFF;  // the second block's tail disagrees with the first's
    Put(14, torn);
    Put(16, Record(0, u"deleted.txt", 5));
    Put(63, Record(1, u"crosses the end.txt", 5));  // only its first half is in the range
    auto h = Scan();
    std::map<std::string, const FileItem*> files;
    for (const auto& f : h->ctx.items.files) files[test::AnalysisHarness::Name(f)] = &f;
    ASSERT_TRUE(files.count("$MFT"));
    EXPECT_EQ(files["$MFT"]->number, 1u);
    EXPECT_EQ(files["$MFT"]->sector, 10u);
    ASSERT_TRUE(files.count("odd flags.txt"));
    EXPECT_EQ(files["odd flags.txt"]->deleted, kNo) << "any flags but 0 are an in-use file";
    EXPECT_EQ(files["deleted.txt"]->deleted, kYes);
    EXPECT_EQ(files["deleted.txt"]->size, 10u);
    EXPECT_FALSE(files.count("torn.txt"));
    EXPECT_EQ(MetafileNumber(u"$MFTMirr"), 1u);
    EXPECT_EQ(MetafileNumber(u"$UpCase"), 10u);
    EXPECT_EQ(MetafileNumber(u"$mft"), 0u) << "names compare exactly";
}

TEST_F(ScanOfBuiltVolume, UnknownFolderNumbersFollowTheirPredecessor) {
    Put(20, Record(1, u"a.txt", 5));
    Put(22, Record(3, u"dir", 5));
    Put(30, Record(1, u"far.txt", 5));
    auto h = Scan();
    const auto& folders = h->ctx.items.folders;
    const FolderItem* dir = nullptr;
    for (const auto& f : folders)
        if (test::AnalysisHarness::Name(f) == "dir") dir = &f;
    ASSERT_NE(dir, nullptr);
    std::map<std::string, std::uint32_t> numbers;
    for (const auto& f : h->ctx.items.files) numbers[test::AnalysisHarness::Name(f)] = f.number;
    // Records are two sectors apart: the folder two sectors after a.txt is
    // the next record, the file eight sectors on four records further.
    EXPECT_EQ(dir->number, numbers["a.txt"] + 1);
    EXPECT_EQ(numbers["far.txt"], dir->number + 4);
}

}  // namespace
}  // namespace dravik::analysis
