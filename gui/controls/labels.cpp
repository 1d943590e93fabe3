#include "controls/labels.h"

#include "app/dialog_look.h"

namespace dravik::gui {

CTransparentLabel::CTransparentLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    // The page shows through: no background of its own, whatever the style.
    setAutoFillBackground(false);
    setTextFormat(Qt::PlainText);
}

CColoredLabel::CColoredLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
}

void CColoredLabel::SetTextColour(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    setPalette(pal);
}

void CColoredLabel::SetBackgroundColour(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
    setAutoFillBackground(true);
}

void CColoredLabel::SetBold(bool bold) {
    QFont f = font();
    f.setBold(bold);
    setFont(f);
}

CPictureCtrl::CPictureCtrl(const char* imageName, QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    SetPicture(imageName);
}

void CPictureCtrl::SetPicture(const char* imageName) {
    const QPixmap picture = imageName ? LoadPicture(imageName) : QPixmap();
    if (picture.isNull()) clear();
    else setPixmap(picture);
}

bool CPictureCtrl::HasPicture() const { return !pixmap().isNull(); }

}  // namespace dravik::gui
