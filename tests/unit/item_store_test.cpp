// The folder and file stores: order, duplicate rules, names, lookups,
// reparenting, record stability, the out-of-memory path, and the scan-time
// lists. A randomized run checks the stores against a naive list model.
#include "analysis/item_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace dravik::analysis {
namespace {

ItemName N(std::string_view name) { return ItemName::Narrow(name); }

FolderItem* AddFolder(FolderStore& s, std::uint32_t parent, std::uint32_t number, bool deleted = false,
                      std::uint16_t volume = 1, std::string_view name = "f") {
    return s.AddFolderItem(N(name), deleted, parent, number, 0, 1, 2, 3, volume);
}

FileItem& AddFile(FileStore& s, std::uint32_t parent, std::uint32_t number = 0, std::string_view name = "x") {
    return s.AddFileItem(N(name), false, 100, parent, number, 0, 1, 2, 3);
}

template <class Range>
std::vector<std::string> Names(const Range& range) {
    std::vector<std::string> out;
    for (const auto& item : range) out.emplace_back(NarrowName(item));
    return out;
}

using Strings = std::vector<std::string>;

// ---- order ----------------------------------------------------------------

TEST(FolderStoreOrder, SortedByParentEqualParentsInInsertionOrder) {
    FolderStore s;
    AddFolder(s, 7, 10, false, 1, "a");
    AddFolder(s, 5, 11, false, 1, "b");
    AddFolder(s, 9, 12, false, 1, "c");
    AddFolder(s, 5, 13, false, 1, "d");
    EXPECT_EQ(Names(s), (Strings{"b", "d", "a", "c"}));
    EXPECT_EQ(s.Count(), 4u);
    EXPECT_EQ(Names(s.Children(5)), (Strings{"b", "d"}));
    EXPECT_TRUE(s.Children(6).empty());
}

TEST(FolderStoreOrder, NumberZeroFoldersStayAtTheEndInInsertionOrder) {
    FolderStore s;
    AddFolder(s, 7, 10, false, 1, "a");
    AddFolder(s, 3, 0, false, 1, "z1");  // smaller parent, still last
    AddFolder(s, 9, 0, false, 1, "z2");
    AddFolder(s, 2, 0, false, 1, "z3");
    AddFolder(s, 100, 11, false, 1, "b");  // numbered folders go before all of them
    AddFolder(s, 3, 12, false, 1, "c");
    EXPECT_EQ(Names(s), (Strings{"c", "a", "b", "z1", "z2", "z3"}));
    // Children: the numbered ones first, then the number-0 ones.
    auto kids = s.Children(3);
    ASSERT_EQ(kids.size(), 2u);
    EXPECT_EQ(NarrowName(kids[0]), "c");
    EXPECT_EQ(NarrowName(kids[1]), "z1");
}

TEST(FileStoreOrder, SortedByParentNeverDeduplicatedIndexStamped) {
    FileStore s;
    AddFile(s, 8, 40, "a");
    AddFile(s, 5, 40, "b");  // same number: kept
    AddFile(s, 8, 0, "c");
    AddFile(s, 5, 0, "d");   // number 0: sorted like any other
    EXPECT_EQ(Names(s), (Strings{"b", "d", "a", "c"}));
    EXPECT_EQ(s.Count(), 4u);
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(s.FindByIndex(i)->index, i);
    EXPECT_EQ(NarrowName(*s.FindByIndex(2)), "c");
    EXPECT_EQ(s.FindByIndex(4), nullptr);
    const FileItem& f = *s.FindByIndex(0);
    EXPECT_EQ(f.kind, 'F');
    EXPECT_EQ(f.mark, 'n');
    EXPECT_EQ(f.deleted, 'n');
}

TEST(FileStoreOrder, ThousandsOfParentsStaySortedWhenRunsEmpty) {
    std::mt19937 rng(77);
    FileStore s;
    std::vector<std::pair<std::uint32_t, const FileItem*>> expected;
    for (int i = 0; i < 6000; ++i) {
        const std::uint32_t parent = std::uniform_int_distribution<std::uint32_t>(0, 2499)(rng);
        expected.emplace_back(parent, &AddFile(s, parent));
    }
    std::stable_sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.first < b.first; });
    auto order = [&] {
        std::vector<const FileItem*> out;
        for (const FileItem& f : s) out.push_back(&f);
        return out;
    };
    std::vector<const FileItem*> want;
    for (auto& [parent, file] : expected) want.push_back(file);
    ASSERT_EQ(order(), want);

    // Emptying the low parents drops whole stretches of runs.
    std::vector<FileItem*> low;
    for (FileItem& f : s)
        if (f.parent < 1500) low.push_back(&f);
    s.Reparent(low, kLostFolder);
    want.clear();
    for (auto& [parent, file] : expected)
        if (parent >= 1500) want.push_back(file);
    want.insert(want.end(), low.begin(), low.end());
    EXPECT_EQ(order(), want);
    EXPECT_TRUE(s.Children(0).empty());
    EXPECT_EQ(s.Children(kLostFolder).size(), low.size());
}

TEST(FileStoreOrder, SiblingsStoredInARowAcrossManyParents) {
    // Ascending parents, as a directory walk produces them, with several
    // files per folder in a row.
    FileStore s;
    for (std::uint32_t parent = 0; parent < 3000; ++parent)
        for (int k = 0; k < 3; ++k) AddFile(s, parent, 0, std::to_string(parent));
    std::uint32_t last = 0;
    for (const FileItem& f : s) {
        EXPECT_GE(f.parent, last);
        last = f.parent;
    }
    for (std::uint32_t parent = 0; parent < 3000; ++parent) {
        auto kids = s.Children(parent);
        ASSERT_EQ(kids.size(), 3u) << parent;
        EXPECT_EQ(NarrowName(kids[2]), std::to_string(parent));
    }
}

// ---- duplicates -----------------------------------------------------------

TEST(FolderStoreDuplicates, DeletedAfterInUseIsDropped) {
    FolderStore s;
    FolderItem* holder = AddFolder(s, 5, 40, false, 1, "live");
    EXPECT_EQ(AddFolder(s, 6, 40, true, 1, "ghost"), nullptr);
    EXPECT_EQ(AddFolder(s, 6, 40, false, 1, "again"), nullptr);  // in use after in use
    EXPECT_EQ(s.Count(), 1u);
    EXPECT_EQ(NarrowName(*holder), "live");
    EXPECT_EQ(holder->parent, 5u);
}

TEST(FolderStoreDuplicates, DeletedAfterDeletedIsDropped) {
    FolderStore s;
    AddFolder(s, 5, 40, true, 1, "first");
    EXPECT_EQ(AddFolder(s, 5, 40, true, 1, "second"), nullptr);
    EXPECT_EQ(Names(s), (Strings{"first"}));
}

TEST(FolderStoreDuplicates, InUseReplacesDeletedInPlace) {
    FolderStore s;
    AddFolder(s, 5, 30, false, 1, "before");
    FolderItem* holder = AddFolder(s, 5, 40, true, 1, "ghost");
    AddFolder(s, 5, 50, false, 1, "after");
    holder->mark = 'y';
    s.SetTreeHandle(*holder, 77);

    FolderItem* got = s.AddFolderItem(ItemName::Wide(u"live"), false, 5, 40, 900, 11, 12, 13, 1);
    EXPECT_EQ(got, holder);
    EXPECT_EQ(s.Count(), 3u);
    EXPECT_EQ(holder->deleted, 'n');
    EXPECT_EQ(holder->mark, 'n');
    EXPECT_EQ(holder->nameA, nullptr);
    EXPECT_EQ(WideName(*holder), u"live");
    EXPECT_EQ(holder->sector, 900u);
    EXPECT_EQ(holder->modified, 11u);
    EXPECT_EQ(holder->created, 12u);
    EXPECT_EQ(holder->accessed, 13u);
    EXPECT_EQ(holder->treeHandle, 77u);  // the view's slot is not the newcomer's
    std::vector<const FolderItem*> order;
    for (const FolderItem& f : s) order.push_back(&f);
    EXPECT_EQ(order[1], holder);  // same place
}

TEST(FolderStoreDuplicates, ReplacementWithNewParentMovesToItsPlace) {
    FolderStore s;
    FolderItem* holder = AddFolder(s, 5, 40, true, 1, "ghost");
    AddFolder(s, 8, 41, false, 1, "x");
    AddFolder(s, 9, 42, false, 1, "y");
    AddFolder(s, 8, 40, false, 1, "live");
    EXPECT_EQ(Names(s), (Strings{"x", "live", "y"}));
    EXPECT_EQ(holder->parent, 8u);
    EXPECT_TRUE(s.Children(5).empty());
}

TEST(FolderStoreDuplicates, KeyIncludesVolumeAndSkipsNumberZero) {
    FolderStore s;
    FolderItem* a = AddFolder(s, 5, 40, false, 1);
    FolderItem* b = AddFolder(s, 5, 40, false, 2);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(s.FindFolder(40, 1), a);
    EXPECT_EQ(s.FindFolder(40, 2), b);
    EXPECT_EQ(s.FindFolder(40, 3), nullptr);
    EXPECT_NE(AddFolder(s, 5, 0, false, 1), nullptr);
    EXPECT_NE(AddFolder(s, 5, 0, false, 1), nullptr);
    EXPECT_EQ(s.Count(), 4u);
    EXPECT_EQ(s.FindFolder(0, 1), nullptr);
}

// ---- names ----------------------------------------------------------------

TEST(ItemNames, NarrowWhenFirstByteNonZeroOtherwiseWide) {
    FileStore s;
    FileItem& a = s.AddFileItem({"", u"wide"}, false, 0, 5, 0, 0, 0, 0, 0);
    EXPECT_EQ(a.nameA, nullptr);
    EXPECT_EQ(WideName(a), u"wide");
    EXPECT_EQ(a.nameLength, 4u);

    FileItem& b = s.AddFileItem({"short", u"long name"}, false, 0, 5, 0, 0, 0, 0, 0);
    EXPECT_EQ(b.nameW, nullptr);
    EXPECT_STREQ(b.nameA, "short");

    FileItem& c = s.AddFileItem({std::string_view("\0x", 2), u"w"}, false, 0, 5, 0, 0, 0, 0, 0);
    EXPECT_EQ(WideName(c), u"w");

    FileItem& d = s.AddFileItem({}, false, 0, 5, 0, 0, 0, 0, 0);
    ASSERT_NE(d.nameW, nullptr);  // exactly one name is always set
    EXPECT_EQ(d.nameW[0], u'\0');
    EXPECT_EQ(d.nameLength, 0u);
}

TEST(ItemNames, KeepANulInsideDropTrailingOnesAndCutAtMaximumLength) {
    FileStore s;
    // A NUL inside a name does not end it (the saving makes it safe);
    // trailing ones are padding.
    FileItem& a = s.AddFileItem(ItemName::Wide(std::u16string_view(u"ab\0cd\0\0", 7)), false, 0, 5, 0, 0, 0, 0, 0);
    EXPECT_EQ(WideName(a), std::u16string_view(u"ab\0cd", 5));
    EXPECT_EQ(a.nameW[5], u'\0');

    std::u16string huge(70000, u'q');
    FileItem& b = s.AddFileItem(ItemName::Wide(huge), false, 0, 5, 0, 0, 0, 0, 0);
    EXPECT_EQ(b.nameLength, kMaxNameLength);
    EXPECT_EQ(b.nameW[kMaxNameLength], u'\0');

    // The cut must not leave a lone high surrogate.
    huge[kMaxNameLength - 1] = 0xD83D;
    huge[kMaxNameLength] = 0xDE00;
    FileItem& c = s.AddFileItem(ItemName::Wide(huge), false, 0, 5, 0, 0, 0, 0, 0);
    EXPECT_EQ(c.nameLength, kMaxNameLength - 1);

    std::string narrow(70000, 'n');
    FileItem& d = s.AddFileItem(N(narrow), false, 0, 5, 0, 0, 0, 0, 0);
    EXPECT_EQ(std::strlen(d.nameA), kMaxNameLength);
    EXPECT_EQ(WideName(a), std::u16string_view(u"ab\0cd", 5));  // earlier names untouched by big ones
}

TEST(ItemNames, RenameReplacesOnlyTheName) {
    FolderStore s;
    FolderItem* f = AddFolder(s, 5, 40, false, 1, "old");
    EXPECT_TRUE(s.Rename(*f, ItemName::Wide(u"new")));
    EXPECT_EQ(f->nameA, nullptr);
    EXPECT_EQ(WideName(*f), u"new");
    EXPECT_EQ(s.FindFolder(40, 1), f);
    FolderItem stranger;
    EXPECT_FALSE(s.Rename(stranger, N("x")));
}

// ---- lookups and reparenting ----------------------------------------------

TEST(FolderStoreLookup, TreeHandles) {
    FolderStore s;
    FolderItem* a = AddFolder(s, 5, 40);
    FolderItem* b = AddFolder(s, 5, 41);
    s.SetTreeHandle(*a, 100);
    s.SetTreeHandle(*b, 200);
    EXPECT_EQ(s.FindByTreeHandle(100), a);
    EXPECT_EQ(s.FindByTreeHandle(200), b);
    s.SetTreeHandle(*a, 101);  // a new handle retires the old one
    EXPECT_EQ(s.FindByTreeHandle(100), nullptr);
    EXPECT_EQ(s.FindByTreeHandle(101), a);
    EXPECT_EQ(s.FindByTreeHandle(0), nullptr);
    s.ClearTreeHandles();
    EXPECT_EQ(s.FindByTreeHandle(101), nullptr);
    EXPECT_EQ(a->treeHandle, 0u);
    EXPECT_EQ(b->treeHandle, 0u);
}

TEST(ItemStoreReparent, MovesToTheEndOfTheNewParentsRun) {
    FolderStore s;
    FolderItem* a = AddFolder(s, 5, 40, false, 1, "a");
    AddFolder(s, 6, 41, false, 1, "b");
    AddFolder(s, 6, 42, false, 1, "c");
    AddFolder(s, 7, 43, false, 1, "d");
    EXPECT_TRUE(s.Reparent(*a, 6));
    EXPECT_EQ(Names(s), (Strings{"b", "c", "a", "d"}));
    EXPECT_TRUE(s.Children(5).empty());
    EXPECT_TRUE(s.Reparent(*a, 6));  // already there: stays put
    EXPECT_EQ(Names(s.Children(6)), (Strings{"b", "c", "a"}));
    FolderItem stranger;
    EXPECT_FALSE(s.Reparent(stranger, 6));
}

TEST(ItemStoreReparent, BatchKeepsTheOrderGiven) {
    FolderStore s;
    FolderItem* a = AddFolder(s, 20, 40, false, 1, "a");
    FolderItem* b = AddFolder(s, 21, 41, false, 1, "b");
    FolderItem* c = AddFolder(s, 20, 42, false, 1, "c");
    FolderItem* z = AddFolder(s, 20, 0, false, 1, "z");
    AddFolder(s, 20, 0, false, 1, "z2");
    AddFolder(s, kLostFolder, 43, false, 1, "lost");
    FolderItem stranger;
    std::vector<FolderItem*> batch{c, z, &stranger, a, b, c};
    s.Reparent(batch, kLostFolder);
    EXPECT_EQ(Names(s), (Strings{"lost", "c", "a", "b", "z2", "z"}));
    EXPECT_EQ(Names(s.Children(kLostFolder)), (Strings{"lost", "c", "a", "b", "z"}));
    EXPECT_EQ(Names(s.Children(20)), (Strings{"z2"}));
}

TEST(FileStoreReparent, BatchOverOneLargeRun) {
    FileStore s;
    std::vector<FileItem*> odd;
    for (int i = 0; i < 1000; ++i) {
        FileItem& f = AddFile(s, 9, 0, std::to_string(i));
        if (i % 2) odd.push_back(&f);
    }
    std::reverse(odd.begin(), odd.end());
    s.Reparent(odd, 3);
    auto moved = s.Children(3);
    ASSERT_EQ(moved.size(), 500u);
    EXPECT_EQ(NarrowName(moved[0]), "999");
    EXPECT_EQ(NarrowName(moved[499]), "1");
    EXPECT_EQ(s.Children(9).size(), 500u);
    EXPECT_EQ(NarrowName(*s.begin()), "999");
}

// ---- storage --------------------------------------------------------------

TEST(ItemStoreStorage, RecordsAndNamesNeverMove) {
    FileStore s;
    FileItem& first = s.AddFileItem(ItemName::Wide(u"first"), false, 1, 500, 1, 0x1'2345'6789ULL, 0, 0, 0);
    for (int i = 0; i < 20000; ++i) AddFile(s, static_cast<std::uint32_t>(i % 700), 0, std::string(30, 'a'));
    EXPECT_EQ(&first, s.FindByIndex(0));
    EXPECT_EQ(WideName(first), u"first");
    EXPECT_EQ(first.sector, 0x1'2345'6789ULL);  // past 32 bits
    EXPECT_EQ(s.IdOf(first), 0u);
    EXPECT_EQ(s.IdOf(*s.FindByIndex(12345)), 12345u);
}

TEST(ItemStoreStorage, ClearStartsOver) {
    ItemLists lists;
    AddFolder(lists.folders, 5, 40);
    AddFile(lists.files, 5);
    AddFile(lists.files, 5);
    lists.scan.AddFoundFile({});
    lists.volumes.AddVolumeDescriptor({.typeName = "NTFS"});
    lists.totalSize = 99;
    lists.Clear();
    EXPECT_EQ(lists.folders.Count(), 0u);
    EXPECT_EQ(lists.files.Count(), 0u);
    EXPECT_EQ(lists.folders.begin(), lists.folders.end());
    EXPECT_EQ(lists.folders.FindFolder(40, 1), nullptr);
    EXPECT_EQ(lists.files.FindByIndex(0), nullptr);
    EXPECT_EQ(lists.scan.FoundFileCount(), 0u);
    EXPECT_EQ(lists.volumes.Count(), 0u);
    EXPECT_EQ(lists.totalSize, 0u);
    EXPECT_EQ(AddFile(lists.files, 5).index, 0u);
    EXPECT_NE(AddFolder(lists.folders, 5, 40), nullptr);
}

// ---- out of memory --------------------------------------------------------

TEST(ItemStoreDeathTest, OutOfMemoryRunsTheHandler) {
    auto handler = [] {
        std::fputs("Out Of Memory\n", stderr);
        std::_Exit(0);
    };
    EXPECT_EXIT(
        {
            ItemLists lists(handler);
            lists.files.SetItemBudget(2);
            AddFile(lists.files, 5);
            AddFile(lists.files, 5);
            AddFile(lists.files, 5);
        },
        ::testing::ExitedWithCode(0), "Out Of Memory");
    EXPECT_EXIT(
        {
            FolderStore s(handler);
            s.SetItemBudget(0);
            AddFolder(s, 5, 40);
        },
        ::testing::ExitedWithCode(0), "Out Of Memory");
}

TEST(ItemStoreDeathTest, AHandlerThatReturnsStillEndsTheProcess) {
    EXPECT_EXIT(
        {
            FolderStore s([] {});
            s.SetItemBudget(0);
            AddFolder(s, 5, 40);
        },
        ::testing::KilledBySignal(SIGABRT), "");
}

// ---- scan-time lists ------------------------------------------------------

TEST(ScanLists, AppendInOrderAndCount) {
    ScanLists scan;
    scan.AddFoundFile({.name = u"a"});
    scan.AddFoundFile({.name = u"b"});
    scan.foundFiles.pop_front();  // the dump consumes from the front
    FoundFile& c = scan.AddFoundFile({.name = u"c", .stamp = 77});
    EXPECT_EQ(c.stamp, 77u);
    EXPECT_EQ(scan.foundFiles.front().name, u"b");
    EXPECT_EQ(scan.FoundFileCount(), 3u);

    scan.AddFoundFolder({.name = u"d", .sector = 0x2'0000'0000ULL});
    EXPECT_EQ(scan.foundFolders.back().sector, 0x2'0000'0000ULL);

    scan.AddIndexBlockRef({.sector = 8, .owner = 5});
    EXPECT_EQ(scan.indexBlocks.back().tag, kScanTag);

    scan.AddBootSectorHit({.sector = 1});
    scan.AddFatBootHit({.sector = 2, .typeName = "FAT32"});
    EXPECT_EQ(scan.BootHitCount(), 2u);

    scan.Clear();
    EXPECT_TRUE(scan.foundFiles.empty() && scan.foundFolders.empty() && scan.indexBlocks.empty() &&
                scan.bootHits.empty() && scan.fatBootHits.empty());
    EXPECT_EQ(scan.FoundFileCount() + scan.FoundFolderCount() + scan.IndexBlockCount() + scan.BootHitCount(), 0u);
}

TEST(ScanLists, VolumeOrdinalsAreOneBased) {
    VolumeList volumes;
    EXPECT_EQ(volumes.AddVolumeDescriptor({.typeName = "NTFS"}), 1);
    EXPECT_EQ(volumes.AddVolumeDescriptor({.typeName = "FAT32"}), 2);
    EXPECT_EQ(volumes.Find(2)->typeName, "FAT32");
    EXPECT_EQ(volumes.Find(0), nullptr);
    EXPECT_EQ(volumes.Find(3), nullptr);
}

// ---- against a model ------------------------------------------------------

// The list as a plain vector kept in order by the rules, the slow way.
struct ModelFolder {
    FolderItem* record;
    std::uint32_t parent;
    std::uint32_t number;
    std::uint16_t volume;
    bool deleted;
};

void ModelPlace(std::vector<ModelFolder>& list, ModelFolder f) {
    if (f.number == 0) {
        list.push_back(f);
        return;
    }
    auto at = std::find_if(list.begin(), list.end(),
                           [&](const ModelFolder& m) { return m.number == 0 || m.parent > f.parent; });
    list.insert(at, f);
}

TEST(FolderStoreModel, RandomOperationsMatchANaiveList) {
    std::mt19937 rng(1234);
    auto pick = [&](std::uint32_t lo, std::uint32_t hi) { return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng); };
    FolderStore s;
    std::vector<ModelFolder> model;
    for (int step = 0; step < 6000; ++step) {
        if (pick(0, 9) == 0 && !model.empty()) {
            auto& m = model[pick(0, static_cast<std::uint32_t>(model.size() - 1))];
            const std::uint32_t parent = pick(0, 30);
            ModelFolder moved = m;
            if (moved.parent != parent) {
                model.erase(model.begin() + (&m - model.data()));
                moved.parent = parent;
                ModelPlace(model, moved);
            }
            s.Reparent(*moved.record, parent);
            continue;
        }
        const std::uint32_t parent = pick(0, 30);
        const std::uint32_t number = pick(0, 5) == 0 ? 0 : pick(1, 400);
        const auto volume = static_cast<std::uint16_t>(pick(1, 2));
        const bool deleted = pick(0, 1) == 1;
        FolderItem* got = AddFolder(s, parent, number, deleted, volume);
        auto holder = std::find_if(model.begin(), model.end(), [&](const ModelFolder& m) {
            return number != 0 && m.number == number && m.volume == volume;
        });
        if (holder == model.end()) {
            ASSERT_NE(got, nullptr);
            ModelPlace(model, {got, parent, number, volume, deleted});
        } else if (holder->deleted && !deleted) {
            ASSERT_EQ(got, holder->record);
            ModelFolder replaced = *holder;
            replaced.deleted = false;
            if (replaced.parent != parent) {
                model.erase(holder);
                replaced.parent = parent;
                ModelPlace(model, replaced);
            } else {
                *holder = replaced;
            }
        } else {
            ASSERT_EQ(got, nullptr);
        }
    }
    ASSERT_EQ(s.Count(), model.size());
    std::vector<const FolderItem*> order, expected;
    for (const FolderItem& f : s) order.push_back(&f);
    for (const ModelFolder& m : model) expected.push_back(m.record);
    ASSERT_EQ(order, expected);
    for (std::uint32_t parent = 0; parent <= 31; ++parent) {
        std::vector<const FolderItem*> kids, want;
        for (const FolderItem& f : s.Children(parent)) kids.push_back(&f);
        for (const ModelFolder& m : model)
            if (m.parent == parent && m.number != 0) want.push_back(m.record);
        for (const ModelFolder& m : model)
            if (m.parent == parent && m.number == 0) want.push_back(m.record);
        EXPECT_EQ(kids, want) << "parent " << parent;
    }
    for (const ModelFolder& m : model) {
        EXPECT_EQ(m.record->parent, m.parent);
        EXPECT_EQ(m.record->deleted, m.deleted ? 'y' : 'n');
        if (m.number != 0) {
            EXPECT_EQ(s.FindFolder(m.number, m.volume), m.record);
        }
    }
}

}  // namespace
}  // namespace dravik::analysis
