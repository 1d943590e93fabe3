#include "controls/link_button.h"

namespace dravik::gui {

CLinkButton::CLinkButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // A style sheet, so that no platform style draws a button face behind it.
    setStyleSheet(QStringLiteral(
        "QPushButton { border: none; background: transparent; padding: 0px; color: #1a5fb4;"
        " text-decoration: underline; text-align: left; }"
        "QPushButton:hover { color: #3584e4; }"
        "QPushButton:pressed { color: #0b3d7a; }"
        "QPushButton:disabled { color: #8a929b; }"
        "QPushButton:focus { outline: none; }"));
}

}  // namespace dravik::gui
