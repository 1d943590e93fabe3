// The saving pages end to end on a real image: an analysis, a folder
// checked in the results, the destination page with its refusals, the size
// count, the progress page with its prompts, Pause and Stop, and the saving
// settings' Apply and Cancel as they change what is written.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "app/app_context.h"
#include "app/gui_prompter.h"
#include "app/message_dialogs.h"
#include "app/workflow.h"
#include "controls/gradient_progress.h"
#include "controls/picture_button.h"
#include "gui_support.h"
#include "results/results_view.h"
#include "saving/calculate_data_size.h"
#include "saving/data_copy_path.h"
#include "saving/data_copy_progress.h"
#include "saving/data_saving_settings.h"
#include "saving/destination.h"
#include "saving/prompts.h"
#include "saving/transfer_rate.h"
#include "support/analysis_harness.h"
#include "support/manifest.h"
#include "support/md5.h"

namespace dravik::gui {
namespace {

namespace fs = std::filesystem;
using test::Button;
using test::SaveShot;
using test::WaitFor;

const char* const kImage = "ntfs-basic.img";

dev_t DeviceOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_dev : 0;
}

// A writable file system other than the one the test images lie on, or
// empty: a destination there is not refused.
fs::path OtherFileSystem() {
    const dev_t images = DeviceOf(dravik::test::ImagePath(kImage));
    for (const char* p : {"/dev/shm", "/run", "/tmp"})
        if (fs::is_directory(p) && ::access(p, W_OK) == 0 && DeviceOf(p) != images) return p;
    return {};
}

class Scratch {
public:
    explicit Scratch(const fs::path& parent)
        : path_(parent / ("dravik-gui-save-" + std::to_string(::getpid()) + "-" + std::to_string(next_++))) {
        fs::remove_all(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    static inline int next_ = 0;
    fs::path path_;
};

// Reads pass through, after `delay` microseconds for every 4 KiB when set:
// a save slow enough to press its buttons (the reader asks for a whole run
// at once, so a delay per read would not do).
// With `onlyMft` set, every read outside the $MFT's runs (absolute byte
// ranges) fails: the files' data becomes unreadable, their records stay.
class SlowDevice final : public source::SectorDevice {
public:
    SlowDevice(std::unique_ptr<source::SectorDevice> inner, const std::atomic<int>& delay,
               const std::atomic<bool>& onlyMft, const std::vector<std::pair<std::uint64_t, std::uint64_t>>& mft)
        : inner_(std::move(inner)), delay_(delay), onlyMft_(onlyMft), mft_(mft) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
        if (const int us = delay_.load())
            std::this_thread::sleep_for(std::chrono::microseconds(us) * (buf.size() / 4096 + 1));
        if (onlyMft_.load()) {
            bool inside = false;
            for (const auto& [from, to] : mft_) inside |= offset >= from && offset + buf.size() <= to;
            if (!inside) return false;
        }
        return inner_->ReadAt(offset, buf);
    }
    std::uint64_t Size() const override { return inner_->Size(); }

private:
    std::unique_ptr<source::SectorDevice> inner_;
    const std::atomic<int>& delay_;
    const std::atomic<bool>& onlyMft_;
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& mft_;
};

// Answers the modal dialogs of a save as they open, by their kind, and
// records what they said.
class Responder {
public:
    QStringList messages;
    QStringList questions;
    std::deque<QString> questionAnswers;  // then "&Yes"
    QString replaceAnswer = QStringLiteral("&Rename");
    int replacePrompts = 0;
    std::function<void(QDialog*)> onCalculate, onProgress, onSettings;

    Responder() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(5);
    }

private:
    void Tick() {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible() || seen_.contains(d)) return;
        seen_.insert(d);
        QObject::connect(d, &QObject::destroyed, [this, d] { seen_.remove(d); });
        // Acted on from a timer of its own: an action that opens a dialog in
        // turn must not hold this timer, which answers that dialog.
        QTimer::singleShot(0, d, [this, d] { Act(d); });
    }

    void Act(QDialog* d) {
        if (auto* m = qobject_cast<ViewMsgBox*>(d)) {
            messages << m->text();
            Button(m, QStringLiteral("&OK"))->click();
        } else if (auto* q = qobject_cast<ViewQuestionMsg*>(d)) {
            questions << q->text();
            QString answer = QStringLiteral("&Yes");
            if (!questionAnswers.empty()) {
                answer = questionAnswers.front();
                questionAnswers.pop_front();
            }
            Button(q, answer)->click();
        } else if (qobject_cast<FileReplaceOptions*>(d)) {
            ++replacePrompts;
            Button(d, replaceAnswer)->click();
        } else if (d->objectName() == QStringLiteral("CalculateDataSize")) {
            if (onCalculate) onCalculate(d);
        } else if (d->objectName() == QStringLiteral("DataCopyProgress")) {
            if (onProgress) onProgress(d);
        } else if (d->objectName() == QStringLiteral("DataSavingSettings")) {
            if (onSettings) onSettings(d);
        }
    }

    QTimer timer_;
    QSet<QDialog*> seen_;
};

class SavingDialogsTest : public ::testing::Test {
protected:
    // Analyses the image (deleted-data mode) and opens its results with
    // nothing checked.
    void SetUp() override {
        const fs::path image = dravik::test::ImagePath(kImage);
        ctx_.devices.SetDisk(0, {image.string()});
        ctx_.source.SelectPhysicalDisk(0);
        ctx_.source.StartSector = 0;
        ctx_.source.EndSector = fs::file_size(image) / 512;
        ctx_.source.PartitionLabel = "NTFS";
        ctx_.analysis.settings.mode = analysis::RecoveryMode::Deleted;
        ASSERT_TRUE(analysis::ReadVolumeGeometry(ctx_));
        analysis::PrepareAnalysis(ctx_);
        app::AnalysisRun run(ctx_);
        dravik::test::RecordingProgress sink;
        ASSERT_TRUE(run.Start(sink));
        ASSERT_TRUE(WaitFor([&] { return !run.Running(); }, 60000));
        run.Join();
        ASSERT_EQ(run.Outcome(), analysis::AnalysisOutcome::Finished);
        view_ = std::make_unique<results::ResultsView>(ctx_);
        view_->Open();
        other_ = OtherFileSystem();
    }

    void Check(const std::u16string& folder) {
        const auto nodes = view_->Tree().NodesAtPath(folder);
        ASSERT_FALSE(nodes.empty());
        view_->ToggleNode(nodes.front());
    }

    // The live files of the manifest below `folder`.
    static std::vector<dravik::test::ManifestRow> LiveFiles(const std::string& folder) {
        std::vector<dravik::test::ManifestRow> out;
        for (auto& row : dravik::test::ReadManifest(dravik::test::ManifestPath("ntfs-basic.manifest.tsv")))
            if (row.IsFile() && row.state == "live" && row.path.rfind(folder + "/", 0) == 0) out.push_back(row);
        return out;
    }

    static std::uint64_t FileTimeOf(const fs::path& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return std::uint64_t(st.st_mtim.tv_sec) * 10'000'000ull + st.st_mtim.tv_nsec / 100 + 116444736000000000ull;
    }

    std::atomic<int> delay_ = 0;
    std::atomic<bool> onlyMft_ = false;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mft_;  // set before onlyMft_
    GuiPrompter prompter_;
    app::AppContext ctx_{prompter_, [this](const platform::DeviceBacking& b) -> std::unique_ptr<source::SectorDevice> {
                             auto dev = source::OpenPosixDevice(b);
                             if (!dev) return nullptr;
                             return std::make_unique<SlowDevice>(std::move(dev), delay_, onlyMft_, mft_);
                         }};
    std::unique_ptr<results::ResultsView> view_;
    fs::path other_;
};

TEST_F(SavingDialogsTest, ASaveWithAConflictAnsweredRenameIsByteExactWithItsTimes) {
    if (other_.empty()) GTEST_SKIP() << "no file system apart from the images' for the destination";
    Check(u"Documents");
    Scratch dest(other_);
    // What the destination had stays; the recovered file takes a numbered name.
    fs::create_directories(dest.path() / "Documents");
    std::ofstream(dest.path() / "Documents" / "readme.txt") << "older\n";

    Responder r;
    QString files, size, calculatedFiles, calculatedSize, dataSize, copied, folder, rate;
    r.onCalculate = [&](QDialog* d) {
        QObject::connect(d, &QDialog::finished, [&, d] {
            auto* c = static_cast<CalculateDataSize*>(d);
            calculatedFiles = c->TotalFilesText();
            calculatedSize = c->DataSizeText();
            SaveShot(c, "calculate-data-size");
        });
    };
    r.onProgress = [&](QDialog* d) {
        QObject::connect(d, &QDialog::finished, [&, d] {
            auto* p = static_cast<DataCopyProgress*>(d);
            dataSize = p->FieldText(saving::CopyField::DataSize);
            copied = p->FieldText(saving::CopyField::DataCopied);
            folder = p->FieldText(saving::CopyField::FolderName);
            files = p->FilesText();
            rate = p->RateText();
            EXPECT_EQ(p->OverallBar()->Pos(), 100);
            SaveShot(p, "data-copy-progress");
        });
    };

    DataCopyPath page(ctx_, view_->Tree());
    // Browse fills the field with the folder chosen.
    page.SetFolderBrowser([&](QWidget*, const QString&) { return QString::fromStdString(dest.path().string()); });
    page.BrowseButton()->click();
    EXPECT_EQ(page.PathEdit()->text().toStdString(), dest.path().string());
    page.show();
    SaveShot(&page, "data-copy-path");
    page.OkButton()->click();

    EXPECT_TRUE(page.Saved());
    EXPECT_FALSE(page.isVisible());
    EXPECT_EQ(r.replacePrompts, 1);
    ASSERT_FALSE(r.messages.isEmpty());
    EXPECT_EQ(r.messages.back(), QString::fromUtf8(saving::text::kCompleted)) << r.messages.join('|').toStdString();
    EXPECT_EQ(calculatedFiles.toInt(), ctx_.saveRun.selectedCount);
    EXPECT_EQ(calculatedSize.toStdString(), saving::DataSizeText(ctx_.saveRun.selectedBytes));
    EXPECT_EQ(dataSize.toStdString(), saving::SizeTextIn(ctx_.saveRun.selectedBytes));
    EXPECT_EQ(copied.toStdString(), saving::SizeTextIn(ctx_.saveRun.selectedBytes));
    EXPECT_TRUE(folder.startsWith(QString::fromStdString((dest.path() / "Documents").string())))
        << folder.toStdString();
    EXPECT_EQ(files, QStringLiteral("%1 of %1").arg(ctx_.saveRun.selectedCount));
    EXPECT_TRUE(rate.endsWith(QStringLiteral("/s")) || rate.contains(QStringLiteral("/s,"))) << rate.toStdString();

    const auto rows = LiveFiles("Documents");
    ASSERT_GT(rows.size(), 8u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        fs::path path = dest.path() / row.path;
        if (row.path == "Documents/readme.txt") {
            std::ifstream old(path);
            std::string line;
            std::getline(old, line);
            EXPECT_EQ(line, "older");
            path = dest.path() / "Documents" / "readme0.txt";
        }
        ASSERT_TRUE(fs::exists(path));
        EXPECT_EQ(dravik::test::Md5::OfFile(path), row.md5);
        EXPECT_EQ(FileTimeOf(path), row.mtime);
    }
    EXPECT_FALSE(fs::exists(dest.path() / "Big")) << "only the checked folder is saved";
}

// The page says how many files hold sectors that could not be read, the
// core's own count, and the run is no success.
TEST_F(SavingDialogsTest, FilesWithUnreadableSectorsAreCountedOnThePage) {
    if (other_.empty()) GTEST_SKIP() << "no file system apart from the images' for the destination";
    Check(u"Documents");
    Scratch dest(other_);
    for (const auto& run : ctx_.analysis.mftRuns)
        if (!run.sparse) mft_.emplace_back(run.start * 512, (run.start + run.length) * 512);
    ASSERT_FALSE(mft_.empty());
    onlyMft_ = true;
    delay_ = 300;  // slow enough for the page to be seen before it ends
    ctx_.source.BadSectorPolicy = source::BadSectorAnswer::SkipAll;

    Responder r;
    QString shown;
    bool visible = false;
    r.onProgress = [&](QDialog* d) {
        QObject::connect(d, &QDialog::finished, [&, d] {
            auto* p = static_cast<DataCopyProgress*>(d);
            shown = p->UnreadableText();
            if (auto* label = p->findChild<QLabel*>(QStringLiteral("unreadableFiles"))) visible = !label->isHidden();
            SaveShot(p, "data-copy-progress-unreadable");
        });
    };
    DataCopyPath page(ctx_, view_->Tree());
    page.PathEdit()->setText(QString::fromStdString(dest.path().string()));
    page.show();
    page.OkButton()->click();
    onlyMft_ = false;
    delay_ = 0;

    const std::int32_t files = ctx_.saveRun.unreadableFiles.load();
    EXPECT_GT(files, 0);
    EXPECT_LE(files, ctx_.saveRun.selectedCount);
    EXPECT_EQ(shown.toStdString(), saving::UnreadableFilesText(files));
    EXPECT_TRUE(visible);
    ASSERT_FALSE(r.messages.isEmpty());
    EXPECT_TRUE(r.messages.back().startsWith(QString::fromUtf8(saving::text::kNotCompleted)))
        << r.messages.back().toStdString();
}

TEST_F(SavingDialogsTest, TheDestinationIsRefusedOnTheSourceEmptyOrWithNothingChecked) {
    Responder r;
    DataCopyPath page(ctx_, view_->Tree());
    page.show();
    page.OkButton()->click();
    ASSERT_EQ(r.messages.size(), 1);
    EXPECT_EQ(r.messages[0], QString::fromUtf8(saving::text::kSelectPath));
    EXPECT_TRUE(page.isVisible());

    // The folder that holds the image: a file saved there could replace it.
    const fs::path holding = dravik::test::ImagePath(kImage).parent_path();
    const auto before = std::distance(fs::directory_iterator(holding), fs::directory_iterator());
    page.PathEdit()->setText(QString::fromStdString(holding.string()));
    page.OkButton()->click();
    ASSERT_EQ(r.messages.size(), 2);
    EXPECT_TRUE(r.messages[1].contains(QStringLiteral("holds the image being recovered")))
        << r.messages[1].toStdString();
    EXPECT_TRUE(r.messages[1].contains(QStringLiteral("overwrite")));
    EXPECT_TRUE(page.isVisible()) << "the page stays for another choice";
    EXPECT_EQ(std::distance(fs::directory_iterator(holding), fs::directory_iterator()), before)
        << "nothing is created there";
    EXPECT_FALSE(page.Saved());

    if (other_.empty()) GTEST_SKIP() << "no file system apart from the images' for the destination";
    Scratch dest(other_);
    page.PathEdit()->setText(QString::fromStdString((dest.path() / "one" / "two").string()));
    page.OkButton()->click();
    ASSERT_EQ(r.messages.size(), 3);
    EXPECT_EQ(r.messages[2], QString::fromUtf8(saving::text::kNothingSelected));
    EXPECT_TRUE(fs::is_directory(dest.path() / "one" / "two")) << "missing levels are created";
    EXPECT_FALSE(page.isVisible()) << "nothing to save closes the page";
    EXPECT_FALSE(page.Saved());
}

TEST_F(SavingDialogsTest, CancelAndTheCloseBoxGoBackWithoutAQuestion) {
    Responder r;
    {
        DataCopyPath page(ctx_, view_->Tree());
        page.show();
        page.CancelButton()->click();
        EXPECT_FALSE(page.isVisible());
        EXPECT_EQ(page.result(), QDialog::Rejected);
    }
    DataCopyPath page(ctx_, view_->Tree());
    page.show();
    page.close();
    QTest::qWait(50);
    EXPECT_FALSE(page.isVisible());
    EXPECT_TRUE(r.questions.isEmpty());
}

TEST_F(SavingDialogsTest, SettingsAppliedDecideWhatIsWrittenAndCancelKeepsThemAsTheyWere) {
    if (other_.empty()) GTEST_SKIP() << "no file system apart from the images' for the destination";
    Check(u"Documents");
    Responder r;
    DataCopyPath page(ctx_, view_->Tree());
    page.show();

    r.onSettings = [&](QDialog* d) {
        auto* s = static_cast<DataSavingSettings*>(d);
        EXPECT_TRUE(s->ModeButton(saving::DeletedMode::Include)->isChecked());
        EXPECT_FALSE(s->RemoveButton()->isEnabled());
        EXPECT_EQ(s->DateKindBox()->currentText(), QStringLiteral("Modified Date"));
        EXPECT_EQ(s->DateBox(saving::DateList::LastYear)->currentText(), QStringLiteral("2030"));
        s->ExtensionEdit()->setText(QStringLiteral(".doc"));
        s->AddButton()->click();  // refused with its message, the text stays
        s->ExtensionEdit()->setText(QStringLiteral("txt"));
        s->AddButton()->click();
        EXPECT_TRUE(s->ExtensionEdit()->text().isEmpty());
        EXPECT_TRUE(s->RemoveButton()->isEnabled());
        s->ModeButton(saving::DeletedMode::Exclude)->click();
        SaveShot(s, "data-saving-settings");
        s->ApplyButton()->click();
    };
    page.SettingsButton()->click();
    QTest::qWait(20);
    ASSERT_FALSE(r.messages.isEmpty());
    EXPECT_EQ(r.messages[0], QString::fromUtf8(saving::msg::kExtensionDot));
    EXPECT_EQ(ctx_.savingSettings.Extensions(), std::vector<std::u16string>{u"txt"});
    EXPECT_EQ(ctx_.savingSettings.Mode(), saving::DeletedMode::Exclude);

    r.onSettings = [&](QDialog* d) {
        auto* s = static_cast<DataSavingSettings*>(d);
        EXPECT_TRUE(s->ModeButton(saving::DeletedMode::Exclude)->isChecked()) << "opens on what stands";
        ASSERT_EQ(s->ExtensionList()->count(), 1);
        s->ExtensionEdit()->setText(QStringLiteral("log"));
        s->AddButton()->click();
        s->ExtensionList()->setCurrentRow(1);
        s->RemoveButton()->click();  // "txt" out
        s->ModeButton(saving::DeletedMode::Only)->click();
        s->DateBox(saving::DateList::FirstYear)->setCurrentIndex(2029 - 1970);
        s->CancelButton()->click();
    };
    page.SettingsButton()->click();
    QTest::qWait(20);
    EXPECT_EQ(ctx_.savingSettings.Extensions(), std::vector<std::u16string>{u"txt"});
    EXPECT_EQ(ctx_.savingSettings.Mode(), saving::DeletedMode::Exclude);
    EXPECT_TRUE(ctx_.savingSettings.Range(results::TimeKind::Modified).IsOff());

    Scratch dest(other_);
    page.PathEdit()->setText(QString::fromStdString(dest.path().string()));
    page.OkButton()->click();
    ASSERT_TRUE(page.Saved());
    EXPECT_EQ(r.messages.back(), QString::fromUtf8(saving::text::kCompleted));
    int written = 0;
    for (const auto& row : LiveFiles("Documents")) {
        const bool txt = row.path.size() > 4 && row.path.compare(row.path.size() - 4, 4, ".txt") == 0;
        EXPECT_EQ(fs::exists(dest.path() / row.path), txt) << row.path;
        written += txt;
    }
    EXPECT_GT(written, 4);
    EXPECT_FALSE(fs::exists(dest.path() / "Documents/notes/deleted resident.txt")) << "deleted files are left out";
}

TEST_F(SavingDialogsTest, PauseHoldsTheRunAndStopAsksBeforeItEndsIt) {
    if (other_.empty()) GTEST_SKIP() << "no file system apart from the images' for the destination";
    Check(u"Documents");
    delay_ = 4000;  // 1 MiB a second: the save takes more than a second
    Scratch dest(other_);
    Responder r;
    bool acted = false;
    std::optional<saving::SaveOutcome> outcome;
    r.onProgress = [&](QDialog* d) {
        auto* p = static_cast<DataCopyProgress*>(d);
        QObject::connect(d, &QDialog::finished, [&, p] { outcome = p->Outcome(); });
        QTimer::singleShot(300, p, [&, p] {
            acted = true;
            p->PauseOrResume();
            EXPECT_EQ(p->PauseButton()->text(), QStringLiteral("&Resume"));
            ASSERT_TRUE(p->Control().WaitParked(std::chrono::seconds(5)));
            const auto held = ctx_.saveRun.bytesWritten.load();
            QTest::qWait(300);
            EXPECT_EQ(ctx_.saveRun.bytesWritten.load(), held) << "nothing is written while paused";
            p->PauseOrResume();
            EXPECT_EQ(p->PauseButton()->text(), QStringLiteral("&Pause"));

            p->ToggleDetails();
            EXPECT_EQ(p->DetailsButton()->text(), QStringLiteral("Show Details"));
            EXPECT_FALSE(p->findChild<QLabel*>(QStringLiteral("timeElapsed"))->isVisible());
            EXPECT_TRUE(p->FileBar()->isVisible());
            p->ToggleDetails();
            EXPECT_TRUE(p->findChild<QLabel*>(QStringLiteral("timeElapsed"))->isVisible());

            r.questionAnswers = {QStringLiteral("&No"), QStringLiteral("&Yes")};
            p->StopButton()->click();
            EXPECT_FALSE(p->Control().Terminated()) << "No goes on";
            EXPECT_TRUE(p->isVisible());
            p->StopButton()->click();
        });
    };
    DataCopyPath page(ctx_, view_->Tree());
    page.PathEdit()->setText(QString::fromStdString(dest.path().string()));
    page.show();
    page.OkButton()->click();

    EXPECT_TRUE(acted) << "the run ended before its buttons were pressed";
    const QString stop = QString::fromUtf8(saving::text::kStopQuestion);
    EXPECT_EQ(r.questions, QStringList({stop, stop}));
    EXPECT_TRUE(r.messages.contains(QString::fromUtf8(saving::text::kAborted))) << r.messages.join('|').toStdString();
    EXPECT_FALSE(r.messages.contains(QString::fromUtf8(saving::text::kCompleted)));
    EXPECT_EQ(outcome, saving::SaveOutcome::Aborted);
    EXPECT_LT(ctx_.saveRun.bytesWritten.load(), ctx_.saveRun.selectedBytes);
}

// The times on the page: a run of more than a second ends showing no time
// left and the time it took, in whole minutes and seconds.
TEST_F(SavingDialogsTest, TheTimesEndWithNoTimeLeftAndTheMinutesAndSecondsTaken) {
    if (other_.empty()) GTEST_SKIP() << "no file system apart from the images' for the destination";
    Check(u"Documents");
    delay_ = 4000;  // 1 MiB a second: the save takes more than a second
    Scratch dest(other_);
    Responder r;
    QString left, elapsed;
    std::optional<saving::SaveOutcome> outcome;
    r.onProgress = [&](QDialog* d) {
        QObject::connect(d, &QDialog::finished, [&, d] {
            auto* p = static_cast<DataCopyProgress*>(d);
            left = p->FieldText(saving::CopyField::TimeLeft);
            elapsed = p->FieldText(saving::CopyField::TimeElapsed);
            outcome = p->Outcome();
        });
    };
    DataCopyPath page(ctx_, view_->Tree());
    page.PathEdit()->setText(QString::fromStdString(dest.path().string()));
    page.show();
    page.OkButton()->click();

    ASSERT_EQ(outcome, saving::SaveOutcome::Completed) << r.messages.join('|').toStdString();
    EXPECT_EQ(left, QStringLiteral("0 Min 0 Sec"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]+ Min [0-9]+ Sec$")).match(elapsed).hasMatch())
        << elapsed.toStdString();
    EXPECT_NE(elapsed, QStringLiteral("0 Min 0 Sec"));
}

TEST_F(SavingDialogsTest, TheSizeCountShowsTheTotalsOfTheCheckedFiles) {
    Check(u"Documents\\notes");
    Responder r;
    CalculateDataSize size(ctx_, view_->Tree());
    EXPECT_EQ(size.exec(), QDialog::Accepted);
    // notes: three live files and three deleted ones, 307205 + 500 + 650 + 1 bytes.
    EXPECT_EQ(size.TotalFilesText(), QStringLiteral("6"));
    EXPECT_EQ(ctx_.saveRun.selectedBytes, 308356u);
    EXPECT_EQ(size.DataSizeText(), QStringLiteral("0.294 MB size"));
    EXPECT_TRUE(r.questions.isEmpty());
}

TEST(TransferRate, RateOverTheRecentWindowAndTheTimeLeftAtIt) {
    TransferRate rate(5.0);
    EXPECT_EQ(rate.BytesPerSecond(), 0);
    EXPECT_FALSE(rate.SecondsLeft(100).has_value());
    rate.Sample(0, 0);
    rate.Sample(1, 1 << 20);
    EXPECT_DOUBLE_EQ(rate.BytesPerSecond(), 1 << 20);
    EXPECT_EQ(rate.SecondsLeft(11u << 20), 10);
    EXPECT_EQ(RateText(rate.BytesPerSecond()), "1.000 MB/s");
    EXPECT_EQ(RateRowText(rate, 11u << 20), "1.000 MB/s, 0 Min 10 Sec left at this rate");
    // A stall: the old fast seconds leave the window.
    for (int s = 2; s <= 12; ++s) rate.Sample(s, (1 << 20) + (s - 1) * 1024);
    EXPECT_NEAR(rate.BytesPerSecond(), 1024, 1);
    EXPECT_EQ(RateText(rate.BytesPerSecond()), "1.000 KB/s");
    EXPECT_EQ(RateRowText(rate, (1 << 20) + 11 * 1024), "1.000 KB/s") << "nothing left: the rate alone";
    // A new run (fewer bytes) starts afresh.
    rate.Sample(13, 10);
    EXPECT_EQ(rate.BytesPerSecond(), 0);
    EXPECT_EQ(RateText(3.0 * (1ull << 30)), "3.000 GB/s");
}

}  // namespace
}  // namespace dravik::gui
