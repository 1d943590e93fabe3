// The search dialog offscreen over a real FAT16 analysis: its fields and
// their resets, hits equal to the core's own search for the same criteria,
// Stop and Cancel with their questions, checks on hits and "Select/Unselect
// All" through the selection rules, and opening hits.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTableView>
#include <QAbstractButton>
#include <QTest>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "base/worker.h"
#include "controls/picture_button.h"
#include "gui_support.h"
#include "results/advance_search_file.h"
#include "results/results_view.h"
#include "results/search.h"
#include "support/analysis_harness.h"

namespace dravik::gui {
namespace {

using analysis::kNo;
using analysis::kYes;
using results::DeletedMode;
using results::SearchCriteria;
using results::SearchHit;
using results::SearchResults;
using test::ClickInNextModal;
using test::SaveShot;
using test::WaitFor;

class AdvanceSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        h_.Select(dravik::test::ImagePath("fat16.img"), "FAT16");
        ASSERT_EQ(h_.Run(analysis::RecoveryMode::Deleted), analysis::AnalysisOutcome::Finished);
        view_ = std::make_unique<results::ResultsView>(h_.ctx);
        view_->Open();
        dialog_ = std::make_unique<AdvanceSearchFile>(h_.ctx, *view_);
        tester_ = std::make_unique<QAbstractItemModelTester>(dialog_->Model(),
                                                              QAbstractItemModelTester::FailureReportingMode::Fatal);
        dialog_->show();
        QApplication::setActiveWindow(dialog_.get());
    }
    void TearDown() override {
        tester_.reset();
        dialog_.reset();
    }

    // Types the name, clicks Start and waits for the search to end.
    void Search(const QString& name) {
        dialog_->NameEdit()->setText(name);
        dialog_->StartButton()->click();
        ASSERT_TRUE(WaitFor([&] { return !dialog_->Searching(); }));
    }
    SearchResults CoreSearch(SearchCriteria c) {
        base::WorkerControl control;
        return results::RunSearch(*view_, c, control);
    }
    // Every row of the list shows the core's hit of the same row.
    void ExpectRowsAre(const SearchResults& expected) {
        auto* m = dialog_->Model();
        ASSERT_EQ(m->rowCount(), static_cast<int>(expected.Size()));
        for (int r = 0; r < m->rowCount(); ++r) {
            const SearchHit& want = expected[static_cast<std::size_t>(r)];
            EXPECT_EQ(m->Hit(r).folder, want.folder) << r;
            EXPECT_EQ(m->Hit(r).file, want.file) << r;
            for (int c = 0; c < results::kHitColumnCount; ++c)
                EXPECT_EQ(m->index(r, c).data().toString().toStdString(), want.Text(c)) << r << "," << c;
        }
    }
    int RowNamed(const QString& name) {
        auto* m = dialog_->Model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->index(r, results::kHitName).data().toString() == name) return r;
        ADD_FAILURE() << "no row " << name.toStdString();
        return -1;
    }
    results::NodeHandle NodeAt(const char16_t* path) {
        const auto nodes = view_->Tree().NodesAtPath(path);
        EXPECT_EQ(nodes.size(), 1u) << platform::Utf16ToUtf8(path);
        return nodes.empty() ? results::kNoNode : nodes[0];
    }
    bool NodeChecked(const char16_t* path) { return view_->Tree().Node(NodeAt(path)).checked; }

    dravik::test::AnalysisHarness h_;
    std::unique_ptr<results::ResultsView> view_;
    std::unique_ptr<AdvanceSearchFile> dialog_;
    std::unique_ptr<QAbstractItemModelTester> tester_;
};

TEST_F(AdvanceSearchTest, FieldsStartAsShownAndTheirCheckBoxesResetThem) {
    AdvanceSearchFile& d = *dialog_;
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Search Data "));
    QStringList labels;
    for (auto* l : d.findChildren<QLabel*>()) labels << l->text();
    for (const char* t : {"Enter Search Name ", "Date ( DD - MM - YYY)", "( Between )", "Size between : ",
                          "Match Found : ", "Please wait..."})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(t))) << t;
    const std::pair<QAbstractButton*, const char*> captions[] = {
        {d.TypeCheck(), "Type"}, {d.DeletedButton(DeletedMode::Include), "Include Deleted File(s)"},
        {d.DeletedButton(DeletedMode::Exclude), "Exclude Deleted File(s)"},
        {d.DeletedButton(DeletedMode::Only), "Only Deleted File(s)"}, {d.DateCheck(), "Date"}, {d.SizeCheck(), "Size"},
        {d.StartButton(), "&Start Search"}, {d.SelectAllCheck(), "Select/Unselect All"}, {d.MoreButton(), ">>"}};
    for (const auto& [button, caption] : captions) EXPECT_EQ(button->text(), QString::fromUtf8(caption));
    EXPECT_EQ(d.NameEdit()->placeholderText(), QStringLiteral("e.g: - *.xls"));
    EXPECT_TRUE(d.TypeCheck()->isChecked() && d.DeletedButton(DeletedMode::Include)->isChecked());
    EXPECT_FALSE(d.DateCheck()->isChecked() || d.DateKindBox()->isEnabled() || d.SizeCheck()->isChecked() ||
                 d.SizeToEdit()->isEnabled() || d.SelectAllCheck()->isChecked());
    QStringList kinds;
    for (int i = 0; i < d.DateKindBox()->count(); ++i) kinds << d.DateKindBox()->itemText(i);
    EXPECT_EQ(kinds, (QStringList{"Created Date", "Modified Date", "Accessed Date"}));
    const char* dates[] = {"01", "01", "1970", "31", "12", "2030"};
    const int counts[] = {31, 12, 61, 31, 12, 61};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(d.DateBox(i)->currentText(), QString::fromUtf8(dates[i])) << i;
        EXPECT_EQ(d.DateBox(i)->count(), counts[i]) << i;
    }
    EXPECT_EQ(d.SizeFromEdit()->text() + d.SizeToEdit()->text() + d.SizeUnitBox()->currentText(), "02GB");
    EXPECT_TRUE(d.StartButton()->HasPicture());
    EXPECT_EQ(d.MatchCountField()->text(), QStringLiteral("0"));

    // ">>" shows the criteria, "<<" hides them; the results wait for a search.
    EXPECT_FALSE(d.CriteriaPart()->isVisible() || d.ResultsPart()->isVisible());
    d.MoreButton()->click();
    EXPECT_TRUE(d.CriteriaPart()->isVisible());
    EXPECT_EQ(d.MoreButton()->text(), QStringLiteral("<<"));
    d.MoreButton()->click();
    EXPECT_FALSE(d.CriteriaPart()->isVisible());

    // Unchecking "Type" keeps the chosen mode, and the search still applies it.
    d.DeletedButton(DeletedMode::Only)->setChecked(true);
    d.TypeCheck()->setChecked(false);
    EXPECT_FALSE(d.DeletedButton(DeletedMode::Only)->isEnabled());
    EXPECT_EQ(d.Criteria().deletedMode, DeletedMode::Only);
    d.TypeCheck()->setChecked(true);
    EXPECT_TRUE(d.DeletedButton(DeletedMode::Include)->isChecked() && d.DeletedButton(DeletedMode::Only)->isEnabled());

    // Checking "Date" resets the kind, unchecking only disables.
    d.DateKindBox()->setCurrentIndex(2);
    d.DateCheck()->setChecked(true);
    EXPECT_EQ(d.DateKindBox()->currentText(), QStringLiteral("Created Date"));
    EXPECT_TRUE(d.DateBox(5)->isEnabled());
    d.DateKindBox()->setCurrentIndex(1);
    const int picks[] = {12, 4, 51, 30, 11, 52};  // 13-05-2021 to 31-12-2022
    for (int i = 0; i < 6; ++i) d.DateBox(i)->setCurrentIndex(picks[i]);
    const SearchCriteria c = d.Criteria();
    EXPECT_TRUE(c.dateChecked && c.dateKind == results::TimeKind::Modified);
    EXPECT_TRUE(c.dateFrom.day == 13 && c.dateFrom.month == 5 && c.dateFrom.year == 2021);
    EXPECT_TRUE(c.dateTo.day == 31 && c.dateTo.month == 12 && c.dateTo.year == 2022);
    d.DateCheck()->setChecked(false);
    EXPECT_EQ(d.DateKindBox()->currentText(), QStringLiteral("Modified Date"));
    EXPECT_FALSE(d.DateBox(0)->isEnabled());

    d.SizeCheck()->setChecked(true);
    EXPECT_EQ(d.SizeUnitBox()->currentText(), QStringLiteral("Bytes"));
    EXPECT_TRUE(d.SizeFromEdit()->isEnabled() && d.SizeUnitBox()->isEnabled());
}

TEST_F(AdvanceSearchTest, TextFilesAreTheCoresHitsNewestFirstDeletedInRed) {
    Search(QStringLiteral("*.txt"));
    SearchCriteria c;
    c.name = u"*.txt";
    const SearchResults core = CoreSearch(c);
    ASSERT_GT(core.Size(), 10u);
    ExpectRowsAre(core);
    auto* m = dialog_->Model();
    EXPECT_EQ(dialog_->MatchCountField()->text(), QString::number(core.Size()));
    EXPECT_EQ(m->Hit(0).matchCount, static_cast<int>(core.Size())) << "the newest hit on top";
    EXPECT_TRUE(dialog_->ResultsPart()->isVisible());
    EXPECT_TRUE(dialog_->SelectAllCheck()->isEnabled());
    EXPECT_EQ(dialog_->StartButton()->text(), QStringLiteral("&Start Search"));
    EXPECT_TRUE(dialog_->StartButton()->isVisible() && !dialog_->StopButton()->isVisible());

    int red = 0;
    for (int r = 0; r < m->rowCount(); ++r) {
        const QVariant colour = m->index(r, results::kHitPath).data(Qt::ForegroundRole);
        const bool deleted = m->index(r, results::kHitType).data().toString().startsWith(QStringLiteral("Deleted"));
        EXPECT_EQ(colour.isValid(), deleted) << r;
        if (deleted) {
            EXPECT_EQ(colour.value<QColor>(), QColor(255, 0, 0));
        }
        red += deleted;
        EXPECT_FALSE(m->index(r, results::kHitName).data(Qt::DecorationRole).value<QIcon>().isNull());
    }
    EXPECT_GE(red, 3) << "NOTE.TXT, old note.txt, Удалённый файл.txt at least";
    for (int c = 0; c < results::kHitColumnCount; ++c) {
        EXPECT_EQ(m->headerData(c, Qt::Horizontal).toString().toStdString(), results::HitColumnHeader(c));
        EXPECT_EQ(dialog_->List()->columnWidth(c), c == results::kHitPath ? 350 : 150);
    }

    // A second search starts from an empty list and a zero count.
    Search(QStringLiteral("report"));
    c.name = u"report";
    ExpectRowsAre(CoreSearch(c));
    // Nothing found: the list stays empty, the count shows 0.
    Search(QString());
    EXPECT_EQ(m->rowCount(), 0);
    EXPECT_EQ(dialog_->MatchCountField()->text(), QStringLiteral("0"));
    Search(QStringLiteral("no such name"));
    EXPECT_EQ(m->rowCount(), 0);

    dialog_->MoreButton()->click();
    Search(QStringLiteral("*"));
    dialog_->List()->selectRow(2);
    SaveShot(dialog_.get(), "advance-search");
}

TEST_F(AdvanceSearchTest, DeletedSizeAndDateFiltersAreTheCoresToo) {
    dialog_->DeletedButton(DeletedMode::Only)->setChecked(true);
    Search(QStringLiteral("*"));
    SearchCriteria c;
    c.name = u"*";
    c.deletedMode = DeletedMode::Only;
    const SearchResults deleted = CoreSearch(c);
    ExpectRowsAre(deleted);
    std::set<std::string> names;
    for (std::size_t i = 0; i < deleted.Size(); ++i) {
        const SearchHit& hit = deleted[i];
        EXPECT_EQ(hit.IsFolder() ? hit.folder->deleted : hit.file->deleted, kYes);
        names.insert(std::string(hit.Text(results::kHitName)));
    }
    // A deleted short name has lost its first letter.
    for (const char* n : {"Old Project", "deleted movie.avi", "_til.c", "_OTE.TXT"}) EXPECT_TRUE(names.count(n)) << n;
    EXPECT_FALSE(names.count("DRAFT1.TXT"));

    // 1000 to 5000 bytes: files only; the unit went to "Bytes" with the check.
    dialog_->DeletedButton(DeletedMode::Include)->setChecked(true);
    dialog_->SizeCheck()->setChecked(true);
    dialog_->SizeFromEdit()->setText(QStringLiteral("1000"));
    dialog_->SizeToEdit()->setText(QStringLiteral("5000"));
    Search(QStringLiteral("*"));
    c = {};
    c.name = u"*";
    c.CheckSize(true);
    c.sizeFrom = "1000";
    c.sizeTo = "5000";
    const SearchResults sized = CoreSearch(c);
    ASSERT_FALSE(sized.Empty());
    ExpectRowsAre(sized);
    for (std::size_t i = 0; i < sized.Size(); ++i) {
        ASSERT_FALSE(sized[i].IsFolder());
        EXPECT_GE(sized[i].file->size, 1000u);
        EXPECT_LE(sized[i].file->size, 5000u);
    }
    // 4 KB exactly to 4 KB: equal bounds let nothing through.
    dialog_->SizeFromEdit()->setText(QStringLiteral("4"));
    dialog_->SizeToEdit()->setText(QStringLiteral("4"));
    dialog_->SizeUnitBox()->setCurrentIndex(1);
    Search(QStringLiteral("*"));
    EXPECT_EQ(dialog_->Model()->rowCount(), 0);

    // One created day: the date word of "letter to the bank.txt".
    dialog_->SizeCheck()->setChecked(false);
    dialog_->DateCheck()->setChecked(true);
    for (int i : {0, 3}) dialog_->DateBox(i)->setCurrentIndex(12);
    for (int i : {1, 4}) dialog_->DateBox(i)->setCurrentIndex(4);
    for (int i : {2, 5}) dialog_->DateBox(i)->setCurrentIndex(2021 - 1970);
    Search(QStringLiteral("*.txt"));
    c = {};
    c.name = u"*.txt";
    c.CheckDate(true);
    c.dateFrom = c.dateTo = {13, 5, 2021};
    const SearchResults dated = CoreSearch(c);
    ASSERT_FALSE(dated.Empty());
    ExpectRowsAre(dated);
}

TEST_F(AdvanceSearchTest, StopAsksAndKeepsTheHitsFound) {
    SearchCriteria c;
    c.name = u"*";
    const SearchResults all = CoreSearch(c);
    ASSERT_GT(all.Size(), 20u);
    dialog_->SetHitObserver([](int count, base::WorkerControl& control) {
        if (count == 5) control.Pause();
    });
    dialog_->NameEdit()->setText(QStringLiteral("*"));
    dialog_->StartButton()->click();
    EXPECT_TRUE(dialog_->Searching());
    EXPECT_EQ(dialog_->StopButton()->text(), QStringLiteral("&Stop Search"));
    EXPECT_TRUE(dialog_->StopButton()->isVisible() && !dialog_->StartButton()->isVisible());
    EXPECT_TRUE(dialog_->StopButton()->HasPicture());
    EXPECT_FALSE(dialog_->SelectAllCheck()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return dialog_->Model()->rowCount() == 5; }));

    QString question;
    ClickInNextModal(QStringLiteral("&Yes"), &question);
    dialog_->StopButton()->click();
    EXPECT_EQ(question, QStringLiteral("Do you want to stop data searching."));
    EXPECT_FALSE(dialog_->Searching());
    EXPECT_TRUE(dialog_->isVisible()) << "the dialog stays open";
    EXPECT_EQ(dialog_->StartButton()->text(), QStringLiteral("&Start Search"));
    EXPECT_TRUE(dialog_->StartButton()->isVisible());
    EXPECT_TRUE(dialog_->SelectAllCheck()->isEnabled());
    EXPECT_EQ(dialog_->MatchCountField()->text(), QStringLiteral("5"));
    // The first five the core finds, newest on top.
    auto* m = dialog_->Model();
    ASSERT_EQ(m->rowCount(), 5);
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(m->index(r, 0).data().toString().toStdString(), all[all.Size() - 5 + r].Text(0)) << r;
    QTest::qWait(50);
    EXPECT_EQ(m->rowCount(), 5) << "nothing arrives after the stop";

    // No to the stop question lets the search go on to its end.
    dialog_->SetHitObserver([](int count, base::WorkerControl& control) {
        if (count == 3) control.Pause();
    });
    dialog_->StartButton()->click();
    ASSERT_TRUE(WaitFor([&] { return m->rowCount() == 3; }));
    ClickInNextModal(QStringLiteral("&No"), &question);
    dialog_->StopButton()->click();
    ASSERT_TRUE(WaitFor([&] { return !dialog_->Searching(); }));
    ExpectRowsAre(all);
}

TEST_F(AdvanceSearchTest, CancelAsksWhileSearchingAndClosesWhenIdle) {
    dialog_->SetHitObserver([](int count, base::WorkerControl& control) {
        if (count == 2) control.Pause();
    });
    dialog_->NameEdit()->setText(QStringLiteral("*"));
    dialog_->StartButton()->click();
    ASSERT_TRUE(WaitFor([&] { return dialog_->Model()->rowCount() == 2; }));
    QString question;
    ClickInNextModal(QStringLiteral("&Yes"), &question);
    dialog_->CancelButton()->click();
    EXPECT_EQ(question, QStringLiteral("Do you want to stop this process."));
    EXPECT_FALSE(dialog_->Searching());
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(dialog_->Model()->rowCount(), 2);

    // Esc while searching asks the same; No goes on.
    dialog_->StartButton()->click();
    ASSERT_TRUE(WaitFor([&] { return dialog_->Model()->rowCount() == 2 && dialog_->Searching(); }));
    question.clear();
    ClickInNextModal(QStringLiteral("&No"), &question);
    QTest::keyClick(dialog_.get(), Qt::Key_Escape);
    EXPECT_EQ(question, QStringLiteral("Do you want to stop this process."));
    ASSERT_TRUE(WaitFor([&] { return !dialog_->Searching(); }));
    EXPECT_GT(dialog_->Model()->rowCount(), 20);
    EXPECT_TRUE(dialog_->isVisible());

    dialog_->CancelButton()->click();
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->result(), QDialog::Rejected);
}

TEST_F(AdvanceSearchTest, CheckingHitsFollowsTheSelectionRules) {
    int changes = 0;
    QObject::connect(dialog_.get(), &AdvanceSearchFile::ChecksChanged, [&] { ++changes; });
    Search(QStringLiteral("*.txt"));
    auto* m = dialog_->Model();
    const int row = RowNamed(QStringLiteral("letter to the bank.txt"));
    ASSERT_GE(row, 0);
    const analysis::FileItem* file = m->Hit(row).file;
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->mark, kNo);

    // A file hit: its mark, and its folder's node with every ancestor.
    ASSERT_TRUE(m->setData(m->index(row, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(file->mark, kYes);
    EXPECT_EQ(m->index(row, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    for (const char16_t* p : {u"Docs\\Letters\\2023\\Drafts", u"Docs\\Letters\\2023", u"Docs\\Letters", u"Docs"})
        EXPECT_TRUE(NodeChecked(p)) << platform::Utf16ToUtf8(p);
    EXPECT_TRUE(view_->Tree().Node(view_->Tree().Root()).checked);
    ASSERT_TRUE(m->setData(m->index(row, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(file->mark, kNo);
    EXPECT_FALSE(NodeChecked(u"Docs\\Letters\\2023\\Drafts")) << "nothing else below is marked";
    EXPECT_FALSE(NodeChecked(u"Docs"));

    // A folder hit: its subtree and its files, not its neighbours.
    Search(QStringLiteral("Letters"));
    const int folderRow = RowNamed(QStringLiteral("Letters"));
    ASSERT_TRUE(m->Hit(folderRow).IsFolder());
    ASSERT_TRUE(m->setData(m->index(folderRow, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(m->Hit(folderRow).folder->mark, kYes);
    std::map<std::string, char> marks;
    for (const auto& f : h_.ctx.items.files) marks[dravik::test::AnalysisHarness::Name(f)] = f.mark;
    EXPECT_EQ(marks["letter to the bank.txt"], kYes);
    EXPECT_EQ(marks["old note.txt"], kYes);
    EXPECT_EQ(marks["DRAFT1.TXT"], kYes);
    EXPECT_EQ(marks["empty.txt"], kNo) << "Docs' own file";
    EXPECT_EQ(marks["заметки.txt"], kNo);
    EXPECT_TRUE(NodeChecked(u"Docs\\Letters\\2023\\Drafts"));
    EXPECT_FALSE(NodeChecked(u"Docs\\Документы"));
}

TEST_F(AdvanceSearchTest, SelectAllChecksEveryHitOnItsWorker) {
    int changes = 0;
    QObject::connect(dialog_.get(), &AdvanceSearchFile::ChecksChanged, [&] { ++changes; });
    Search(QStringLiteral("*.txt"));
    auto* m = dialog_->Model();
    dialog_->SelectAllCheck()->click();
    // Until the worker's end reaches the dialog, it waits with its controls off.
    EXPECT_TRUE(dialog_->SelectingAll());
    EXPECT_TRUE(dialog_->WaitLabel()->isVisible());
    EXPECT_FALSE(dialog_->StartButton()->isEnabled() || dialog_->CancelButton()->isEnabled() ||
                 dialog_->SelectAllCheck()->isEnabled());
    EXPECT_FALSE(m->setData(m->index(0, 0), Qt::Unchecked, Qt::CheckStateRole)) << "rows wait too";
    ASSERT_TRUE(WaitFor([&] { return !dialog_->SelectingAll(); }));
    EXPECT_FALSE(dialog_->WaitLabel()->isVisible());
    EXPECT_TRUE(dialog_->StartButton()->isEnabled() && dialog_->CancelButton()->isEnabled());
    EXPECT_EQ(changes, 1);
    for (int r = 0; r < m->rowCount(); ++r) {
        EXPECT_EQ(m->index(r, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked) << r;
        EXPECT_EQ(m->Hit(r).file->mark, kYes) << r;
    }
    EXPECT_TRUE(NodeChecked(u"Docs\\Документы"));

    dialog_->SelectAllCheck()->click();
    ASSERT_TRUE(WaitFor([&] { return !dialog_->SelectingAll(); }));
    for (const auto& f : h_.ctx.items.files) EXPECT_EQ(f.mark, kNo);
    EXPECT_FALSE(NodeChecked(u"Docs"));

    // A new search unchecks the box without unchecking any hit.
    dialog_->SelectAllCheck()->click();
    ASSERT_TRUE(WaitFor([&] { return !dialog_->SelectingAll(); }));
    Search(QStringLiteral("*.txt"));
    EXPECT_FALSE(dialog_->SelectAllCheck()->isChecked());
    EXPECT_EQ(m->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked) << "hits start from their marks";
}

TEST_F(AdvanceSearchTest, OpeningAFolderHitListsItAndClosesAFileHitAsksForItsProgram) {
    std::vector<quint32> opened;
    std::vector<const void*> files;
    QObject::connect(dialog_.get(), &AdvanceSearchFile::FolderOpened, [&](quint32 n) { opened.push_back(n); });
    QObject::connect(dialog_.get(), &AdvanceSearchFile::FileOpenRequested, [&](const void* f) { files.push_back(f); });
    Search(QStringLiteral("2023"));
    auto* m = dialog_->Model();

    // "&Open" of the pop-up menu "List" on a file hit.
    EXPECT_EQ(dialog_->ListMenu()->title(), QStringLiteral("List"));
    EXPECT_EQ(dialog_->OpenAction()->text(), QStringLiteral("&Open"));
    const int fileRow = RowNamed(QStringLiteral("quarterly summary 2023.pdf"));
    dialog_->List()->setCurrentIndex(m->index(fileRow, 1));
    dialog_->OpenAction()->trigger();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], m->Hit(fileRow).file);
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(dialog_->isVisible());

    // A double-click on the folder hit.
    const int folderRow = RowNamed(QStringLiteral("2023"));
    const results::NodeHandle node = NodeAt(u"Docs\\Letters\\2023");
    EXPECT_EQ(m->index(folderRow, results::kHitId).data().toString(), QString::number(node));
    QTableView* list = dialog_->List();
    const QRect cell = list->visualRect(m->index(folderRow, results::kHitPath));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], node);
    EXPECT_EQ(view_->ListedNode(), node);
    EXPECT_TRUE(view_->Tree().Node(node).expanded);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
}

}  // namespace
}  // namespace dravik::gui
