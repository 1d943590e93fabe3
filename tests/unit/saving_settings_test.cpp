// The saving settings: the dialog's model driven as a user would drive it,
// and the filters on NTFS and FAT items.
#include "saving/saving_settings.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "platform/code_page.h"
#include "support/scripted_prompter.h"

namespace dravik::saving {
namespace {

using analysis::FileItem;
using results::TimeKind;

// Days from 1970-01-01 to a proleptic Gregorian date.
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::uint64_t Filetime(int y, int m, int d, int hour = 0, int minute = 0, int second = 0) {
    constexpr std::int64_t kDays1601To1970 = 134774;
    const std::int64_t seconds = (DaysFromCivil(y, m, d) + kDays1601To1970) * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<std::uint64_t>(seconds) * 10'000'000ull;
}

// DOS date word in the low half, the time word (here 12:34) in the high half.
std::uint64_t FatTime(int y, int m, int d) {
    const std::uint64_t date = std::uint64_t(((y - 1980) << 9) | (m << 5) | d);
    const std::uint64_t time = (12u << 11) | (34u << 5);
    return date | (time << 32);
}

FileItem Ntfs(std::uint64_t modified, std::uint64_t created = 0, std::uint64_t accessed = 0, bool deleted = false) {
    FileItem f;
    f.modified = modified;
    f.created = created;
    f.accessed = accessed;
    f.deleted = deleted ? analysis::kYes : analysis::kNo;
    return f;
}

// Selections of the six lists for a first and a last day.
DateSelections Between(int d1, int m1, int y1, int d2, int m2, int y2) {
    return {d1 - 1, m1 - 1, y1 - kFirstListYear, d2 - 1, m2 - 1, y2 - kFirstListYear};
}

class SavingSettingsFixture : public ::testing::Test {
protected:
    SavingSettings settings;
    test::ScriptedPrompter prompter;

    // Opens the dialog, sets a range on one kind, applies.
    void SetRange(TimeKind kind, const DateSelections& s) {
        SavingSettingsEditor e(settings, prompter);
        e.ChooseDateKind(kind);
        ASSERT_TRUE(e.SetDateLists(s));
        e.Apply();
    }
    void AddAll(std::initializer_list<const char16_t*> exts) {
        SavingSettingsEditor e(settings, prompter);
        for (const char16_t* x : exts) ASSERT_TRUE(e.AddExtension(x)) << platform::Utf16ToOem(x);
        e.Apply();
    }
};

TEST(DateKey, OrdersDatesByYearThenMonthThenDay) {
    EXPECT_LT(DateKey(2010, 1, 31), DateKey(2010, 2, 1));
    EXPECT_LT(DateKey(2009, 12, 31), DateKey(2010, 1, 1));
    EXPECT_LT(DateKey(2010, 12, 31), DateKey(2011, 0, 0)) << "damaged DOS words still sort by year first";
    EXPECT_LT(DateKey(2010, 15, 31), DateKey(2011, 1, 1));
    EXPECT_EQ(DateKey(2010, 3, 15), DateKey(2010, 3, 15));
    EXPECT_LT(DateKey(30000, 1, 1), DateKey(60000, 1, 1)) << "far NTFS years do not overflow";
}

TEST(DateLists, EntriesAsTheListsShowThem) {
    EXPECT_EQ(DateListEntry(DateList::FirstDay, 0), "01");
    EXPECT_EQ(DateListEntry(DateList::LastDay, 30), "31");
    EXPECT_EQ(DateListEntry(DateList::LastMonth, 11), "12");
    EXPECT_EQ(DateListEntry(DateList::FirstYear, 0), "1970");
    EXPECT_EQ(DateListEntry(DateList::LastYear, 60), "2030");
    EXPECT_EQ(DateListEntry(DateList::LastYear, 61), "");
    EXPECT_EQ(DateListEntry(DateList::FirstDay, -1), "");
}

TEST(TestHelpers, FiletimeMatchesAKnownStamp) {
    EXPECT_EQ(Filetime(2014, 3, 5, 7, 9, 2), 130384769420000000ull);  // 05-Mar-2014 07:09:02 UTC
    EXPECT_EQ(results::DateOf(FatTime(2010, 3, 15), false).day, 15);
}

// ---- The extension list -------------------------------------------------

TEST_F(SavingSettingsFixture, AcceptedExtensionGoesOnTopSelected) {
    SavingSettingsEditor e(settings, prompter);
    EXPECT_FALSE(e.RemoveEnabled());
    EXPECT_TRUE(e.AddExtension(u"doc"));
    EXPECT_TRUE(e.AddExtension(u"xls"));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(e.ListBox(), (std::vector<std::u16string>{u"xls", u"doc"}));
    EXPECT_EQ(settings.Extensions(), (std::vector<std::u16string>{u"doc", u"xls"}));
    EXPECT_EQ(e.SelectedRow(), 0u);
    EXPECT_TRUE(e.RemoveEnabled());
}

TEST_F(SavingSettingsFixture, RefusedExtensionsSayWhyAndChangeNothing) {
    SavingSettingsEditor e(settings, prompter);
    ASSERT_TRUE(e.AddExtension(u"doc"));
    const struct {
        const char16_t* text;
        const char* message;
    } cases[] = {
        {u".doc", msg::kExtensionDot},
        {u"*.do", msg::kExtensionDot},    // the dot is looked for before the star
        {u"*do", msg::kExtensionStar},
        {u" doc", msg::kExtensionBlank},
        {u"jpeg2", msg::kExtensionTooLong},
        {u" jpeg", msg::kExtensionTooLong},  // length is looked at before the space
        {u"doc", msg::kExtensionExists},
    };
    for (const auto& c : cases) {
        prompter.messages.clear();
        EXPECT_FALSE(e.AddExtension(c.text));
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0], c.message);
        EXPECT_EQ(settings.Extensions(), std::vector<std::u16string>{u"doc"});
        EXPECT_EQ(e.ListBox(), std::vector<std::u16string>{u"doc"});
    }
    EXPECT_EQ(std::string(msg::kExtensionDot),
              "Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc..");
}

TEST_F(SavingSettingsFixture, EmptyTextIsIgnoredSilently) {
    SavingSettingsEditor e(settings, prompter);
    EXPECT_FALSE(e.AddExtension(u""));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(settings.Extensions().empty());
}

TEST_F(SavingSettingsFixture, SpaceInsideOrAfterIsNotALeadingSpace) {
    SavingSettingsEditor e(settings, prompter);
    EXPECT_TRUE(e.AddExtension(u"do c"));
    EXPECT_TRUE(e.AddExtension(u"doc "));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(SavingSettingsFixture, LengthCountsUtf16Units) {
    SavingSettingsEditor e(settings, prompter);
    EXPECT_TRUE(e.AddExtension(u"ÄÖÜß"));
    EXPECT_FALSE(e.AddExtension(u"a\U0001F600bc")) << "a surrogate pair is two units: five in all";
    EXPECT_EQ(prompter.messages, std::vector<std::string>{msg::kExtensionTooLong});
}

TEST_F(SavingSettingsFixture, DuplicateTestCountsCaseAndBothCaseVariantsMatch) {
    SavingSettingsEditor e(settings, prompter);
    ASSERT_TRUE(e.AddExtension(u"doc"));
    EXPECT_TRUE(e.AddExtension(u"DOC"));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(settings.Extensions(), (std::vector<std::u16string>{u"doc", u"DOC"}));
    EXPECT_TRUE(settings.PassesExtension(u"x.doc"));
    SavingSettings onlyUpper;
    SavingSettingsEditor(onlyUpper, prompter).AddExtension(u"DOC");
    EXPECT_TRUE(onlyUpper.PassesExtension(u"x.doc"));
}

TEST_F(SavingSettingsFixture, HundredthEntryIsTheLast) {
    SavingSettingsEditor e(settings, prompter);
    for (int i = 0; i < 100; ++i) {
        const std::string s = std::to_string(i);
        ASSERT_TRUE(e.AddExtension(std::u16string(s.begin(), s.end())));
    }
    EXPECT_FALSE(e.AddExtension(u"new"));
    EXPECT_FALSE(e.AddExtension(u".toolong")) << "a full list is reported before anything else";
    EXPECT_EQ(prompter.messages,
              (std::vector<std::string>{msg::kCannotAddMoreExtensions, msg::kCannotAddMoreExtensions}));
    EXPECT_EQ(settings.Extensions().size(), 100u);
    EXPECT_EQ(e.ListBox().front(), u"99");
    e.SelectRow(0);
    e.RemoveExtension();
    EXPECT_TRUE(e.AddExtension(u"new")) << "room again after a removal";
}

TEST_F(SavingSettingsFixture, RemovalTakesTheSelectedEntryOnlyAndKeepsOrder) {
    SavingSettingsEditor e(settings, prompter);
    for (const char16_t* x : {u"doc", u"txt", u"DOC", u"xls"}) ASSERT_TRUE(e.AddExtension(x));
    // Box: xls DOC txt doc. Remove "doc" (row 3): "DOC" stays, case counts.
    e.SelectRow(3);
    e.RemoveExtension();
    EXPECT_EQ(settings.Extensions(), (std::vector<std::u16string>{u"txt", u"DOC", u"xls"}));
    EXPECT_EQ(e.ListBox(), (std::vector<std::u16string>{u"xls", u"DOC", u"txt"}));
    EXPECT_EQ(e.SelectedRow(), 0u);
    e.RemoveExtension();  // the first row, now selected
    EXPECT_EQ(settings.Extensions(), (std::vector<std::u16string>{u"txt", u"DOC"}));
    e.RemoveExtension();
    e.RemoveExtension();
    EXPECT_TRUE(settings.Extensions().empty());
    EXPECT_FALSE(e.SelectedRow());
    EXPECT_FALSE(e.RemoveEnabled());
    e.RemoveExtension();  // nothing left: nothing happens
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(SavingSettingsFixture, OpeningShowsTheListInListOrderWithNoRowSelected) {
    AddAll({u"doc", u"txt"});
    SavingSettingsEditor e(settings, prompter);
    EXPECT_EQ(e.ListBox(), (std::vector<std::u16string>{u"doc", u"txt"}));
    EXPECT_FALSE(e.SelectedRow());
    e.RemoveExtension();
    EXPECT_EQ(settings.Extensions().size(), 2u) << "no row selected: nothing removed";
    e.SelectRow(7);
    EXPECT_FALSE(e.SelectedRow());
    e.SelectRow(1);
    e.RemoveExtension();
    EXPECT_EQ(settings.Extensions(), std::vector<std::u16string>{u"doc"});
}

// ---- The date lists -----------------------------------------------------

TEST_F(SavingSettingsFixture, OpeningShowsModifiedWithTheWidestDefault) {
    SavingSettingsEditor e(settings, prompter);
    EXPECT_EQ(e.DateKind(), TimeKind::Modified);
    EXPECT_EQ(e.DateLists(), kWidestSelections);
    EXPECT_TRUE(settings.Range(TimeKind::Modified).IsOff());
    EXPECT_EQ(settings.Selections(TimeKind::Modified), (DateSelections{}));
    e.ChooseDateKind(TimeKind::Accessed);
    EXPECT_EQ(e.DateLists(), kWidestSelections) << "a kind never set reads up to 31.12.2030 too";
}

TEST_F(SavingSettingsFixture, ChangingOneListMakesTheRangeFromAllSix) {
    SavingSettingsEditor e(settings, prompter);
    ASSERT_TRUE(e.SetDateList(DateList::FirstYear, 40));
    EXPECT_EQ(settings.Range(TimeKind::Modified), (DateRange{{1, 1, 2010}, {31, 12, 2030}}));
    EXPECT_EQ(settings.Selections(TimeKind::Modified), (DateSelections{0, 0, 40, 30, 11, 60}));
    EXPECT_TRUE(settings.Range(TimeKind::Created).IsOff());
    EXPECT_FALSE(e.SetDateList(DateList::FirstDay, 31));
    EXPECT_FALSE(e.SetDateList(DateList::LastYear, -1));
    EXPECT_FALSE(e.SetDateLists({0, 12, 0, 0, 0, 0}));
    EXPECT_EQ(settings.Selections(TimeKind::Modified), (DateSelections{0, 0, 40, 30, 11, 60}));
}

TEST_F(SavingSettingsFixture, TheWidestRangeIsOff) {
    SavingSettingsEditor e(settings, prompter);
    ASSERT_TRUE(e.SetDateList(DateList::FirstDay, 1));
    EXPECT_FALSE(settings.Range(TimeKind::Modified).IsOff());
    ASSERT_TRUE(e.SetDateList(DateList::FirstDay, 0));
    EXPECT_TRUE(settings.Range(TimeKind::Modified).IsOff());
    EXPECT_TRUE(settings.PassesDateRanges(Ntfs(0), true)) << "not even 1601 is held back";
    EXPECT_TRUE(settings.PassesDateRanges(Ntfs(Filetime(2045, 6, 1)), true));
}

TEST_F(SavingSettingsFixture, EachKindKeepsItsOwnSelections) {
    SavingSettingsEditor e(settings, prompter);
    ASSERT_TRUE(e.SetDateLists(Between(15, 3, 2010, 20, 4, 2011)));
    e.ChooseDateKind(TimeKind::Created);
    ASSERT_TRUE(e.SetDateList(DateList::FirstYear, 1));
    e.ChooseDateKind(TimeKind::Modified);
    EXPECT_EQ(e.DateLists(), Between(15, 3, 2010, 20, 4, 2011));
    EXPECT_EQ(settings.Range(TimeKind::Created), (DateRange{{1, 1, 1971}, {31, 12, 2030}}));
    EXPECT_TRUE(settings.Range(TimeKind::Accessed).IsOff());
}

TEST_F(SavingSettingsFixture, ALastDayAtFirstEntriesReopensAsTheYearsEnd) {
    SetRange(TimeKind::Modified, Between(1, 1, 2010, 1, 1, 2011));
    EXPECT_EQ(settings.Range(TimeKind::Modified), (DateRange{{1, 1, 2010}, {1, 1, 2011}}));
    SavingSettingsEditor e(settings, prompter);
    EXPECT_EQ(e.DateLists(), Between(1, 1, 2010, 31, 12, 2011));
    EXPECT_EQ(settings.Range(TimeKind::Modified), (DateRange{{1, 1, 2010}, {1, 1, 2011}}))
        << "showing changes nothing until a list changes";
}

// ---- Apply and Cancel ---------------------------------------------------

TEST_F(SavingSettingsFixture, CancelPutsEverythingBack) {
    AddAll({u"doc", u"txt", u"xls"});
    SetRange(TimeKind::Accessed, Between(2, 2, 2002, 3, 3, 2003));
    const SavingSettings before = settings;

    SavingSettingsEditor e(settings, prompter);
    e.SetMode(DeletedMode::Only);
    e.SelectRow(1);
    e.RemoveExtension();
    ASSERT_TRUE(e.AddExtension(u"bak"));
    ASSERT_TRUE(e.SetDateList(DateList::FirstDay, 9));
    e.ChooseDateKind(TimeKind::Accessed);
    ASSERT_TRUE(e.SetDateList(DateList::LastYear, 60));
    ASSERT_NE(settings, before);

    e.Cancel();
    EXPECT_EQ(settings, before);
    EXPECT_EQ(settings.Extensions(), (std::vector<std::u16string>{u"doc", u"txt", u"xls"}));
    EXPECT_EQ(e.ListBox(), settings.Extensions());
}

TEST_F(SavingSettingsFixture, ApplyKeepsAndALaterCancelGoesBackOnlyToIt) {
    SavingSettingsEditor e(settings, prompter);
    e.SetMode(DeletedMode::Exclude);
    ASSERT_TRUE(e.AddExtension(u"doc"));
    e.Apply();
    const SavingSettings applied = settings;
    e.SetMode(DeletedMode::Only);
    ASSERT_TRUE(e.AddExtension(u"txt"));
    e.Cancel();
    EXPECT_EQ(settings, applied);
    EXPECT_EQ(settings.Mode(), DeletedMode::Exclude);
}

TEST_F(SavingSettingsFixture, ModeIgnoresValuesOutsideTheThree) {
    SavingSettingsEditor e(settings, prompter);
    e.SetMode(DeletedMode::Exclude);
    e.SetMode(static_cast<DeletedMode>(3));
    EXPECT_EQ(settings.Mode(), DeletedMode::Exclude);
}

// ---- The filters --------------------------------------------------------

TEST_F(SavingSettingsFixture, ExtensionFilter) {
    EXPECT_TRUE(settings.PassesExtension(u"anything")) << "an empty list passes every name";
    AddAll({u"DOC"});
    EXPECT_TRUE(settings.PassesExtension(u"x.Doc"));
    EXPECT_TRUE(settings.PassesExtension(u"doc")) << "no dot: the whole name is the extension";
    EXPECT_TRUE(settings.PassesExtension(u"archive.tar.doc"));
    EXPECT_TRUE(settings.PassesExtension(u".doc"));
    EXPECT_FALSE(settings.PassesExtension(u"x.docx"));
    EXPECT_FALSE(settings.PassesExtension(u"x"));
    EXPECT_FALSE(settings.PassesExtension(u"x."));
    EXPECT_FALSE(settings.PassesExtension(u"x.doc.bak"));
    EXPECT_FALSE(settings.PassesExtension(u""));
    EXPECT_FALSE(settings.PassesExtension(u"x.doc1234567"));
}

TEST_F(SavingSettingsFixture, ExtensionFilterFoldsLatin1) {
    AddAll({u"pdé"});
    EXPECT_TRUE(settings.PassesExtension(u"r.PDÉ"));
    EXPECT_FALSE(settings.PassesExtension(u"r.pde"));
}

TEST_F(SavingSettingsFixture, DeletedModeFilter) {
    const FileItem live = Ntfs(0), gone = Ntfs(0, 0, 0, true);
    EXPECT_TRUE(settings.PassesDeletedMode(live));
    EXPECT_TRUE(settings.PassesDeletedMode(gone));
    SavingSettingsEditor e(settings, prompter);
    e.SetMode(DeletedMode::Exclude);
    EXPECT_TRUE(settings.PassesDeletedMode(live));
    EXPECT_FALSE(settings.PassesDeletedMode(gone));
    e.SetMode(DeletedMode::Only);
    EXPECT_FALSE(settings.PassesDeletedMode(live));
    EXPECT_TRUE(settings.PassesDeletedMode(gone));
}

TEST_F(SavingSettingsFixture, OneDayRangeOnModifiedPassesOnlyThatDay) {
    SetRange(TimeKind::Modified, Between(15, 3, 2010, 15, 3, 2010));
    EXPECT_TRUE(settings.PassesDateRanges(Ntfs(Filetime(2010, 3, 15)), true));
    EXPECT_TRUE(settings.PassesDateRanges(Ntfs(Filetime(2010, 3, 15, 23, 59, 59)), true));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(Filetime(2010, 3, 14, 23, 59, 59)), true));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(Filetime(2010, 3, 16)), true));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(Filetime(2011, 3, 15)), true));
    EXPECT_TRUE(settings.PassesDateRanges(Ntfs(Filetime(2010, 3, 15), Filetime(1999, 1, 1)), true))
        << "created and accessed are not restricted";

    FileItem fat;
    fat.modified = FatTime(2010, 3, 15);
    EXPECT_TRUE(settings.PassesDateRanges(fat, false));
    fat.modified = FatTime(2010, 3, 16);
    EXPECT_FALSE(settings.PassesDateRanges(fat, false));
    fat.modified = FatTime(2010, 4, 15);
    EXPECT_FALSE(settings.PassesDateRanges(fat, false));
}

TEST_F(SavingSettingsFixture, LastDayOfAMonthDoesNotLetTheNextMonthIn) {
    SetRange(TimeKind::Modified, Between(1, 1, 2010, 31, 1, 2010));
    EXPECT_TRUE(settings.PassesDateRanges(Ntfs(Filetime(2010, 1, 31, 18)), true));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(Filetime(2010, 2, 1)), true));
    FileItem fat;
    fat.modified = FatTime(2010, 1, 31);
    EXPECT_TRUE(settings.PassesDateRanges(fat, false));
    fat.modified = FatTime(2010, 2, 1);
    EXPECT_FALSE(settings.PassesDateRanges(fat, false));

    // And at the other end: 1 March must not pass for 29 February's sake.
    SetRange(TimeKind::Modified, Between(1, 3, 2012, 31, 12, 2012));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(Filetime(2012, 2, 29)), true));
    EXPECT_TRUE(settings.PassesDateRanges(Ntfs(Filetime(2012, 3, 1)), true));
}

TEST_F(SavingSettingsFixture, RangeAcrossTheTurnOfAYear) {
    SetRange(TimeKind::Modified, Between(15, 12, 2009, 15, 1, 2010));
    const struct {
        int y, m, d;
        bool in;
    } cases[] = {{2009, 12, 15, true},  {2009, 12, 31, true}, {2010, 1, 1, true},  {2010, 1, 15, true},
                 {2009, 12, 14, false}, {2010, 1, 16, false}, {2009, 6, 20, false}, {2010, 6, 1, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(settings.PassesDateRanges(Ntfs(Filetime(c.y, c.m, c.d)), true), c.in) << c.y << '-' << c.m << '-' << c.d;
    }
}

TEST_F(SavingSettingsFixture, FirstDayAfterLastDayPassesNothing) {
    SetRange(TimeKind::Modified, Between(1, 6, 2012, 1, 5, 2012));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(Filetime(2012, 5, 15)), true));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(Filetime(2012, 6, 1)), true));
}

TEST_F(SavingSettingsFixture, EveryActiveRangeMustPass) {
    SetRange(TimeKind::Created, Between(1, 1, 2000, 31, 12, 2000));
    SetRange(TimeKind::Accessed, Between(1, 1, 2020, 31, 12, 2020));
    const std::uint64_t in2000 = Filetime(2000, 7, 1), in2020 = Filetime(2020, 7, 1);
    EXPECT_TRUE(settings.PassesDateRanges(Ntfs(Filetime(1985, 1, 1), in2000, in2020), true));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(0, in2020, in2020), true));
    EXPECT_FALSE(settings.PassesDateRanges(Ntfs(0, in2000, in2000), true));

    // FAT: the access time is a date word alone.
    FileItem fat;
    fat.created = FatTime(2000, 2, 29);
    fat.accessed = FatTime(2020, 12, 31) & 0xFFFF;
    EXPECT_TRUE(settings.PassesDateRanges(fat, false));
    fat.accessed = FatTime(2021, 1, 1) & 0xFFFF;
    EXPECT_FALSE(settings.PassesDateRanges(fat, false));
}

TEST_F(SavingSettingsFixture, DamagedFatDatesStayOutsideRangesTheyDoNotBelongTo) {
    SetRange(TimeKind::Modified, Between(1, 1, 2010, 31, 12, 2010));
    FileItem fat;
    fat.modified = (30u << 9) | (0u << 5) | 0u;  // 2010, month 0, day 0: before 1 January
    EXPECT_FALSE(settings.PassesDateRanges(fat, false));
    fat.modified = (30u << 9) | (13u << 5) | 1u;  // month 13: after 31 December
    EXPECT_FALSE(settings.PassesDateRanges(fat, false));
    fat.modified = (30u << 9) | (6u << 5) | 0u;  // day 0 of June: inside the year
    EXPECT_TRUE(settings.PassesDateRanges(fat, false));
}

TEST_F(SavingSettingsFixture, PassesNeedsAllThreeFilters) {
    SetRange(TimeKind::Modified, Between(1, 1, 2010, 31, 12, 2010));
    AddAll({u"txt"});
    {
        SavingSettingsEditor e(settings, prompter);
        e.SetMode(DeletedMode::Only);
        e.Apply();
    }
    const FileItem good = Ntfs(Filetime(2010, 5, 5), 0, 0, true);
    EXPECT_TRUE(settings.Passes(good, u"a.txt", true));
    EXPECT_FALSE(settings.Passes(good, u"a.doc", true));
    EXPECT_FALSE(settings.Passes(Ntfs(Filetime(2010, 5, 5)), u"a.txt", true));
    EXPECT_FALSE(settings.Passes(Ntfs(Filetime(2011, 5, 5), 0, 0, true), u"a.txt", true));
    FileItem fat = good;
    fat.modified = FatTime(2010, 5, 5);
    EXPECT_TRUE(settings.Passes(fat, u"A.TXT", false));
    EXPECT_FALSE(settings.Passes(fat, u"A.TXT", true)) << "read as a FILETIME the word is a day in 1601";
}

TEST(SavingSettings, InitiallyLetsEverythingThrough) {
    const SavingSettings s;
    EXPECT_EQ(s.Mode(), DeletedMode::Include);
    EXPECT_TRUE(s.Extensions().empty());
    FileItem f = Ntfs(0, 0, 0, true);
    EXPECT_TRUE(s.Passes(f, u"whatever.bin", true));
    EXPECT_TRUE(s.Passes(f, u"", false));
}

}  // namespace
}  // namespace dravik::saving
