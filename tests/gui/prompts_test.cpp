// The three run prompts and the GUI prompter: each button's answer with and
// without "for all", what Esc leaves, dialogs asked for from worker threads,
// and standing answers kept by the core (the sector reader, the copy engine)
// so that a second problem of the same kind is not asked about again.
#include "saving/prompts.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/dialog_look.h"
#include "app/gui_prompter.h"
#include "app/message_layout.h"
#include "app/message_dialogs.h"
#include "base/messages.h"
#include "base/worker.h"
#include "controls/labels.h"
#include "controls/picture_button.h"
#include "gui_support.h"
#include "results/results_view.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "source/sector_reader.h"
#include "support/analysis_harness.h"

namespace dravik::gui {
namespace {

namespace fs = std::filesystem;
using base::CopyErrorAnswer;
using base::ReplaceChoice;
using base::BadSectorAnswer;
using test::Button;
using test::WaitFor;

// Answers every modal dialog that opens, in order, from a script; a dialog
// the script has no step for is closed with Esc and still recorded, so that
// a prompt that should not have come shows up as a failure, not a hang.
class ModalScript : public QObject {
public:
    struct Seen {
        QString type;  // class name
        QString text;
        bool onGuiThread = false;
        QWidget* parent = nullptr;
    };
    std::vector<Seen> seen;

    // Every showing counts, so a dialog opened twice is answered twice.
    ModalScript() { qApp->installEventFilter(this); }
    ~ModalScript() override { qApp->removeEventFilter(this); }

    void Then(std::function<void(QDialog*)> step) { steps_.push_back(std::move(step)); }
    // Clicks `caption`, first checking "Do this for all related items" when
    // `forAll`.
    void Click(const QString& caption, bool forAll = false) {
        Then([=](QDialog* d) {
            auto* box = d->findChild<QCheckBox*>();
            QPushButton* b = Button(d, caption);
            if ((forAll && !box) || !b) {
                ADD_FAILURE() << "no " << caption.toStdString() << (forAll ? " with its check box" : "");
                d->reject();
                return;
            }
            if (forAll) box->setChecked(true);
            b->click();
        });
    }
    void Esc() {
        Then([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    }
    std::vector<QString> Types() const {
        std::vector<QString> out;
        for (const auto& s : seen) out.push_back(s.type);
        return out;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            auto* d = qobject_cast<QDialog*>(watched);
            // Acted on from inside the dialog's own modal loop.
            if (d && d->isModal()) QTimer::singleShot(0, this, [this, p = QPointer<QDialog>(d)] { Handle(p); });
        }
        return false;
    }

private:
    void Handle(QDialog* d) {
        if (!d || !d->isVisible()) return;
        Seen s;
        s.type = QString::fromUtf8(d->metaObject()->className()).section(QStringLiteral("::"), -1);
        for (auto* l : d->findChildren<QLabel*>())
            if (!l->text().isEmpty()) s.text = l->text();
        s.onGuiThread = QThread::currentThread() == qApp->thread() && d->thread() == qApp->thread();
        s.parent = d->parentWidget();
        seen.push_back(s);
        if (steps_.empty()) {
            d->reject();
            return;
        }
        auto step = std::move(steps_.front());
        steps_.pop_front();
        step(d);
    }

    std::deque<std::function<void(QDialog*)>> steps_;
};

// Runs `task` on a thread of its own while the GUI thread goes on with its
// events, and waits for it.
void OnWorker(const std::function<void()>& task) {
    std::atomic<bool> done = false;
    std::thread t([&] {
        task();
        done = true;
    });
    const bool finished = WaitFor([&] { return done.load(); });
    t.join();
    EXPECT_TRUE(finished);
}

// ---- the prompts by themselves ----

TEST(SectorsBadStatusAction, EachButtonGivesItsPolicyAndEscNone) {
    const std::vector<std::pair<QString, BadSectorAnswer>> buttons = {
        {QStringLiteral("&Retry"), BadSectorAnswer::RetryOnce},
        {QStringLiteral("Retry &All"), BadSectorAnswer::RetryAll},
        {QStringLiteral("&Skip"), BadSectorAnswer::SkipOnce},
        {QStringLiteral("S&kip All"), BadSectorAnswer::SkipAll},
    };
    for (const auto& [caption, answer] : buttons) {
        SectorsBadStatusAction prompt;
        ModalScript script;
        script.Click(caption);
        EXPECT_EQ(prompt.Ask(), answer) << caption.toStdString();
    }
    SectorsBadStatusAction prompt;
    ModalScript script;
    script.Esc();
    EXPECT_EQ(prompt.Ask(), std::nullopt);
    script.Then([](QDialog* d) { d->close(); });
    EXPECT_EQ(prompt.Ask(), std::nullopt) << "the close box answers nothing either";
}

TEST(SectorsBadStatusAction, ShowsTheTextAndPicturesAsNamed) {
    SectorsBadStatusAction prompt;
    // The text ends in its 36 spaces and names no sector.
    EXPECT_EQ(prompt.text(), QString::fromUtf8(base::msg::kSectorsBad));
    EXPECT_TRUE(prompt.text().endsWith(QString(36, QLatin1Char(' '))));
    EXPECT_EQ(prompt.windowTitle(), QString::fromUtf8(base::msg::kAppTitle));
    const std::vector<std::pair<QString, QString>> pictures = {
        {QStringLiteral("&Retry"), QStringLiteral("retry.bmp")},
        {QStringLiteral("Retry &All"), QStringLiteral("retryall.bmp")},
        {QStringLiteral("&Skip"), QStringLiteral("skip.bmp")},
        {QStringLiteral("S&kip All"), QStringLiteral("skipall.bmp")},
    };
    for (const auto& [caption, file] : pictures) {
        auto* b = qobject_cast<CPictureButton*>(Button(&prompt, caption));
        ASSERT_NE(b, nullptr) << caption.toStdString();
        EXPECT_EQ(b->HasPicture(), QFile::exists(ImageFolder() + "/" + file)) << file.toStdString();
    }
    EXPECT_EQ(prompt.findChild<CPictureCtrl*>()->HasPicture(), QFile::exists(ImageFolder() + "/Information.bmp"));
    ModalScript script;
    script.Then([](QDialog* d) {
        test::SaveShot(d, "prompt-bad-sectors");
        d->reject();
    });
    prompt.Ask();
}

TEST(ErrorCopying, EachButtonGivesItsAnswerAndEscNone) {
    const std::vector<std::pair<QString, CopyErrorAnswer>> buttons = {
        {QStringLiteral("&Skip"), CopyErrorAnswer::Skip},
        {QStringLiteral("S&kip All"), CopyErrorAnswer::SkipAll},
        {QStringLiteral("&Abort"), CopyErrorAnswer::Abort},
    };
    for (const auto& [caption, answer] : buttons) {
        ErrorCopying prompt;
        ModalScript script;
        script.Click(caption);
        EXPECT_EQ(prompt.Ask(), answer) << caption.toStdString();
    }
    ErrorCopying prompt;
    EXPECT_EQ(prompt.text(), QString::fromUtf8(base::msg::kErrorCopying));
    EXPECT_EQ(prompt.findChild<QCheckBox*>(), nullptr);
    ModalScript script;
    script.Then([](QDialog* d) {
        test::SaveShot(d, "prompt-error-copying");
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(prompt.Ask(), std::nullopt);
}

TEST(FileReplaceOptions, EachButtonWithAndWithoutTheBox) {
    struct Case {
        QString caption;
        bool forAll;
        ReplaceChoice answer;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("&Yes"), false, ReplaceChoice::Yes},
        {QStringLiteral("&Yes"), true, ReplaceChoice::YesForAll},
        {QStringLiteral("&Skip"), false, ReplaceChoice::Skip},
        {QStringLiteral("&Skip"), true, ReplaceChoice::SkipForAll},
        {QStringLiteral("&Rename"), false, ReplaceChoice::Rename},
        {QStringLiteral("&Rename"), true, ReplaceChoice::RenameForAll},
    };
    for (const auto& c : cases) {
        FileReplaceOptions prompt;
        ModalScript script;
        bool uncheckedAtOpen = false;
        script.Then([&, c](QDialog* d) {
            auto* box = d->findChild<QCheckBox*>();
            uncheckedAtOpen = box && !box->isChecked();
            if (c.forAll) box->setChecked(true);
            Button(d, c.caption)->click();
        });
        EXPECT_EQ(prompt.Ask(), c.answer) << c.caption.toStdString() << (c.forAll ? " for all" : "");
        EXPECT_TRUE(uncheckedAtOpen);
    }
}

TEST(FileReplaceOptions, EscAnswersNothingEvenWithTheBoxChecked) {
    FileReplaceOptions prompt;
    EXPECT_EQ(prompt.text(), QString::fromUtf8(base::msg::kFileReplace));
    EXPECT_EQ(prompt.ForAll()->text(), QString::fromUtf8(base::msg::kDoThisForAll));
    EXPECT_EQ(prompt.findChild<CPictureCtrl*>()->HasPicture(), QFile::exists(ImageFolder() + "/Question.bmp"));
    for (const char* caption : {"&Yes", "&Skip", "&Rename"})
        EXPECT_NE(qobject_cast<CPictureButton*>(Button(&prompt, QString::fromUtf8(caption))), nullptr) << caption;
    ModalScript script;
    script.Then([](QDialog* d) {
        d->findChild<QCheckBox*>()->setChecked(true);
        test::SaveShot(d, "prompt-file-replace");
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(prompt.Ask(), std::nullopt);
}

TEST(RunPrompts, ButtonsStandInOneRowUnderTheWrappedText) {
    SectorsBadStatusAction bad;
    ErrorCopying copying;
    FileReplaceOptions replace;
    for (QDialog* d : std::initializer_list<QDialog*>{&bad, &copying, &replace}) {
        d->show();
        QApplication::processEvents();
        QLabel* text = nullptr;
        for (auto* l : d->findChildren<QLabel*>())
            if (!qobject_cast<CPictureCtrl*>(l)) text = l;
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->width(), kMessageTextWidth);
        EXPECT_LE(d->findChild<CPictureCtrl*>()->geometry().right(), text->geometry().left());
        const auto buttons = d->findChildren<CPictureButton*>();
        ASSERT_FALSE(buttons.isEmpty());
        for (auto* b : buttons) {
            EXPECT_EQ(b->geometry().top(), buttons.front()->geometry().top());
            EXPECT_GT(b->geometry().top(), text->geometry().bottom());
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        }
        if (auto* box = d->findChild<QCheckBox*>()) {
            EXPECT_GT(box->geometry().top(), text->geometry().bottom());
            EXPECT_LT(box->geometry().bottom(), buttons.front()->geometry().top());
            EXPECT_EQ(box->geometry().left(), text->geometry().left()) << "the box lines up with the text";
        }
        EXPECT_LE(d->width(), kMessageTextWidth + 200) << "no wider than the text needs";
        d->hide();
    }
}

// ---- the GUI prompter across threads ----

TEST(GuiPrompter, AWorkerGetsTheAnswerClickedOnTheGuiThread) {
    GuiPrompter prompter;
    ModalScript script;
    script.Click(QStringLiteral("S&kip All"));
    std::optional<BadSectorAnswer> answer;
    OnWorker([&] { answer = prompter.SectorsBadStatusAction(); });
    EXPECT_EQ(answer, BadSectorAnswer::SkipAll);
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_TRUE(script.seen[0].onGuiThread) << "the dialog lives on the GUI thread";
    EXPECT_EQ(script.seen[0].type, QStringLiteral("SectorsBadStatusAction"));
}

TEST(GuiPrompter, SeveralPromptsInARowFromOneWorker) {
    GuiPrompter prompter;
    QWidget page;
    prompter.SetParentWidget(&page);
    ModalScript script;
    script.Click(QStringLiteral("&Yes"));
    script.Click(QStringLiteral("Retry &All"));
    script.Click(QStringLiteral("&Abort"));
    script.Click(QStringLiteral("&Rename"), true);
    script.Esc();
    script.Click(QStringLiteral("&OK"));
    script.Click(QStringLiteral("&No"));

    int question = 0, secondQuestion = 0;
    std::optional<BadSectorAnswer> bad;
    std::optional<CopyErrorAnswer> copyError;
    std::optional<ReplaceChoice> replace, closed;
    base::Worker worker;
    ASSERT_TRUE(worker.Start([&](base::WorkerControl&) {
        question = prompter.ViewQuestionMsg("Do you want to stop this process.");
        bad = prompter.SectorsBadStatusAction();
        copyError = prompter.ErrorCopying();
        replace = prompter.FileReplaceOptions();
        closed = prompter.FileReplaceOptions();
        prompter.ViewMsgBox("Saving completed successfully.");
        secondQuestion = prompter.ViewQuestionMsg(base::msg::kExitQuestion);
    }));
    EXPECT_TRUE(WaitFor([&] { return !worker.Running(); }));
    worker.Join();

    EXPECT_EQ(question, 1);
    EXPECT_EQ(bad, BadSectorAnswer::RetryAll);
    EXPECT_EQ(copyError, CopyErrorAnswer::Abort);
    EXPECT_EQ(replace, ReplaceChoice::RenameForAll);
    EXPECT_EQ(closed, std::nullopt);
    EXPECT_EQ(secondQuestion, 2);
    EXPECT_EQ(script.Types(), (std::vector<QString>{"ViewQuestionMsg", "SectorsBadStatusAction", "ErrorCopying",
                                                    "FileReplaceOptions", "FileReplaceOptions", "ViewMsgBox",
                                                    "ViewQuestionMsg"}));
    ASSERT_EQ(script.seen.size(), 7u);
    EXPECT_EQ(script.seen[0].text, QStringLiteral("Do you want to stop this process."));
    EXPECT_EQ(script.seen[5].text, QStringLiteral("Saving completed successfully."));
    for (const auto& s : script.seen) {
        EXPECT_TRUE(s.onGuiThread) << s.type.toStdString();
        EXPECT_EQ(s.parent, &page) << s.type.toStdString();
    }
}

TEST(GuiPrompter, OnTheGuiThreadTheDialogOpensDirectly) {
    GuiPrompter prompter;
    ModalScript script;
    script.Click(QStringLiteral("&Yes"), true);
    script.Click(QStringLiteral("&Yes"));
    EXPECT_EQ(prompter.FileReplaceOptions(), ReplaceChoice::YesForAll);
    EXPECT_EQ(prompter.ViewQuestionMsg("Overwrite?"), 1);
    EXPECT_EQ(script.seen.size(), 2u);
}

TEST(GuiPrompter, AParentThatWentAwayIsForgotten) {
    GuiPrompter prompter;
    auto* page = new QWidget;
    prompter.SetParentWidget(page);
    delete page;
    EXPECT_EQ(prompter.ParentWidget(), nullptr);
    ModalScript script;
    script.Click(QStringLiteral("&OK"));
    OnWorker([&] { prompter.FatalError(base::msg::kOutOfMemory); });
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_EQ(script.seen[0].text, QString::fromUtf8(base::msg::kOutOfMemory));
    EXPECT_EQ(script.seen[0].parent, nullptr);
}

// ---- standing answers kept by the core ----

constexpr std::uint32_t kBps = 512;

// A 200-sector disk whose chosen sectors cannot be read, read in 40-sector
// runs (one piece each) on a worker with the GUI prompter.
class BadSectorRead : public ::testing::Test {
protected:
    GuiPrompter prompter;
    source::CurrentSource src;
    platform::DeviceMap map;

    void SetUp() override {
        map.SetDisk(0, {"memory"});
        src.SelectPhysicalDisk(0);
    }
    // Reads the whole disk; returns the count of zero-filled sectors.
    std::uint64_t ReadAll(std::set<std::uint64_t> bad) {
        source::SectorReader reader(src, map, prompter, [bad](const platform::DeviceBacking&) {
            std::vector<std::uint8_t> bytes(200 * kBps, 0x5A);
            return std::make_unique<source::FaultInjectingDevice>(
                std::make_unique<source::MemoryDevice>(std::move(bytes)), kBps, bad);
        });
        OnWorker([&] {
            std::vector<std::uint8_t> buf(40 * kBps);
            for (std::uint64_t first = 0; first < 200; first += 40) reader.Read(first, 40, buf);
        });
        return reader.ZeroFilledSectors();
    }
};

TEST_F(BadSectorRead, SkipAllIsNotAskedAgain) {
    ModalScript script;
    script.Click(QStringLiteral("S&kip All"));
    // Sectors 10 and 100 lie in the first and the third run.
    EXPECT_EQ(ReadAll({10, 100}), 2u) << "only the sectors that fail are zero-filled";
    EXPECT_EQ(script.Types(), std::vector<QString>{"SectorsBadStatusAction"});
    EXPECT_EQ(src.BadSectorPolicy, BadSectorAnswer::SkipAll);

    // The answer stands for a later read of the same run as well.
    EXPECT_EQ(ReadAll({150}), 1u);
    EXPECT_EQ(script.seen.size(), 1u);
}

TEST_F(BadSectorRead, SkipAsksAtEveryBadRunAndRetryAllReadsTheRestSectorBySector) {
    ModalScript script;
    script.Click(QStringLiteral("&Skip"));
    script.Click(QStringLiteral("Retry &All"));
    EXPECT_EQ(ReadAll({10, 100, 170}), 3u) << "skipped or retried, each run loses only its bad sector";
    EXPECT_EQ(script.Types(), (std::vector<QString>{"SectorsBadStatusAction", "SectorsBadStatusAction"}));
    EXPECT_EQ(src.BadSectorPolicy, BadSectorAnswer::RetryAll);
}

TEST_F(BadSectorRead, AClosedPromptKeepsThePolicy) {
    src.BadSectorPolicy = BadSectorAnswer::SkipOnce;
    ModalScript script;
    script.Esc();
    script.Esc();
    EXPECT_EQ(ReadAll({10, 100}), 2u) << "the standing Skip goes on";
    EXPECT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(src.BadSectorPolicy, BadSectorAnswer::SkipOnce);
}

// fat12 analysed, with Docs/Letters/2023/Drafts (DRAFT1.TXT and "letter to
// the bank.txt") checked; saves run on a worker with the GUI prompter.
class DraftsSave : public ::testing::Test {
protected:
    GuiPrompter prompter;
    app::AppContext ctx{prompter};
    base::WorkerControl control;
    dravik::test::RecordingProgress sink;
    analysis::AnalysisProgress progress{sink};
    analysis::AnalysisEnv env{ctx, control, progress};
    std::unique_ptr<results::ResultsView> view;
    fs::path scratch, dest, drafts;

    void SetUp() override {
        scratch = fs::temp_directory_path() / ("dravik-gui-prompts-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch);
        dest = scratch / "dest";
        fs::create_directories(dest);
        const fs::path image = dravik::test::ImagePath("fat12.img");
        ctx.devices.SetDisk(0, {image.string()});
        ctx.source.SelectPhysicalDisk(0);
        ctx.source.StartSector = 0;
        ctx.source.EndSector = fs::file_size(image) / 512;
        ctx.source.PartitionLabel = "FAT12";
        ctx.analysis.settings.mode = analysis::RecoveryMode::Deleted;
        ASSERT_TRUE(analysis::ReadVolumeGeometry(ctx));
        analysis::PrepareAnalysis(ctx);
        ASSERT_EQ(analysis::RunAnalysis(env), analysis::AnalysisOutcome::Finished);
        view = std::make_unique<results::ResultsView>(ctx);
        view->Open();
        results::NodeHandle node = view->Tree().Root();
        for (const char16_t* name : {u"Docs", u"Letters", u"2023", u"Drafts"}) {
            for (auto c : view->Tree().Node(node).children)
                if (view->Tree().Node(c).text == name) node = c;
        }
        ASSERT_EQ(view->Tree().Node(node).text, u"Drafts");
        view->ToggleNode(node);
        drafts = dest / "Docs" / "Letters" / "2023" / "Drafts";
        fs::create_directories(drafts);
        std::ofstream(drafts / "DRAFT1.TXT") << "old";
        std::ofstream(drafts / "letter to the bank.txt") << "old";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(scratch, ec);
    }
    saving::SaveOutcome Save() {
        ctx.saveRun.ResetForDestination();
        EXPECT_TRUE(saving::CheckDestination(ctx, dest.string()));
        base::WorkerControl sizeControl;
        saving::CalculateDataSize(ctx, view->Tree(), sizeControl);
        ctx.saveRun.ResetForProgress();
        saving::SaveOutcome outcome = saving::SaveOutcome::Aborted;
        base::Worker worker;
        EXPECT_TRUE(worker.Start([&](base::WorkerControl& c) {
            saving::CopyEngine engine(ctx, c);
            outcome = engine.RunSave(view->Tree());
        }));
        EXPECT_TRUE(WaitFor([&] { return !worker.Running(); }));
        worker.Join();
        return outcome;
    }
    std::set<std::string> Files() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(drafts)) out.insert(e.path().filename().string());
        return out;
    }
};

TEST_F(DraftsSave, RenameForAllGivesNumberedNamesWithoutAskingAgain) {
    ModalScript script;
    script.Click(QStringLiteral("&Rename"), true);
    script.Click(QStringLiteral("&OK"));
    EXPECT_EQ(Save(), saving::SaveOutcome::Completed);
    EXPECT_EQ(script.Types(), (std::vector<QString>{"FileReplaceOptions", "ViewMsgBox"}));
    ASSERT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(script.seen[1].text, QString::fromUtf8(saving::text::kCompleted));
    EXPECT_EQ(Files(), (std::set<std::string>{"DRAFT1.TXT", "DRAFT10.TXT", "letter to the bank.txt",
                                              "letter to the bank0.txt"}));
    EXPECT_EQ(fs::file_size(drafts / "DRAFT1.TXT"), 3u) << "the existing file is kept";
    EXPECT_EQ(fs::file_size(drafts / "DRAFT10.TXT"), 256u);
}

TEST_F(DraftsSave, RenameWithoutTheBoxAsksAtTheNextConflict) {
    ModalScript script;
    script.Click(QStringLiteral("&Rename"));
    script.Click(QStringLiteral("&Skip"));
    script.Click(QStringLiteral("&OK"));
    EXPECT_EQ(Save(), saving::SaveOutcome::Completed) << "a skipped conflict counts as done";
    EXPECT_EQ(script.Types(), (std::vector<QString>{"FileReplaceOptions", "FileReplaceOptions", "ViewMsgBox"}));
    EXPECT_EQ(Files().size(), 3u) << "one renamed copy, one skipped";
}

}  // namespace
}  // namespace dravik::gui
