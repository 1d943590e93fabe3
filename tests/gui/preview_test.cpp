// The preview pane on the results page over preview.img (FAT16): pictures,
// rich text and zip listings shown as their names say, the ones that must
// not preview, Stop, opening with a stub program, and names that try to
// leave the temporary folder.
#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysed_image.h"
#include "base/worker.h"
#include "controls/picture_button.h"
#include "gui_support.h"
#include "platform/md5.h"
#include "results/colored_list_ctrl.h"
#include "results/item_text.h"
#include "results/preview_pane.h"
#include "results/results_models.h"
#include "results/results_view.h"
#include "results/view_data_in_controls.h"

namespace dravik::gui {
namespace {

using test::ClickInNextModal;
using test::SaveShot;
using test::WaitFor;
using Shown = PreviewPane::Shown;

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        hadTemp_ = qEnvironmentVariableIsSet("TMPDIR");
        oldTemp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp_.path().toLocal8Bit());
        ASSERT_TRUE(test::AnalyseImage(ctx_, "preview.img", "Partition - 1 ( FAT16 )"));
        page_ = std::make_unique<ViewDataInControls>(ctx_);
        page_->resize(1080, 668);
        // The hint about Advance Mode opens just after the tree: answer it first.
        ClickInNextModal(QStringLiteral("&OK"), &hint_);
        page_->show();
        ASSERT_TRUE(WaitFor([&] { return page_->Ready() && !hint_.isEmpty() && !QApplication::activeModalWidget(); }));
        pane_ = page_->Preview();
    }
    QString hint_;
    void TearDown() override {
        page_.reset();
        // An empty TMPDIR is no temporary folder: the tests after this one
        // would find none.
        if (hadTemp_)
            qputenv("TMPDIR", oldTemp_);
        else
            qunsetenv("TMPDIR");
        qunsetenv("DRAVIK_OPEN_COMMAND");
    }
    int RowOf(const std::string& name) {
        const auto& rows = page_->View().Rows();
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (rows[r].file && results::DisplayName(*rows[r].file) == name) return static_cast<int>(r);
            if (rows[r].folder && results::DisplayName(*rows[r].folder) == name) return static_cast<int>(r);
        }
        // A deleted 8.3 name has lost its first character.
        for (std::size_t r = 0; r < rows.size(); ++r)
            if (rows[r].file && rows[r].file->deleted == analysis::kYes &&
                results::DisplayName(*rows[r].file).substr(1) == name.substr(1))
                return static_cast<int>(r);
        return -1;
    }
    // Selects the row as a click would and waits for its preview.
    void Select(const std::string& name) {
        const int row = RowOf(name);
        ASSERT_GE(row, 0) << name;
        auto* view = page_->List()->Current();
        view->setCurrentIndex(view->model()->index(row, 0));
        Settle();
    }
    void Settle() {
        ASSERT_TRUE(WaitFor([&] { return !pane_->Running() && pane_->ProgressGroup()->isHidden(); }));
        QApplication::processEvents();
    }
    QString Temp(const QString& name) const { return temp_.path() + "/" + name; }
    // The page's own Stop button (the pane has one too).
    CPictureButton* PageStop() {
        for (auto* b : page_->findChildren<CPictureButton*>())
            if (b->text() == QStringLiteral("&Stop") && !pane_->isAncestorOf(b)) return b;
        return nullptr;
    }

    QTemporaryDir temp_;
    QByteArray oldTemp_;
    bool hadTemp_ = false;
    GuiPrompter prompter_;
    app::AppContext ctx_{prompter_};
    std::unique_ptr<ViewDataInControls> page_;
    PreviewPane* pane_ = nullptr;
};

std::string Md5Of(const QString& path) { return platform::Md5::OfFile(path.toStdString()); }

// The md5 the generator recorded for `path` (before the deletions).
std::string ManifestMd5(const std::string& path) {
    std::ifstream in(std::string(DRAVIK_MANIFEST_DIR) + "/preview.manifest.tsv");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string p, size, md5;
        if (std::getline(fields, p, '\t') && std::getline(fields, size, '\t') && std::getline(fields, md5, '\t') &&
            p == path)
            return md5;
    }
    return "missing from the manifest";
}

TEST_F(PreviewTest, PicturesPreviewByTheLastFourCharactersOfTheirName) {
    EXPECT_EQ(pane_->Current(), Shown::Idle);
    EXPECT_EQ(pane_->title(), QStringLiteral("Preview"));
    QSignalSpy busy(pane_, &PreviewPane::BusyChanged);
    Select("PICTURE.PNG");
    EXPECT_EQ(pane_->Current(), Shown::Picture);
    EXPECT_EQ(pane_->PictureBox()->Image().size(), QSize(64, 48));
    ASSERT_EQ(busy.count(), 2);  // busy while extracting, then free
    EXPECT_TRUE(busy[0][0].toBool());
    EXPECT_FALSE(busy[1][0].toBool());
    EXPECT_TRUE(page_->List()->isEnabled());
    EXPECT_FALSE(PageStop()->isEnabled());
    EXPECT_EQ(Md5Of(Temp("PICTURE.PNG")), ManifestMd5("PICTURE.PNG"));
    SaveShot(page_.get(), "preview-picture");

    Select("PHOTO.JPEG");
    EXPECT_EQ(pane_->Current(), Shown::Picture);
    // Same bytes, but ".JPE" is no picture kind: nothing is extracted.
    Select("PHOTO.JPE");
    EXPECT_EQ(pane_->Current(), Shown::NoPreview);
    EXPECT_FALSE(QFile::exists(Temp("PHOTO.JPE")));
    // A picture by name that does not decode.
    Select("BADPIC.PNG");
    EXPECT_EQ(pane_->Current(), Shown::NoPreview);
    // A deleted picture comes from its freed clusters.
    Select("DELPIC.PNG");
    EXPECT_EQ(pane_->Current(), Shown::Picture);
    const auto& deleted = *page_->View().Rows()[static_cast<std::size_t>(RowOf("DELPIC.PNG"))].file;
    EXPECT_EQ(Md5Of(Temp(QString::fromStdString(results::DisplayName(deleted)))), ManifestMd5("DELPIC.PNG"));
    // A folder row shows the idle picture and extracts nothing.
    Select("Docs");
    EXPECT_EQ(pane_->Current(), Shown::Idle);
    Select("README.TXT");
    EXPECT_EQ(pane_->Current(), Shown::NoPreview);
    EXPECT_FALSE(QFile::exists(Temp("README.TXT")));
}

TEST_F(PreviewTest, RichTextShowsItsFormatting) {
    Select("NOTE.RTF");
    ASSERT_EQ(pane_->Current(), Shown::RichText);
    QTextDocument* doc = pane_->RichText()->document();
    const QString text = doc->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("Preview test"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("Greek: \u0393\u03b5\u03b9\u03b1 \u03c3\u03bf\u03c5.")));
    EXPECT_TRUE(text.contains(QString::fromUtf8("Caf\u00e9 \u20ac 5.")));
    EXPECT_FALSE(text.contains(QStringLiteral("89504e47")));  // the picture's data
    EXPECT_FALSE(text.contains(QStringLiteral("preview.sh")));  // the generator destination
    auto formatAt = [&](const QString& piece) {
        QTextCursor c = doc->find(piece);
        EXPECT_FALSE(c.isNull()) << piece.toStdString();
        return c.charFormat();
    };
    EXPECT_EQ(formatAt(QStringLiteral("bold")).fontWeight(), QFont::Bold);
    EXPECT_NE(formatAt(QStringLiteral("Plain")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatAt(QStringLiteral("italic")).fontItalic());
    EXPECT_TRUE(formatAt(QStringLiteral("underlined")).fontUnderline());
    EXPECT_EQ(formatAt(QStringLiteral("red")).foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatAt(QStringLiteral("green")).foreground().color(), QColor(0, 128, 0));
    EXPECT_DOUBLE_EQ(formatAt(QStringLiteral("Preview test")).fontPointSize(), 16.0);
    EXPECT_EQ(doc->firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(doc->lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    SaveShot(page_.get(), "preview-rtf");
    // The deleted copy shows the same.
    Select("DELNOTE.RTF");
    ASSERT_EQ(pane_->Current(), Shown::RichText);
    EXPECT_EQ(pane_->RichText()->document()->toPlainText(), text);
}

// The DOS time of a zip entry as the locale writes a date and time.
QString LocaleDateTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    std::tm back{};
    localtime_r(&t, &back);
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%c", &back);
    return QString::fromLocal8Bit(text, static_cast<qsizetype>(n));
}

TEST_F(PreviewTest, AnArchiveListsItsCentralDirectoryInItsCodePages) {
    Select("ARCHIVE.ZIP");
    ASSERT_EQ(pane_->Current(), Shown::Archive);
    QTreeWidget* list = pane_->ArchiveList();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    auto cell = [&](int row, int column) { return list->topLevelItem(row)->text(column); };
    // Directory order; the flagged name is UTF-8, the other one CP437.
    EXPECT_EQ(cell(0, 0), QStringLiteral("readme.txt"));
    EXPECT_EQ(cell(1, 0), QStringLiteral("docs/report.txt"));
    EXPECT_EQ(cell(2, 0), QString::fromUtf8("\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.txt"));
    EXPECT_EQ(cell(3, 0), QString::fromUtf8("caf\u00e9.txt"));
    EXPECT_EQ(cell(0, 1), LocaleDateTime(2021, 3, 14, 15, 9, 26));
    EXPECT_EQ(cell(3, 1), LocaleDateTime(2020, 12, 31, 23, 58, 58));
    // A stored entry takes as much room as it holds; a deflated one less.
    EXPECT_EQ(cell(0, 2), QStringLiteral("130"));
    EXPECT_EQ(cell(0, 3), QStringLiteral("130"));
    EXPECT_EQ(cell(1, 2), QStringLiteral("6000"));
    EXPECT_LT(cell(1, 3).toInt(), 6000);
    EXPECT_GT(cell(1, 3).toInt(), 0);
    EXPECT_EQ(Md5Of(Temp("ARCHIVE.ZIP")), ManifestMd5("ARCHIVE.ZIP"));
    SaveShot(page_.get(), "preview-zip");
    // Another kind afterwards replaces the listing.
    Select("NOTE.RTF");
    EXPECT_EQ(pane_->Current(), Shown::RichText);
}

TEST_F(PreviewTest, ADamagedArchiveShowsTheNoPreviewPicture) {
    Select("BROKEN.ZIP");
    EXPECT_EQ(pane_->Current(), Shown::NoPreview);
    EXPECT_TRUE(QFile::exists(Temp("BROKEN.ZIP")));
    SaveShot(page_.get(), "preview-none");
}

TEST_F(PreviewTest, StopAsksAndLeavesAPartialFile) {
    // The worker is held after its first piece, so Stop finds it mid-file.
    std::atomic<bool> held = false;
    pane_->SetChunkHook([&](int) {
        if (!held.exchange(true)) pane_->PreviewWorker().Control().Pause();
    });
    const int big = RowOf("BIG.BMP");
    ASSERT_GE(big, 0);
    auto* view = page_->List()->Current();

    // No: the preview goes on to the end.
    view->setCurrentIndex(view->model()->index(big, 0));
    ASSERT_TRUE(WaitFor([&] { return pane_->PreviewWorker().Control().IsParked(); }));
    EXPECT_TRUE(pane_->Running());
    EXPECT_FALSE(page_->List()->isEnabled());
    EXPECT_TRUE(PageStop()->isEnabled());
    EXPECT_TRUE(pane_->ProgressGroup()->isVisible());
    // Another selection while it runs is ignored.
    EXPECT_FALSE(pane_->Preview(*page_->View().Rows()[static_cast<std::size_t>(RowOf("PICTURE.PNG"))].file,
                                QStringLiteral("PICTURE.PNG")));
    QString asked;
    ClickInNextModal(QStringLiteral("&No"), &asked);
    PageStop()->click();
    EXPECT_EQ(asked, QStringLiteral("Do you want to stop this process. This may give you incomplete data."));
    Settle();
    EXPECT_EQ(pane_->Current(), Shown::Picture);
    EXPECT_EQ(QFileInfo(Temp("BIG.BMP")).size(), 3145782);

    // Yes: the file stays as far as it got, and nothing is shown.
    Select("PICTURE.PNG");
    held = false;
    view->setCurrentIndex(view->model()->index(big, 0));
    ASSERT_TRUE(WaitFor([&] { return pane_->PreviewWorker().Control().IsParked(); }));
    ClickInNextModal(QStringLiteral("&Yes"));
    PageStop()->click();
    Settle();
    EXPECT_EQ(pane_->Current(), Shown::NoPreview);
    const qint64 partial = QFileInfo(Temp("BIG.BMP")).size();
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 3145782);
    EXPECT_TRUE(page_->List()->isEnabled());
    EXPECT_FALSE(PageStop()->isEnabled());
    // Stop with nothing running asks nothing.
    PageStop()->setEnabled(true);
    PageStop()->click();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

class OpenTest : public PreviewTest {
protected:
    // A stub program that records the path it was given.
    QString Stub() {
        const QString script = temp_.path() + "/stub-open.sh";
        QFile f(script);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.args\"\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("DRAVIK_OPEN_COMMAND", script.toLocal8Bit());
        return script + ".args";
    }
    QString Recorded(const QString& args) {
        EXPECT_TRUE(WaitFor([&] { return QFileInfo(args).size() > 0; }, 10000));
        QFile f(args);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromLocal8Bit(f.readAll());
    }
};

TEST_F(OpenTest, OpenHandsTheExtractedFileToItsProgram) {
    const QString args = Stub();
    page_->OpenRow(RowOf("README.TXT"));
    Settle();
    EXPECT_EQ(Recorded(args), Temp("README.TXT"));
    QFile f(Temp("README.TXT"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Opened with its program.\n"));
    EXPECT_EQ(pane_->Current(), Shown::NoPreview);
    // Opening does not look at the kind: a picture is opened, not shown.
    QFile::remove(args);
    page_->OpenRow(RowOf("PICTURE.PNG"));
    Settle();
    EXPECT_EQ(Recorded(args), Temp("PICTURE.PNG"));
    EXPECT_EQ(pane_->Current(), Shown::NoPreview);
}

TEST_F(OpenTest, WithoutAProgramItSaysSoAndOffersTheFolder) {
    qputenv("DRAVIK_OPEN_COMMAND", QByteArray("/nonexistent/opener"));
    QString asked;
    ClickInNextModal(QStringLiteral("&No"), &asked);
    page_->OpenRow(RowOf("README.TXT"));
    Settle();
    ASSERT_TRUE(WaitFor([&] { return !asked.isEmpty(); }, 5000));
    EXPECT_EQ(asked, QStringLiteral("There is no program to open this file with. Do you want to see it in its folder?"));
}

TEST_F(OpenTest, RecoveredNamesStayInsideTheTemporaryFolder) {
    const QString args = Stub();
    const std::filesystem::path outside = std::filesystem::path(temp_.path().toStdString()).parent_path();
    for (const char16_t* hostile : {u"..\\..\\evil", u"../../evil", u"sub/../../evil2"}) {
        const int row = RowOf("README.TXT") >= 0 ? RowOf("README.TXT") : RowOf("renamed");
        ASSERT_GE(row, 0);
        page_->View().RenameRow(static_cast<std::size_t>(row), hostile);
        QFile::remove(args);
        page_->OpenRow(row);
        Settle();
        const QString opened = Recorded(args);
        EXPECT_EQ(QFileInfo(opened).absolutePath(), temp_.path()) << opened.toStdString();
        EXPECT_TRUE(QFile::exists(opened));
        page_->View().RenameRow(static_cast<std::size_t>(row), u"README.TXT");
    }
    EXPECT_FALSE(std::filesystem::exists(outside / "evil"));
    EXPECT_FALSE(std::filesystem::exists(outside / "evil2"));

    // A link planted under the name is not followed: nothing is written
    // through it.
    const QString victim = temp_.path() + "/victim.txt";
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("keep");
    v.close();
    ASSERT_TRUE(QFile::link(victim, Temp("PICTURE.PNG")));
    Select("PICTURE.PNG");
    // The extraction writes a file of its own and renames it over the link.
    EXPECT_FALSE(QFileInfo(Temp("PICTURE.PNG")).isSymLink());
    QFile check(victim);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("keep"));
}

}  // namespace
}  // namespace dravik::gui
