// FAT directory entries and cluster chains on hand-built bytes: long-name
// parts, checksums, deleted entries, FAT12 packing, end marks and bounds.
#include <gtest/gtest.h>

#include "analysis/fat_chain.h"
#include "analysis/fat_dir.h"
#include "support/analysis_harness.h"
#include "support/ntfs_builder.h"

namespace dravik::analysis::fat {
namespace {

using test::Put;

std::vector<std::uint8_t> ShortEntry(const char name11[12], std::uint8_t attributes, std::uint32_t cluster,
                                     std::uint32_t size) {
    std::vector<std::uint8_t> e(32, 0);
    for (int i = 0; i < 11; ++i) e[i] = static_cast<std::uint8_t>(name11[i]);
    e[11] = attributes;
    Put(e, 20, cluster >> 16, 2);
    Put(e, 26, cluster & 0xFFFF, 2);
    Put(e, 28, size, 4);
    Put(e, 22, 0x5A5A, 2);  // write time
    Put(e, 24, 0x4B21, 2);  // write date
    return e;
}

// Long-name parts for `name`, last part first, as they precede the entry.
std::vector<std::uint8_t> LongParts(const std::u16string& name, std::uint8_t checksum) {
    const std::size_t parts = (name.size() + 12) / 13;
    std::vector<std::uint8_t> out;
    static constexpr std::size_t kOffsets[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (std::size_t p = parts; p-- > 0;) {
        std::vector<std::uint8_t> e(32, 0);
        e[0] = static_cast<std::uint8_t>((p + 1) | (p + 1 == parts ? 0x40 : 0));
        e[11] = kAttrLongName;
        e[13] = checksum;
        for (std::size_t k = 0; k < 13; ++k) {
            const std::size_t at = p * 13 + k;
            const std::uint16_t c = at < name.size() ? name[at] : at == name.size() ? 0 : 0xFFFF;
            Put(e, kOffsets[k], c, 2);
        }
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

std::uint8_t SumOf(const char name11[12]) {
    return ShortNameChecksum(platform::Bytes(reinterpret_cast<const std::uint8_t*>(name11), 11));
}

TEST(FatEntries, ShortNamesAndDeletedMarks) {
    EXPECT_EQ(ShortName(ShortEntry("README  TXT", 0x20, 5, 10)), "README.TXT");
    EXPECT_EQ(ShortName(ShortEntry("MAKEFILE   ", 0x20, 5, 10)), "MAKEFILE");
    auto deleted = ShortEntry("\xE5" "EPORT  DOC", 0x20, 5, 10);
    EXPECT_EQ(ShortName(deleted), "_EPORT.DOC");
    EXPECT_EQ(FirstCluster(ShortEntry("A       B  ", 0, 0x00123456, 0), true), 0x00123456u);
    EXPECT_EQ(FirstCluster(ShortEntry("A       B  ", 0, 0x00123456, 0), false), 0x3456u);
    EXPECT_EQ(ModifiedTime(ShortEntry("A       B  ", 0, 2, 0)), 0x4B21u | (0x5A5Aull << 32));
}

TEST(FatEntries, PlausibleNames) {
    EXPECT_TRUE(IsPlausibleName(std::string_view("REPORT.DOC")));
    EXPECT_FALSE(IsPlausibleName(std::string_view("WHAT?.TXT")));
    EXPECT_FALSE(IsPlausibleName(std::string_view("A\x01" "B")));
    EXPECT_TRUE(IsPlausibleName(std::string_view("CAF\x90.TXT"))) << "a code-page letter is a letter";
    EXPECT_TRUE(IsPlausibleName(std::u16string_view(u"café au lait.txt")));
    EXPECT_TRUE(IsPlausibleName(std::u16string_view(u"смета \U0001F600.xlsx")));
    EXPECT_FALSE(IsPlausibleName(std::u16string_view(u"a/b")));
    EXPECT_FALSE(IsPlausibleName(std::u16string(1, char16_t(0xD801)) + u"x")) << "unpaired surrogate";
}

TEST(FatLongNames, PartsBeforeTheEntrySpellTheName) {
    const char* shortName = "LONGFI~1TXT";
    std::vector<std::uint8_t> dir = LongParts(u"a long file name.txt", SumOf(shortName));
    auto e = ShortEntry(shortName, 0x20, 7, 100);
    dir.insert(dir.end(), e.begin(), e.end());
    EXPECT_EQ(ReadLongName(dir, 2), u"a long file name.txt");

    // Exactly 13 characters: one part, no terminator.
    std::vector<std::uint8_t> thirteen = LongParts(u"thirteen char", SumOf(shortName));
    thirteen.insert(thirteen.end(), e.begin(), e.end());
    EXPECT_EQ(ReadLongName(thirteen, 1), u"thirteen char");
}

TEST(FatLongNames, PartsOfAnotherEntryAreNotMerged) {
    const char* shortName = "NEWFILE TXT";
    // Parts left by a deleted entry, then a new 8.3-only entry in the next slot.
    std::vector<std::uint8_t> dir = LongParts(u"an old name.txt", SumOf("OLDNAM~1TXT"));
    auto e = ShortEntry(shortName, 0x20, 7, 100);
    dir.insert(dir.end(), e.begin(), e.end());
    EXPECT_FALSE(ReadLongName(dir, 2));

    // Two files' parts: reading stops at the part with the "last" bit.
    std::vector<std::uint8_t> two = LongParts(u"first.txt", SumOf("FIRST   TXT"));
    auto second = LongParts(u"second.txt", SumOf(shortName));
    two.insert(two.end(), second.begin(), second.end());
    two.insert(two.end(), e.begin(), e.end());
    EXPECT_EQ(ReadLongName(two, 2), u"second.txt");
}

TEST(FatLongNames, DeletedEntriesKeepTheirLongName) {
    const char* shortName = "REPORT~1DOC";
    auto parts = LongParts(u"quarterly report.doc", SumOf(shortName));
    for (std::size_t p = 0; p < parts.size(); p += 32) parts[p] = kDeletedMark;  // sequence bytes are lost
    auto e = ShortEntry(shortName, 0x20, 7, 100);
    e[0] = kDeletedMark;
    std::vector<std::uint8_t> dir = ShortEntry("OTHER   TXT", 0x20, 9, 1);
    dir.insert(dir.end(), parts.begin(), parts.end());
    dir.insert(dir.end(), e.begin(), e.end());
    EXPECT_EQ(ReadLongName(dir, 3), u"quarterly report.doc");
    EXPECT_EQ(ShortName(e), "_EPORT~1.DOC");
}

TEST(FatEntries, ALeadingE5IsStoredAs05AndIsNoDeletion) {
    // A Shift-JIS name whose first byte is 0xE5 keeps it as 0x05 on disk.
    auto e = ShortEntry("\x05" "\x8F\xAC" "MEMO TXT", 0x20, 5, 10);
    EXPECT_EQ(ShortName(e), "\xE5\x8F\xAC" "MEMO.TXT");
    EXPECT_TRUE(IsPlausibleName(std::string_view(ShortName(e))));
    std::vector<std::uint8_t> cluster = e;
    cluster.resize(512, 0);
    EXPECT_TRUE(LooksLikeDirectoryCluster(cluster, 1000, true));
    // Long-name parts carry the checksum of the bytes as stored (0x05).
    const char* stored = "\x05" "\x8F\xAC" "MEMO TXT";
    std::vector<std::uint8_t> dir = LongParts(u"\u5BFF memo.txt", SumOf(stored));
    dir.insert(dir.end(), e.begin(), e.end());
    EXPECT_EQ(ReadLongName(dir, 1), u"\u5BFF memo.txt");
}

TEST(FatLongNames, ANulWithMoreNameAfterItIsPartOfTheName) {
    const char* shortName = "REPORT~1TXT";
    const auto e = ShortEntry(shortName, 0x20, 7, 100);
    auto read = [&](std::vector<std::uint8_t> dir) {
        dir.insert(dir.end(), e.begin(), e.end());
        return ReadLongName(dir, dir.size() / 32 - 1);
    };
    // The builder ends a name with a NUL and 0xFFFF padding: a terminator.
    EXPECT_EQ(read(LongParts(u"report.txt", SumOf(shortName))), u"report.txt");
    const std::u16string withNul = std::u16string(u"report") + char16_t(0) + u"01.txt";
    EXPECT_EQ(read(LongParts(withNul, SumOf(shortName))), withNul);
    // Across parts: the NUL as the last unit of a part that is not the last.
    const std::u16string atEdge = std::u16string(u"twelve chars") + char16_t(0) + u"tail.txt";
    EXPECT_EQ(read(LongParts(atEdge, SumOf(shortName))), atEdge);
    // Zero padding after the terminator (some writers pad so) still ends it.
    auto zeroPadded = LongParts(u"abc.txt", SumOf(shortName));
    for (std::size_t off : {18, 20, 22, 24, 28, 30}) Put(zeroPadded, off, 0, 2);
    EXPECT_EQ(read(zeroPadded), u"abc.txt");
}

// A FAT volume in memory: 512-byte sectors, FAT at sector 1.
class FatChains : public ::testing::Test {
protected:
    std::vector<std::uint8_t> disk = std::vector<std::uint8_t>(64 * 512, 0);
    std::unique_ptr<test::AnalysisHarness> h;
    FatVolume volume;

    void Open(FatType type) {
        auto bytes = disk;
        h = std::make_unique<test::AnalysisHarness>([bytes](const platform::DeviceBacking&) {
            return std::make_unique<source::MemoryDevice>(bytes);
        });
        h->ctx.devices.SetDisk(0, {"memory"});
        h->ctx.source.SelectPhysicalDisk(0);
        volume.reader = &h->ctx.reader;
        volume.type = type;
        volume.fat1Start = 1;
        volume.sectorsPerFat = 8;
        volume.sectorsPerCluster = 1;
        volume.clusterBase = 20;
        volume.endSector = 0;
    }
    void Fat16(std::uint32_t cluster, std::uint16_t value) { Put(disk, 512 + cluster * 2, value, 2); }
    void Fat32(std::uint32_t cluster, std::uint32_t value) { Put(disk, 512 + cluster * 4, value, 4); }
};

TEST_F(FatChains, Fat12EntriesArePackedInTwelveBits) {
    // 2 -> 3 -> end; odd clusters take the upper 12 bits.
    disk[512 + 3] = 0x03;
    disk[512 + 4] = 0xF0;
    disk[512 + 5] = 0xFF;
    Open(FatType::Fat12);
    EXPECT_EQ(ReadClusterChain(volume, 2, kNoCutOff, 100), (std::vector<std::uint32_t>{2, 3}));
}

TEST_F(FatChains, EndMarksEndTheChain) {
    Fat16(2, 3);
    Fat16(3, 0xFFF8);  // an end-of-chain mark, not cluster 65528
    Fat16(4, 5);
    Fat16(5, 0xFFF7);  // bad cluster
    Open(FatType::Fat16);
    EXPECT_EQ(ReadClusterChain(volume, 2, kNoCutOff, 100), (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(ReadClusterChain(volume, 4, kNoCutOff, 100), (std::vector<std::uint32_t>{4, 5}));
}

TEST_F(FatChains, DeletedFoldersStopAfterTwentyFiveSuccessors) {
    for (std::uint32_t c = 2; c < 100; ++c) Fat32(c, c + 1);
    Open(FatType::Fat32);
    EXPECT_EQ(ReadClusterChain(volume, 2, kDeletedFolderCutOff, 1000).size(), 26u);
    EXPECT_EQ(ReadClusterChain(volume, 2, kNoCutOff, 1000).size(), 99u) << "2 to 100, whose entry is free";
}

TEST_F(FatChains, LoopsAndRunawayChainsAreBounded) {
    Fat32(2, 3);
    Fat32(3, 2);  // a loop
    Fat32(4, 0x0FFFFFF0);  // beyond the FAT's entries
    Open(FatType::Fat32);
    EXPECT_EQ(ReadClusterChain(volume, 2, kNoCutOff, 10).size(), 10u);
    EXPECT_EQ(ReadClusterChain(volume, 4, kNoCutOff, 10), (std::vector<std::uint32_t>{4}));
    EXPECT_TRUE(ReadClusterChain(volume, 1, kNoCutOff, 10).empty());
    EXPECT_TRUE(ReadClusterChain(volume, 5000, kNoCutOff, 10).empty()) << "past the FAT";
}

}  // namespace
}  // namespace dravik::analysis::fat

namespace dravik::analysis::fat {
namespace {

TEST(FatEntries, DirectoryClustersAreRecognisedByTheirEntries) {
    std::vector<std::uint8_t> cluster;
    auto add = [&](const std::vector<std::uint8_t>& e) { cluster.insert(cluster.end(), e.begin(), e.end()); };
    add(LongParts(u"notes.txt", SumOf("NOTES   TXT")));
    add(ShortEntry("NOTES   TXT", 0x20, 40, 100));
    add(ShortEntry("PHOTOS     ", 0x10, 41, 0));
    cluster.resize(512, 0);
    EXPECT_TRUE(LooksLikeDirectoryCluster(cluster, 1000, true));
    EXPECT_TRUE(HasEndOfDirectory(cluster));

    auto past = cluster;
    Put(past, 32 * 2 + 26, 5000, 2);  // a first cluster past the volume
    EXPECT_FALSE(LooksLikeDirectoryCluster(past, 1000, true));
    auto text = std::vector<std::uint8_t>(512, 'a');  // file data
    text[11] = 0x20;
    EXPECT_FALSE(LooksLikeDirectoryCluster(text, 1000, true));
    EXPECT_FALSE(LooksLikeDirectoryCluster(std::vector<std::uint8_t>(512, 0), 1000, true)) << "an empty cluster";
}

}  // namespace
}  // namespace dravik::analysis::fat
