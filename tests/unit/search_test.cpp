// The search of the results: the name test (also against a second,
// recursive reading of its rules), filters, paths, order, stopping, and hit
// check boxes acting as the results list's rows do.
#include "results/search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <stdexcept>

#include "base/worker.h"
#include "platform/text.h"
#include "support/analysis_harness.h"

namespace dravik::results {
namespace {

using analysis::kNo;
using analysis::kYes;

TEST(MatchName, Rules) {
    const struct { const char16_t *pattern, *name; bool match; } cases[] = {
        {u"*.XLS", u"BOOK.XLS", true},   {u"*.XLS", u"BOOK.XLSX", false}, {u"*.XLS*", u"BOOK.XLSX", true},
        {u"*.XLS*", u"BOOK.XLS", true},  // no wildcard: anywhere, never longer than the name
        {u"REPORT", u"OLD REPORT 2.DOC", true}, {u"REPORT", u"REP.DOC", false},
        {u"R?P", u"REPORT.DOC", true},   {u"R?P", u"A REPORT.DOC", false},  // '?' alone: a prefix
        {u"", u"A", false},  {u"*", u"", false},  {u"*", u"X", true},  {u"**", u"X", true},
        {u"*.*", u"README", false},      {u"*.*", u"A.B", true},
        {u"AB*", u"ABC", true},          {u"AB*", u"A", false},  // the part before '*' in full
        {u"*C", u"ABC", true},           {u"*C", u"CAB", false},
        {u"AB*B", u"AB", false},         {u"AB*B", u"ABB", true},
        {u"*?C", u"C", false},           {u"*?C", u"XC", true},  {u"A*?", u"A", false},
        {u"*BC", u"BC", true},           {u"*ABD", u"ABABD", true},
        {u"*.DO?", u"A.DOC", true},      {u"*.DO?", u"A.DO", false}, {u"*.DOC", u"A.DOC.BAK", false},
        {u"*.D?C", u"A.DOC", true},      {u"*B*", u"XB", true},  {u"*B*", u"XXB", true},
        {u"*RT*", u"REPORT", true},      {u"*REPORT*", u"MY REPORT", true},
        {u"A*B*C", u"AXBXC", true},      {u"*Q*", u"ABC", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchName(c.pattern, c.name), c.match)
            << platform::Utf16ToUtf8(c.pattern) << " vs " << platform::Utf16ToUtf8(c.name);
}

// The rules once more, read as directly as they are put: no wildcard is a
// substring, '?' alone a prefix, and from the first '*' on a recursive
// wildcard match to the end of the name.
struct Reference {
    std::u16string pat, name;
    bool Match() {
        const bool star = pat.find(u'*') != pat.npos, question = pat.find(u'?') != pat.npos;
        if (pat.empty() || name.empty() || (!star && pat.size() > name.size())) return false;
        if (pat == u"*") return true;
        if (pat == u"*.*") return name.find(u'.') != name.npos;
        if (!star && !question) return name.find(pat) != name.npos;
        const std::size_t first = star ? pat.find(u'*') : pat.size();
        for (std::size_t i = 0; i < first; ++i)
            if (i >= name.size() || (pat[i] != u'?' && pat[i] != name[i])) return false;
        return !star || Rest(first, first);
    }
    bool Rest(std::size_t p, std::size_t c) {
        if (p == pat.size()) return c == name.size();
        if (pat[p] == u'*') return Rest(p + 1, c) || (c < name.size() && Rest(p, c + 1));
        return c < name.size() && (pat[p] == u'?' || pat[p] == name[c]) && Rest(p + 1, c + 1);
    }
};

TEST(MatchName, AgreesWithAStraightReadingOfTheRules) {
    std::mt19937 rng(4711);
    auto text = [&](std::u16string_view letters, std::size_t maxLength) {
        std::u16string s(std::uniform_int_distribution<std::size_t>(0, maxLength)(rng), u' ');
        for (auto& ch : s) ch = letters[std::uniform_int_distribution<std::size_t>(0, letters.size() - 1)(rng)];
        return s;
    };
    int matches = 0;
    for (int i = 0; i < 300'000; ++i) {
        const std::u16string name = text(u"AB.", 7), pattern = text(u"AB.**??", 6);
        const bool expected = Reference{pattern, name}.Match();
        matches += expected;
        ASSERT_EQ(MatchName(pattern, name), expected)
            << platform::Utf16ToUtf8(pattern) << " vs " << platform::Utf16ToUtf8(name);
    }
    EXPECT_GT(matches, 30'000) << "enough of both outcomes to mean something";
    EXPECT_LT(matches, 270'000);
}

TEST(SearchCriteria, SizeEditsReadAsBytes) {
    EXPECT_EQ(SizeBound("2", SizeUnit::GB), 2147483648u);
    EXPECT_EQ(SizeBound(" 12kb", SizeUnit::KB), 12288u) << "leading digits";
    EXPECT_EQ(SizeBound("abc", SizeUnit::Bytes), 0u);
    EXPECT_EQ(SizeBound("-5", SizeUnit::Bytes), 0u);
    EXPECT_EQ(SizeBound("5000000000", SizeUnit::Bytes), 4294967295u) << "saturates, does not wrap";
    EXPECT_EQ(SizeBound("4294967295", SizeUnit::GB), 4294967295ull << 30);
}

std::uint64_t Filetime(int y, unsigned m, unsigned d, int seconds = 0) {
    using namespace std::chrono;
    const auto days = (sys_days(year(y) / month(m) / day(d)) - sys_days(year(1601) / January / 1)).count();
    return (static_cast<std::uint64_t>(days) * 86400 + seconds) * 10'000'000ull;
}

class SearchFixture : public ::testing::Test {
public:
    test::AnalysisHarness h;
    analysis::ItemLists& items = h.ctx.items;
    std::unique_ptr<ResultsView> view;
    base::WorkerControl control;

    void File(const char16_t* name, std::uint32_t parent, std::uint64_t size, std::uint64_t created,
              bool deleted = false, std::uint64_t modified = 0) {
        items.files.AddFileItem(analysis::ItemName::Wide(name), deleted, size, parent, 0, 0, modified, created, 0);
    }
    // Root (5): Docs(10) [Letters(11, deleted) [report.doc], four files],
    // Reports(12) [a report.doc], Lost, report root.doc; a volume-2 folder
    // with a file; a file whose folder is unknown.
    void SetUp() override {
        h.ctx.analysis.geometry.fileSystem = "NTFS";
        auto folder = [&](const char16_t* name, std::uint32_t number, std::uint32_t parent, std::uint64_t created,
                          bool deleted, std::uint16_t volume) {
            items.folders.AddFolderItem(analysis::ItemName::Wide(name), deleted, parent, number, 0, 0, created, 0,
                                        volume);
        };
        folder(u"Docs", 10, 5, Filetime(2014, 6, 1), false, 0);
        folder(u"Reports", 12, 5, 0, false, 0);
        folder(u"Lost", analysis::kLostFolder, 5, 0, false, 0);
        folder(u"Other", 20, 5, 0, false, 2);
        folder(u"Letters", 11, 10, Filetime(2015, 1, 1), true, 0);
        File(u"report root.doc", 5, 1, Filetime(2014, 5, 5));
        File(u"OLD REPORT 2.DOC", 10, 0, Filetime(2014, 1, 1));
        File(u"REP.DOC", 10, 2147483648ull, Filetime(2014, 12, 31, 86399));
        File(u"book.xls", 10, 2147483649ull, Filetime(2015, 1, 1));
        File(u"book.xlsx", 10, 100, Filetime(2013, 12, 31), true, Filetime(2014, 1, 31));
        File(u"report.doc", 11, 5, Filetime(2014, 7, 15), true);
        File(u"a report.doc", 12, 7, Filetime(2014, 3, 1));
        File(u"report other.doc", 20, 9, Filetime(2014, 3, 1));
        File(u"report lost.doc", 999, 9, Filetime(2014, 3, 1));
        view = std::make_unique<ResultsView>(h.ctx);
        view->Open();
    }
    SearchResults Search(const char16_t* name, SearchCriteria c = {}) {
        c.name = name;
        return RunSearch(*view, c, control);
    }
    // Row names, newest first.
    static std::string Names(const SearchResults& r) {
        std::string out;
        for (std::size_t i = 0; i < r.Size(); ++i) (out += out.empty() ? "" : ", ") += r[i].Text(kHitName);
        return out;
    }
    static std::size_t RowOf(const SearchResults& r, std::string_view name) {
        for (std::size_t i = 0; i < r.Size(); ++i)
            if (r[i].Text(kHitName) == name) return i;
        throw std::runtime_error("no hit " + std::string(name));
    }
    NodeHandle NodeOf(std::uint32_t number) { return view->Tree().NodeOfFolder(items.folders, number); }
    bool Checked(std::uint32_t number) { return view->Tree().Node(NodeOf(number)).checked; }
    std::string Marks() {
        std::string out;
        for (const auto& f : items.folders) out += f.mark;
        for (const auto& f : items.files) out += f.mark;
        return out;
    }
};

// The same items once more, checked through the results list's rows.
struct Twin : SearchFixture {
    void TestBody() override {}
};

TEST_F(SearchFixture, FoldersThenFilesNewestFirstOnlyWithAPath) {
    const SearchResults r = Search(u"*");
    EXPECT_EQ(Names(r), "a report.doc, report.doc, book.xlsx, book.xls, REP.DOC, OLD REPORT 2.DOC, "
                        "Letters, Lost, Reports, Docs")
        << "not the root's files, another volume's folder and file, or a file of an unknown folder";
    EXPECT_EQ(r[0].matchCount, 10);
    const SearchHit& letters = r[RowOf(r, "Letters")];
    EXPECT_EQ(letters.Text(kHitType), "Deleted Folder");
    EXPECT_EQ(letters.Path(), "Docs\\Letters") << "a folder's own path";
    EXPECT_EQ(letters.Text(kHitSize), "0");
    EXPECT_EQ(letters.Text(kHitId), std::to_string(NodeOf(11)));
    const SearchHit& rep = r[RowOf(r, "REP.DOC")];
    EXPECT_EQ(rep.Path(), "Docs") << "a file's folder";
    EXPECT_EQ(rep.Text(kHitSize), "2147483648");
    EXPECT_EQ(rep.Text(kHitCreated), "31-Dec-2014 23:59:59");
    EXPECT_EQ(rep.Text(kHitId), std::to_string(rep.file->index));

    EXPECT_TRUE(Search(u"").Empty());
    EXPECT_EQ(Names(Search(u"report")), "a report.doc, report.doc, OLD REPORT 2.DOC, Reports");
    EXPECT_EQ(Names(Search(u"*.xls*")), "book.xlsx, book.xls");
    EXPECT_EQ(Names(Search(u"r?p")), "report.doc, REP.DOC, Reports");
}

TEST_F(SearchFixture, SizeDeletedAndDateFilters) {
    SearchCriteria c;
    c.CheckSize(true);
    c.sizeUnit = SizeUnit::GB;  // 0 to 2 GB, both ends in, no folders
    EXPECT_EQ(Names(Search(u"*", c)), "a report.doc, report.doc, book.xlsx, REP.DOC, OLD REPORT 2.DOC");
    c.sizeTo = "0";
    EXPECT_EQ(Search(u"*", c).Size(), 6u) << "no size test, but still no folders";
    c.sizeFrom = c.sizeTo = "5";
    c.sizeUnit = SizeUnit::Bytes;
    EXPECT_TRUE(Search(u"*", c).Empty()) << "equal bounds let nothing through, not even 5 bytes";

    c = {};
    c.deletedMode = DeletedMode::Only;
    c.CheckType(false);
    EXPECT_EQ(Names(Search(u"*", c)), "report.doc, book.xlsx, Letters");
    c.deletedMode = DeletedMode::Exclude;
    EXPECT_EQ(Search(u"*", c).Size(), 7u);

    c = {};
    c.CheckDate(true);
    c.dateFrom = {1, 1, 2014};
    c.dateTo = {31, 12, 2014};
    EXPECT_EQ(Names(Search(u"*", c)), "a report.doc, report.doc, REP.DOC, OLD REPORT 2.DOC, Docs")
        << "book.xls and Letters, created 2015-01-01, are out";
    c.dateKind = TimeKind::Modified;
    c.dateFrom = {31, 1, 2014};
    EXPECT_EQ(Names(Search(u"*", c)), "book.xlsx") << "modified 31-Jan-2014";
    c.dateFrom = {1, 2, 2014};
    EXPECT_TRUE(Search(u"*", c).Empty()) << "31 January is not in February";
    c.dateFrom = {1, 1, 2015};
    EXPECT_TRUE(Search(u"*", c).Empty()) << "to-year before from-year";
}

TEST_F(SearchFixture, StoppingKeepsTheHitsFoundSoFar) {
    SearchCriteria c;
    c.name = u"*";
    int seen = 0;
    const SearchResults r = RunSearch(*view, c, control, [&](const SearchHit& hit) {
        EXPECT_EQ(hit.matchCount, ++seen);
        if (seen == 5) control.Terminate();
    });
    EXPECT_EQ(Names(r), "OLD REPORT 2.DOC, Letters, Lost, Reports, Docs");
}

TEST_F(SearchFixture, HitChecksActAsTheirRowsInTheResultsList) {
    Twin twin;
    twin.SetUp();
    auto same = [&] {
        EXPECT_EQ(Marks(), twin.Marks());
        for (NodeHandle n = 1; n <= view->Tree().Size(); ++n) {
            EXPECT_EQ(view->Tree().Node(n).checked, twin.view->Tree().Node(n).checked) << n;
            EXPECT_EQ(view->Tree().Node(n).bold, twin.view->Tree().Node(n).bold) << n;
        }
    };
    SearchResults r = Search(u"*");
    for (bool on : {true, false}) {
        SetHitChecked(*view, r, RowOf(r, "Docs"), on);
        twin.view->SetRowChecked(0, on);  // Docs, first row of the root
        same();
        EXPECT_EQ(items.files.Children(11)[0].mark, on ? kYes : kNo) << "a file in a subfolder";
        EXPECT_EQ(view->Rows()[0].checked, on) << "the results list shows the mark";
    }
    twin.view->ClickNode(twin.NodeOf(12));
    for (bool on : {true, false}) {
        SetHitChecked(*view, r, RowOf(r, "a report.doc"), on);
        twin.view->SetRowChecked(0, on);
        same();
        EXPECT_EQ(Checked(12), on);
    }
}

TEST_F(SearchFixture, SelectAllAndItsEarlyStop) {
    items.files.Children(10)[1].mark = kYes;  // REP.DOC
    SearchResults r = Search(u"*.doc");
    EXPECT_EQ(Names(r), "a report.doc, report.doc, REP.DOC, OLD REPORT 2.DOC");
    EXPECT_TRUE(r[2].checked && !r[3].checked) << "hits start from their marks";
    EXPECT_TRUE(SetAllHitsChecked(*view, r, true, control));
    for (std::size_t i = 0; i < r.Size(); ++i) EXPECT_TRUE(r[i].checked && r[i].file->mark == kYes);
    EXPECT_TRUE(Checked(11) && Checked(12) && Checked(10));
    EXPECT_TRUE(SetAllHitsChecked(*view, r, false, control));
    EXPECT_EQ(Marks().find(kYes), std::string::npos);
    for (NodeHandle n = 1; n <= view->Tree().Size(); ++n) EXPECT_FALSE(view->Tree().Node(n).checked);

    // A file hit whose folder has no node, second from the top.
    SearchResults mixed;
    SearchHit orphan;
    orphan.file = &items.files.Children(999)[0];
    for (std::size_t i = r.Size(); i-- > 1;) mixed.InsertFront(r[i]);
    mixed.InsertFront(orphan);
    mixed.InsertFront(r[0]);
    EXPECT_FALSE(SetAllHitsChecked(*view, mixed, true, control));
    EXPECT_EQ(mixed[0].file->mark, kYes);
    for (std::size_t i = 1; i < mixed.Size(); ++i) EXPECT_EQ(mixed[i].file->mark, kNo) << i;
}

TEST_F(SearchFixture, OpeningAFolderHitListsIt) {
    const SearchResults r = Search(u"*");
    EXPECT_EQ(OpenHit(*view, r[RowOf(r, "Letters")]), NodeOf(11));
    EXPECT_EQ(view->ListedNode(), NodeOf(11));
    EXPECT_TRUE(view->Tree().Node(NodeOf(11)).expanded && view->Tree().Node(NodeOf(10)).expanded);
    EXPECT_EQ(view->Rows().size(), 1u);
    EXPECT_EQ(OpenHit(*view, r[RowOf(r, "REP.DOC")]), kNoNode) << "the front end previews files";
    EXPECT_EQ(view->ListedFolder(), 11u);
}

TEST(SearchOnImage, TextFilesOfARealFatVolume) {
    test::AnalysisHarness h;
    h.Select(test::ImagePath("fat16.img"), "FAT16");
    ASSERT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    ResultsView view(h.ctx);
    view.Open();
    base::WorkerControl control;
    SearchCriteria c;
    c.name = u"*.txt";
    const SearchResults r = RunSearch(view, c, control);
    std::map<std::string, std::string> pathOf;
    for (std::size_t i = 0; i < r.Size(); ++i) pathOf[std::string(r[i].Text(kHitName))] = r[i].Path();
    EXPECT_EQ(pathOf["letter to the bank.txt"], "Docs\\Letters\\2023\\Drafts");
    EXPECT_EQ(pathOf["DRAFT1.TXT"], "Docs\\Letters\\2023\\Drafts");
    EXPECT_EQ(pathOf["заметки.txt"], "Docs\\Документы");
    EXPECT_EQ(pathOf.count("README.TXT") + pathOf.count("readme2.txt"), 0u) << "in the root folder";
    EXPECT_EQ(pathOf.count("quarterly summary 2023.pdf"), 0u);

    // The manifest's creation date word of "letter to the bank.txt", 0x52AD: 13 May 2021.
    c.CheckDate(true);
    c.dateFrom = c.dateTo = {13, 5, 2021};
    const SearchResults dated = RunSearch(view, c, control);
    ASSERT_FALSE(dated.Empty());
    for (std::size_t i = 0; i < dated.Size(); ++i) EXPECT_EQ(dated[i].Text(kHitCreated).substr(0, 11), "13-May-2021");
}

}  // namespace
}  // namespace dravik::results
