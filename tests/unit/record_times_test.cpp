// The times read again from an item's FILE record for timelines: the
// entry-change time and the $FILE_NAME a listing shows, on built records
// (name-space mixes, streams, damage) and on a real volume through the
// sector reader, found by number and by sector.
#include <gtest/gtest.h>

#include <vector>

#include "analysis/ntfs_record.h"
#include "analysis/record_times.h"
#include "support/analysis_harness.h"
#include "support/ntfs_builder.h"

namespace dravik::test {
namespace {

using analysis::DecodeRecordTimes;
using analysis::FourTimes;
using analysis::RecordTimes;
namespace attr = analysis::ntfs::attr;

constexpr std::size_t kInstance = 0x0E;

std::vector<std::uint8_t> StandardValue(const FourTimes& t) {
    std::vector<std::uint8_t> v(0x48, 0);
    Put(v, 0x00, t.created, 8);
    Put(v, 0x08, t.modified, 8);
    Put(v, 0x10, t.changed, 8);
    Put(v, 0x18, t.accessed, 8);
    return v;
}

std::vector<std::uint8_t> NameValue(const std::u16string& name, std::uint8_t space, const FourTimes& t) {
    auto v = FileNameValue(5, name, space);
    Put(v, 0x08, t.created, 8);
    Put(v, 0x10, t.modified, 8);
    Put(v, 0x18, t.changed, 8);
    Put(v, 0x20, t.accessed, 8);
    return v;
}

// Distinct times, so that a value taken from the wrong field shows.
FourTimes Times(std::uint64_t base) { return {base + 1, base + 2, base + 3, base + 4}; }

// A record under construction whose attributes get instance numbers in the
// order they are added, from 1.
struct Record {
    RecordBuilder b;
    std::uint16_t next = 1;
    std::size_t Add(std::uint32_t type, const std::vector<std::uint8_t>& value, const std::u16string& name = u"") {
        const std::size_t at = b.AddResident(type, value, name);
        Put(b.Bytes(), at + kInstance, next++, 2);
        return at;
    }
    RecordTimes Decode(std::u16string_view itemName = u"file", bool folder = false) {
        auto bytes = b.Finish();
        return DecodeRecordTimes(bytes, itemName, folder);
    }
};

TEST(RecordTimesTest, TakesTheFourStandardTimesAndTheFileNameWithItsSizeAndInstance) {
    Record r;
    r.Add(attr::kStandardInformation, StandardValue(Times(1000)));
    const auto name = NameValue(u"report.txt", 1, Times(2000));
    r.Add(attr::kFileName, name);
    r.Add(attr::kData, std::vector<std::uint8_t>(30, 'x'));
    const auto t = r.Decode();
    ASSERT_TRUE(t.standard);
    EXPECT_EQ(*t.standard, Times(1000)) << "the change time is the u64 at 0x10 of the value";
    ASSERT_TRUE(t.fileName);
    EXPECT_EQ(*t.fileName, Times(2000)) << "the $FILE_NAME times start at 0x08 of its value";
    EXPECT_EQ(t.fileNameSize, name.size());
    EXPECT_EQ(t.fileNameId, 2);
    EXPECT_EQ(t.itemType, attr::kData);
    EXPECT_EQ(t.itemId, 3);
    EXPECT_FALSE(t.stream);
}

TEST(RecordTimesTest, OfSeveralNamesTheLastNotOnlyDosIsTaken) {
    {
        SCOPED_TRACE("DOS name first, long name after");
        Record r;
        r.Add(attr::kStandardInformation, StandardValue(Times(1000)));
        r.Add(attr::kFileName, NameValue(u"LONGFI~1.TXT", 2, Times(2000)));
        r.Add(attr::kFileName, NameValue(u"Long file name.txt", 1, Times(3000)));
        const auto t = r.Decode();
        ASSERT_TRUE(t.fileName);
        EXPECT_EQ(*t.fileName, Times(3000));
        EXPECT_EQ(t.fileNameId, 3);
    }
    {
        SCOPED_TRACE("long name first, DOS name after");
        Record r;
        r.Add(attr::kStandardInformation, StandardValue(Times(1000)));
        const auto name = NameValue(u"Long file name.txt", 1, Times(3000));
        r.Add(attr::kFileName, name);
        r.Add(attr::kFileName, NameValue(u"LONGFI~1.TXT", 2, Times(2000)));
        const auto t = r.Decode();
        ASSERT_TRUE(t.fileName);
        EXPECT_EQ(*t.fileName, Times(3000));
        EXPECT_EQ(t.fileNameId, 2);
        EXPECT_EQ(t.fileNameSize, name.size()) << "the size is the long name's value";
    }
    {
        SCOPED_TRACE("two long names (a hard link)");
        Record r;
        r.Add(attr::kFileName, NameValue(u"a.txt", 0, Times(2000)));
        r.Add(attr::kFileName, NameValue(u"second name.txt", 3, Times(3000)));
        const auto t = r.Decode();
        ASSERT_TRUE(t.fileName);
        EXPECT_EQ(*t.fileName, Times(3000));
        EXPECT_FALSE(t.standard);
    }
    {
        SCOPED_TRACE("a DOS name alone");
        Record r;
        r.Add(attr::kFileName, NameValue(u"SHORT.TXT", 2, Times(2000)));
        const auto t = r.Decode();
        ASSERT_TRUE(t.fileName);
        EXPECT_EQ(*t.fileName, Times(2000));
    }
    {
        SCOPED_TRACE("a named $FILE_NAME is no name of the file");
        Record r;
        r.Add(attr::kFileName, NameValue(u"x.txt", 1, Times(2000)), u"odd");
        EXPECT_FALSE(r.Decode().fileName);
    }
}

TEST(RecordTimesTest, AStreamItemNamesItsOwnDataAttributeAndAColonInTheFilesOwnNameIsNoStream) {
    auto build = [](const std::u16string& name) {
        Record r;
        r.Add(attr::kStandardInformation, StandardValue(Times(1000)));
        r.Add(attr::kFileName, NameValue(name, 0, Times(2000)));
        r.Add(attr::kData, std::vector<std::uint8_t>(10, 'a'));
        r.Add(attr::kData, std::vector<std::uint8_t>(10, 'b'), u"summary");
        r.Add(attr::kData, std::vector<std::uint8_t>(10, 'c'), u"thumb");
        return r;
    };
    auto t = build(u"letter.txt").Decode(u"letter.txt:thumb");
    EXPECT_TRUE(t.stream);
    EXPECT_EQ(t.itemType, attr::kData);
    EXPECT_EQ(t.itemId, 5);
    ASSERT_TRUE(t.standard) << "a stream's line carries the record's times";

    t = build(u"letter.txt").Decode(u"letter.txt:summary");
    EXPECT_EQ(t.itemId, 4);

    t = build(u"letter.txt").Decode(u"letter.txt:elsewhere");
    EXPECT_TRUE(t.stream) << "a stream held by an extension record";
    EXPECT_EQ(t.itemType, 0u) << "not the file's data";

    t = build(u"letter.txt").Decode(u"letter.txt");
    EXPECT_FALSE(t.stream);
    EXPECT_EQ(t.itemId, 3) << "the unnamed data";

    t = build(u"a:thumb").Decode(u"a:thumb");
    EXPECT_FALSE(t.stream) << "the file's own POSIX name";
    EXPECT_EQ(t.itemId, 3);
}

TEST(RecordTimesTest, AFolderNamesItsI30IndexRoot) {
    Record r{RecordBuilder(3)};
    r.Add(attr::kStandardInformation, StandardValue(Times(1000)));
    r.Add(attr::kFileName, NameValue(u"Docs", 1, Times(2000)));
    r.Add(attr::kIndexRoot, std::vector<std::uint8_t>(0x20, 0), u"$SDH");
    r.Add(attr::kIndexRoot, std::vector<std::uint8_t>(0x38, 0), u"$I30");
    const auto t = r.Decode(u"Docs", true);
    EXPECT_EQ(t.itemType, attr::kIndexRoot);
    EXPECT_EQ(t.itemId, 4);
    EXPECT_EQ(t.indexRootSize, 0x38u) << "not the $SDH root's";
}

// A damaged record gives nothing rather than values read from the wrong
// bytes.
TEST(RecordTimesTest, ADamagedRecordGivesNothing) {
    auto build = [] {
        Record r;
        const std::size_t si = r.Add(attr::kStandardInformation, StandardValue(Times(1000)));
        const std::size_t fn = r.Add(attr::kFileName, NameValue(u"file.txt", 1, Times(2000)));
        r.Add(attr::kData, std::vector<std::uint8_t>(10, 'a'));
        return std::tuple(r.b.Finish(), si, fn);
    };
    {
        SCOPED_TRACE("the second block torn (its update sequence number differs)");
        auto [bytes, si, fn] = build();
        Put(bytes, 1022, 0x0006, 2);
        const auto t = DecodeRecordTimes(bytes, u"file.txt", false);
        EXPECT_FALSE(t.standard);
        EXPECT_FALSE(t.fileName);
        EXPECT_EQ(t.itemType, 0u);
    }
    {
        SCOPED_TRACE("no FILE signature");
        auto [bytes, si, fn] = build();
        bytes[0] = 'B';
        const auto t = DecodeRecordTimes(bytes, u"file.txt", false);
        EXPECT_FALSE(t.standard);
        EXPECT_FALSE(t.fileName);
    }
    {
        SCOPED_TRACE("$STANDARD_INFORMATION's length reaches past the record");
        auto [bytes, si, fn] = build();
        Put(bytes, si + 4, 0x2000, 4);
        const auto t = DecodeRecordTimes(bytes, u"file.txt", false);
        EXPECT_FALSE(t.standard);
        EXPECT_FALSE(t.fileName) << "the walk cannot go on past a length it cannot trust";
    }
    {
        SCOPED_TRACE("$FILE_NAME's value reaches past its attribute");
        auto [bytes, si, fn] = build();
        Put(bytes, fn + 0x10, 0x300, 4);
        const auto t = DecodeRecordTimes(bytes, u"file.txt", false);
        EXPECT_TRUE(t.standard);
        EXPECT_FALSE(t.fileName);
    }
    {
        SCOPED_TRACE("a name longer than the value holds");
        auto [bytes, si, fn] = build();
        bytes[fn + 0x18 + 0x40] = 200;
        EXPECT_FALSE(DecodeRecordTimes(bytes, u"file.txt", false).fileName);
    }
    {
        SCOPED_TRACE("a value too short for the standard times");
        auto [bytes, si, fn] = build();
        Put(bytes, si + 0x10, 0x18, 4);
        const auto t = DecodeRecordTimes(bytes, u"file.txt", false);
        EXPECT_FALSE(t.standard);
        EXPECT_TRUE(t.fileName);
    }
    {
        SCOPED_TRACE("the first attribute past the record");
        auto [bytes, si, fn] = build();
        Put(bytes, 0x14, 0x0500, 2);
        const auto t = DecodeRecordTimes(bytes, u"file.txt", false);
        EXPECT_FALSE(t.standard);
        EXPECT_FALSE(t.fileName);
    }
    {
        SCOPED_TRACE("a buffer cut inside the record");
        auto [bytes, si, fn] = build();
        bytes.resize(300);
        const auto t = DecodeRecordTimes(bytes, u"file.txt", false);
        EXPECT_FALSE(t.standard);
    }
}

// On a real volume, through the sector reader: the walk's items by their
// number, the signature scan's by their sector, both to the same record.
class RecordTimesImageTest : public ::testing::TestWithParam<analysis::RecoveryMode> {};

TEST_P(RecordTimesImageTest, EveryItemFindsItsOwnRecord) {
    AnalysisHarness h;
    h.Select(ImagePath("ntfs-streams.img"), "NTFS");
    ASSERT_EQ(h.Run(GetParam()), analysis::AnalysisOutcome::Finished);
    const auto source = analysis::RecordSourceOf(h.ctx);
    int files = 0, named = 0, streams = 0, inBase = 0;
    for (const auto& f : h.ctx.items.files) {
        SCOPED_TRACE(AnalysisHarness::Name(f));
        const auto t = analysis::ReadRecordTimes(source, f);
        ASSERT_TRUE(t.standard);
        const bool stream = !analysis::ntfs::StreamOfItemName(analysis::WideName(f)).empty();
        EXPECT_EQ(t.stream, stream);
        // Metafiles: some without $DATA or change time.
        if (!analysis::ntfs::HoldsUserStreams(f.number, f.parent)) continue;
        // A file's own times come from the same $STANDARD_INFORMATION (the
        // signature scan leaves them 0 where it took the name from an
        // extension record).
        if (!stream && (GetParam() == analysis::RecoveryMode::Deleted || f.modified != 0)) {
            EXPECT_EQ(t.standard->created, f.created);
            EXPECT_EQ(t.standard->modified, f.modified);
            EXPECT_EQ(t.standard->accessed, f.accessed);
        }
        EXPECT_NE(t.standard->changed, 0u);
        // Streams in an extension record are not named by the base.
        if (!stream) EXPECT_EQ(t.itemType, attr::kData);
        else if (t.itemType != 0) ++inBase;
        streams += stream;
        named += t.fileName.has_value();
        ++files;
    }
    EXPECT_GT(files, 20);
    EXPECT_GE(streams, 10);
    EXPECT_GE(inBase, 8);
    EXPECT_GE(named, 10);
    int folders = 0;
    for (const auto& f : h.ctx.items.folders) {
        const auto t = analysis::ReadRecordTimes(source, f);
        if (f.number == analysis::kLostFolder) {
            EXPECT_FALSE(t.standard) << "\"Lost\" has no record";
            continue;
        }
        SCOPED_TRACE(AnalysisHarness::Name(f));
        ASSERT_TRUE(t.standard);
        EXPECT_EQ(t.standard->modified, f.modified);
        EXPECT_EQ(t.itemType, attr::kIndexRoot);
        ++folders;
    }
    EXPECT_GT(folders, 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, RecordTimesImageTest,
                         ::testing::Values(analysis::RecoveryMode::Deleted, analysis::RecoveryMode::Formatted));

TEST(RecordTimesImageTest, ARecordHoldingAnotherNumberIsNotTheItems) {
    AnalysisHarness h;
    h.Select(ImagePath("ntfs-streams.img"), "NTFS");
    ASSERT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    const auto source = analysis::RecordSourceOf(h.ctx);
    const analysis::FileItem* file = nullptr;
    for (const auto& f : h.ctx.items.files)
        if (f.number >= 64 && f.number != analysis::kLostFolder) file = &f;
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(analysis::ReadRecordTimes(source, *file).standard);
    analysis::FileItem other = *file;
    other.number = file->number + 1000;  // past the $MFT: nowhere
    EXPECT_FALSE(analysis::ReadRecordTimes(source, other).standard);
    // The same volume with this record's own number changed, as another
    // volume's record at that place would hold it.
    const std::uint64_t sector = analysis::ntfs::SectorOfRecord(h.ctx.analysis.mftRuns, file->number,
                                                                h.ctx.analysis.geometry.sectorsPerRecord);
    ASSERT_NE(sector, 0u);
    std::vector<std::uint8_t> first(512);
    h.ctx.reader.Read(sector, 1, first);
    Put(first, 0x2C, file->number + 1, 4);
    AnalysisHarness patched(Patched({{sector, first}}));
    patched.Select(ImagePath("ntfs-streams.img"), "NTFS");
    ASSERT_EQ(patched.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    const auto patchedSource = analysis::RecordSourceOf(patched.ctx);
    EXPECT_FALSE(analysis::ReadRecordTimes(patchedSource, *file).standard);
}

TEST(RecordTimesImageTest, FatItemsHaveNoRecordToRead) {
    AnalysisHarness h;
    h.Select(ImagePath("fat16.img"), "FAT16");
    ASSERT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    const auto source = analysis::RecordSourceOf(h.ctx);
    ASSERT_GT(h.ctx.items.files.Count(), 0u);
    for (const auto& f : h.ctx.items.files) {
        const auto t = analysis::ReadRecordTimes(source, f);
        EXPECT_FALSE(t.standard || t.fileName) << AnalysisHarness::Name(f);
    }
}

}  // namespace
}  // namespace dravik::test
