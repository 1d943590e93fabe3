// The file list of the results in its three arrangements: details (the
// seven columns) and large or small icons, over one model. Deleted rows
// come red from the model.
#pragma once

#include <QStackedWidget>

class QTreeView;
class QListView;
class QAbstractItemModel;
class QAbstractItemView;
class QModelIndex;

namespace dravik::gui {

class CColoredListCtrl : public QStackedWidget {
    Q_OBJECT
public:
    enum class Arrangement { Details, LargeIcons, SmallIcons };

    explicit CColoredListCtrl(QWidget* parent = nullptr);
    void SetModel(QAbstractItemModel* model);
    void SetArrangement(Arrangement arrangement);
    Arrangement CurrentArrangement() const { return arrangement_; }
    QTreeView* Details() const { return details_; }
    QListView* Icons() const { return icons_; }
    QAbstractItemView* Current() const;
    // The selected rows (one at most: the list selects single rows).
    QList<int> SelectedRows() const;
    // Starts a label edit on `row`'s name.
    void EditRow(int row);

signals:
    void RowActivated(int row);
    void RowSelected(int row);
    void HeaderClicked(int column);

private:
    void Connect(QAbstractItemView* view);

    QTreeView* details_;
    QListView* icons_;
    Arrangement arrangement_ = Arrangement::Details;
};

}  // namespace dravik::gui
