#include "saving/calculate_data_size.h"

#include <QGridLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_context.h"
#include "app/dialog_look.h"
#include "app/message_dialogs.h"
#include "controls/labels.h"
#include "controls/picture_button.h"
#include "saving/destination.h"

namespace dravik::gui {

namespace text = saving::text;

CalculateDataSize::CalculateDataSize(app::AppContext& ctx, const results::ResultsTree& tree, QWidget* parent)
    : QDialog(parent), ctx_(ctx), tree_(tree), run_(ctx, tree) {
    setObjectName(QStringLiteral("CalculateDataSize"));
    ApplyDialogLook(this);
    setModal(true);

    auto* heading = new CTransparentLabel(QStringLiteral(" Evaluating Volume Size"), this);
    QFont hf = heading->font();
    hf.setBold(true);
    hf.setPointSize(hf.pointSize() + 2);
    heading->setFont(hf);
    auto* checking = new CTransparentLabel(QString::fromUtf8(text::kCheckingVolume), this);

    files_ = new CColoredLabel(QStringLiteral("0"), this);
    files_->setObjectName(QStringLiteral("totalFiles"));
    size_ = new CColoredLabel(QString::fromStdString(saving::DataSizeText(0)), this);
    size_->setObjectName(QStringLiteral("dataSize"));
    for (auto* v : {files_, size_}) v->setMinimumWidth(170);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->addWidget(new CTransparentLabel(QStringLiteral("Total Files      :-"), this), 0, 0);
    grid->addWidget(files_, 0, 1);
    grid->addWidget(new CTransparentLabel(QStringLiteral("Data Size       :-"), this), 1, 0);
    grid->addWidget(size_, 1, 1);
    grid->setColumnStretch(1, 1);

    stop_ = new CPictureButton(QStringLiteral("&Stop"), "\\Stop-btn.bmp", this);
    stop_->setAutoDefault(false);
    connect(stop_, &QPushButton::clicked, this, &CalculateDataSize::Stop);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(stop_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->addWidget(heading);
    layout->addSpacing(6);
    layout->addWidget(checking);
    layout->addSpacing(6);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(400, 190);
}

CalculateDataSize::~CalculateDataSize() { run_.End(); }

void CalculateDataSize::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    QTimer::singleShot(0, this, &CalculateDataSize::Begin);
}

void CalculateDataSize::Begin() {
    // The worker only raises the finished flag; the repaint it asks for
    // closes the dialog.
    run_.Start(
        [this](std::int32_t count, std::uint64_t bytes) {
            count_.store(count);
            bytes_.store(bytes);
            // One queued refresh at a time: a walk over many files would
            // otherwise flood the GUI thread.
            if (!totalsQueued_.exchange(true))
                QMetaObject::invokeMethod(this, [this] { ShowTotals(); }, Qt::QueuedConnection);
        },
        [this] { QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection); });
}

void CalculateDataSize::ShowTotals() {
    totalsQueued_.store(false);
    files_->setText(QString::asprintf("%d", count_.load()));
    size_->setText(QString::fromStdString(saving::DataSizeText(bytes_.load())));
}

void CalculateDataSize::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!started_ || closing_ || asking_ || !run_.Control().Finished()) return;
    closing_ = true;
    QTimer::singleShot(0, this, [this] {
        run_.Join();
        ShowTotals();
        accept();
    });
}

void CalculateDataSize::Stop() {
    if (closing_) return;
    if (!run_.Running()) {
        closing_ = true;
        run_.Join();
        accept();
        return;
    }
    stop_->setEnabled(false);
    run_.Control().Pause();
    asking_ = true;
    const int answer = AskQuestion(this, text::kTerminateQuestion);
    asking_ = false;
    if (answer == 1) {
        // The totals counted so far stand for the free-space check.
        closing_ = true;
        run_.End();
        ShowTotals();
        accept();
        return;
    }
    run_.Control().Resume();
    stop_->setEnabled(true);
    update();  // a walk that ended meanwhile closes the dialog now
}

void CalculateDataSize::reject() { Stop(); }

QString CalculateDataSize::TotalFilesText() const { return files_->text(); }
QString CalculateDataSize::DataSizeText() const { return size_->text(); }

}  // namespace dravik::gui
