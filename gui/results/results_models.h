// Qt models over the core's results: the folder tree and the rows of the
// listed folder. They read the core's records in place (no copies), and the
// core's listener tells them what a check, rename or listing changed.
#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>

#include "results/results_view.h"

namespace dravik::gui {

// The folder tree: internal ids are node handles; a node's row is the
// core's own, so parent() is one lookup.
class ResultsTreeModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit ResultsTreeModel(results::ResultsView& view, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    results::NodeHandle Node(const QModelIndex& index) const;
    QModelIndex IndexOf(results::NodeHandle node) const;
    // The tree was built anew (or cleared).
    void Reset();
    // Check and bold states of `node`'s subtree and ancestors changed: one
    // change range per level that holds them.
    void NodesChanged(results::NodeHandle node);

private:
    results::ResultsView& view_;
    QIcon folder_, lost_, recycle_, root_;
};

// The rows of the listed folder in seven columns; column 0 carries the
// check box, deleted rows are red.
class ResultsListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResultsListModel(results::ResultsView& view, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The rows were listed anew or re-sorted.
    void Reset();
    void RowsChanged();
    // Row checks are ignored while this is set (a worker runs).
    void SetChecksLocked(bool locked) { checksLocked_ = locked; }
    // The icon the desktop gives a name, by its type alone (no file is read).
    QIcon IconForName(const QString& name, bool folder) const;

    static constexpr int kWidths[results::kColumnCount] = {210, 100, 95, 160, 160, 160, 80};

private:
    results::ResultsView& view_;
    bool checksLocked_ = false;
    mutable QHash<QString, QIcon> icons_;
    QIcon folderIcon_;
};

// Hands the core's change reports to both models.
class ResultsModels final : public results::ResultsListener {
public:
    ResultsModels(results::ResultsView& view, QObject* parent);
    ~ResultsModels() override;
    ResultsTreeModel* tree;
    ResultsListModel* list;

    // A worker that checks (the search's select-all) reports from its own
    // thread: the views hear of it on theirs.
    void NodesChanged(results::NodeHandle node) override;
    void RowsChanged() override;
    void RowsReset() override;

private:
    results::ResultsView& view_;
};

}  // namespace dravik::gui
