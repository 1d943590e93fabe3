#include "partition/exhaustive_display.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "analysis/recovery_analysis.h"
#include "analysis/scan_log.h"
#include "app/app_context.h"
#include "app/message_dialogs.h"
#include "app/workflow.h"
#include "controls/labels.h"
#include "controls/picture_button.h"
#include "analysis/exhaustive_search.h"

namespace dravik::gui {

namespace ptext = analysis::text;

ExhaustiveDisplayPartitionInformation::ExhaustiveDisplayPartitionInformation(app::AppContext& ctx, QWidget* parent)
    : WizardPage(parent, ptext::kExitQuestion), ctx_(ctx) {
    setObjectName(QStringLiteral("ExhaustiveDisplayPartitionInformation"));
    resize(640, 420);
    auto* toolbar = new QToolBar(this);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    saveLog_ = AddToolAction(toolbar, QStringLiteral("SaveLog"), "\\Save-Recovery-tbar.bmp");
    connect(saveLog_, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Log"), QString(),
                                                          QStringLiteral("Scan logs (*.qsln)"));
        if (!path.isEmpty()) SaveLog(path);
    });

    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setMinimumWidth(260);
    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { OnSelected(item); });

    type_ = new CColoredLabel(QString(), this);
    size_ = new CColoredLabel(QString(), this);
    start_ = new CColoredLabel(QString(), this);
    end_ = new CColoredLabel(QString(), this);
    auto* info = new QGridLayout;
    info->addWidget(new CTransparentLabel(QStringLiteral("Partition Type :"), this), 0, 0);
    info->addWidget(type_, 0, 1);
    info->addWidget(new CTransparentLabel(QStringLiteral("Partition Size  :"), this), 1, 0);
    info->addWidget(size_, 1, 1);
    info->addWidget(new CTransparentLabel(QStringLiteral("Start Sector    :"), this), 2, 0);
    info->addWidget(start_, 2, 1);
    info->addWidget(new CTransparentLabel(QStringLiteral("End Sector     :"), this), 3, 0);
    info->addWidget(end_, 3, 1);
    info->setRowStretch(4, 1);

    back_ = new CPictureButton(QStringLiteral("&Back"), "\\Back-btn.bmp", this);
    next_ = new CPictureButton(QStringLiteral("&Next"), "\\Next-btn.bmp", this);
    for (auto* b : {back_, next_}) b->setAutoDefault(false);
    connect(next_, &QPushButton::clicked, this, &ExhaustiveDisplayPartitionInformation::AnalyseChosen);
    connect(back_, &QPushButton::clicked, this, &ExhaustiveDisplayPartitionInformation::OnBack);

    auto* middle = new QHBoxLayout;
    middle->addWidget(tree_, 1);
    middle->addLayout(info, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(toolbar);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    Fill();
}

void ExhaustiveDisplayPartitionInformation::Fill() {
    tree_->clear();
    const auto texts = analysis::FoundFileSystemTexts(ctx_);
    empty_ = texts.empty();
    if (empty_) {
        next_->hide();
        return;
    }
    auto* root = new QTreeWidgetItem(tree_, {QStringLiteral("File System")});
    for (const auto& t : texts) new QTreeWidgetItem(root, {QString::fromStdString(t)});
    root->setExpanded(true);
    const int chosen = static_cast<int>(ctx_.analysis.currentVolume);
    ChooseEntry(chosen >= 1 && chosen <= static_cast<int>(texts.size()) ? chosen : 1);
}

void ExhaustiveDisplayPartitionInformation::paintEvent(QPaintEvent* event) {
    WizardPage::paintEvent(event);
    if (painted_) return;
    painted_ = true;
    if (empty_) QTimer::singleShot(0, this, [this] { ShowMessage(this, ptext::kNothingFound); });
}

bool ExhaustiveDisplayPartitionInformation::ChooseEntry(int k) {
    auto* root = tree_->topLevelItem(0);
    if (!root || k < 1 || k > root->childCount()) return false;
    tree_->setCurrentItem(root->child(k - 1));
    OnSelected(root->child(k - 1));
    return true;
}

void ExhaustiveDisplayPartitionInformation::OnSelected(QTreeWidgetItem* item) {
    if (!item || !item->parent()) return;
    const auto found = analysis::ShowFoundFileSystem(ctx_, item->text(0).toStdString());
    type_->setText(QString::fromStdString(found.type));
    size_->setText(QString::fromStdString(found.size));
    start_->setText(QString::number(found.start));
    end_->setText(QString::number(found.end));
}

void ExhaustiveDisplayPartitionInformation::AnalyseChosen() {
    if (empty_) return;
    app::PrepareChosenVolume(ctx_);
    hide();
    {
        RecoveryAnalysis analysis(ctx_, parentWidget());
        analysis.exec();
    }
    show();
}

void ExhaustiveDisplayPartitionInformation::OnBack() {
    analysis::LeaveFoundList(ctx_);
    accept();
}

void ExhaustiveDisplayPartitionInformation::SaveLog(const QString& path) {
    if (!analysis::SaveScanLog(ctx_, path.toStdString(), analysis::ScanLogOrigin::PartitionList))
        ShowMessage(this, "The scan log could not be written.");
}

QString ExhaustiveDisplayPartitionInformation::TypeText() const { return type_->text(); }
QString ExhaustiveDisplayPartitionInformation::SizeText() const { return size_->text(); }
QString ExhaustiveDisplayPartitionInformation::StartText() const { return start_->text(); }
QString ExhaustiveDisplayPartitionInformation::EndText() const { return end_->text(); }

}  // namespace dravik::gui
