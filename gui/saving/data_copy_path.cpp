#include "saving/data_copy_path.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/app_context.h"
#include "app/dialog_look.h"
#include "app/message_dialogs.h"
#include "controls/labels.h"
#include "controls/picture_button.h"
#include "saving/calculate_data_size.h"
#include "saving/data_copy_progress.h"
#include "saving/data_saving_settings.h"
#include "app/save_workflow.h"

namespace dravik::gui {

namespace text = saving::text;

namespace {

// The destination field holds at most 259 characters.
constexpr int kPathLength = 259;

QString SystemFolderBrowser(QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, QString(), start,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

}  // namespace

DataCopyPath::DataCopyPath(app::AppContext& ctx, const results::ResultsTree& tree, QWidget* parent)
    : QDialog(parent), ctx_(ctx), tree_(tree), browser_(SystemFolderBrowser) {
    setObjectName(QStringLiteral("DataCopyPath"));
    ApplyDialogLook(this);
    setModal(true);

    auto* heading = new CTransparentLabel(QStringLiteral(" Data Recovery Path Selection"), this);
    QFont hf = heading->font();
    hf.setBold(true);
    hf.setPointSize(hf.pointSize() + 2);
    heading->setFont(hf);
    auto* caption = new CTransparentLabel(QStringLiteral("Select Data Recovery Path "), this);
    path_ = new QLineEdit(this);
    path_->setMaxLength(kPathLength);
    path_->setMinimumWidth(340);
    browse_ = new CPictureButton(QStringLiteral("&Browse..."), nullptr, this);
    auto* note = new CTransparentLabel(QString::fromUtf8(text::kPathNote), this);
    note->setWordWrap(true);

    ok_ = new CPictureButton(QStringLiteral("&OK"), "\\ok.bmp", this);
    cancel_ = new CPictureButton(QStringLiteral("&Cancel"), "\\cancel.bmp", this);
    settings_ = new CPictureButton(QStringLiteral("&Settings..."), nullptr, this);
    for (auto* b : {browse_, cancel_, settings_}) b->setAutoDefault(false);
    ok_->setDefault(true);
    connect(browse_, &QPushButton::clicked, this, &DataCopyPath::Browse);
    connect(ok_, &QPushButton::clicked, this, &DataCopyPath::Confirm);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(settings_, &QPushButton::clicked, this, &DataCopyPath::OpenSettings);

    auto* field = new QHBoxLayout;
    field->addWidget(path_, 1);
    field->addWidget(browse_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(settings_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->addWidget(heading);
    layout->addSpacing(10);
    layout->addWidget(caption);
    layout->addLayout(field);
    layout->addSpacing(4);
    layout->addWidget(note);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(520, 210);
}

void DataCopyPath::Browse() {
    const QString folder = browser_ ? browser_(this, path_->text()) : QString();
    if (!folder.isEmpty()) path_->setText(folder);
}

void DataCopyPath::OpenSettings() {
    DataSavingSettings settings(ctx_, this);
    settings.exec();
}

void DataCopyPath::Confirm() {
    const auto check = app::CheckSaveDestination(ctx_, path_->text().toStdString());
    if (check.result == app::DestinationCheck::Result::OnSource) ShowMessage(this, check.refusal);
    if (!check) return;
    {
        CalculateDataSize size(ctx_, tree_, this);
        size.exec();
    }
    switch (app::DecideAfterSizeWalk(ctx_)) {
        case saving::DestinationDecision::StayInDialog: return;
        case saving::DestinationDecision::CloseDialog: accept(); return;
        case saving::DestinationDecision::Save: break;
    }
    hide();
    {
        DataCopyProgress progress(ctx_, tree_, parentWidget());
        progress.exec();
    }
    saved_ = true;
    accept();
}

}  // namespace dravik::gui
