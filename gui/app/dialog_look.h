// What every dialog of the application shares: the title, the white
// background, the label font, the pictures read by name from the image
// folder, and the exit question.
#pragma once

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QString>

class QAction;
class QToolBar;

namespace dravik::gui {

// The folder the pictures are read from: $DRAVIK_IMAGE_DIR when set, else
// the installed share folder next to the executable, else the build tree's.
QString ImageFolder();

// A picture by the name the dialogs use, a leading backslash included
// ("\\Question.bmp"). A missing file gives a null pixmap: the control stays
// blank and nothing is reported.
QPixmap LoadPicture(const char* name);

// A toolbar command with its picture (caption alone when the picture is missing).
QAction* AddToolAction(QToolBar* bar, const QString& caption, const char* picture);

// "Arial" at 9 points (a metric-compatible face stands in where Arial is not
// installed).
QFont LabelFont();

// Title, taskbar entry, white background, label font.
void ApplyDialogLook(QDialog* dialog);

// Asks `question` (the exit question by default); Yes ends the process at
// once with status 0, whatever runs. Returns only on No.
void AskExit(QWidget* parent, const char* question = nullptr);

// Ends the process at once with status 0, saving and freeing nothing.
[[noreturn]] void ExitNow();

// A wizard page: the look above, and its close box and Esc ask the exit
// question instead of closing.
class WizardPage : public QDialog {
    Q_OBJECT
public:
    explicit WizardPage(QWidget* parent = nullptr, const char* exitQuestion = nullptr);

    // The page's object name becomes its X11 window role before it is first
    // shown: every page has the same title, the role tells them apart for
    // window managers and for the real-window test.
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    const char* exitQuestion_;
};

}  // namespace dravik::gui
