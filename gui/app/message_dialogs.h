// The message dialog and the yes/no question every page tells and asks
// through. Both run their own modal loop; callers on a worker thread go
// through the GUI prompter, which hands them to the GUI thread.
#pragma once

#include <QDialog>
#include <string>

class QLabel;

namespace dravik::gui {

// One text, the picture "\Information.bmp" and "&OK".
class ViewMsgBox : public QDialog {
    Q_OBJECT
public:
    explicit ViewMsgBox(const QString& text, QWidget* parent = nullptr);
    QString text() const;

private:
    QLabel* text_;
};

// One text, the picture "\Question.bmp", "&Yes" and "&No". exec() returns 1
// for Yes and 2 for No or any other way of closing.
class ViewQuestionMsg : public QDialog {
    Q_OBJECT
public:
    explicit ViewQuestionMsg(const QString& text, QWidget* parent = nullptr);
    QString text() const;
    int exec() override;

private:
    QLabel* text_;
};

// Shows `text` in a ViewMsgBox (on the calling thread, which must be the GUI
// thread).
void ShowMessage(QWidget* parent, const std::string& text);
// Asks `text` in a ViewQuestionMsg: 1 for Yes, 2 otherwise.
int AskQuestion(QWidget* parent, const std::string& text);

}  // namespace dravik::gui
