#include "app/folder_tree_ctrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <unordered_map>

#include "app/dialog_look.h"
#include "drives/drive_catalogue.h"

namespace dravik::gui {

namespace {

constexpr int kHandleRole = Qt::UserRole + 1;

const char* IconOf(drives::CatalogueItemKind kind) {
    using K = drives::CatalogueItemKind;
    switch (kind) {
        case K::Root: return "\\pc.bmp";
        case K::PhysicalDisks:
        case K::Disk: return "\\disk.bmp";
        case K::LogicalDrives:
        case K::Volume: return "\\volume.bmp";
        case K::Partition: return "\\partition.bmp";
    }
    return "\\folder.bmp";
}

}  // namespace

CFolderTreeCtrl::CFolderTreeCtrl(QWidget* parent) : QTreeView(parent) {
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void CFolderTreeCtrl::SetResultsMode(QAbstractItemModel* model) {
    resultsMode_ = true;
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setModel(model);
    if (model && model->rowCount() > 0) setExpanded(model->index(0, 0), true);
}

void CFolderTreeCtrl::SetSourceMode(const drives::DriveCatalogue& catalogue) {
    resultsMode_ = false;
    if (!sourceModel_) sourceModel_ = new QStandardItemModel(this);
    sourceModel_->clear();
    std::unordered_map<partition::TreeHandle, QStandardItem*> byHandle;
    std::vector<std::pair<QStandardItem*, bool>> expansion;
    for (const auto& item : catalogue.items) {
        auto* node = new QStandardItem(QString::fromStdString(item.text));
        node->setData(static_cast<qulonglong>(item.handle), kHandleRole);
        node->setEditable(false);
        const QPixmap icon = LoadPicture(IconOf(item.kind));
        if (!icon.isNull()) node->setIcon(QIcon(icon));
        auto parent = byHandle.find(item.parent);
        if (parent == byHandle.end()) sourceModel_->appendRow(node);
        else parent->second->appendRow(node);
        byHandle[item.handle] = node;
        expansion.emplace_back(node, item.expanded || item.kind == drives::CatalogueItemKind::Root);
    }
    setModel(sourceModel_);
    for (const auto& [node, expanded] : expansion) setExpanded(node->index(), expanded);
}

partition::TreeHandle CFolderTreeCtrl::HandleOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<partition::TreeHandle>(index.data(kHandleRole).toULongLong()) : 0;
}

QModelIndex CFolderTreeCtrl::IndexOf(partition::TreeHandle handle) const {
    if (!sourceModel_) return {};
    const auto hits = sourceModel_->match(sourceModel_->index(0, 0), kHandleRole, static_cast<qulonglong>(handle), 1,
                                          Qt::MatchExactly | Qt::MatchRecursive);
    return hits.isEmpty() ? QModelIndex() : hits.first();
}

QModelIndex CFolderTreeCtrl::FindText(const QString& text) const {
    if (!model()) return {};
    const auto hits =
        model()->match(model()->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return hits.isEmpty() ? QModelIndex() : hits.first();
}

void CFolderTreeCtrl::mousePressEvent(QMouseEvent* event) {
    if (!clicksEnabled_) return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (resultsMode_ && index.isValid() && event->button() == Qt::LeftButton) {
        QStyleOptionViewItem opt;
        initViewItemOption(&opt);
        opt.rect = visualRect(index);
        opt.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect check = style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
        const bool onArrow = event->position().x() < visualRect(index).left();
        QTreeView::mousePressEvent(event);
        if (onArrow || check.contains(event->position().toPoint())) return;
        setExpanded(index, !isExpanded(index));
        setCurrentIndex(index);
        setFocus();
        emit ResultsNodeClicked(index);
        return;
    }
    if (!index.isValid() || event->button() != Qt::LeftButton || model() != sourceModel_) {
        QTreeView::mousePressEvent(event);
        return;
    }
    // The expansion arrow toggles by itself; a click anywhere else on the
    // row toggles it too and chooses the item.
    const bool onArrow = event->position().x() < visualRect(index).left();
    QTreeView::mousePressEvent(event);
    if (!onArrow) setExpanded(index, !isExpanded(index));
    setCurrentIndex(index);
    setFocus();
    emit SourceItemClicked(HandleOf(index));
}

void CFolderTreeCtrl::keyPressEvent(QKeyEvent* event) {
    // Keyboard users choose the item the arrows moved to with Space or
    // Enter, as a click on it would; arrows alone only move.
    const int key = event->key();
    const bool choose = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    if (choose && clicksEnabled_ && model() == sourceModel_ && currentIndex().isValid() &&
        event->modifiers() == Qt::NoModifier) {
        emit SourceItemClicked(HandleOf(currentIndex()));
        return;
    }
    QTreeView::keyPressEvent(event);
}

}  // namespace dravik::gui
