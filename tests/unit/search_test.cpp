// The search of the results: the name test (against a second, recursive
// reading of its rules), the filters, the path rule, the order of the hits,
// stopping, and the check boxes of hits acting like those of the results
// list. Item lists built by hand, and once a real analysed volume.
#include "results/search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <stdexcept>
#include <thread>

#include "app/worker.h"
#include "platform/text.h"
#include "support/analysis_harness.h"

namespace dravik::results {
namespace {

using analysis::ItemName;
using analysis::kLostFolder;
using analysis::kNo;
using analysis::kYes;

// ---- the name test ----

bool Match(const char16_t* pattern, const char16_t* candidate) { return MatchName(pattern, candidate); }

TEST(MatchName, RulesAndTheirQuirks) {
    struct Case {
        const char16_t* pattern;
        const char16_t* candidate;
        bool match;
    };
    const Case cases[] = {
        // Extensions.
        {u"*.XLS", u"BOOK.XLS", true},
        {u"*.XLS", u"BOOK.XLSX", false},
        {u"*.XLS*", u"BOOK.XLS", true},
        {u"*.XLS*", u"BOOK.XLSX", true},
        {u"*.XLS", u"XLS", false},
        // No wildcard: anywhere in the name, never longer than it.
        {u"REPORT", u"OLD REPORT 2.DOC", true},
        {u"REPORT", u"REP.DOC", false},
        {u"REPORT", u"REPORT", true},
        // '?' without '*': the start of the name.
        {u"R?P", u"REPORT.DOC", true},
        {u"R?P", u"A REPORT.DOC", false},
        {u"?", u"Z", true},
        {u"AB?D?", u"ABC", false},
        // Empty names and patterns.
        {u"", u"ANY", false},
        {u"*", u"", false},
        {u"", u"", false},
        // Everything, and everything with a dot.
        {u"*", u"X", true},
        {u"*.*", u"README", false},
        {u"*.*", u"A.B", true},
        {u"**", u"X", true},
        {u"A**", u"AB", true},
        // A prefix before the first '*' must be there in full.
        {u"AB*", u"ABC", true},
        {u"AB*", u"A", false},
        {u"?B*", u"XBX", true},
        // One character after a '*': the name's last one.
        {u"*C", u"ABC", true},
        {u"*C", u"CAB", false},
        {u"AB*B", u"AB", true},  // the last-character rule does not care where the prefix ended
        // '?' and '*' right after a '*' ask for nothing.
        {u"*?C", u"C", true},
        {u"A*?", u"A", true},
        {u"*?*.TXT", u"A.TXT", true},
        // A '*' steps one on, so runs are looked for again from one back.
        {u"*BC", u"BC", true},
        {u"*BCD", u"XBCBCD", true},
        {u"*ABD", u"ABABD", true},
        // The run before the end must end the name; a final '?' takes anything.
        {u"*.DO?", u"A.DOC", true},
        {u"*.DO?", u"A.DO", false},
        {u"*.DOC", u"A.DOC.BAK", false},
        // Inside a run after a '*' a '?' is a character like any other.
        {u"*.D?C", u"A.DOC", false},
        // A run found only at the very end while more pattern follows fails,
        // even when all that follows is a '*'.
        {u"*B*", u"XB", true},
        {u"*B*", u"XXB", false},
        {u"*RT*", u"REPORT", false},
        {u"*REPORT*", u"MY REPORT", true},
        // Several '*'.
        {u"A*B*C", u"AXBXC", true},
        {u"*A*C", u"XAXC", true},
        {u"*Q*", u"ABC", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Match(c.pattern, c.candidate), c.match)
            << platform::Utf16ToUtf8(c.pattern) << " vs " << platform::Utf16ToUtf8(c.candidate);
}

// A second reading of the same rules, as directly as they are put: a prefix
// part, then one function for a '*' and one for the literals after it,
// recursing instead of looping.
class ReferenceMatcher {
public:
    ReferenceMatcher(std::u16string pattern, std::u16string candidate)
        : pat_(std::move(pattern)), cand_(std::move(candidate)) {}

    bool Match() {
        if (pat_.empty() || cand_.empty()) return false;
        const bool star = pat_.find(u'*') != std::u16string::npos;
        const bool question = pat_.find(u'?') != std::u16string::npos;
        if (!star && pat_.size() > cand_.size()) return false;
        if (pat_ == u"*") return true;
        if (pat_ == u"*.*") return cand_.find(u'.') != std::u16string::npos;
        if (!star && !question) return cand_.find(pat_) != std::u16string::npos;
        while (pat_.ends_with(u"**")) pat_.pop_back();
        return Prefix(0);
    }

private:
    // Before the first '*': pattern and name at the same position.
    bool Prefix(std::size_t i) {
        if (i == pat_.size()) return true;
        if (pat_[i] == u'*') return Star(i, i);
        if (i >= cand_.size()) return false;
        if (pat_[i] != u'?' && pat_[i] != cand_[i]) return false;
        return Prefix(i + 1);
    }
    bool Star(std::size_t p, std::size_t c) {
        if (p == pat_.size() - 1) return true;
        std::size_t q = p + 1;
        while (q < pat_.size() && (pat_[q] == u'?' || pat_[q] == u'*')) ++q;
        if (q == pat_.size()) return true;
        if (q == pat_.size() - 1) return cand_[cand_.size() - 1] == pat_[q];
        return Literal(q, c + 1, u"");
    }
    bool Literal(std::size_t p, std::size_t c, std::u16string run) {
        if (pat_[p] == u'*') return Star(p, c);
        run.push_back(pat_[p]);
        if (p == pat_.size() - 1) return EndsWithRun(run);
        if (c < cand_.size() && cand_[c] == pat_[p]) return Literal(p + 1, c + 1, run);
        const auto at = cand_.find(run, c - 1);
        if (at == std::u16string::npos || at + run.size() == cand_.size()) return false;
        return Literal(p + 1, at + run.size(), run);
    }
    bool EndsWithRun(std::u16string run) const {
        if (run.size() > cand_.size()) return false;
        if (run.back() == u'?') run.back() = cand_.back();
        return cand_.ends_with(run);
    }

    std::u16string pat_;
    std::u16string cand_;
};

TEST(MatchName, AgreesWithAStraightReadingOfTheRules) {
    std::mt19937 rng(4711);
    auto text = [&](const char16_t* alphabet, std::size_t letters, std::size_t maxLength) {
        std::u16string s(std::uniform_int_distribution<std::size_t>(0, maxLength)(rng), u' ');
        for (auto& ch : s) ch = alphabet[std::uniform_int_distribution<std::size_t>(0, letters - 1)(rng)];
        return s;
    };
    int matches = 0;
    for (int i = 0; i < 300'000; ++i) {
        const std::u16string candidate = text(u"AB.", 3, 7);
        // Patterns lean on wildcards, so most take the left-to-right path.
        const std::u16string pattern = text(u"AB.**??", 7, 6);
        const bool expected = ReferenceMatcher(pattern, candidate).Match();
        matches += expected;
        ASSERT_EQ(MatchName(pattern, candidate), expected)
            << platform::Utf16ToUtf8(pattern) << " vs " << platform::Utf16ToUtf8(candidate);
    }
    EXPECT_GT(matches, 30'000) << "the random cases match often enough to mean something";
    EXPECT_LT(matches, 270'000);
}

// ---- criteria ----

TEST(SearchCriteria, StartAsTheDialogAndResetWhenChecked) {
    SearchCriteria c;
    EXPECT_TRUE(c.name.empty());
    EXPECT_TRUE(c.typeChecked);
    EXPECT_EQ(c.deletedMode, DeletedMode::Include);
    EXPECT_FALSE(c.dateChecked);
    EXPECT_EQ(c.dateKind, TimeKind::Created);
    EXPECT_EQ(c.dateFrom.day, 1);
    EXPECT_EQ(c.dateFrom.month, 1);
    EXPECT_EQ(c.dateFrom.year, 1970);
    EXPECT_EQ(c.dateTo.day, 31);
    EXPECT_EQ(c.dateTo.month, 12);
    EXPECT_EQ(c.dateTo.year, 2030);
    EXPECT_FALSE(c.sizeChecked);
    EXPECT_EQ(c.sizeFrom, "0");
    EXPECT_EQ(c.sizeTo, "2");
    EXPECT_EQ(c.sizeUnit, SizeUnit::GB);

    c.deletedMode = DeletedMode::Only;
    c.CheckType(false);
    EXPECT_EQ(c.deletedMode, DeletedMode::Only) << "unchecking keeps the mode, which still applies";
    c.CheckType(true);
    EXPECT_EQ(c.deletedMode, DeletedMode::Include);
    c.dateKind = TimeKind::Accessed;
    c.CheckDate(true);
    EXPECT_EQ(c.dateKind, TimeKind::Created);
    c.CheckSize(true);
    EXPECT_EQ(c.sizeUnit, SizeUnit::Bytes) << "checking Size starts from bytes, not the initial GB";
    c.sizeUnit = SizeUnit::MB;
    c.CheckSize(false);
    EXPECT_EQ(c.sizeUnit, SizeUnit::MB);
}

TEST(SearchCriteria, SizeEditsAsByteCounts) {
    EXPECT_EQ(SizeBound("2", SizeUnit::GB), 2147483648u);
    EXPECT_EQ(SizeBound("12", SizeUnit::KB), 12288u);
    EXPECT_EQ(SizeBound("3", SizeUnit::MB), 3145728u);
    EXPECT_EQ(SizeBound("", SizeUnit::GB), 0u);
    EXPECT_EQ(SizeBound("abc", SizeUnit::Bytes), 0u);
    EXPECT_EQ(SizeBound("-5", SizeUnit::Bytes), 0u);
    EXPECT_EQ(SizeBound(" 7x", SizeUnit::Bytes), 7u);
    EXPECT_EQ(SizeBound("5000000000", SizeUnit::Bytes), 4294967295u) << "past 32 bits: the largest, not wrapped";
    EXPECT_EQ(SizeBound("4294967295", SizeUnit::GB), 4294967295ull << 30) << "the product is 64-bit";
}

// ---- searching ----

std::uint64_t Filetime(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0) {
    using namespace std::chrono;
    const auto days = (sys_days(year(y) / month(m) / day(d)) - sys_days(year(1601) / January / 1)).count();
    return (static_cast<std::uint64_t>(days) * 86400 + hh * 3600 + mm * 60 + ss) * 10'000'000ull;
}

class SearchFixture : public ::testing::Test {
public:
    test::AnalysisHarness h;
    analysis::FolderStore& folders = h.ctx.items.folders;
    analysis::FileStore& files = h.ctx.items.files;
    std::unique_ptr<ResultsView> view;
    app::WorkerControl control;

    analysis::FolderItem* Folder(const char16_t* name, std::uint32_t number, std::uint32_t parent,
                                 std::uint64_t created = 0, bool deleted = false, std::uint16_t volume = 0) {
        return folders.AddFolderItem(ItemName::Wide(name), deleted, parent, number, 0, 0, created, 0, volume);
    }
    analysis::FileItem& File(const char16_t* name, std::uint32_t parent, std::uint64_t size, std::uint64_t created,
                             bool deleted = false, std::uint64_t modified = 0) {
        return files.AddFileItem(ItemName::Wide(name), deleted, size, parent, 100 + files.Count(), 0, modified,
                                 created, 0);
    }
    // Root (5): Docs(10) [Letters(11, deleted) [report.doc], OLD REPORT 2.DOC,
    // REP.DOC, book.xls, book.xlsx], Reports(12) [a report.doc], Lost,
    // report root.doc; a folder of volume 2 with a file; a file whose
    // folder is unknown.
    void Build() {
        h.ctx.analysis.geometry.fileSystem = "NTFS";
        h.ctx.analysis.currentVolume = 0;
        Folder(u"Docs", 10, 5, Filetime(2014, 6, 1));
        Folder(u"Reports", 12, 5);
        Folder(u"Lost", kLostFolder, 5);
        Folder(u"Other", 20, 5, 0, false, 2);
        Folder(u"Letters", 11, 10, Filetime(2015, 1, 1), true);
        File(u"report root.doc", 5, 1, Filetime(2014, 5, 5));
        File(u"OLD REPORT 2.DOC", 10, 0, Filetime(2014, 1, 1));
        File(u"REP.DOC", 10, 2147483648ull, Filetime(2014, 12, 31, 23, 59, 59));
        File(u"book.xls", 10, 2147483649ull, Filetime(2015, 1, 1));
        File(u"book.xlsx", 10, 100, Filetime(2013, 12, 31), true, Filetime(2014, 1, 31));
        File(u"report.doc", 11, 5, Filetime(2014, 7, 15), true);
        File(u"a report.doc", 12, 7, Filetime(2014, 3, 1));
        File(u"report other.doc", 20, 9, Filetime(2014, 3, 1));
        File(u"report lost.doc", 999, 9, Filetime(2014, 3, 1));
        view = std::make_unique<ResultsView>(h.ctx);
        view->Open();
    }
    SearchResults Search(const SearchCriteria& c) { return RunSearch(*view, c, control); }
    SearchResults Search(const char16_t* name) {
        SearchCriteria c;
        c.name = name;
        return Search(c);
    }
    // Names in row order (newest first).
    static std::vector<std::string> Names(const SearchResults& r) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < r.Size(); ++i) out.emplace_back(r[i].Text(kHitName));
        return out;
    }
    static std::size_t RowOf(const SearchResults& r, std::string_view name) {
        for (std::size_t i = 0; i < r.Size(); ++i)
            if (r[i].Text(kHitName) == name) return i;
        ADD_FAILURE() << name;
        return 0;
    }
    NodeHandle NodeOf(std::uint32_t number) { return view->Tree().NodeOfFolder(folders, number); }
    analysis::FileItem& FileNamed(std::u16string_view name) {
        for (auto& f : files)
            if (DisplayName16(f) == name) return f;
        throw std::runtime_error("no such file");
    }
};

TEST_F(SearchFixture, EverythingButRootFilesAndFilesWithoutAFolderNewestFirst) {
    Build();
    const SearchResults r = Search(u"*");
    // Folders of the current volume in list order, then files in list order;
    // the last found is on top.
    EXPECT_EQ(Names(r), (std::vector<std::string>{"a report.doc", "report.doc", "book.xlsx", "book.xls", "REP.DOC",
                                                  "OLD REPORT 2.DOC", "Letters", "Lost", "Reports", "Docs"}));
    for (std::size_t i = 0; i < r.Size(); ++i) EXPECT_EQ(r[i].matchCount, static_cast<int>(r.Size() - i));

    const SearchHit& letters = r[RowOf(r, "Letters")];
    EXPECT_TRUE(letters.IsFolder());
    EXPECT_EQ(letters.Text(kHitType), "Deleted Folder");
    EXPECT_EQ(letters.Path(), "Docs\\Letters") << "a folder's own path";
    EXPECT_EQ(letters.Text(kHitSize), "0");
    EXPECT_EQ(letters.Text(kHitCreated), "01-Jan-2015 00:00:00");
    EXPECT_EQ(letters.Text(kHitId), std::to_string(NodeOf(11)));

    const SearchHit& rep = r[RowOf(r, "REP.DOC")];
    EXPECT_EQ(rep.Text(kHitType), "File");
    EXPECT_EQ(rep.Path(), "Docs") << "a file's folder";
    EXPECT_EQ(rep.Text(kHitSize), "2147483648");
    EXPECT_EQ(rep.Text(kHitCreated), "31-Dec-2014 23:59:59");
    EXPECT_EQ(rep.Text(kHitModified), "01-Jan-1601 00:00:00");
    EXPECT_EQ(rep.Text(kHitAccessed), "01-Jan-1601 00:00:00");
    EXPECT_EQ(rep.Text(kHitId), std::to_string(rep.file->index));
    EXPECT_EQ(r[RowOf(r, "report.doc")].Text(kHitType), "Deleted File");
    EXPECT_EQ(r[RowOf(r, "report.doc")].Path(), "Docs\\Letters");
    EXPECT_EQ(HitColumnHeader(kHitPath), std::string("Path"));
    EXPECT_EQ(HitColumnHeader(kHitAccessed), std::string("Last Accessed"));
}

TEST_F(SearchFixture, NamePatternsOverTheItems) {
    Build();
    EXPECT_TRUE(Search(u"").Empty()) << "an empty search finds nothing";
    EXPECT_EQ(Names(Search(u"report")),
              (std::vector<std::string>{"a report.doc", "report.doc", "OLD REPORT 2.DOC", "Reports"}))
        << "substring, any case; never the root's, another volume's or an unknown folder's files";
    EXPECT_EQ(Names(Search(u"*.xls")), (std::vector<std::string>{"book.xls"}));
    EXPECT_EQ(Names(Search(u"*.xls*")), (std::vector<std::string>{"book.xlsx", "book.xls"}));
    EXPECT_EQ(Names(Search(u"r?p")), (std::vector<std::string>{"report.doc", "REP.DOC", "Reports"}));
}

TEST_F(SearchFixture, SizeBoundsAreInclusiveAndSkipFolders) {
    Build();
    SearchCriteria c;
    c.name = u"*";
    c.CheckSize(true);
    c.sizeUnit = SizeUnit::GB;
    EXPECT_EQ(Names(Search(c)),
              (std::vector<std::string>{"a report.doc", "report.doc", "book.xlsx", "REP.DOC", "OLD REPORT 2.DOC"}))
        << "0 to 2 GB: 0 and 2147483648 bytes in, 2147483649 out, no folders";
    c.sizeTo = "0";
    EXPECT_EQ(Names(Search(c)), (std::vector<std::string>{"a report.doc", "report.doc", "book.xlsx", "book.xls",
                                                          "REP.DOC", "OLD REPORT 2.DOC"}))
        << "to 0: no size test, but still no folders";
    c.sizeUnit = SizeUnit::Bytes;
    c.sizeFrom = "5";
    c.sizeTo = "5";
    EXPECT_TRUE(Search(c).Empty()) << "equal bounds let nothing through, not even a 5-byte file";
    c.sizeFrom = "5";
    c.sizeTo = "7";
    EXPECT_EQ(Names(Search(c)), (std::vector<std::string>{"a report.doc", "report.doc"}));
}

TEST_F(SearchFixture, DeletedStateEvenWithTypeUnchecked) {
    Build();
    SearchCriteria c;
    c.name = u"*";
    c.deletedMode = DeletedMode::Only;
    EXPECT_EQ(Names(Search(c)), (std::vector<std::string>{"report.doc", "book.xlsx", "Letters"}));
    c.CheckType(false);
    EXPECT_EQ(Search(c).Size(), 3u);
    c.deletedMode = DeletedMode::Exclude;
    EXPECT_EQ(Names(Search(c)),
              (std::vector<std::string>{"a report.doc", "book.xls", "REP.DOC", "OLD REPORT 2.DOC", "Lost", "Reports",
                                        "Docs"}));
}

TEST_F(SearchFixture, DateRanges) {
    Build();
    SearchCriteria c;
    c.name = u"*";
    c.CheckDate(true);
    c.dateFrom = {1, 1, 2014};
    c.dateTo = {31, 12, 2014};
    EXPECT_EQ(Names(Search(c)),
              (std::vector<std::string>{"a report.doc", "report.doc", "REP.DOC", "OLD REPORT 2.DOC", "Docs"}))
        << "created in 2014, both ends included; book.xls and Letters of 2015-01-01 out";

    // The key gives a day 24 and a month 720, so the 31st ties with the next 1st.
    c.dateKind = TimeKind::Modified;
    c.dateFrom = {1, 2, 2014};
    c.dateTo = {28, 2, 2014};
    EXPECT_EQ(Names(Search(c)), (std::vector<std::string>{"book.xlsx"})) << "modified 31-Jan-2014";

    c.dateKind = TimeKind::Created;
    c.dateFrom = {1, 1, 2015};
    c.dateTo = {31, 12, 2014};
    EXPECT_TRUE(Search(c).Empty()) << "a to-year before the from-year";
    c.dateFrom = {1, 6, 2014};
    c.dateTo = {1, 3, 2014};
    EXPECT_TRUE(Search(c).Empty()) << "an empty range within a year";
}

TEST_F(SearchFixture, FatDatesComeFromTheDateWord) {
    h.ctx.analysis.geometry.fileSystem = "FAT32";
    Folder(u"DIR", 3, 0);
    // Date words of 1 January 2015 and 31 December 2014, time word 10:30.
    const std::uint64_t jan2015 = (35u << 9) | (1u << 5) | 1u, dec2014 = (34u << 9) | (12u << 5) | 31u;
    const std::uint64_t halfPastTen = std::uint64_t((10u << 11) | (30u << 5)) << 32;
    files.AddFileItem(ItemName::Narrow("NEW.TXT"), false, 1, 3, 0, 0, 0, jan2015 | halfPastTen, 0);
    files.AddFileItem(ItemName::Narrow("OLD.TXT"), false, 1, 3, 0, 0, 0, dec2014 | halfPastTen, 0);
    view = std::make_unique<ResultsView>(h.ctx);
    view->Open();
    SearchCriteria c;
    c.name = u"*.txt";
    c.CheckDate(true);
    c.dateFrom = {1, 1, 2014};
    c.dateTo = {31, 12, 2014};
    const SearchResults r = Search(c);
    EXPECT_EQ(Names(r), (std::vector<std::string>{"OLD.TXT"}));
    ASSERT_EQ(r.Size(), 1u);
    EXPECT_EQ(r[0].Path(), "DIR");
    EXPECT_EQ(r[0].Text(kHitCreated), "31-Dec-2014 10:30");
}

TEST_F(SearchFixture, StopKeepsTheHitsFoundSoFar) {
    Build();
    SearchCriteria c;
    c.name = u"*";
    int seen = 0;
    const SearchResults r = RunSearch(*view, c, control, [&](const SearchHit& hit) {
        ++seen;
        EXPECT_EQ(hit.matchCount, seen);
        if (seen == 5) control.Terminate();  // Yes to the stop question, after the fifth hit
    });
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(Names(r), (std::vector<std::string>{"OLD REPORT 2.DOC", "Letters", "Lost", "Reports", "Docs"}));
}

TEST_F(SearchFixture, AnsweringNoToTheStopQuestionLetsTheSearchFinish) {
    Build();
    app::Worker worker;
    SearchCriteria c;
    c.name = u"*";
    SearchResults r;
    std::atomic<int> seen = 0;
    app::WorkerControl& ctl = worker.Control();
    ASSERT_TRUE(worker.Start([&](app::WorkerControl& control) {
        r = RunSearch(*view, c, control, [&](const SearchHit&) {
            if (seen + 1 == 2) control.Pause();  // the question is shown
            ++seen;
        });
    }));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (seen < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_TRUE(ctl.WaitParked(std::chrono::seconds(10)));
    EXPECT_EQ(seen.load(), 2) << "parked between items";
    ctl.Resume();  // No
    worker.Join();
    EXPECT_EQ(r.Size(), 10u);
}

// ---- the check boxes of hits ----

// The same item lists twice: what a hit's check does on one must equal what
// the row's check does on the other.
class TwinFixture : public SearchFixture {
public:
    void ExpectSameSelection(SearchFixture& other) {
        auto marks = [](analysis::ItemLists& items) {
            std::string out;
            for (const auto& f : items.folders) out += f.mark;
            for (const auto& f : items.files) out += f.mark;
            return out;
        };
        EXPECT_EQ(marks(h.ctx.items), marks(other.h.ctx.items));
        ASSERT_EQ(view->Tree().Size(), other.view->Tree().Size());
        for (NodeHandle n = 1; n <= view->Tree().Size(); ++n) {
            EXPECT_EQ(view->Tree().Node(n).checked, other.view->Tree().Node(n).checked) << n;
            EXPECT_EQ(view->Tree().Node(n).bold, other.view->Tree().Node(n).bold) << n;
        }
    }
    struct Other : SearchFixture {
        void TestBody() override {}
    };
};

TEST_F(TwinFixture, AFolderHitActsAsItsRow) {
    Build();
    Other rows;
    rows.Build();
    SearchResults r = Search(u"*");
    SetHitChecked(*view, r, RowOf(r, "Docs"), true);
    rows.view->SetRowChecked(0, true);  // "Docs" is the first row of the root
    ExpectSameSelection(rows);
    EXPECT_EQ(FileNamed(u"report.doc").mark, kYes) << "a file below the folder's subfolder";
    EXPECT_EQ(FileNamed(u"report root.doc").mark, kNo);
    EXPECT_TRUE(view->Tree().Node(NodeOf(11)).checked);
    EXPECT_TRUE(view->Rows()[0].checked) << "the results list shows the new mark";

    SetHitChecked(*view, r, RowOf(r, "Docs"), false);
    rows.view->SetRowChecked(0, false);
    ExpectSameSelection(rows);
    EXPECT_EQ(FileNamed(u"REP.DOC").mark, kNo);
    EXPECT_FALSE(view->Rows()[0].checked);
}

TEST_F(TwinFixture, AFileHitActsAsItsRowListedInItsFolder) {
    Build();
    Other rows;
    rows.Build();
    SearchResults r = Search(u"*");
    rows.view->ClickNode(rows.NodeOf(12));
    SetHitChecked(*view, r, RowOf(r, "a report.doc"), true);
    rows.view->SetRowChecked(0, true);
    ExpectSameSelection(rows);
    EXPECT_TRUE(view->Tree().Node(NodeOf(12)).checked);
    EXPECT_TRUE(view->Tree().Node(view->Tree().Root()).checked);
    EXPECT_EQ(folders.FindFolder(12, 0)->mark, kNo) << "the folder's own mark stays";

    SetHitChecked(*view, r, RowOf(r, "a report.doc"), false);
    rows.view->SetRowChecked(0, false);
    ExpectSameSelection(rows);
    EXPECT_FALSE(view->Tree().Node(NodeOf(12)).checked);
    EXPECT_FALSE(view->Tree().Node(view->Tree().Root()).checked);
}

TEST_F(SearchFixture, HitsStartFromTheMarks) {
    Build();
    FileNamed(u"REP.DOC").mark = kYes;
    const SearchResults r = Search(u"*.doc");
    EXPECT_TRUE(r[RowOf(r, "REP.DOC")].checked);
    EXPECT_FALSE(r[RowOf(r, "a report.doc")].checked);
}

TEST_F(SearchFixture, SelectAndUnselectAll) {
    Build();
    SearchResults r = Search(u"*.doc");
    ASSERT_EQ(r.Size(), 4u);
    EXPECT_TRUE(SetAllHitsChecked(*view, r, true, control));
    for (std::size_t i = 0; i < r.Size(); ++i) {
        EXPECT_TRUE(r[i].checked);
        EXPECT_EQ(r[i].file->mark, kYes);
    }
    EXPECT_EQ(FileNamed(u"report root.doc").mark, kNo);
    EXPECT_EQ(FileNamed(u"book.xls").mark, kNo);
    EXPECT_TRUE(view->Tree().Node(NodeOf(11)).checked);
    EXPECT_TRUE(view->Tree().Node(NodeOf(12)).checked);

    EXPECT_TRUE(SetAllHitsChecked(*view, r, false, control));
    for (const auto& f : files) EXPECT_EQ(f.mark, kNo);
    for (NodeHandle n = 1; n <= view->Tree().Size(); ++n) EXPECT_FALSE(view->Tree().Node(n).checked) << n;
}

TEST_F(SearchFixture, SelectAllStopsAtAFileWhoseFolderHasNoNode) {
    Build();
    SearchResults r = Search(u"*.doc");
    // A hit whose folder has gone from the tree, second from the top.
    SearchHit orphan;
    orphan.file = &FileNamed(u"report lost.doc");
    const SearchHit top = r[0];
    SearchResults mixed;
    for (std::size_t i = r.Size(); i-- > 1;) mixed.InsertFront(r[i]);
    mixed.InsertFront(orphan);
    mixed.InsertFront(top);
    EXPECT_FALSE(SetAllHitsChecked(*view, mixed, true, control));
    EXPECT_TRUE(mixed[0].checked);
    EXPECT_EQ(mixed[0].file->mark, kYes);
    for (std::size_t i = 1; i < mixed.Size(); ++i) {
        EXPECT_FALSE(mixed[i].checked) << i;
        EXPECT_EQ(mixed[i].file->mark, kNo) << i;
    }
}

TEST_F(SearchFixture, OpeningAHit) {
    Build();
    const SearchResults r = Search(u"*");
    const NodeHandle letters = OpenHit(*view, r[RowOf(r, "Letters")]);
    EXPECT_EQ(letters, NodeOf(11));
    EXPECT_EQ(view->ListedFolder(), 11u);
    EXPECT_EQ(view->ListedNode(), letters);
    EXPECT_TRUE(view->Tree().Node(letters).expanded);
    EXPECT_TRUE(view->Tree().Node(NodeOf(10)).expanded);
    ASSERT_EQ(view->Rows().size(), 1u);
    EXPECT_EQ(view->CellText(view->Rows()[0], kName), "report.doc");

    EXPECT_EQ(OpenHit(*view, r[RowOf(r, "REP.DOC")]), kNoNode) << "a file is previewed by the front end";
    EXPECT_EQ(view->ListedFolder(), 11u);
}

TEST(SearchOnImage, TextFilesOfARealFatVolume) {
    test::AnalysisHarness h;
    h.Select(test::ImagePath("fat16.img"), "FAT16");
    ASSERT_EQ(h.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
    ResultsView view(h.ctx);
    view.Open();
    app::WorkerControl control;
    SearchCriteria c;
    c.name = u"*.txt";
    const SearchResults r = RunSearch(view, c, control);

    std::map<std::string, std::string> pathOf;  // name -> folder path
    for (std::size_t i = 0; i < r.Size(); ++i) {
        EXPECT_FALSE(r[i].IsFolder());
        EXPECT_FALSE(r[i].Path().empty());
        pathOf[std::string(r[i].Text(kHitName))] = std::string(r[i].Path());
    }
    EXPECT_EQ(pathOf["letter to the bank.txt"], "Docs\\Letters\\2023\\Drafts");
    EXPECT_EQ(pathOf["DRAFT1.TXT"], "Docs\\Letters\\2023\\Drafts");
    EXPECT_EQ(pathOf["заметки.txt"], "Docs\\Документы");
    EXPECT_EQ(pathOf["keep.txt"], "Trash");
    EXPECT_EQ(pathOf.count("README.TXT"), 0u) << "in the root folder";
    EXPECT_EQ(pathOf.count("readme2.txt"), 0u) << "in the root folder";
    EXPECT_EQ(pathOf.count("report 01.txt"), 1u);
    EXPECT_EQ(pathOf.count("quarterly summary 2023.pdf"), 0u);

    // The creation date word of "letter to the bank.txt" in the manifest
    // (0x52AD in 0x52AD7E65) is 13 May 2021.
    c.CheckDate(true);
    c.dateFrom = {13, 5, 2021};
    c.dateTo = {13, 5, 2021};
    const SearchResults dated = RunSearch(view, c, control);
    bool found = false;
    for (std::size_t i = 0; i < dated.Size(); ++i) {
        found |= dated[i].Text(kHitName) == "letter to the bank.txt";
        EXPECT_EQ(dated[i].Text(kHitCreated).substr(0, 11), "13-May-2021");
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace dravik::results
