// A flat button drawn as an underlined link, with a pointing-hand cursor.
#pragma once

#include <QPushButton>

namespace dravik::gui {

class CLinkButton : public QPushButton {
    Q_OBJECT
public:
    explicit CLinkButton(const QString& caption, QWidget* parent = nullptr);
};

}  // namespace dravik::gui
