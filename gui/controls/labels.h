// Static labels of the pages: transparent (the page's white shows through)
// and coloured (own text and background colour), and the picture control.
#pragma once

#include <QLabel>

namespace dravik::gui {

class CTransparentLabel : public QLabel {
    Q_OBJECT
public:
    explicit CTransparentLabel(const QString& text = {}, QWidget* parent = nullptr);
};

class CColoredLabel : public QLabel {
    Q_OBJECT
public:
    explicit CColoredLabel(const QString& text = {}, QWidget* parent = nullptr);
    void SetTextColour(const QColor& colour);
    void SetBackgroundColour(const QColor& colour);
    void SetBold(bool bold);
};

// A picture from the image folder; blank when the file is missing.
class CPictureCtrl : public QLabel {
    Q_OBJECT
public:
    explicit CPictureCtrl(const char* imageName = nullptr, QWidget* parent = nullptr);
    void SetPicture(const char* imageName);
    bool HasPicture() const;
};

}  // namespace dravik::gui
