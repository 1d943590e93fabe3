#include "results/colored_list_ctrl.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QTreeView>

#include "results/results_models.h"

namespace dravik::gui {

CColoredListCtrl::CColoredListCtrl(QWidget* parent) : QStackedWidget(parent) {
    details_ = new QTreeView(this);
    details_->setRootIsDecorated(false);
    details_->setUniformRowHeights(true);
    details_->setAllColumnsShowFocus(true);
    details_->setSelectionBehavior(QAbstractItemView::SelectRows);
    details_->header()->setSectionsClickable(true);
    details_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Grid lines through the style sheet; a style sheet on items paints their
    // selection only when told how.
    details_->setStyleSheet(QStringLiteral(
        "QTreeView::item { border-right: 1px solid #e0e0e0; border-bottom: 1px solid #e0e0e0; }"
        "QTreeView::item:selected { background: palette(highlight); color: palette(highlighted-text); }"));
    connect(details_->header(), &QHeaderView::sectionClicked, this, &CColoredListCtrl::HeaderClicked);
    icons_ = new QListView(this);
    icons_->setUniformItemSizes(true);
    icons_->setFlow(QListView::TopToBottom);
    icons_->setWrapping(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setLayoutMode(QListView::Batched);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(details_), static_cast<QAbstractItemView*>(icons_)}) {
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setEditTriggers(QAbstractItemView::EditKeyPressed);
    }
    addWidget(details_);
    addWidget(icons_);
}

void CColoredListCtrl::Connect(QAbstractItemView* view) {
    connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) { emit RowActivated(i.row()); });
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) emit RowSelected(current.row());
            });
}

void CColoredListCtrl::SetModel(QAbstractItemModel* model) {
    details_->setModel(model);
    icons_->setModel(model);
    icons_->setModelColumn(0);
    for (int c = 0; c < results::kColumnCount; ++c) details_->header()->resizeSection(c, ResultsListModel::kWidths[c]);
    Connect(details_);
    Connect(icons_);
}

void CColoredListCtrl::SetArrangement(Arrangement arrangement) {
    arrangement_ = arrangement;
    if (arrangement == Arrangement::Details) {
        setCurrentWidget(details_);
        return;
    }
    const bool large = arrangement == Arrangement::LargeIcons;
    icons_->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    icons_->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    icons_->setGridSize(large ? QSize(110, 72) : QSize());
    setCurrentWidget(icons_);
}

QAbstractItemView* CColoredListCtrl::Current() const {
    return currentWidget() == details_ ? static_cast<QAbstractItemView*>(details_) : icons_;
}

QList<int> CColoredListCtrl::SelectedRows() const {
    QList<int> out;
    if (!Current()->selectionModel()) return out;
    for (const auto& i : Current()->selectionModel()->selectedRows()) out << i.row();
    if (out.isEmpty())
        for (const auto& i : Current()->selectionModel()->selectedIndexes())
            if (!out.contains(i.row())) out << i.row();
    return out;
}

void CColoredListCtrl::EditRow(int row) {
    auto* v = Current();
    if (!v->model()) return;
    const QModelIndex i = v->model()->index(row, 0);
    v->setCurrentIndex(i);
    v->edit(i);
}

}  // namespace dravik::gui
