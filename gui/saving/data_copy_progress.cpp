#include "saving/data_copy_progress.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <mutex>

#include "app/app_context.h"
#include "app/dialog_look.h"
#include "app/message_dialogs.h"
#include "base/messages.h"
#include "controls/gradient_progress.h"
#include "controls/labels.h"
#include "controls/picture_button.h"

namespace dravik::gui {

namespace text = saving::text;
using saving::CopyField;

// The engine's numbers arrive on the worker: the latest are kept here and
// handed to the GUI thread in one queued refresh at a time, so that a run
// of many small files does not flood the event queue.
class DataCopyProgress::Sink final : public saving::CopyProgressSink {
public:
    explicit Sink(DataCopyProgress* dialog) : dialog_(dialog) {}

    void Update(const saving::CopyCounts& counts) override {
        {
            std::lock_guard lock(mutex_);
            counts_ = counts;
            fresh_ = true;
        }
        if (queued_.exchange(true)) return;
        QMetaObject::invokeMethod(dialog_, [d = dialog_] { d->Flush(); }, Qt::QueuedConnection);
    }

    // On the GUI thread: the counts that arrived since the last refresh.
    std::optional<saving::CopyCounts> Take() {
        queued_.store(false);
        std::lock_guard lock(mutex_);
        if (!fresh_) return std::nullopt;
        fresh_ = false;
        return counts_;
    }

private:
    DataCopyProgress* dialog_;
    std::mutex mutex_;
    saving::CopyCounts counts_;
    bool fresh_ = false;
    std::atomic<bool> queued_ = false;
};

namespace {

// Bold 12-pixel labels, as the page draws its captions.
QFont CaptionFont() {
    QFont f(QStringLiteral("MS Shell Dlg"));
    f.setPixelSize(12);
    f.setBold(true);
    return f;
}

}  // namespace

DataCopyProgress::DataCopyProgress(app::AppContext& ctx, const results::ResultsTree& tree, QWidget* parent)
    : QDialog(parent), ctx_(ctx), tree_(tree), runner_(ctx, tree), sink_(std::make_unique<Sink>(this)) {
    setObjectName(QStringLiteral("DataCopyProgress"));
    ApplyDialogLook(this);
    setModal(true);

    const QFont captionFont = CaptionFont();
    auto caption = [&](const char* t) {
        auto* l = new CTransparentLabel(QString::fromUtf8(t), this);
        l->setFont(captionFont);
        return l;
    };
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(5);
    grid->setColumnStretch(1, 1);
    int row = 0;
    auto detail = [&](const char* t, QLabel*& value, const char* name) {
        auto* c = caption(t);
        value = new CColoredLabel(QString(), this);
        value->setObjectName(QString::fromUtf8(name));
        value->setMinimumWidth(330);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(c, row, 0);
        grid->addWidget(value, row, 1);
        detailWidgets_ << c << value;
        ++row;
    };
    auto& v = values_;
    detail("Time Elapsed     :- ", v[size_t(CopyField::TimeElapsed)], "timeElapsed");
    detail("Recovery Time Left  :-", v[size_t(CopyField::TimeLeft)], "timeLeft");
    detail("Data Size           :- ", v[size_t(CopyField::DataSize)], "dataSize");
    detail("Data Copied       :- ", v[size_t(CopyField::DataCopied)], "dataCopied");
    detail("Last Data Name :- ", v[size_t(CopyField::LastDataName)], "lastDataName");
    detail("Folder Name      :- ", v[size_t(CopyField::FolderName)], "folderName");
    detail("Files Processed :- ", files_, "filesProcessed");
    detail("Transfer Rate     :- ", rate_, "transferRate");
    // A long destination path wraps instead of widening the page.
    v[size_t(CopyField::FolderName)]->setWordWrap(true);
    v[size_t(CopyField::TimeElapsed)]->setText(QString::fromUtf8(text::kTimeZero));
    v[size_t(CopyField::TimeLeft)]->setText(QString::fromUtf8(text::kTimeZero));
    v[size_t(CopyField::DataSize)]->setText(QString::fromStdString(saving::SizeTextIn(ctx_.saveRun.selectedBytes)));
    v[size_t(CopyField::DataCopied)]->setText(QString::fromStdString(saving::SizeTextIn(0)));
    files_->setText(QStringLiteral("0 of %1").arg(ctx_.saveRun.selectedCount));
    rate_->setText(QString::fromStdString(gui::RateText(0)));

    fileBar_ = new CGradientProgressBar(this);
    fileBar_->setObjectName(QStringLiteral("currentBar"));
    overallBar_ = new CGradientProgressBar(this);
    overallBar_->setObjectName(QStringLiteral("overallBar"));
    auto* bars = new QGridLayout;
    bars->setHorizontalSpacing(10);
    bars->setColumnStretch(1, 1);
    bars->addWidget(caption("Current Data Copied :-"), 0, 0);
    bars->addWidget(fileBar_, 0, 1);
    bars->addWidget(caption("Overall Data Copied :-"), 1, 0);
    bars->addWidget(overallBar_, 1, 1);
    auto* note =
        new CTransparentLabel(QStringLiteral("(Selecting Hide Details will speedup data recovery speed...)"), this);
    // Shown whether or not the details are: such files are not what the
    // source held, and the final message counts them too.
    unreadable_ = new CTransparentLabel(QString(), this);
    unreadable_->setObjectName(QStringLiteral("unreadableFiles"));
    unreadable_->setFont(captionFont);
    unreadable_->setVisible(false);

    details_ = new CPictureButton(QStringLiteral("Hide Details"), nullptr, this);
    pause_ = new CPictureButton(QStringLiteral("&Pause"), "\\Pause-btn.bmp", this);
    stop_ = new CPictureButton(QStringLiteral("&Stop"), "\\Stop-btn.bmp", this);
    skip_ = new CPictureButton(QStringLiteral("S&kip"), "\\skip.bmp", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(details_);
    buttons->addStretch(1);
    for (auto* b : {pause_, skip_, stop_}) buttons->addWidget(b);
    for (auto* b : {details_, pause_, skip_, stop_}) b->setAutoDefault(false);
    connect(details_, &QPushButton::clicked, this, &DataCopyProgress::ToggleDetails);
    connect(pause_, &QPushButton::clicked, this, &DataCopyProgress::PauseOrResume);
    connect(stop_, &QPushButton::clicked, this, &DataCopyProgress::Stop);
    connect(skip_, &QPushButton::clicked, this, &DataCopyProgress::Skip);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->addLayout(grid);
    layout->addSpacing(10);
    layout->addLayout(bars);
    layout->addWidget(note);
    layout->addWidget(unreadable_);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(600, 340);

    connect(&rateTimer_, &QTimer::timeout, this, &DataCopyProgress::Tick);
}

DataCopyProgress::~DataCopyProgress() {
    // The page is closed only after its worker ended; this covers a page
    // destroyed without being run to its end.
    runner_.End();
}

void DataCopyProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    QTimer::singleShot(0, this, &DataCopyProgress::Begin);
}

void DataCopyProgress::Begin() {
    clock_.Restart();
    transfer_.Sample(0, 0);
    rateTimer_.start(1000);
    // The worker only raises the finished flag; the repaint it asks for
    // closes the page.
    runner_.Start(sink_.get(), [this] { QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection); });
}

void DataCopyProgress::Flush() {
    if (const auto counts = sink_->Take()) {
        // While the details are hidden only the bars move.
        if (!hidden_) {
            const auto texts = saving::CopyProgressTexts::Of(*counts);
            for (std::size_t i = 0; i < values_.size(); ++i)
                if (const auto t = texts.Field(static_cast<CopyField>(i)))
                    values_[i]->setText(QString::fromStdString(*t));
        }
        if (const auto p = saving::FilePercent(*counts)) fileBar_->SetPos(*p);
        if (const auto p = saving::OverallPercent(*counts)) overallBar_->SetPos(*p);
        filesDone_ = counts->filesDone;
    }
    if (!hidden_) files_->setText(QStringLiteral("%1 of %2").arg(filesDone_).arg(ctx_.saveRun.selectedCount));
    if (const std::int32_t n = ctx_.saveRun.unreadableFiles.load(); n > 0) {
        unreadable_->setText(QString::fromStdString(saving::UnreadableFilesText(n)));
        unreadable_->setVisible(true);
    }
}

void DataCopyProgress::Tick() {
    if (runner_.Paused()) return;
    transfer_.Sample(static_cast<double>(clock_.Elapsed().count()) / 1000.0, ctx_.saveRun.bytesWritten.load());
    ShowRate();
}

void DataCopyProgress::ShowRate() {
    if (hidden_) return;
    rate_->setText(QString::fromStdString(RateRowText(transfer_, ctx_.saveRun.selectedBytes)));
    files_->setText(QStringLiteral("%1 of %2").arg(filesDone_).arg(ctx_.saveRun.selectedCount));
}

void DataCopyProgress::paintEvent(QPaintEvent* event) {
    setWindowTitle(QString::fromUtf8(base::msg::kAppTitle));
    QDialog::paintEvent(event);
    if (!started_ || closing_ || asking_ || !runner_.Control().Finished()) return;
    closing_ = true;
    QTimer::singleShot(0, this, [this] {
        rateTimer_.stop();
        runner_.Join();
        // The worker's last counts may still be queued: the page ends
        // showing them, the files with unreadable sectors included.
        Flush();
        accept();
    });
}

void DataCopyProgress::PauseOrResume() {
    if (closing_) return;
    if (!runner_.Paused()) {
        clock_.Pause();
        runner_.Pause();
        pause_->setText(QStringLiteral("&Resume"));
    } else {
        clock_.Resume();
        pause_->setText(QStringLiteral("&Pause"));
        runner_.Resume();
    }
}

void DataCopyProgress::Stop() {
    if (closing_ || asking_ || runner_.Control().Finished()) return;
    runner_.Control().Pause();
    asking_ = true;
    const int answer = AskQuestion(this, text::kStopQuestion);
    if (answer == 1) {
        ShowMessage(this, text::kAborted);
        asking_ = false;
        // The worker wakes from its checkpoint only to end: nothing more is
        // written. Its end closes the page.
        runner_.Control().Terminate();
        update();
        return;
    }
    asking_ = false;
    if (!runner_.Paused()) runner_.Control().Resume();
    update();
}

void DataCopyProgress::Skip() { runner_.Skip(); }

void DataCopyProgress::ToggleDetails() {
    hidden_ = !hidden_;
    for (auto* w : detailWidgets_) w->setVisible(!hidden_);
    details_->setText(hidden_ ? QStringLiteral("Show Details") : QStringLiteral("Hide Details"));
    if (!hidden_) ShowRate();
}

void DataCopyProgress::reject() { Stop(); }

QString DataCopyProgress::FieldText(CopyField field) const { return values_[static_cast<std::size_t>(field)]->text(); }
QString DataCopyProgress::FilesText() const { return files_->text(); }
QString DataCopyProgress::RateText() const { return rate_->text(); }
QString DataCopyProgress::UnreadableText() const { return unreadable_->text(); }

std::optional<saving::SaveOutcome> DataCopyProgress::Outcome() const { return runner_.Outcome(); }

}  // namespace dravik::gui
