// The wizard's pages offscreen, on real test images: mode choice, source
// choice and its refusals, the analysis page's controls, the partition
// search's list, and the exit question.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "analysis/recovery_analysis.h"
#include "app/app_context.h"
#include "app/dialog_look.h"
#include "app/folder_tree_ctrl.h"
#include "app/gui_prompter.h"
#include "app/recovery_mode.h"
#include "app/workflow.h"
#include "controls/picture_button.h"
#include "controls/pie_chart.h"
#include "gui_support.h"
#include "partition/deleted_files_recovery.h"
#include "partition/exhaustive_display.h"
#include "results/results_models.h"
#include "results/view_data_in_controls.h"
#include "support/test_images.h"

#include <unistd.h>

#include "analysis/scan_log.h"

namespace dravik::gui {
namespace {

using test::ClickInNextModal;
using test::SaveShot;
using test::WaitFor;
using test::WhenModal;
using test::Button;

class WizardTest : public ::testing::Test {
protected:
    // Runs `act` on the next visible dialog whose object name is `name`. A
    // page may come and go before the watcher sees it; its timer then lives
    // until the test ends, so a late act cannot reach the locals of another.
    void WhenPage(const QString& name, std::function<void(QDialog*)> act) {
        auto& timer = watchers_.emplace_back(std::make_unique<QTimer>());
        QTimer* t = timer.get();
        t->setInterval(10);
        QObject::connect(t, &QTimer::timeout, [t, name, act = std::move(act)] {
            // The page may already have opened a message of its own above it.
            QDialog* d = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->objectName() == name && dialog->isVisible())
                    d = dialog;
            if (d) {
                t->stop();
                act(d);
            }
        });
        t->start();
    }
    std::vector<std::unique_ptr<QTimer>> watchers_;

    // The source page on `image`, its mode chosen by `modeButton`.
    void Open(const std::string& image, app::RecoveryChoice mode) {
        CDravikApp::Options o;
        // A bundled image by name, or any image by its path.
        const std::string path = image.front() == '/' ? image : dravik::test::ImagePath(image).string();
        o.images = {QString::fromStdString(path)};
        o.systemDisks = false;
        page_ = std::make_unique<DeletedFilesRecovery>(ctx_, o);
        prompter_.SetParentWidget(page_.get());
        WhenPage(QStringLiteral("CRecoveryMode"), [mode](QDialog* d) {
            auto* m = static_cast<CRecoveryMode*>(d);
            SaveShot(m, "recovery-mode");
            (mode == app::RecoveryChoice::Deleted     ? m->DeletedButton()
             : mode == app::RecoveryChoice::Formatted ? m->FormattedButton()
                                                      : m->PartitionButton())
                ->click();
        });
        page_->show();
        ASSERT_TRUE(WaitFor([&] { return page_->CatalogueBuilt() && !QApplication::activeModalWidget(); }));
        QApplication::setActiveWindow(page_.get());
    }
    // Next as a click gives it: with the focus.
    void Next() {
        // A closed message leaves no active window offscreen: activate the page again.
        QApplication::setActiveWindow(page_.get());
        page_->NextButton()->setFocus();
        page_->NextButton()->click();
    }
    // The message Next shows.
    QString NextMessage() {
        QString text;
        ClickInNextModal(QStringLiteral("&OK"), &text);
        Next();
        return text;
    }

    GuiPrompter prompter_;
    app::AppContext ctx_{prompter_};
    std::unique_ptr<DeletedFilesRecovery> page_;
};

TEST_F(WizardTest, DeletedModeFromSourceClickToResults) {
    Open("disk-mbr.img", app::RecoveryChoice::Deleted);
    EXPECT_FALSE(ctx_.analysis.settings.formatted);
    EXPECT_FALSE(page_->RangeCheck()->isVisible());
    ASSERT_TRUE(page_->ClickItem(QStringLiteral("Partition - 1 ( NTFS )")));
    EXPECT_EQ(ctx_.source.PartitionLabel, "NTFS");
    EXPECT_EQ(ctx_.source.StartSector, 2048u);
    EXPECT_EQ(ctx_.source.EndSector, 34816u);
    EXPECT_EQ(ctx_.source.ItemText, "Disk0");
    EXPECT_TRUE(page_->InformationText()->text().contains(QStringLiteral("Partition Type   : NTFS")));
    ASSERT_TRUE(page_->ClickItem(QStringLiteral("Disk0")));
    EXPECT_FALSE(page_->PieChart()->Shares().empty());
    EXPECT_TRUE(page_->InformationText()->text().contains(QStringLiteral("Disk Size  : 70.6 MB"))) << page_->InformationText()->text().toStdString();
    SaveShot(page_.get(), "source-selection");
    ASSERT_TRUE(page_->ClickItem(QStringLiteral("Partition - 1 ( NTFS )")));

    int folders = 0, files = 0;
    std::uint32_t items = 0;
    WhenPage(QStringLiteral("RecoveryAnalysis"), [](QDialog* d) { SaveShot(d, "analysis-running"); });
    WhenPage(QStringLiteral("ViewDataInControls"), [&](QDialog* d) {
        auto* v = static_cast<ViewDataInControls*>(d);
        // The hint about Advance Mode opens once the tree stands, maybe already.
        // A timer answers it, as it runs inside the message's own loop too.
        bool answered = false;
        QTimer clicker;
        clicker.setInterval(10);
        QObject::connect(&clicker, &QTimer::timeout, [&] {
            auto* top = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (top && top != v)
                if (auto* ok = Button(top, QStringLiteral("&OK"))) {
                    ok->click();
                    answered = true;
                }
        });
        clicker.start();
        WaitFor([&] { return v->Ready() && answered && QApplication::activeModalWidget() == v; });
        clicker.stop();
        folders = v->Models()->tree->rowCount();
        files = v->Models()->list->rowCount();
        items = ctx_.items.files.Count();
        SaveShot(v, "results-after-analysis");
        ClickInNextModal(QStringLiteral("&Yes"));
        Button(v, QStringLiteral("&Back"))->click();
    });
    Next();
    EXPECT_EQ(folders, 1);
    EXPECT_GT(files, 0);
    EXPECT_GT(items, 30u);
    EXPECT_EQ(ctx_.items.files.Count(), 0u) << "Back from the results frees the items";
    EXPECT_TRUE(page_->isVisible());
}

TEST_F(WizardTest, NextRefusesWhatCannotBeAnalysedWithItsMessage) {
    Open("disk-mbr.img", app::RecoveryChoice::Deleted);
    EXPECT_EQ(NextMessage(), QStringLiteral("Please select Logical Drive."));
    page_->ClickItem(QStringLiteral("Logical Drives"));
    EXPECT_EQ(NextMessage(), QStringLiteral("Please select Logical Drive."));
    page_->ClickItem(QStringLiteral("Physical Disks"));
    EXPECT_EQ(NextMessage(), QStringLiteral("Please select Physical Disk."));
    page_->ClickItem(QStringLiteral("Disk0"));
    EXPECT_EQ(NextMessage(), QStringLiteral("Select partition type"));

    // Enter in the tree, or a click that leaves Next without the focus, starts nothing.
    page_->Tree()->setFocus();
    QTest::keyClick(page_->Tree(), Qt::Key_Return);
    page_->NextButton()->click();
    QTest::qWait(150);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Load Log of an image that now holds another volume under the same name:
// refused with the reason, where the files would have come out as zeros or
// as other files' bytes.
TEST_F(WizardTest, LoadLogRefusesAnImageThatNowHoldsAnotherVolume) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("dravik-wizard-log-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path image = dir / "card.img";
    fs::copy_file(dravik::test::ImagePath("fat16.img"), image);
    const std::string log = (dir / "card").string();
    {
        GuiPrompter prompter;
        app::AppContext first(prompter);
        ASSERT_TRUE(app::BuildSources(first, {image.string()}, false).built);
        ASSERT_TRUE(app::SelectDiskSource(first, 0, 0));
        ASSERT_TRUE(app::PrepareVolumeAnalysis(first, true));
        base::NullProgress progress;
        app::AnalysisRun run(first);
        ASSERT_TRUE(run.Start(progress));
        run.Join();
        ASSERT_TRUE(analysis::SaveScanLog(first, log));
    }
    const auto size = fs::file_size(image);
    fs::remove(image);
    fs::copy_file(dravik::test::ImagePath("fat12.img"), image);
    fs::resize_file(image, size);

    Open(image.string(), app::RecoveryChoice::Deleted);
    QString text;
    ClickInNextModal(QStringLiteral("&OK"), &text);
    page_->LoadLog(QString::fromStdString(analysis::ScanLogPath(log)));
    EXPECT_TRUE(text.contains(QStringLiteral("it is not the volume the scan log"))) << text.toStdString();
    EXPECT_EQ(ctx_.items.files.Count(), 0u);
    EXPECT_TRUE(page_->isVisible());
    fs::remove_all(dir);
}

TEST_F(WizardTest, PartitionModeChecksTheRangeAndType) {
    Open("disk-mbr.img", app::RecoveryChoice::Partition);
    EXPECT_TRUE(page_->RangeCheck()->isVisible());
    EXPECT_FALSE(page_->StartEdit()->isEnabled());
    page_->RangeCheck()->setChecked(true);
    EXPECT_TRUE(page_->StartEdit()->isEnabled());
    EXPECT_TRUE(page_->FileSystemBox()->isEnabled());

    page_->ClickItem(QStringLiteral("Partition - 2 ( FAT32 )"));
    EXPECT_EQ(page_->StartEdit()->text(), QStringLiteral("34816"));
    EXPECT_EQ(page_->EndEdit()->text(), QStringLiteral("108544"));
    EXPECT_EQ(page_->FileSystemBox()->currentText(), QStringLiteral("FAT32"));
    page_->ClickItem(QStringLiteral("Disk0"));
    EXPECT_EQ(page_->StartEdit()->text(), QStringLiteral("63"));
    EXPECT_EQ(page_->FileSystemBox()->currentText(), QStringLiteral("UNKNOWN"));
    SaveShot(page_.get(), "source-selection-partition-mode");

    EXPECT_EQ(NextMessage(), QStringLiteral("Select partition type."));
    page_->FileSystemBox()->setCurrentIndex(2);
    page_->StartEdit()->setText(QStringLiteral("12ab"));
    EXPECT_EQ(NextMessage(), QStringLiteral("Start lSectorNoRead is not valid."));
    page_->StartEdit()->setText(QStringLiteral("1000"));
    page_->EndEdit()->setText(QStringLiteral("x"));
    EXPECT_EQ(NextMessage(), QStringLiteral("End lSectorNoRead is not valid."));
    page_->EndEdit()->setText(QStringLiteral("1000"));
    EXPECT_EQ(NextMessage(), QStringLiteral("End lSectorNoRead should be bigger than start lSectorNoRead."));
}

TEST_F(WizardTest, BackReopensTheModeChoiceAndDeletedClearsTheFormattedFlag) {
    Open("disk-mbr.img", app::RecoveryChoice::Formatted);
    EXPECT_TRUE(ctx_.analysis.settings.formatted);
    // Later paints do not ask again.
    page_->repaint();
    QTest::qWait(50);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    WhenPage(QStringLiteral("CRecoveryMode"), [](QDialog* d) { static_cast<CRecoveryMode*>(d)->DeletedButton()->click(); });
    page_->BackButton()->click();
    EXPECT_FALSE(ctx_.analysis.settings.formatted);
    EXPECT_EQ(app::CurrentRecoveryMode(ctx_), app::RecoveryChoice::Deleted);
}

// The partition search over the disk whose table is gone: the list of what
// it found, a found volume analysed to its results, and Back.
TEST_F(WizardTest, PartitionSearchListsFoundVolumesAndAnalysesTheChosenOne) {
    Open("disk-zeroed.img", app::RecoveryChoice::Partition);
    page_->ClickItem(QStringLiteral("Disk0"));
    page_->RangeCheck()->setChecked(true);
    page_->FileSystemBox()->setCurrentIndex(2);  // NTFS
    QStringList entries;
    QString type, start;
    std::uint32_t filesOfVolume = 0;
    WhenPage(QStringLiteral("ExhaustiveDisplayPartitionInformation"), [&](QDialog* d) {
        auto* list = static_cast<ExhaustiveDisplayPartitionInformation*>(d);
        auto* root = list->Tree()->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i) entries << root->child(i)->text(0);
        type = list->TypeText();
        start = list->StartText();
        SaveShot(list, "partition-list");
        WhenPage(QStringLiteral("ViewDataInControls"), [&](QDialog* v) {
            WaitFor([&] { return static_cast<ViewDataInControls*>(v)->Ready(); });
            filesOfVolume = ctx_.items.files.Count();
            ClickInNextModal(QStringLiteral("&Yes"));
            Button(v, QStringLiteral("&Back"))->click();
        });
        list->NextButton()->click();
        list->BackButton()->click();
    });
    Next();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries.front(), QStringLiteral("File System 1 - NTFS"));
    EXPECT_EQ(type, QStringLiteral("NTFS"));
    EXPECT_EQ(start, QStringLiteral("2048"));
    EXPECT_GT(filesOfVolume, 30u);
    EXPECT_EQ(ctx_.items.volumes.Count(), 0u);  // Back freed the findings
}

// A sparse disk of zeros takes the search long enough to act on it.
class SlowAnalysisTest : public WizardTest {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() / ("dravik-gui-zero-" + std::to_string(::getpid()) + ".img");
        std::ofstream(path_, std::ios::binary).close();
        std::filesystem::resize_file(path_, std::uint64_t(3) << 30);
        CDravikApp::Options o;
        o.images = {QString::fromStdString(path_.string())};
        o.systemDisks = false;
        page_ = std::make_unique<DeletedFilesRecovery>(ctx_, o);
        WhenPage(QStringLiteral("CRecoveryMode"),
                 [](QDialog* d) { static_cast<CRecoveryMode*>(d)->PartitionButton()->click(); });
        page_->show();
        ASSERT_TRUE(WaitFor([&] { return page_->CatalogueBuilt() && !QApplication::activeModalWidget(); }));
        page_->ClickItem(QStringLiteral("Disk0"));
        ASSERT_EQ(app::ConfirmSource(ctx_, {"0", std::to_string((std::uint64_t(3) << 30) / 512),
                                            analysis::SearchFileSystem::Ntfs}),
                  app::SourceConfirmation::Search);
    }
    void TearDown() override { std::filesystem::remove(path_); }
    std::filesystem::path path_;
};

TEST_F(SlowAnalysisTest, PauseFreezesTheElapsedTimeAndStopEndsTheStep) {
    RecoveryAnalysis page(ctx_);
    page.SetOpensResults(false);
    page.open();
    ASSERT_TRUE(WaitFor([&] { return page.Run().Running(); }));
    QTest::qWait(1100);
    page.PauseOrResume();
    EXPECT_TRUE(page.Paused());
    EXPECT_EQ(page.PauseButton()->text(), QStringLiteral("Resume"));
    ASSERT_TRUE(page.Run().Control().WaitParked(std::chrono::seconds(5)));
    const qint64 frozen = page.ElapsedMs();
    EXPECT_GE(frozen, 1000);
    QTest::qWait(1200);
    EXPECT_EQ(page.ElapsedMs(), frozen);
    SaveShot(&page, "analysis-paused");
    page.PauseOrResume();
    EXPECT_EQ(page.PauseButton()->text(), QStringLiteral("Pause"));

    page.ToggleDetails();
    EXPECT_EQ(page.DetailsButton()->text(), QStringLiteral("&Show Details"));
    EXPECT_FALSE(page.findChild<QLabel*>(QStringLiteral("elapsed"))->isVisible());
    page.ToggleDetails();
    EXPECT_TRUE(page.findChild<QLabel*>(QStringLiteral("elapsed"))->isVisible());

    // Stop asks first; No goes on, Yes ends the scan step early.
    ClickInNextModal(QStringLiteral("&No"));
    page.StopButton()->click();
    EXPECT_TRUE(page.Run().Running());
    QString question;
    ClickInNextModal(QStringLiteral("&Yes"), &question);
    page.StopButton()->click();
    EXPECT_TRUE(question.startsWith(QStringLiteral("Do you want to stop Recovery analysis. This may show incomplete data & you")));
    ASSERT_TRUE(WaitFor([&] { return page.result() == RecoveryAnalysis::kFoundListFollows; }, 60000));
}

TEST_F(SlowAnalysisTest, BackEndsTheWorkerAndFreesTheItems) {
    RecoveryAnalysis page(ctx_);
    page.SetOpensResults(false);
    page.open();
    ASSERT_TRUE(WaitFor([&] { return page.Run().Running(); }));
    ClickInNextModal(QStringLiteral("&No"));
    page.BackButton()->click();
    EXPECT_TRUE(page.Run().Running());
    ClickInNextModal(QStringLiteral("&Yes"));
    page.BackButton()->click();
    EXPECT_FALSE(page.Run().Running());
    EXPECT_EQ(page.result(), QDialog::Rejected);
    EXPECT_EQ(ctx_.items.files.Count(), 0u);
    EXPECT_EQ(ctx_.items.folders.Count(), 0u);
}

TEST(ExitQuestion, NoLeavesThePageAndYesEndsTheProcessWithStatusZero) {
    QDialog page;
    page.show();
    ClickInNextModal(QStringLiteral("&No"));
    AskExit(&page);
    EXPECT_TRUE(page.isVisible());

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // A worker that never ends does not hold the exit back.
            std::thread([] {
                for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }).detach();
            ClickInNextModal(QStringLiteral("&Yes"));
            AskExit(nullptr);
            std::_Exit(9);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace dravik::gui
