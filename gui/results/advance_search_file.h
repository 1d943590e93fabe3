// The search dialog of the results: a name pattern and optional deleted,
// date and size filters, the hits listed newest first as the search worker
// finds them, their check boxes tied to the results' selection, and opening
// a hit. The search, the selection rules and opening are the core's; the
// dialog collects the fields and shows what comes back.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QHash>
#include <QIcon>
#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "base/worker.h"
#include "results/search.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QRadioButton;
class QTableView;

namespace dravik::app {
class AppContext;
}

namespace dravik::gui {

class CPictureButton;

// The hits as a table: row 0 is the newest. A row's check box goes through
// the core's selection rules.
class SearchHitsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SearchHitsModel(results::ResultsView& view, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Hits in the order found; each goes on top.
    void AddHits(std::vector<results::SearchHit> found);
    void Clear();
    const results::SearchHit& Hit(int row) const { return hits_[static_cast<std::size_t>(row)]; }
    results::SearchResults& Results() { return hits_; }

    // While a worker reads or writes the hits and the records, rows refuse
    // check changes; during "Select/Unselect All" they show the state being
    // given to them rather than read what the worker is writing.
    void SetLocked(bool locked) { locked_ = locked; }
    bool Locked() const { return locked_; }
    void BeginCheckAll(bool checked);
    void EndCheckAll();

signals:
    // A row's check box changed and the selection followed.
    void HitChecked(int row);

private:
    QIcon IconOf(const results::SearchHit& hit) const;

    results::ResultsView& view_;
    results::SearchResults hits_;
    bool locked_ = false;
    std::optional<bool> checkAll_;
    mutable QHash<QString, QIcon> icons_;  // by suffix; a search for "*" repeats few
};

class AdvanceSearchFile : public QDialog {
    Q_OBJECT
public:
    AdvanceSearchFile(app::AppContext& ctx, results::ResultsView& view, QWidget* parent = nullptr);
    ~AdvanceSearchFile() override;

    // The fields as the search reads them.
    results::SearchCriteria Criteria() const;
    bool Searching() const { return searching_; }
    bool SelectingAll() const { return selecting_; }
    // Opens hit `row` as a double-click does.
    void OpenRow(int row);

    // Called on the search worker after each hit with the hit count and the
    // worker's control; lets a test hold the search at a known hit.
    using HitObserver = std::function<void(int, base::WorkerControl&)>;
    void SetHitObserver(HitObserver observer) { hitObserver_ = std::move(observer); }

    QLineEdit* NameEdit() const { return name_; }
    QCheckBox* TypeCheck() const { return type_; }
    QRadioButton* DeletedButton(results::DeletedMode mode) const;
    QCheckBox* DateCheck() const { return date_; }
    QComboBox* DateKindBox() const { return dateKind_; }
    // 0..2 from day, month, year; 3..5 to day, month, year.
    QComboBox* DateBox(int i) const { return dateBoxes_[static_cast<std::size_t>(i)]; }
    QCheckBox* SizeCheck() const { return size_; }
    QLineEdit* SizeFromEdit() const { return sizeFrom_; }
    QLineEdit* SizeToEdit() const { return sizeTo_; }
    QComboBox* SizeUnitBox() const { return sizeUnit_; }
    CPictureButton* StartButton() const { return start_; }
    CPictureButton* StopButton() const { return stop_; }
    CPictureButton* CancelButton() const { return cancel_; }
    CPictureButton* MoreButton() const { return more_; }
    QCheckBox* SelectAllCheck() const { return selectAll_; }
    QLabel* MatchCountField() const { return matchCount_; }
    QLabel* WaitLabel() const { return wait_; }
    QWidget* CriteriaPart() const { return criteriaPart_; }
    QWidget* ResultsPart() const { return resultsPart_; }
    QTableView* List() const { return list_; }
    SearchHitsModel* Model() const { return model_; }
    QMenu* ListMenu() const { return listMenu_; }
    QAction* OpenAction() const { return open_; }

signals:
    // A folder hit was opened: the results page lists this node.
    void FolderOpened(quint32 node);
    // Marks changed through the hits: the results page refreshes its rows.
    void ChecksChanged();
    // A file hit is to be opened with its program (a FileItem).
    void FileOpenRequested(const void* fileItem);

protected:
    void reject() override;

private:
    void BuildControls();
    void ShowCriteria(const results::SearchCriteria& c);
    void ToggleCriteria();
    void StartSearch();
    // "&Stop Search" or Cancel while searching: asks, then stops or goes on.
    void AskStop(const char* question);
    void QueueHit(const results::SearchHit& hit);
    void FlushHits();
    void SearchEnded(unsigned id);
    void FinishSearch();
    void SelectAll(bool checked);
    void SelectAllEnded();
    void ShowListMenu(const QPoint& pos);

    app::AppContext& ctx_;
    results::ResultsView& view_;

    QLineEdit* name_;
    QCheckBox* type_;
    QRadioButton* include_;
    QRadioButton* exclude_;
    QRadioButton* only_;
    QCheckBox* date_;
    QComboBox* dateKind_;
    std::array<QComboBox*, 6> dateBoxes_{};
    QCheckBox* size_;
    QLineEdit* sizeFrom_;
    QLineEdit* sizeTo_;
    QComboBox* sizeUnit_;
    CPictureButton* start_;
    CPictureButton* stop_;
    CPictureButton* cancel_;
    CPictureButton* more_;
    QCheckBox* selectAll_;
    QLabel* matchCount_;
    QLabel* wait_;
    QWidget* criteriaPart_;
    QWidget* resultsPart_;
    QTableView* list_;
    SearchHitsModel* model_;
    QMenu* listMenu_;
    QAction* open_;

    bool criteriaShown_ = false;
    bool resultsShown_ = false;
    bool searching_ = false;
    bool selecting_ = false;
    unsigned searchId_ = 0;  // a stopped search's late end notice is not the current one's

    // Hits wait here between the worker and the GUI thread; one queued
    // flush takes all that came meanwhile.
    std::mutex pendingMutex_;
    std::vector<results::SearchHit> pending_;
    HitObserver hitObserver_;

    // Declared last: destroyed (joined) first.
    base::Worker search_;
    base::Worker select_;
};

}  // namespace dravik::gui
