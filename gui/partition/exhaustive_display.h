// The list of file systems a partition search found: choosing one shows its
// type, size and range; Next analyses it; Back forgets the findings.
#pragma once

#include "app/dialog_look.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QAction;

namespace dravik::app {
class AppContext;
}

namespace dravik::gui {

class CPictureButton;

class ExhaustiveDisplayPartitionInformation : public WizardPage {
    Q_OBJECT
public:
    ExhaustiveDisplayPartitionInformation(app::AppContext& ctx, QWidget* parent = nullptr);

    QTreeWidget* Tree() const { return tree_; }
    CPictureButton* NextButton() const { return next_; }
    CPictureButton* BackButton() const { return back_; }
    QAction* SaveLogAction() const { return saveLog_; }
    QString TypeText() const;
    QString SizeText() const;
    QString StartText() const;
    QString EndText() const;

    // Selects entry `k` (1-based) as a click does.
    bool ChooseEntry(int k);
    // Next: the chosen file system's analysis, then this list again.
    void AnalyseChosen();
    void SaveLog(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Fill();
    void OnSelected(QTreeWidgetItem* item);
    void OnBack();

    app::AppContext& ctx_;
    QTreeWidget* tree_;
    QLabel* type_;
    QLabel* size_;
    QLabel* start_;
    QLabel* end_;
    CPictureButton* next_;
    CPictureButton* back_;
    QAction* saveLog_;
    bool empty_ = false;
    bool painted_ = false;
};

}  // namespace dravik::gui
