// The source-selection page, the application's main dialog: the source
// tree, the drive information pane, the range controls of a partition
// search, Next, Back and Load Log.
#pragma once

#include <QStringList>

#include "app/dialog_look.h"
#include "app/dravik_app.h"
#include "partition/partition_table.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QAction;

namespace dravik::app {
class AppContext;
}

namespace dravik::gui {

class CFolderTreeCtrl;
class CPictureButton;
class CPieChartWnd;

class DeletedFilesRecovery : public WizardPage {
    Q_OBJECT
public:
    DeletedFilesRecovery(app::AppContext& ctx, CDravikApp::Options options, QWidget* parent = nullptr);

    CFolderTreeCtrl* Tree() const { return tree_; }
    CPictureButton* NextButton() const { return next_; }
    CPictureButton* BackButton() const { return back_; }
    QCheckBox* RangeCheck() const { return rangeCheck_; }
    QLineEdit* StartEdit() const { return start_; }
    QLineEdit* EndEdit() const { return end_; }
    QComboBox* FileSystemBox() const { return fileSystem_; }
    QLabel* InformationText() const { return info_; }
    CPieChartWnd* PieChart() const { return pie_; }
    QAction* LoadLogAction() const { return loadLog_; }
    QAction* OpenImageAction() const { return openImage_; }
    bool CatalogueBuilt() const { return built_; }

    // A click on the tree item with this text, as the mouse gives it.
    bool ClickItem(const QString& text);
    // Loads the scan log at `path` and runs its analysis (what Load Log does
    // once a file is chosen).
    void LoadLog(const QString& path);
    // Attaches an image file as a disk and lists it.
    void AttachImage(const QString& path);
    // The range controls shown or hidden by the recovery mode.
    void LayOutForMode();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FirstPaint();
    void BuildCatalogue();
    void OnItemClicked(partition::TreeHandle handle);
    void OnNext();
    void OnBack();
    void OnLoadLog();
    void OnOpenImage();
    // The analysis page, then the list of found file systems when it asks
    // for it.
    void RunAnalysisPages();

    app::AppContext& ctx_;
    CDravikApp::Options options_;
    CFolderTreeCtrl* tree_;
    QGroupBox* infoBox_;
    QLabel* info_;
    CPieChartWnd* pie_;
    QWidget* rangeBox_;
    QCheckBox* rangeCheck_;
    QLineEdit* start_;
    QLineEdit* end_;
    QComboBox* fileSystem_;
    CPictureButton* back_;
    CPictureButton* next_;
    QAction* loadLog_;
    QAction* openImage_;
    bool painted_ = false;
    bool built_ = false;
    bool loading_ = false;
};

}  // namespace dravik::gui
