#include "partition/deleted_files_recovery.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "analysis/recovery_analysis.h"
#include "app/app_context.h"
#include "app/folder_tree_ctrl.h"
#include "app/message_dialogs.h"
#include "app/recovery_mode.h"
#include "app/workflow.h"
#include "controls/labels.h"
#include "controls/pie_chart.h"
#include "controls/picture_button.h"
#include "partition/exhaustive_display.h"

namespace dravik::gui {

DeletedFilesRecovery::DeletedFilesRecovery(app::AppContext& ctx, CDravikApp::Options options, QWidget* parent)
    : WizardPage(parent), ctx_(ctx), options_(std::move(options)) {
    setObjectName(QStringLiteral("DeletedFilesRecovery"));
    resize(860, 560);

    auto* toolbar = new QToolBar(this);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setIconSize(QSize(32, 32));
    loadLog_ = AddToolAction(toolbar, QStringLiteral("Load Log"), "\\Load-Recovery-tbar.bmp");
    openImage_ = AddToolAction(toolbar, QStringLiteral("Open Disk Image…"), "\\OpenImage-tbar.bmp");
    QAction* help = AddToolAction(toolbar, QStringLiteral("Help"), "\\Help-tbar.bmp");
    QAction* exit = AddToolAction(toolbar, QStringLiteral("Exit"), "\\Exit-tbar.bmp");
    connect(loadLog_, &QAction::triggered, this, &DeletedFilesRecovery::OnLoadLog);
    connect(openImage_, &QAction::triggered, this, &DeletedFilesRecovery::OnOpenImage);
    connect(help, &QAction::triggered, this,
            [] { QDesktopServices::openUrl(QUrl(QStringLiteral("https://dravik.example/help"))); });
    connect(exit, &QAction::triggered, this, [this] { AskExit(this); });

    tree_ = new CFolderTreeCtrl(this);
    tree_->setMinimumWidth(300);
    connect(tree_, &CFolderTreeCtrl::SourceItemClicked, this, &DeletedFilesRecovery::OnItemClicked);

    infoBox_ = new QGroupBox(QStringLiteral("Drive Information"), this);
    info_ = new CTransparentLabel(QString(), infoBox_);
    info_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pie_ = new CPieChartWnd(infoBox_);
    auto* infoLayout = new QVBoxLayout(infoBox_);
    infoLayout->addWidget(info_);
    infoLayout->addWidget(pie_, 1);

    rangeBox_ = new QWidget(this);
    rangeCheck_ = new QCheckBox(QStringLiteral("Select Range"), rangeBox_);
    start_ = new QLineEdit(rangeBox_);
    end_ = new QLineEdit(rangeBox_);
    start_->setObjectName(QStringLiteral("edit1029"));
    end_->setObjectName(QStringLiteral("edit1030"));
    fileSystem_ = new QComboBox(rangeBox_);
    fileSystem_->addItems({QStringLiteral("FAT16"), QStringLiteral("FAT32"), QStringLiteral("NTFS"),
                           QStringLiteral("UNKNOWN")});
    fileSystem_->setCurrentIndex(-1);
    auto* range = new QGridLayout(rangeBox_);
    range->setContentsMargins(0, 0, 0, 0);
    range->addWidget(rangeCheck_, 0, 0, 1, 2);
    range->addWidget(new CTransparentLabel(QStringLiteral("Starting Range  :"), rangeBox_), 1, 0);
    range->addWidget(start_, 1, 1);
    range->addWidget(new CTransparentLabel(QStringLiteral("Ending Range    :"), rangeBox_), 2, 0);
    range->addWidget(end_, 2, 1);
    range->addWidget(new CTransparentLabel(QStringLiteral("File System        :"), rangeBox_), 3, 0);
    range->addWidget(fileSystem_, 3, 1);
    auto enableRange = [this](bool on) {
        start_->setEnabled(on);
        end_->setEnabled(on);
        fileSystem_->setEnabled(on);
    };
    connect(rangeCheck_, &QCheckBox::toggled, this, enableRange);
    enableRange(false);

    back_ = new CPictureButton(QStringLiteral("&Back"), "\\Back-btn.bmp", this);
    next_ = new CPictureButton(QStringLiteral("&Next"), "\\Next-btn.bmp", this);
    for (auto* b : {back_, next_}) {
        // Enter pressed elsewhere must not start anything.
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(back_, &QPushButton::clicked, this, &DeletedFilesRecovery::OnBack);
    // Next acts only when it has the focus: a click gives it the focus, Enter
    // in the tree does not reach it.
    connect(next_, &QPushButton::clicked, this, [this] {
        if (next_->hasFocus()) OnNext();
    });

    auto* right = new QVBoxLayout;
    right->addWidget(infoBox_, 1);
    right->addWidget(rangeBox_);
    auto* middle = new QHBoxLayout;
    middle->addWidget(tree_, 1);
    middle->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(toolbar);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    rangeBox_->hide();
}

void DeletedFilesRecovery::paintEvent(QPaintEvent* event) {
    WizardPage::paintEvent(event);
    if (painted_) return;
    painted_ = true;
    // The first paint builds the catalogue and asks for the mode, once.
    QTimer::singleShot(0, this, &DeletedFilesRecovery::FirstPaint);
}

void DeletedFilesRecovery::FirstPaint() {
    BuildCatalogue();
    CRecoveryMode mode(ctx_, this);
    mode.exec();
    LayOutForMode();
}

void DeletedFilesRecovery::BuildCatalogue() {
    std::vector<std::string> images;
    for (const auto& i : options_.images) images.push_back(i.toStdString());
    const auto status = app::BuildSources(ctx_, images, options_.systemDisks);
    // Without its store the catalogue cannot list anything.
    if (!status.built) std::_Exit(status.exitCode);
    tree_->SetSourceMode(ctx_.drives.catalogue);
    tree_->setCurrentIndex(tree_->model()->index(0, 0));
    built_ = true;
}

void DeletedFilesRecovery::LayOutForMode() {
    rangeBox_->setVisible(ctx_.analysis.settings.exhaustive);
}

bool DeletedFilesRecovery::ClickItem(const QString& text) {
    const QModelIndex index = tree_->FindText(text);
    if (!index.isValid()) return false;
    tree_->setCurrentIndex(index);
    OnItemClicked(tree_->HandleOf(index));
    return true;
}

void DeletedFilesRecovery::OnItemClicked(partition::TreeHandle handle) {
    const auto selection = app::SelectSourceItem(ctx_, handle);
    if (selection.group) return;
    info_->setText(QString::fromStdString(selection.pane.Text()).trimmed());
    std::vector<PieShare> shares;
    for (const auto& slice : selection.pane.pie)
        shares.push_back({QString::fromStdString(slice.legend), slice.percent,
                          slice.legend.rfind("Selected", 0) == 0});
    // A partition's pane has no chart of its own.
    pie_->setVisible(!shares.empty());
    pie_->SetShares(std::move(shares));
    if (ctx_.analysis.settings.exhaustive) {
        start_->setText(QString::number(selection.rangeStart));
        end_->setText(QString::number(selection.rangeEnd));
        fileSystem_->setCurrentIndex(static_cast<int>(selection.fileSystem));
    }
    if (!selection.accessProblem.empty()) ShowMessage(this, selection.accessProblem);
    tree_->setFocus();
}

void DeletedFilesRecovery::OnNext() {
    app::RangeInput range;
    range.start = start_->text().toStdString();
    range.end = end_->text().toStdString();
    const int fs = fileSystem_->currentIndex();
    range.fileSystem = fs < 0 ? analysis::SearchFileSystem::None : static_cast<analysis::SearchFileSystem>(fs);
    if (app::ConfirmSource(ctx_, range) == app::SourceConfirmation::Refused) return;
    RunAnalysisPages();
}

void DeletedFilesRecovery::RunAnalysisPages() {
    hide();
    int result;
    for (;;) {
        RecoveryAnalysis analysis(ctx_, this);
        result = analysis.exec();
        if (result != RecoveryAnalysis::kAdvanceModeFollows) break;
        // Advance Mode from the results: the same source, scanned.
        app::SwitchToAdvanceMode(ctx_);
    }
    if (result == RecoveryAnalysis::kFoundListFollows) {
        ExhaustiveDisplayPartitionInformation list(ctx_, this);
        list.exec();
    }
    show();
}

void DeletedFilesRecovery::OnBack() {
    CRecoveryMode mode(ctx_, this);
    mode.exec();
    LayOutForMode();
}

void DeletedFilesRecovery::OnLoadLog() {
    if (loading_) return;
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Load Log"), QString(),
                                                      QStringLiteral("Scan logs (*.qsln)"));
    if (!path.isEmpty()) LoadLog(path);
}

void DeletedFilesRecovery::LoadLog(const QString& path) {
    if (loading_) return;
    loading_ = true;
    // Refusals the log's own reading did not tell (its disk absent, another
    // volume there now) are told here.
    if (const auto load = app::PrepareLogLoad(ctx_, path.toStdString()))
        RunAnalysisPages();
    else if (!load.problem.empty())
        ctx_.prompter.ViewMsgBox(load.problem);
    loading_ = false;
}

void DeletedFilesRecovery::OnOpenImage() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Disk Image"), QString(),
                                                      QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso);;All files (*)"));
    if (!path.isEmpty()) AttachImage(path);
}

void DeletedFilesRecovery::AttachImage(const QString& path) {
    if (!options_.images.contains(path)) options_.images.append(path);
    BuildCatalogue();
}

}  // namespace dravik::gui
