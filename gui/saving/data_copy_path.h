// The destination page of a save: the folder to recover into, checked by
// the core (not on the source, creatable), then the size count, the
// free-space question and the save run. Cancel and the close box go back to
// the results.
#pragma once

#include <QDialog>
#include <functional>

class QLineEdit;

namespace dravik::app {
class AppContext;
}
namespace dravik::results {
class ResultsTree;
}

namespace dravik::gui {

class CPictureButton;

class DataCopyPath : public QDialog {
    Q_OBJECT
public:
    DataCopyPath(app::AppContext& ctx, const results::ResultsTree& tree, QWidget* parent = nullptr);

    // "&OK": the checks, the size count and the save, as the page chains them.
    void Confirm();
    // "&Browse..." asks this for a folder (the system's folder browser unless
    // a test puts its own); an empty answer changes nothing.
    using FolderBrowser = std::function<QString(QWidget* parent, const QString& start)>;
    void SetFolderBrowser(FolderBrowser browser) { browser_ = std::move(browser); }

    QLineEdit* PathEdit() const { return path_; }
    CPictureButton* BrowseButton() const { return browse_; }
    CPictureButton* OkButton() const { return ok_; }
    CPictureButton* CancelButton() const { return cancel_; }
    CPictureButton* SettingsButton() const { return settings_; }
    // Whether a save ran before the page closed.
    bool Saved() const { return saved_; }

private:
    void Browse();
    void OpenSettings();

    app::AppContext& ctx_;
    const results::ResultsTree& tree_;
    FolderBrowser browser_;
    QLineEdit* path_;
    CPictureButton* browse_;
    CPictureButton* ok_;
    CPictureButton* cancel_;
    CPictureButton* settings_;
    bool saved_ = false;
};

}  // namespace dravik::gui
