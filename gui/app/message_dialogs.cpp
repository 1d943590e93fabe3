#include "app/message_dialogs.h"

#include <QLabel>

#include "app/message_layout.h"
#include "controls/picture_button.h"

namespace dravik::gui {

namespace {
constexpr int kYes = 1;
constexpr int kNo = 2;
}  // namespace

ViewMsgBox::ViewMsgBox(const QString& text, QWidget* parent) : QDialog(parent) {
    MessageLayout layout(this, text, "\\Information.bmp");
    text_ = layout.Text();
    layout.AddButton(QStringLiteral("&OK"), "\\ok.bmp", QDialog::Accepted)->setDefault(true);
}

QString ViewMsgBox::text() const { return text_->text(); }

ViewQuestionMsg::ViewQuestionMsg(const QString& text, QWidget* parent) : QDialog(parent) {
    MessageLayout layout(this, text, "\\Question.bmp");
    text_ = layout.Text();
    layout.AddButton(QStringLiteral("&Yes"), "\\Yes.bmp", kYes)->setDefault(true);
    layout.AddButton(QStringLiteral("&No"), "\\no.bmp", kNo);
}

QString ViewQuestionMsg::text() const { return text_->text(); }

int ViewQuestionMsg::exec() {
    // Esc and the close box reject (0): that is a No.
    return QDialog::exec() == kYes ? kYes : kNo;
}

void ShowMessage(QWidget* parent, const std::string& text) {
    ViewMsgBox box(QString::fromStdString(text), parent);
    box.exec();
}

int AskQuestion(QWidget* parent, const std::string& text) {
    ViewQuestionMsg question(QString::fromStdString(text), parent);
    return question.exec();
}

}  // namespace dravik::gui
