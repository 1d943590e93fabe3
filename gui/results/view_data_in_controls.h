// The results page: the folder tree of the analysis and the rows of the
// folder chosen in it, with the commands that check, rename, search, save
// the log, switch to advance mode and start the recovery.
#pragma once

#include <QPointer>
#include <memory>

#include "app/dialog_look.h"
#include "results/results_tree.h"

class QAction;
class QLabel;
class QMenuBar;
class QModelIndex;
class QProgressBar;

namespace dravik::app {
class AppContext;
}
namespace dravik::base {
class Worker;
}
namespace dravik::results {
class ResultsView;
}

namespace dravik::gui {

class CColoredListCtrl;
class CFolderTreeCtrl;
class CPictureButton;
class CPictureCtrl;
class PreviewPane;
class ResultsModels;

class ViewDataInControls : public WizardPage {
    Q_OBJECT
public:
    // exec() result when Advance Mode was chosen: the caller runs the
    // analysis again in advance mode.
    static constexpr int kAdvanceMode = 3;

    ViewDataInControls(app::AppContext& ctx, QWidget* parent = nullptr);
    ~ViewDataInControls() override;

    CFolderTreeCtrl* Tree() const { return tree_; }
    CColoredListCtrl* List() const { return list_; }
    results::ResultsView& View() { return *view_; }
    ResultsModels* Models() const { return models_.get(); }
    // True once the tree is built and shown.
    bool Ready() const { return models_ != nullptr; }
    QLabel* Status() const { return status_; }
    QAction* Action(const QString& text) const;
    PreviewPane* Preview() const { return preview_; }

    // The commands, as their menu items run them.
    void ListNode(results::NodeHandle node);
    void Up();
    void GoBack();
    void AdvanceMode();
    void SaveLog(const QString& path);
    bool SavingLog() const;
    void RecoverSelected();
    void RecoveryFilter();
    void SearchData();
    void RenameData();
    void OpenRow(int row);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildMenus(QMenuBar* bar);
    void StartTreeWorker();
    void TreeBuilt();
    void ShowBusy(const QString& text);
    void HideBusy();
    void OnNodeClicked(const QModelIndex& index);
    void PreviewRow(int row);
    void PreviewBusy(bool busy);

    app::AppContext& ctx_;
    std::unique_ptr<results::ResultsView> view_;
    std::unique_ptr<ResultsModels> models_;
    std::unique_ptr<base::Worker> treeWorker_;
    std::unique_ptr<base::Worker> logWorker_;
    CFolderTreeCtrl* tree_;
    CColoredListCtrl* list_;
    PreviewPane* preview_;
    CPictureButton* up_;
    CPictureButton* back_;
    CPictureButton* stop_;
    CPictureButton* save_;
    QLabel* status_;
    QProgressBar* progress_;
    QList<QAction*> actions_;
    bool started_ = false;
    bool backWithoutAsking_ = false;
};

}  // namespace dravik::gui
