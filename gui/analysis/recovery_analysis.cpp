#include "analysis/recovery_analysis.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "analysis/analysis_texts.h"
#include "app/app_context.h"
#include "app/message_dialogs.h"
#include "app/queued_progress.h"
#include "app/workflow.h"
#include "controls/gradient_progress.h"
#include "controls/labels.h"
#include "controls/picture_button.h"
#include "results/view_data_in_controls.h"

namespace dravik::gui {

namespace text = analysis::text;

namespace {

// "&&" in the core's texts is one '&' on screen.
QString Shown(const QString& t) {
    QString s = t;
    s.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return s;
}

}  // namespace

RecoveryAnalysis::RecoveryAnalysis(app::AppContext& ctx, QWidget* parent)
    : WizardPage(parent), ctx_(ctx), run_(std::make_unique<app::AnalysisRun>(ctx)) {
    setObjectName(QStringLiteral("RecoveryAnalysis"));
    resize(620, 400);

    heading_ = new CTransparentLabel(QString::fromUtf8(text::kHeading), this);
    QFont hf(QStringLiteral("MS Shell Dlg"));
    hf.setPixelSize(14);
    hf.setBold(true);
    heading_->setFont(hf);

    auto pair = [this](const QString& caption, QLabel*& value, QLabel** captionOut = nullptr) {
        auto* c = new CTransparentLabel(caption, this);
        value = new CColoredLabel(QString(), this);
        value->setMinimumWidth(260);
        detailWidgets_ << c << value;
        if (captionOut) *captionOut = c;
        return c;
    };
    auto* grid = new QGridLayout;
    grid->setColumnStretch(2, 1);
    QLabel* c;
    c = pair(QStringLiteral("Time Elapsed"), elapsed_);
    grid->addWidget(c, 0, 0);
    grid->addWidget(elapsed_, 0, 1);
    c = pair(QString::fromUtf8(text::kLabelTotalSize), value_, &valueLabel_);
    grid->addWidget(c, 1, 0);
    grid->addWidget(value_, 1, 1);
    c = pair(QStringLiteral("Folders Found"), folders_);
    grid->addWidget(c, 2, 0);
    grid->addWidget(folders_, 2, 1);
    c = pair(QStringLiteral("Files Found"), files_);
    grid->addWidget(c, 3, 0);
    grid->addWidget(files_, 3, 1);
    c = pair(QStringLiteral("Last Name"), lastName_);
    grid->addWidget(c, 4, 0);
    grid->addWidget(lastName_, 4, 1);
    elapsed_->setObjectName(QStringLiteral("elapsed"));
    value_->setObjectName(QStringLiteral("value"));
    folders_->setObjectName(QStringLiteral("folders"));
    files_->setObjectName(QStringLiteral("files"));
    lastName_->setObjectName(QStringLiteral("lastName"));
    elapsed_->setText(QStringLiteral("0 : 0 : 0"));

    step_ = new CTransparentLabel(QString(), this);
    step_->setObjectName(QStringLiteral("step"));
    detail_ = new CTransparentLabel(QString(), this);
    detail_->setObjectName(QStringLiteral("detail"));
    bar_ = new CGradientProgressBar(this);
    help_ = new CTransparentLabel(QString::fromUtf8(text::kHideDetailsHelp), this);

    details_ = new CPictureButton(QStringLiteral("&Hide Details"), nullptr, this);
    pause_ = new CPictureButton(QStringLiteral("Pause"), "\\Pause-btn.bmp", this);
    stop_ = new CPictureButton(QStringLiteral("Stop"), "\\Stop-btn.bmp", this);
    back_ = new CPictureButton(QStringLiteral("Back"), "\\Back-btn.bmp", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(details_);
    buttons->addStretch(1);
    for (auto* b : {pause_, stop_, back_}) buttons->addWidget(b);
    for (auto* b : {details_, pause_, stop_, back_}) b->setAutoDefault(false);

    connect(details_, &QPushButton::clicked, this, &RecoveryAnalysis::ToggleDetails);
    connect(pause_, &QPushButton::clicked, this, &RecoveryAnalysis::PauseOrResume);
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (done_) return;
        run_->Control().Pause();
        elapsedTimer_.stop();
        barTimer_.stop();
        if (AskQuestion(this, Shown(QString::fromUtf8(text::kStopQuestion)).toStdString()) == 1) {
            StopAnalysis();
        } else {
            run_->Control().Resume();
            elapsedTimer_.start(1000);
            barTimer_.start(2000);
        }
    });
    connect(back_, &QPushButton::clicked, this, [this] {
        if (done_) return;
        run_->Control().Pause();
        if (AskQuestion(this, text::kBackQuestion) == 1) GoBack();
        else run_->Control().Resume();
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->addWidget(heading_);
    layout->addSpacing(8);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addWidget(step_);
    layout->addWidget(detail_);
    layout->addWidget(bar_);
    layout->addWidget(help_);
    layout->addStretch(1);
    layout->addLayout(buttons);

    sink_ = std::make_unique<QueuedProgress>(
        this, QueuedProgress::Handlers{
                  [this](base::ProgressField f, const QString& t) { OnText(static_cast<int>(f), t); },
                  [this](int p) { OnPercent(p); },
                  {},
                  [this] {
                      clock_.restart();
                      pausedMs_ = 0;
                  }});
    connect(&elapsedTimer_, &QTimer::timeout, this, &RecoveryAnalysis::Tick);
    connect(&barTimer_, &QTimer::timeout, this, &RecoveryAnalysis::Animate);
}

RecoveryAnalysis::~RecoveryAnalysis() {
    // The worker must not outlive the page its progress goes to.
    if (run_->Running()) run_->Control().Terminate();
    run_->Join();
}

void RecoveryAnalysis::showEvent(QShowEvent* event) {
    WizardPage::showEvent(event);
    if (started_) return;
    started_ = true;
    QTimer::singleShot(0, this, &RecoveryAnalysis::Begin);
}

void RecoveryAnalysis::Begin() {
    clock_.start();
    elapsedTimer_.start(1000);
    barTimer_.start(2000);
    // The worker only raises a flag; the repaint it asks for acts on it.
    run_->Start(*sink_, [this] { QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection); });
}

void RecoveryAnalysis::paintEvent(QPaintEvent* event) {
    WizardPage::paintEvent(event);
    if (done_ || !started_) return;
    auto& control = run_->Control();
    if (control.Finished() || control.CloseRequested()) {
        done_ = true;
        QTimer::singleShot(0, this, &RecoveryAnalysis::WorkerDone);
    }
}

void RecoveryAnalysis::WorkerDone() {
    elapsedTimer_.stop();
    barTimer_.stop();
    run_->Join();
    const bool closeRequested = run_->Control().CloseRequested();
    const auto outcome = run_->Outcome();
    if (closeRequested) {
        done(kFoundListFollows);
        return;
    }
    if (outcome == analysis::AnalysisOutcome::Terminated) {
        done(QDialog::Rejected);
        return;
    }
    if (outcome == analysis::AnalysisOutcome::Unsupported) {
        ShowMessage(this, "This file system cannot be analysed.");
        done(QDialog::Rejected);
        return;
    }
    if (opensResults_) ShowResults();
    done(advanceModeChosen_ ? kAdvanceModeFollows : QDialog::Accepted);
}

void RecoveryAnalysis::ShowResults() {
    hide();
    ViewDataInControls results(ctx_, parentWidget());
    if (results.exec() == ViewDataInControls::kAdvanceMode) advanceModeChosen_ = true;
}

void RecoveryAnalysis::StopAnalysis() {
    run_->Control().RequestStop();
    run_->Control().Resume();
    elapsedTimer_.start(1000);
    barTimer_.start(2000);
}

void RecoveryAnalysis::PauseOrResume() {
    if (done_) return;
    if (!paused_) {
        run_->Control().Pause();
        elapsedTimer_.stop();
        barTimer_.stop();
        pauseStart_ = clock_.elapsed();
        paused_ = true;
        Tick();
        pause_->setText(QStringLiteral("Resume"));
    } else {
        pausedMs_ += clock_.elapsed() - pauseStart_;
        paused_ = false;
        pause_->setText(QStringLiteral("Pause"));
        run_->Control().Resume();
        elapsedTimer_.start(2000);
        barTimer_.start(2000);
    }
}

void RecoveryAnalysis::GoBack() {
    done_ = true;
    elapsedTimer_.stop();
    barTimer_.stop();
    run_->Discard();
    done(QDialog::Rejected);
}

void RecoveryAnalysis::ToggleDetails() {
    hidden_ = !hidden_;
    for (auto* w : detailWidgets_) w->setVisible(!hidden_);
    run_->SetHideDetails(hidden_);
    details_->setText(hidden_ ? QStringLiteral("&Show Details") : QStringLiteral("&Hide Details"));
    if (hidden_) {
        elapsedTimer_.stop();
    } else if (!paused_ && !done_) {
        Tick();
        elapsedTimer_.start(1000);
    }
}

qint64 RecoveryAnalysis::ElapsedMs() const {
    if (!clock_.isValid()) return 0;
    const qint64 now = paused_ ? pauseStart_ : clock_.elapsed();
    return now - pausedMs_;
}

QString RecoveryAnalysis::ElapsedText() const { return elapsed_->text(); }
QString RecoveryAnalysis::ValueLabelText() const { return valueLabel_->text(); }

QString RecoveryAnalysis::FieldText(const char* name) const {
    auto* l = findChild<QLabel*>(QString::fromUtf8(name));
    return l ? l->text() : QString();
}

void RecoveryAnalysis::Tick() {
    const qint64 s = ElapsedMs() / 1000;
    elapsed_->setText(QString::asprintf("%d : %d : %d", int(s / 3600), int(s / 60 % 60), int(s % 60)));
}

void RecoveryAnalysis::Animate() {
    // Steps without a percentage of their own keep the bar moving.
    if (percentSeen_) {
        percentSeen_ = false;
        return;
    }
    animation_ = animation_ % 99 + 1;
    bar_->SetPos(animation_);
}

void RecoveryAnalysis::OnPercent(int percent) {
    percentSeen_ = true;
    bar_->SetPos(percent);
}

void RecoveryAnalysis::OnText(int field, const QString& t) {
    switch (static_cast<base::ProgressField>(field)) {
        case base::ProgressField::Step: step_->setText(Shown(t)); break;
        case base::ProgressField::Detail: detail_->setText(Shown(t)); break;
        case base::ProgressField::Value: value_->setText(t); break;
        case base::ProgressField::ValueLabel: valueLabel_->setText(t); break;
        case base::ProgressField::Folders: folders_->setText(t); break;
        case base::ProgressField::Files: files_->setText(t); break;
        case base::ProgressField::LastName: lastName_->setText(t); break;
    }
}

}  // namespace dravik::gui
