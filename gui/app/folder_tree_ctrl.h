// The one tree control of the application, in two modes: the source tree
// (the drive catalogue: This PC, Physical Disks with their partitions,
// Logical Drives) and the results tree (the folders of an analysis).
#pragma once

#include <QTreeView>

#include "partition/partition_table.h"

class QStandardItemModel;
class QAbstractItemModel;
class QStandardItem;

namespace dravik::drives {
struct DriveCatalogue;
}

namespace dravik::gui {

class CFolderTreeCtrl : public QTreeView {
    Q_OBJECT
public:
    explicit CFolderTreeCtrl(QWidget* parent = nullptr);

    // ---- source mode ----
    // Shows the catalogue's items with their expansion.
    void SetSourceMode(const drives::DriveCatalogue& catalogue);
    // The catalogue handle of an index; 0 for none.
    partition::TreeHandle HandleOf(const QModelIndex& index) const;
    QModelIndex IndexOf(partition::TreeHandle handle) const;
    // The index whose text is `text` (first in tree order), for tests and
    // keyboard users.
    QModelIndex FindText(const QString& text) const;
    // ---- results mode ----
    // Shows a results tree model; node clicks then report their index.
    void SetResultsMode(QAbstractItemModel* model);
    bool ResultsMode() const { return resultsMode_; }

    // Clicks are ignored while this is false (a worker runs).
    void SetClicksEnabled(bool enabled) { clicksEnabled_ = enabled; }

signals:
    // A click on an item's icon, label or row: its expansion was toggled
    // and it was selected. Space or Enter on the current item chooses it too.
    void SourceItemClicked(partition::TreeHandle handle);
    // A click on a results node away from its check box and arrow.
    void ResultsNodeClicked(const QModelIndex& index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStandardItemModel* sourceModel_ = nullptr;
    bool clicksEnabled_ = true;
    bool resultsMode_ = false;
};

}  // namespace dravik::gui
