// The results page: the folder tree of the analysis and the rows of the
// folder chosen in it, read-only for now.
#pragma once

#include <memory>

#include "app/dialog_look.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace dravik::app {
class AppContext;
}
namespace dravik::results {
class ResultsView;
}

namespace dravik::gui {

class CPictureButton;

class ViewDataInControls : public WizardPage {
    Q_OBJECT
public:
    ViewDataInControls(app::AppContext& ctx, QWidget* parent = nullptr);
    ~ViewDataInControls() override;

    QTreeWidget* Tree() const { return tree_; }
    QTreeWidget* List() const { return list_; }
    results::ResultsView& View() { return *view_; }
    // Lists the folder of a tree node as a click does.
    void ListNode(QTreeWidgetItem* item);

private:
    void Back();

    app::AppContext& ctx_;
    std::unique_ptr<results::ResultsView> view_;
    QTreeWidget* tree_;
    QTreeWidget* list_;
    CPictureButton* back_;
};

}  // namespace dravik::gui
