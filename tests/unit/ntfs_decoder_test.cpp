// Decoder edge cases on hand-built NTFS structures: the encodings real volumes
// rarely show and the malformed ones a damaged or hostile disk does.
#include <gtest/gtest.h>

#include "analysis/ntfs_boot.h"
#include "analysis/ntfs_index.h"
#include "analysis/ntfs_record.h"
#include "analysis/ntfs_runs.h"
#include "support/ntfs_builder.h"

namespace dravik::analysis::ntfs {
namespace {

using test::FileNameValue;
using test::Put;
using test::RecordBuilder;
using test::StandardInformationValue;

std::vector<std::uint8_t> Bytes_(std::initializer_list<int> v) {
    return std::vector<std::uint8_t>(v.begin(), v.end());
}

TEST(NtfsRecordSize, FallsBackTo1024ForImplausibleSizes) {
    std::vector<std::uint8_t> r(64, 0);
    for (auto [field, want] : std::vector<std::pair<int, std::size_t>>{
             {0x0300, 1024}, {0x1000, 4096}, {0x0200, 512}, {0x4000, 16384}, {0x4200, 1024}, {0x0100, 1024},
             {0x8000, 1024} /* negative as a signed 16-bit value */}) {
        Put(r, 0x1C, field, 2);
        EXPECT_EQ(RecordSize(r), want) << std::hex << field;
    }
}

TEST(NtfsFixups, RestoresEveryBlockOfARecord) {
    RecordBuilder b(1, 4096, 4096);
    b.AddResident(attr::kStandardInformation, StandardInformationValue(1, 2, 3));
    auto& raw = b.Bytes();
    for (std::size_t k = 0; k < 8; ++k) Put(raw, 512 * k + 510, 0xA000 + k, 2);
    auto rec = b.Finish(0x1234);
    for (std::size_t k = 0; k < 8; ++k) ASSERT_EQ(platform::U16(rec, 512 * k + 510), 0x1234);
    ApplyFixups(rec);
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(platform::U16(rec, 512 * k + 510), 0xA000 + k) << k;
}

TEST(NtfsFixups, IgnoresOutOfRangeUpdateSequences) {
    auto rec = RecordBuilder().Finish();
    auto copy = rec;
    Put(copy, 0x04, 1023, 2);  // offset + 2 past the record
    auto before = copy;
    ApplyFixups(copy);
    EXPECT_EQ(copy, before);

    // An INDX block whose count claims more blocks than the buffer holds.
    std::vector<std::uint8_t> indx(1024, 0);
    Put(indx, 0, kIndxSignature, 4);
    Put(indx, 4, 0x28, 2);
    Put(indx, 6, 200, 2);
    Put(indx, 0x2A, 0xBEEF, 2);
    Put(indx, 0x2C, 0xCAFE, 2);
    ApplyFixups(indx);
    EXPECT_EQ(platform::U16(indx, 510), 0xBEEF);
    EXPECT_EQ(platform::U16(indx, 1022), 0xCAFE);
}

TEST(NtfsFileName, PrefersPosixThenWin32AndFallsBackToDos) {
    {
        RecordBuilder b;
        b.AddResident(attr::kStandardInformation, StandardInformationValue(10, 20, 30));
        b.AddResident(attr::kFileName, FileNameValue(77, u"LONGFI~1.TXT", 2));
        b.AddResident(attr::kFileName, FileNameValue(77, u"long file name.txt", 1));
        auto rec = b.Finish();
        auto info = ReadBestFileName(rec);
        EXPECT_EQ(info.name, u"long file name.txt");
        EXPECT_EQ(info.parent, 77u);
        EXPECT_EQ(info.times, (StandardTimes{10, 20, 30}));
    }
    {
        RecordBuilder b;
        b.AddResident(attr::kFileName, FileNameValue(9, u"DOSONLY.TXT", 2));
        auto rec = b.Finish();
        auto info = ReadBestFileName(rec);
        EXPECT_EQ(info.name, u"DOSONLY.TXT");
        EXPECT_EQ(info.times, StandardTimes{}) << "no $STANDARD_INFORMATION: zero times";
    }
    {
        RecordBuilder b;
        b.AddResident(attr::kFileName, FileNameValue(9, u"win32.txt", 1));
        b.AddResident(attr::kFileName, FileNameValue(12, u"posix", 0));
        auto rec = b.Finish();
        EXPECT_EQ(ReadBestFileName(rec).name, u"posix");
    }
}

TEST(NtfsFileName, MissingOrMalformedNamesGiveTheNeutralResult) {
    {
        RecordBuilder b;
        b.AddResident(attr::kStandardInformation, StandardInformationValue(1, 2, 3));
        auto rec = b.Finish();
        auto info = ReadBestFileName(rec);
        EXPECT_TRUE(info.name.empty());
        EXPECT_EQ(info.parent, 0u);
    }
    {
        // A named $FILE_NAME is not a name of the record.
        RecordBuilder b;
        b.AddResident(attr::kFileName, FileNameValue(9, u"named", 1), u"x");
        auto rec = b.Finish();
        EXPECT_TRUE(ReadBestFileName(rec).name.empty());
    }
    {
        // A name length that runs past the record (of 512 bytes).
        RecordBuilder b(1, 1024, 512);
        const auto at = b.AddResident(attr::kFileName, FileNameValue(9, u"abc", 1));
        auto rec = b.Finish();
        ApplyFixups(rec);
        rec[at + 0x18 + 0x40] = 255;
        Put(rec, at + 0x10, 0x42 + 510, 4);  // value length claims it too
        EXPECT_FALSE(ReadFileName(rec, NameSpace::Win32));
    }
    {
        // First-attribute offset beyond the record.
        RecordBuilder b;
        b.AddResident(attr::kFileName, FileNameValue(9, u"abc", 1));
        auto rec = b.Finish();
        Put(rec, 0x14, 0xFFF0, 2);
        EXPECT_TRUE(ReadBestFileName(rec).name.empty());
    }
}

TEST(NtfsAttributeWalk, StopsOnZeroOrOversizedLengths) {
    RecordBuilder b;
    const auto si = b.AddResident(attr::kStandardInformation, StandardInformationValue(1, 2, 3));
    b.AddResident(attr::kFileName, FileNameValue(9, u"after", 1));
    auto rec = b.Finish();
    ApplyFixups(rec);
    ASSERT_TRUE(ReadFileName(rec, NameSpace::Win32));

    auto zero = rec;
    Put(zero, si + 4, 0, 4);
    EXPECT_FALSE(ReadFileName(zero, NameSpace::Win32));
    auto huge = rec;
    Put(huge, si + 4, 1024, 4);
    EXPECT_FALSE(ReadFileName(huge, NameSpace::Win32));
    auto wrap = rec;
    Put(wrap, si + 4, 0xFFFFFFF8, 4);
    EXPECT_FALSE(ReadFileName(wrap, NameSpace::Win32));
}

TEST(NtfsData, SizeAndKindOfTheUnnamedStream) {
    RecordBuilder b;
    b.AddResident(attr::kData, std::vector<std::uint8_t>(300, 'x'), u"stream");
    b.AddNonResident(attr::kData, Bytes_({0x11, 0x05, 0x20, 0x00}), 0x123456789ULL);
    auto rec = b.Finish();
    ApplyFixups(rec);
    EXPECT_EQ(ReadDataSize(rec, 1024), 0x123456789ULL) << "the named stream is not the file's data";
    EXPECT_EQ(FindDataAttribute(rec).kind, DataKind::NonResident);

    RecordBuilder r;
    r.AddResident(attr::kData, std::vector<std::uint8_t>(300, 'x'));
    auto res = r.Finish();
    ApplyFixups(res);
    EXPECT_EQ(ReadDataSize(res, 1024), 300u);
    EXPECT_EQ(FindDataAttribute(res).kind, DataKind::Resident);

    auto none = RecordBuilder().Finish();
    EXPECT_EQ(ReadDataSize(none, 1024), 0u);
    EXPECT_EQ(FindDataAttribute(none).kind, DataKind::None);
}

TEST(NtfsRuns, DecodesDeltasNegativeRunsAndSparseGaps) {
    // 100 clusters at LCN 0x1000, a 4-cluster sparse gap, 16 clusters 16
    // clusters before the last real run (3-byte delta 0xFFFFF0), then 2
    // clusters at +0x20 from there.
    auto pairs = Bytes_({0x21, 100, 0x00, 0x10, 0x01, 0x04, 0x31, 16, 0xF0, 0xFF, 0xFF, 0x11, 2, 0x20, 0x00});
    RunList runs;
    const auto clusters = DecodeRuns(pairs, 0, pairs.size(), 1000, 8, runs);
    EXPECT_EQ(clusters, 122u);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0], (ntfs::DataRun{1000 + 0x1000 * 8, 800, false}));
    EXPECT_EQ(runs[1], (ntfs::DataRun{0, 32, true}));
    EXPECT_EQ(runs[2], (ntfs::DataRun{1000 + (0x1000 - 16) * 8, 128, false}));
    EXPECT_EQ(runs[3], (ntfs::DataRun{1000 + (0x1000 - 16 + 0x20) * 8, 16, false}));
}

TEST(NtfsRuns, KeepsClusterNumbersBeyond32Bits) {
    // A 5-byte cluster number: 0x01_0000_0000 clusters = 2^35 sectors in.
    auto pairs = Bytes_({0x51, 1, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00});
    RunList runs;
    DecodeRuns(pairs, 0, pairs.size(), 0, 8, runs);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].start, 0x100000000ULL * 8);
}

TEST(NtfsRuns, StopsAtMalformedPairs) {
    RunList runs;
    auto wide = Bytes_({0x11, 4, 0x10, 0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x01, 0x00});
    DecodeRuns(wide, 0, wide.size(), 0, 8, runs);
    EXPECT_EQ(runs.size(), 1u) << "a 9-byte length field ends the list";

    runs.clear();
    auto negative = Bytes_({0x11, 4, 0x02, 0x11, 4, 0xF0, 0x00});
    DecodeRuns(negative, 0, negative.size(), 0, 8, runs);
    EXPECT_EQ(runs.size(), 1u) << "a cluster number below 0 ends the list";

    runs.clear();
    auto truncated = Bytes_({0x11, 4, 0x02, 0x33, 1, 2});
    DecodeRuns(truncated, 0, truncated.size(), 0, 8, runs);
    EXPECT_EQ(runs.size(), 1u) << "a pair cut by the end offset is not decoded";

    runs.clear();
    auto overflow = Bytes_({0x81, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00});
    DecodeRuns(overflow, 0, overflow.size(), 0, 8, runs);
    EXPECT_TRUE(runs.empty()) << "a start sector that overflows is refused";
}

TEST(NtfsRuns, SectorOfRecordWalksTheMftRuns) {
    RunList mft{{1000, 64, false}, {5000, 32, false}};
    EXPECT_EQ(SectorOfRecord(mft, 0, 2), 1000u);
    EXPECT_EQ(SectorOfRecord(mft, 31, 2), 1062u);
    EXPECT_EQ(SectorOfRecord(mft, 32, 2), 5000u);
    EXPECT_EQ(SectorOfRecord(mft, 47, 2), 5030u);
    EXPECT_EQ(SectorOfRecord(mft, 48, 2), 0u) << "beyond the last run";
    EXPECT_EQ(SectorOfRecord({{0, 64, true}}, 3, 2), 0u) << "inside a sparse run";
    EXPECT_EQ(SectorOfRecord(mft, 0xFFFFFFFFFFFFFFFFULL, 2), 0u);
}

TEST(NtfsIndexRoot, OwnerComesFromTheFirstEntrysParentReference) {
    auto rootValue = [](bool withEntry, std::uint32_t parent) {
        std::vector<std::uint8_t> v(0x20, 0);
        Put(v, 0x00, 0x30, 4);     // indexed attribute type
        Put(v, 0x08, 4096, 4);     // index block size
        Put(v, 0x10, 0x10, 4);     // entries offset, relative to the index header
        if (withEntry) {
            std::vector<std::uint8_t> e(0x10, 0);
            auto key = FileNameValue(parent, u"child.txt", 1);
            Put(e, 0x00, 64, 8);
            Put(e, 0x08, (0x10 + key.size() + 7) & ~7u, 2);
            Put(e, 0x0A, key.size(), 2);
            e.insert(e.end(), key.begin(), key.end());
            e.resize((0x10 + key.size() + 7) & ~7u);
            v.insert(v.end(), e.begin(), e.end());
        }
        std::vector<std::uint8_t> end(0x10, 0);
        Put(end, 0x08, 0x10, 2);
        Put(end, 0x0C, 2, 2);
        v.insert(v.end(), end.begin(), end.end());
        return v;
    };
    auto make = [&](bool withEntry, std::uint32_t parent, const std::u16string& name) {
        RecordBuilder b(3);
        b.AddResident(attr::kIndexRoot, rootValue(withEntry, parent), name);
        auto rec = b.Finish();
        ApplyFixups(rec);
        return rec;
    };
    EXPECT_EQ(ReadIndexRootOwner(make(true, 1234, u"$I30")), 1234u);
    EXPECT_EQ(ReadIndexRootOwner(make(false, 1234, u"$I30")), 0u) << "only the end entry: owner unknown";
    EXPECT_EQ(ReadIndexRootOwner(make(true, 1234, u"$SDH")), 0u);
    EXPECT_EQ(ReadIndexRootOwner(make(true, 0xFFFFFFFF, u"$I30")), 0u);
}

TEST(NtfsIndexAllocation, FirstClusterKeepsTheLowFourBytes) {
    RecordBuilder b(3);
    b.AddNonResident(attr::kIndexAllocation, Bytes_({0x51, 1, 0x44, 0x33, 0x22, 0x11, 0x05}), 4096, u"$I30");
    auto rec = b.Finish();
    ApplyFixups(rec);
    EXPECT_EQ(ReadIndexAllocationLcn(rec, 1024), 0x11223344u);

    RecordBuilder neg(3);
    neg.AddNonResident(attr::kIndexAllocation, Bytes_({0x21, 1, 0xF0, 0xFF}), 4096, u"$I30");
    auto n = neg.Finish();
    ApplyFixups(n);
    EXPECT_EQ(ReadIndexAllocationLcn(n, 1024), 0xFFF0u) << "no sign extension";

    RecordBuilder other(3);
    other.AddNonResident(attr::kIndexAllocation, Bytes_({0x11, 1, 0x44}), 4096, u"$SII");
    auto o = other.Finish();
    ApplyFixups(o);
    EXPECT_EQ(ReadIndexAllocationLcn(o, 1024), 0u);
}

TEST(NtfsAttributeList, NumbersOfEveryEntry) {
    std::vector<std::uint8_t> list;
    auto entry = [&](std::uint32_t type, std::uint32_t record, std::uint64_t vcn) {
        std::vector<std::uint8_t> e(0x20, 0);
        Put(e, 0x00, type, 4);
        Put(e, 0x04, 0x20, 2);
        Put(e, 0x08, vcn, 8);
        Put(e, 0x10, record, 4);
        list.insert(list.end(), e.begin(), e.end());
    };
    entry(0x10, 40, 0);
    entry(0x30, 40, 0);
    entry(0x80, 40, 0);
    entry(0x80, 41, 300);
    RecordBuilder b;
    b.AddResident(attr::kAttributeList, list);
    auto rec = b.Finish();
    ApplyFixups(rec);
    EXPECT_EQ(ReadAttributeListNumbers(rec, 1024), (std::vector<std::uint32_t>{40, 40, 40, 41}));

    // A zero entry length ends the walk.
    Put(list, 0x20 + 0x04, 0, 2);
    RecordBuilder z;
    z.AddResident(attr::kAttributeList, list);
    auto zr = z.Finish();
    ApplyFixups(zr);
    EXPECT_EQ(ReadAttributeListNumbers(zr, 1024), (std::vector<std::uint32_t>{40}));
}

std::vector<std::uint8_t> IndexBlock(std::uint32_t owner, std::uint32_t vcn, std::uint32_t allocated = 4096 - 24) {
    std::vector<std::uint8_t> b(4096, 0);
    Put(b, 0, kIndxSignature, 4);
    Put(b, 0x04, 0x28, 2);
    Put(b, 0x06, 9, 2);
    Put(b, 0x10, vcn, 8);
    Put(b, 0x18, 0x40, 4);  // first entry at 0x58
    Put(b, 0x20, allocated, 4);
    Put(b, 0x58 + 0x10, owner, 4);
    return b;
}

TEST(NtfsIndexBlock, CheckAcceptsOnlyPlausibleOwners) {
    auto ok = CheckIndexBlock(IndexBlock(1234, 7));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->owner, 1234u);
    EXPECT_EQ(ok->vcn, 7u);
    EXPECT_FALSE(CheckIndexBlock(IndexBlock(3, 0))) << "system folder numbers are not owners";
    EXPECT_FALSE(CheckIndexBlock(IndexBlock(4, 0)));
    EXPECT_TRUE(CheckIndexBlock(IndexBlock(5, 0)));
    EXPECT_FALSE(CheckIndexBlock(IndexBlock(0xFFFFFFFF, 0)));
    EXPECT_FALSE(CheckIndexBlock(IndexBlock(1234, 0, 65536))) << "entries area too large";
    auto far = IndexBlock(1234, 0, 40);
    EXPECT_FALSE(CheckIndexBlock(far)) << "first entry outside the entries area";
    auto hostile = IndexBlock(1234, 0);
    Put(hostile, 0x18, 0xFFFFFFF0, 4);
    Put(hostile, 0x20, 0xFFFFFFF0, 4);
    EXPECT_FALSE(CheckIndexBlock(std::span(hostile).first(512)));
}

TEST(NtfsIndexBlock, WalksEntriesIncludingStaleOnesAndNeverOverruns) {
    auto b = IndexBlock(100, 0);
    std::size_t off = 0x58;
    auto addEntry = [&](std::uint32_t child, const std::u16string& name, std::uint32_t attrs) {
        auto key = FileNameValue(100, name, 1, attrs);
        const std::size_t len = (0x10 + key.size() + 7) & ~std::size_t(7);
        Put(b, off, child, 8);
        Put(b, off + 8, len, 2);
        Put(b, off + 0x0A, key.size(), 2);
        for (std::size_t i = 0; i < key.size(); ++i) b[off + 0x10 + i] = key[i];
        off += len;
    };
    addEntry(200, u"docs", 0x10000000);
    addEntry(201, u"a.txt", 0x20);
    Put(b, off + 8, 0x10, 2);  // end marker
    Put(b, off + 0x0C, 2, 2);
    off += 0x10;
    addEntry(202, u"deleted dir", 0x10000000);  // stale, past the end marker
    auto entries = WalkIndexEntries(b);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, u"docs");
    EXPECT_TRUE(entries[0].IsDirectory());
    EXPECT_FALSE(entries[1].IsDirectory());
    EXPECT_EQ(entries[2].child, 202u);
    EXPECT_EQ(entries[2].parent, 100u);

    // A block cut inside an entry's name yields the entries before it only.
    auto cut = WalkIndexEntries(std::span(b).first(0x58 + 0x60));
    EXPECT_EQ(cut.size(), 1u);
    EXPECT_EQ(IndexBlockBytes(b, 512), 4096u);
    EXPECT_EQ(IndexBlockBytes(IndexBlock(1, 0, 900), 512), 512u);
}

TEST(NtfsBootSector, DerivesRecordAndIndexBlockSizes) {
    std::vector<std::uint8_t> s(512, 0);
    Put(s, 3, 0x5346544E, 4);  // "NTFS"
    s[510] = 0x55;
    s[511] = 0xAA;
    s[0x0D] = 8;
    Put(s, 0x28, 0x1'0000'0000ULL, 8);
    Put(s, 0x30, 4, 8);
    Put(s, 0x38, 0x20000, 8);
    Put(s, 0x40, 0xF6, 4);
    Put(s, 0x44, 0xF4, 4);
    auto b = DecodeBootSector(s);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->sectorsPerCluster, 8u);
    EXPECT_EQ(b->sectorsPerRecord, 2u);
    EXPECT_EQ(b->sectorsPerIndexBlock, 8u);
    EXPECT_EQ(b->totalSectors, 0x1'0000'0000ULL);
    EXPECT_EQ(b->mftLcn, 4u);

    Put(s, 0x40, 1, 4);  // one cluster of 8 sectors per record
    Put(s, 0x44, 1, 4);
    EXPECT_EQ(DecodeBootSector(s)->sectorsPerRecord, 8u);
    EXPECT_EQ(DecodeBootSector(s)->sectorsPerIndexBlock, 8u);
    s[0x0D] = 3;  // 3 sectors per record is not a record size
    EXPECT_EQ(DecodeBootSector(s)->sectorsPerRecord, 2u);

    s[511] = 0;
    EXPECT_FALSE(DecodeBootSector(s));
}

}  // namespace
}  // namespace dravik::analysis::ntfs

namespace dravik::analysis::ntfs {
namespace {

TEST(NtfsStaleName, FoundInFreeSpaceEvenUnderTheEndMarker) {
    RecordBuilder b(0);
    const auto at = b.AddResident(attr::kFileName, FileNameValue(120, u"Doomed cache", 1));
    auto rec = b.Finish();
    ApplyFixups(rec);
    // Deleting the attribute writes the end marker over its header.
    Put(rec, at, 0xFFFFFFFF, 4);
    Put(rec, at + 4, 0, 4);
    EXPECT_FALSE(ReadFileName(rec, NameSpace::Win32));
    auto stale = ReadStaleFileName(rec);
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->name, u"Doomed cache");
    EXPECT_EQ(stale->parent, 120u);

    // A value whose length disagrees with its name is not a name.
    Put(rec, at + 0x10, 0x42 + 2 * 12 + 2, 4);
    EXPECT_FALSE(ReadStaleFileName(rec));
}

}  // namespace
}  // namespace dravik::analysis::ntfs

namespace dravik::analysis::ntfs {
namespace {

TEST(NtfsIndexRoot, EntriesOfTheRootAreWalked) {
    std::vector<std::uint8_t> v(0x20, 0);
    Put(v, 0x00, 0x30, 4);
    Put(v, 0x10, 0x10, 4);  // entries right after the index header
    for (auto [child, name] : {std::pair<std::uint32_t, std::u16string>{70, u"alpha"}, {71, u"beta dir"}}) {
        auto key = FileNameValue(64, name, 1, child == 71 ? 0x10000000u : 0x20u);
        std::vector<std::uint8_t> e(0x10, 0);
        Put(e, 0x00, child, 8);
        Put(e, 0x08, (0x10 + key.size() + 7) & ~7u, 2);
        Put(e, 0x0A, key.size(), 2);
        e.insert(e.end(), key.begin(), key.end());
        e.resize((0x10 + key.size() + 7) & ~7u);
        v.insert(v.end(), e.begin(), e.end());
    }
    RecordBuilder b(3);
    b.AddResident(attr::kIndexRoot, v, u"$I30");
    auto rec = b.Finish();
    ApplyFixups(rec);
    const auto entries = IndexRootEntries(rec);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, u"beta dir");
    EXPECT_EQ(entries[1].child, 71u);
    EXPECT_EQ(entries[1].parent, 64u);
    EXPECT_TRUE(entries[1].IsDirectory());
    EXPECT_TRUE(IndexRootEntries(RecordBuilder(3).Finish()).empty());
}

}  // namespace
}  // namespace dravik::analysis::ntfs
