#include "results/view_data_in_controls.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "analysis/analysis_texts.h"
#include "analysis/pipeline.h"
#include "app/app_context.h"
#include "app/message_dialogs.h"
#include "controls/picture_button.h"
#include "platform/text.h"
#include "results/results_view.h"

namespace dravik::gui {

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

QString FromU16(const std::u16string& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

ViewDataInControls::ViewDataInControls(app::AppContext& ctx, QWidget* parent)
    : WizardPage(parent), ctx_(ctx), view_(std::make_unique<results::ResultsView>(ctx)) {
    setObjectName(QStringLiteral("ViewDataInControls"));
    resize(900, 560);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    QStringList headers;
    for (int c = 0; c < results::kColumnCount; ++c) headers << QString::fromUtf8(results::ColumnHeader(c));
    list_->setHeaderLabels(headers);
    list_->header()->resizeSection(0, 220);

    auto* split = new QSplitter(this);
    split->addWidget(tree_);
    split->addWidget(list_);
    split->setStretchFactor(1, 2);
    back_ = new CPictureButton(QStringLiteral("&Back"), "\\Back-btn.bmp", this);
    back_->setAutoDefault(false);
    connect(back_, &QPushButton::clicked, this, &ViewDataInControls::Back);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(back_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    view_->Open();
    auto& t = view_->Tree();
    if (t.Root() != results::kNoNode) {
        // Depth first, parents before children.
        std::vector<std::pair<results::NodeHandle, QTreeWidgetItem*>> stack{{t.Root(), nullptr}};
        while (!stack.empty()) {
            auto [h, parentItem] = stack.back();
            stack.pop_back();
            const auto& node = t.Node(h);
            auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(tree_);
            item->setText(0, FromU16(node.text));
            item->setData(0, kNodeRole, h);
            if (node.folder && node.folder->deleted == analysis::kYes) item->setForeground(0, QColor(255, 0, 0));
            for (auto it = node.children.rbegin(); it != node.children.rend(); ++it) stack.emplace_back(*it, item);
        }
        tree_->topLevelItem(0)->setExpanded(true);
        tree_->setCurrentItem(tree_->topLevelItem(0));
        ListNode(tree_->topLevelItem(0));
    }
    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { ListNode(item); });
}

ViewDataInControls::~ViewDataInControls() = default;

void ViewDataInControls::ListNode(QTreeWidgetItem* item) {
    if (!item) return;
    view_->ClickNode(static_cast<results::NodeHandle>(item->data(0, kNodeRole).toUInt()));
    list_->clear();
    QList<QTreeWidgetItem*> rows;
    for (const auto& row : view_->Rows()) {
        auto* r = new QTreeWidgetItem;
        for (int c = 0; c < results::kColumnCount; ++c) r->setText(c, QString::fromStdString(view_->CellText(row, c)));
        const bool deleted = row.IsFolder() ? row.folder->deleted == analysis::kYes : row.file->deleted == analysis::kYes;
        if (deleted)
            for (int c = 0; c < results::kColumnCount; ++c) r->setForeground(c, QColor(255, 0, 0));
        rows << r;
    }
    list_->addTopLevelItems(rows);
}

void ViewDataInControls::Back() {
    if (AskQuestion(this, analysis::text::kBackQuestion) == 1) done(QDialog::Rejected);
}

}  // namespace dravik::gui
