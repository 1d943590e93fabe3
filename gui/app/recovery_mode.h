// The recovery-mode page: deleted, formatted or partition-data recovery.
#pragma once

#include "app/dialog_look.h"

namespace dravik::app {
class AppContext;
}

namespace dravik::gui {

class CPictureButton;

class CRecoveryMode : public WizardPage {
    Q_OBJECT
public:
    explicit CRecoveryMode(app::AppContext& ctx, QWidget* parent = nullptr);
    CPictureButton* DeletedButton() const { return deleted_; }
    CPictureButton* FormattedButton() const { return formatted_; }
    CPictureButton* PartitionButton() const { return partition_; }
    // "&About Dravik".
    void ShowAbout();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    app::AppContext& ctx_;
    CPictureButton* deleted_;
    CPictureButton* formatted_;
    CPictureButton* partition_;
};

}  // namespace dravik::gui
