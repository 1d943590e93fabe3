#include "saving/data_saving_settings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/app_context.h"
#include "app/dialog_look.h"
#include "base/messages.h"
#include "controls/labels.h"
#include "controls/picture_button.h"

namespace dravik::gui {

namespace cap = saving::caption;
using saving::DateList;
using saving::DeletedMode;

namespace {

QString Q(const char* t) { return QString::fromUtf8(t); }

constexpr std::array<results::TimeKind, 3> kKinds{results::TimeKind::Modified, results::TimeKind::Created,
                                                   results::TimeKind::Accessed};

}  // namespace

DataSavingSettings::DataSavingSettings(app::AppContext& ctx, QWidget* parent)
    : QDialog(parent), editor_(ctx.savingSettings, ctx.prompter) {
    setObjectName(QStringLiteral("DataSavingSettings"));
    ApplyDialogLook(this);
    setModal(true);

    // Deleted Data
    auto* deleted = new QGroupBox(Q(cap::kDeletedGroup), this);
    auto* dl = new QVBoxLayout(deleted);
    const char* modeCaptions[] = {cap::kIncludeDeleted, cap::kExcludeDeleted, cap::kDeletedOnly};
    for (int i = 0; i < 3; ++i) {
        modes_[i] = new QRadioButton(Q(modeCaptions[i]), deleted);
        dl->addWidget(modes_[i]);
        connect(modes_[i], &QRadioButton::clicked, this, [this, i] { editor_.SetMode(static_cast<DeletedMode>(i)); });
    }
    modes_[static_cast<std::size_t>(editor_.Mode())]->setChecked(true);

    // Add Extensions
    auto* ext = new QGroupBox(Q(cap::kExtensionGroup), this);
    extension_ = new QLineEdit(ext);
    extension_->setMaxLength(static_cast<int>(saving::kEditFieldLength));
    extension_->setFixedWidth(90);
    add_ = new QPushButton(Q(cap::kAdd), ext);
    remove_ = new QPushButton(Q(cap::kRemove), ext);
    for (auto* b : {add_, remove_}) {
        b->setAutoDefault(false);
        b->setFixedWidth(48);
    }
    list_ = new QListWidget(ext);
    list_->setFixedHeight(96);
    auto* arrows = new QVBoxLayout;
    arrows->addStretch(1);
    arrows->addWidget(add_);
    arrows->addWidget(remove_);
    arrows->addStretch(1);
    auto* el = new QHBoxLayout(ext);
    el->addWidget(extension_, 0, Qt::AlignVCenter);
    el->addLayout(arrows);
    el->addWidget(list_, 1);
    connect(add_, &QPushButton::clicked, this, &DataSavingSettings::AddExtension);
    connect(extension_, &QLineEdit::returnPressed, this, &DataSavingSettings::AddExtension);
    connect(remove_, &QPushButton::clicked, this, &DataSavingSettings::RemoveExtension);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) editor_.SelectRow(static_cast<std::size_t>(row));
    });

    // Date Range Selection
    auto* range = new QGroupBox(Q(cap::kDateGroup), this);
    kind_ = new QComboBox(range);
    for (const auto k : kKinds) kind_->addItem(Q(saving::DateKindCaption(k)));
    auto* rl = new QGridLayout(range);
    rl->setHorizontalSpacing(6);
    rl->addWidget(kind_, 1, 0);
    const char* heads[] = {cap::kDay, cap::kMonth, cap::kYear};
    for (int i = 0; i < 6; ++i) {
        auto* box = new QComboBox(range);
        const auto list = static_cast<DateList>(i);
        for (int e = 0; e < saving::DateListCount(list); ++e)
            box->addItem(QString::fromStdString(saving::DateListEntry(list, e)));
        dates_[i] = box;
        // Day Month Year, "Between ", Day Month Year.
        const int column = i < 3 ? 1 + i : 5 + (i - 3);
        rl->addWidget(new CTransparentLabel(Q(heads[i % 3]), range), 0, column);
        rl->addWidget(box, 1, column);
        connect(box, &QComboBox::currentIndexChanged, this, [this, list](int index) {
            if (index >= 0) editor_.SetDateList(list, index);
        });
    }
    rl->addWidget(new CTransparentLabel(Q(cap::kBetween), range), 1, 4);
    rl->setColumnStretch(8, 1);
    connect(kind_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        editor_.ChooseDateKind(kKinds[static_cast<std::size_t>(index)]);
        ShowDates();
    });

    apply_ = new CPictureButton(Q(cap::kApply), "\\apply.bmp", this);
    cancel_ = new CPictureButton(Q(cap::kCancel), "\\cancel.bmp", this);
    apply_->setAutoDefault(false);
    cancel_->setAutoDefault(false);
    connect(apply_, &QPushButton::clicked, this, &DataSavingSettings::Apply);
    connect(cancel_, &QPushButton::clicked, this, &DataSavingSettings::Cancel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(apply_);
    buttons->addWidget(cancel_);

    auto* top = new QHBoxLayout;
    top->addWidget(deleted);
    top->addWidget(ext, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->addLayout(top);
    layout->addWidget(range);
    layout->addStretch(1);
    layout->addLayout(buttons);

    ShowList();
    {
        const QSignalBlocker block(kind_);
        kind_->setCurrentIndex(static_cast<int>(editor_.DateKind()));
    }
    editor_.ChooseDateKind(editor_.DateKind());
    ShowDates();
}

void DataSavingSettings::ShowList() {
    const QSignalBlocker block(list_);
    list_->clear();
    for (const auto& e : editor_.ListBox())
        list_->addItem(QString::fromStdU16String(e));
    if (const auto row = editor_.SelectedRow()) list_->setCurrentRow(static_cast<int>(*row));
    remove_->setEnabled(editor_.RemoveEnabled());
}

void DataSavingSettings::ShowDates() {
    const auto& shown = editor_.DateLists();
    for (std::size_t i = 0; i < dates_.size(); ++i) {
        const QSignalBlocker block(dates_[i]);
        dates_[i]->setCurrentIndex(shown[i]);
    }
}

void DataSavingSettings::AddExtension() {
    if (!editor_.AddExtension(extension_->text().toStdU16String())) return;
    extension_->clear();
    ShowList();
    list_->setFocus();
}

void DataSavingSettings::RemoveExtension() {
    editor_.RemoveExtension();
    ShowList();
}

void DataSavingSettings::Apply() {
    closed_ = true;
    editor_.Apply();
    accept();
}

void DataSavingSettings::Cancel() {
    closed_ = true;
    editor_.Cancel();
    QDialog::reject();
}

void DataSavingSettings::reject() {
    if (!closed_) Cancel();
}

void DataSavingSettings::paintEvent(QPaintEvent* event) {
    setWindowTitle(Q(base::msg::kAppTitle));
    QDialog::paintEvent(event);
}

}  // namespace dravik::gui
