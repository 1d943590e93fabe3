#include "results/view_data_in_controls.h"

#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "analysis/analysis_texts.h"
#include "analysis/scan_log.h"
#include "app/app_context.h"
#include "app/folder_tree_ctrl.h"
#include "app/message_dialogs.h"
#include "base/worker.h"
#include "app/workflow.h"
#include "controls/labels.h"
#include "controls/picture_button.h"
#include "results/advance_search_file.h"
#include "results/colored_list_ctrl.h"
#include "results/preview_pane.h"
#include "results/results_models.h"
#include "results/results_texts.h"
#include "results/item_text.h"
#include "results/results_view.h"
#include "saving/data_copy_path.h"
#include "saving/data_saving_settings.h"

namespace dravik::gui {

namespace rtext = results::text;

namespace {

const QUrl kHelpPage(QStringLiteral("https://dravik.example/help"));

}  // namespace

ViewDataInControls::ViewDataInControls(app::AppContext& ctx, QWidget* parent)
    : WizardPage(parent), ctx_(ctx), view_(std::make_unique<results::ResultsView>(ctx)) {
    setObjectName(QStringLiteral("ViewDataInControls"));
    // 1080 x 668 on a desktop wider than 1024 pixels, else the desktop less 100.
    const QRect desk = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    if (desk.width() > 1024) setGeometry(desk.left() + 100, desk.top() + 50, 1080, 668);
    else setGeometry(desk.left() + 100, desk.top() + 50, desk.width() - 100, desk.height() - 100);

    auto* bar = new QMenuBar(this);
    auto* toolbar = new QToolBar(this);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setIconSize(QSize(32, 32));
    auto tool = [&](const QString& caption, const char* picture) { return AddToolAction(toolbar, caption, picture); };
    QAction* loadTool = tool(QStringLiteral("LoadLog"), "\\Load-Recovery-tbar.bmp");
    loadTool->setEnabled(false);
    QAction* saveTool = tool(QStringLiteral("SaveLog"), "\\Save-Recovery-tbar.bmp");
    QAction* settingsTool = tool(QStringLiteral("Settings"), "\\recover-tbar.bmp");
    QAction* searchTool = tool(QStringLiteral("Search"), "\\Search-tbar.bmp");
    connect(saveTool, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Log"), QString(),
                                                          QStringLiteral("Scan logs (*.qsln)"));
        if (!path.isEmpty()) SaveLog(path);
    });
    connect(settingsTool, &QAction::triggered, this, &ViewDataInControls::RecoverSelected);
    connect(searchTool, &QAction::triggered, this, &ViewDataInControls::SearchData);
    BuildMenus(bar);

    QFont listFont(QStringLiteral("MS Sans Serif"));
    listFont.setPointSize(9);
    tree_ = new CFolderTreeCtrl(this);
    tree_->setFont(listFont);
    connect(tree_, &CFolderTreeCtrl::ResultsNodeClicked, this, &ViewDataInControls::OnNodeClicked);
    list_ = new CColoredListCtrl(this);
    list_->setFont(listFont);
    connect(list_, &CColoredListCtrl::RowActivated, this, &ViewDataInControls::OpenRow);
    connect(list_, &CColoredListCtrl::HeaderClicked, this, [this](int column) {
        if (models_) models_->list->sort(column);
    });

    connect(list_, &CColoredListCtrl::RowSelected, this, &ViewDataInControls::PreviewRow);
    preview_ = new PreviewPane(ctx_, this);
    connect(preview_, &PreviewPane::BusyChanged, this, &ViewDataInControls::PreviewBusy);

    auto* right = new QSplitter(Qt::Vertical, this);
    right->addWidget(list_);
    right->addWidget(preview_);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 1);
    auto* split = new QSplitter(this);
    split->addWidget(tree_);
    split->addWidget(right);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);

    up_ = new CPictureButton(QStringLiteral("&Up"), nullptr, this);
    back_ = new CPictureButton(QStringLiteral("&Back"), "\\Back-btn.bmp", this);
    stop_ = new CPictureButton(QStringLiteral("&Stop"), "\\Stop-btn.bmp", this);
    save_ = new CPictureButton(QStringLiteral("&Recover"), "\\Save.bmp", this);
    stop_->setEnabled(false);  // stops a preview, when one runs
    for (auto* b : {up_, back_, stop_, save_}) b->setAutoDefault(false);
    connect(up_, &QPushButton::clicked, this, &ViewDataInControls::Up);
    connect(back_, &QPushButton::clicked, this, &ViewDataInControls::GoBack);
    connect(save_, &QPushButton::clicked, this, &ViewDataInControls::RecoverSelected);
    connect(stop_, &QPushButton::clicked, preview_, &PreviewPane::Stop);

    status_ = new CTransparentLabel(QString(), this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setMaximumWidth(260);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(progress_);
    bottom->addSpacing(12);
    for (auto* b : {up_, stop_, back_, save_}) bottom->addWidget(b);

    auto* top = new QVBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    top->addWidget(bar);
    top->addWidget(toolbar);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(nullptr);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    HideBusy();

    new QShortcut(QKeySequence(Qt::Key_F1), this, [] { QDesktopServices::openUrl(kHelpPage); });
}

ViewDataInControls::~ViewDataInControls() {
    // Workers read the items; they end before the page that owns them.
    preview_->PreviewWorker().End();
    if (treeWorker_) treeWorker_->End();
    if (logWorker_) logWorker_->Join();
    models_.reset();
}

QAction* ViewDataInControls::Action(const QString& text) const {
    for (auto* a : actions_)
        if (a->text() == text) return a;
    return nullptr;
}

void ViewDataInControls::BuildMenus(QMenuBar* bar) {
    auto add = [this](QMenu* menu, const char* text, auto slot) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        connect(a, &QAction::triggered, this, slot);
        actions_ << a;
        return a;
    };
    QMenu* data = bar->addMenu(QStringLiteral("&Data"));
    QAction* advance = add(data, "&Advance Mode", &ViewDataInControls::AdvanceMode);
    advance->setEnabled(app::AdvanceModeOffered(ctx_));
    add(data, "&Recover Selected", &ViewDataInControls::RecoverSelected);
    add(data, "Recovery F&ilter", &ViewDataInControls::RecoveryFilter);
    data->addSeparator();
    add(data, "&Save Log", [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Log"), QString(),
                                                          QStringLiteral("Scan logs (*.qsln)"));
        if (!path.isEmpty()) SaveLog(path);
    });
    add(data, "&Load Log", [] {})->setEnabled(false);
    add(data, "&Search Data", &ViewDataInControls::SearchData);
    add(data, "R&ename Data", &ViewDataInControls::RenameData);
    data->addSeparator();
    add(data, "E&xit", [this] { AskExit(this); });

    QMenu* viewMenu = bar->addMenu(QStringLiteral("&View"));
    auto* group = new QActionGroup(this);
    auto arrangement = [&](const char* text, CColoredListCtrl::Arrangement a) {
        QAction* act = add(viewMenu, text, [this, a] { list_->SetArrangement(a); });
        act->setCheckable(true);
        group->addAction(act);
        return act;
    };
    arrangement("Large I&cons", CColoredListCtrl::Arrangement::LargeIcons);
    arrangement("&Details", CColoredListCtrl::Arrangement::Details)->setChecked(true);
    arrangement("&Small Icons", CColoredListCtrl::Arrangement::SmallIcons);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    add(help, "&View Help", [] { QDesktopServices::openUrl(kHelpPage); });
}

void ViewDataInControls::showEvent(QShowEvent* event) {
    WizardPage::showEvent(event);
    if (started_) return;
    started_ = true;
    QTimer::singleShot(0, this, &ViewDataInControls::StartTreeWorker);
}

void ViewDataInControls::ShowBusy(const QString& text) {
    status_->setText(text);
    status_->show();
    progress_->setValue(0);
    progress_->show();
}

void ViewDataInControls::HideBusy() {
    status_->clear();
    progress_->hide();
}

void ViewDataInControls::StartTreeWorker() {
    const auto& fs = ctx_.analysis.geometry.fileSystem;
    if (fs != "NTFS" && fs != "FAT12" && fs != "FAT16" && fs != "FAT32") {
        view_->Open();  // an empty tree under "This PC"
        TreeBuilt();
        return;
    }
    ShowBusy(QString::fromUtf8(rtext::kInsertingTree));
    tree_->SetClicksEnabled(false);
    treeWorker_ = std::make_unique<base::Worker>();
    // The tree is built off the GUI thread; the views get their models only
    // once it stands.
    treeWorker_->Start([this](base::WorkerControl&) {
        view_->Open([this](int percent) {
            QMetaObject::invokeMethod(progress_, [this, percent] { progress_->setValue(percent); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(this, &ViewDataInControls::TreeBuilt, Qt::QueuedConnection);
    });
}

void ViewDataInControls::TreeBuilt() {
    if (treeWorker_) treeWorker_->Join();
    models_ = std::make_unique<ResultsModels>(*view_, this);
    tree_->SetResultsMode(models_->tree);
    connect(tree_, &QTreeView::expanded, this, [this](const QModelIndex& i) {
        const auto h = models_->tree->Node(i);
        if (view_->Tree().Valid(h)) view_->Tree().Node(h).expanded = true;
    });
    connect(tree_, &QTreeView::collapsed, this, [this](const QModelIndex& i) {
        const auto h = models_->tree->Node(i);
        if (view_->Tree().Valid(h)) view_->Tree().Node(h).expanded = false;
    });
    list_->SetModel(models_->list);
    const QModelIndex root = models_->tree->IndexOf(view_->Tree().Root());
    tree_->setCurrentIndex(root);
    tree_->setExpanded(root, true);
    progress_->setValue(100);
    HideBusy();
    tree_->SetClicksEnabled(true);
    if (app::AdvanceModeOffered(ctx_) && ctx_.items.folders.Count() + ctx_.items.files.Count() > 0)
        QTimer::singleShot(0, this, [this] { ShowMessage(this, rtext::kAdvanceHint); });
}

void ViewDataInControls::OnNodeClicked(const QModelIndex& index) {
    if (!models_) return;
    const auto node = models_->tree->Node(index);
    if (node == view_->ListedNode()) return;
    ListNode(node);
}

void ViewDataInControls::ListNode(results::NodeHandle node) {
    if (!models_ || !view_->Tree().Valid(node)) return;
    ShowBusy(QString::fromUtf8(rtext::kInsertingList));
    view_->OpenFolder(node);
    const QModelIndex i = models_->tree->IndexOf(node);
    tree_->setCurrentIndex(i);
    tree_->setExpanded(i, true);
    if (i.parent().isValid()) tree_->setExpanded(i.parent(), true);
    preview_->ShowIdle();
    HideBusy();
}

void ViewDataInControls::Up() {
    const auto& t = view_->Tree();
    const auto listed = view_->ListedNode();
    if (!t.Valid(listed) || listed == t.Root()) return;
    ListNode(t.Node(listed).parent);
}

void ViewDataInControls::OpenRow(int row) {
    if (!models_ || row < 0 || static_cast<std::size_t>(row) >= view_->Rows().size()) return;
    const auto& r = view_->Rows()[static_cast<std::size_t>(row)];
    if (r.folder) ListNode(r.folder->treeHandle);
    else if (r.file) preview_->Open(*r.file, QString::fromStdString(results::DisplayName(*r.file)));
}

void ViewDataInControls::PreviewRow(int row) {
    if (!models_ || row < 0 || static_cast<std::size_t>(row) >= view_->Rows().size()) return;
    // A selection that a label edit brings along starts nothing.
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) && list_->isAncestorOf(focus)) return;
    const auto& r = view_->Rows()[static_cast<std::size_t>(row)];
    if (r.folder) preview_->ShowIdle();
    else if (r.file) preview_->Preview(*r.file, QString::fromStdString(results::DisplayName(*r.file)));
}

void ViewDataInControls::PreviewBusy(bool busy) {
    // The list, the tree and the ways out of the page wait for the preview.
    list_->setEnabled(!busy);
    tree_->SetClicksEnabled(!busy);
    back_->setEnabled(!busy);
    save_->setEnabled(!busy);
    stop_->setEnabled(busy);
}

void ViewDataInControls::GoBack() {
    if (!backWithoutAsking_) {
        if (treeWorker_ && treeWorker_->Running()) treeWorker_->Control().Pause();
        if (AskQuestion(this, analysis::text::kBackQuestion) != 1) {
            if (treeWorker_) treeWorker_->Control().Resume();
            return;
        }
    }
    if (treeWorker_) treeWorker_->End();
    if (logWorker_) logWorker_->Join();
    models_.reset();
    tree_->setModel(nullptr);
    list_->SetModel(nullptr);
    app::LeaveResults(ctx_);
    done(backWithoutAsking_ ? kAdvanceMode : QDialog::Rejected);
}

void ViewDataInControls::AdvanceMode() {
    if (!app::AdvanceModeOffered(ctx_)) return;
    if (AskQuestion(this, rtext::kAdvanceQuestion) != 1) return;
    backWithoutAsking_ = true;
    GoBack();
}

void ViewDataInControls::SaveLog(const QString& path) {
    if (SavingLog()) return;
    if (logWorker_) logWorker_->Join();
    logWorker_ = std::make_unique<base::Worker>();
    ShowBusy(QString::fromUtf8(rtext::kSavingLog));
    tree_->SetClicksEnabled(false);
    if (models_) models_->list->SetChecksLocked(true);
    const std::string target = path.toStdString();
    logWorker_->Start([this, target](base::WorkerControl&) {
        analysis::SaveScanLog(ctx_, target, analysis::ScanLogOrigin::Results);
        QMetaObject::invokeMethod(this, [this] {
            logWorker_->Join();
            HideBusy();
            tree_->SetClicksEnabled(true);
            if (models_) models_->list->SetChecksLocked(false);
            update();
        }, Qt::QueuedConnection);
    });
}

bool ViewDataInControls::SavingLog() const { return logWorker_ && logWorker_->Running(); }

void ViewDataInControls::RecoverSelected() {
    if (!models_) return;
    DataCopyPath destination(ctx_, view_->Tree(), this);
    destination.exec();
}

void ViewDataInControls::RecoveryFilter() {
    DataSavingSettings settings(ctx_, this);
    settings.exec();
}

void ViewDataInControls::SearchData() {
    if (!models_) return;
    AdvanceSearchFile search(ctx_, *view_, this);
    connect(&search, &AdvanceSearchFile::FolderOpened, this, [this](quint32 node) { ListNode(node); });
    connect(&search, &AdvanceSearchFile::FileOpenRequested, this, [this](const void* item) {
        const auto* file = static_cast<const analysis::FileItem*>(item);
        if (file) preview_->Open(*file, QString::fromStdString(results::DisplayName(*file)));
    });
    connect(&search, &AdvanceSearchFile::ChecksChanged, this, [this] {
        view_->RefreshRowChecks();
        models_->tree->NodesChanged(view_->Tree().Root());
    });
    search.exec();
    view_->RefreshRowChecks();
    models_->tree->NodesChanged(view_->Tree().Root());
}

void ViewDataInControls::RenameData() {
    const auto rows = list_->SelectedRows();
    if (rows.size() == 1) {
        list_->EditRow(rows.front());
        return;
    }
    const QModelIndex node = tree_->currentIndex();
    if (models_ && node.isValid() && models_->tree->Node(node) != view_->Tree().Root()) tree_->edit(node);
}

}  // namespace dravik::gui
