// The layout the message dialogs and the run prompts share: a picture left
// of a text that wraps at a fixed width, optional rows under the text, and
// picture buttons in a row at the bottom right.
#pragma once

#include <QString>

class QBoxLayout;
class QDialog;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace dravik::gui {

class CPictureButton;

// The width at which message texts wrap.
inline constexpr int kMessageTextWidth = 420;

// The system's texts double a '&' that is to be shown as one (the texts
// are written for labels that take '&' as a mnemonic mark).
QString ShownText(const QString& text);

class MessageLayout {
public:
    // Applies the dialog look to `dialog` and lays out `picture` (a name in
    // the image folder) beside `text`.
    MessageLayout(QDialog* dialog, const QString& text, const char* picture);

    QLabel* Text() const { return text_; }
    // A row between the text and the buttons (a check box).
    QVBoxLayout* Rows() const { return rows_; }
    // Appends a button to the bottom row; `code` is what exec() returns when
    // it is pressed.
    CPictureButton* AddButton(const QString& caption, const char* picture, int code);

private:
    QDialog* dialog_;
    QLabel* text_;
    QVBoxLayout* rows_;
    QHBoxLayout* buttons_;
};

}  // namespace dravik::gui
