// A push button with a picture from the image folder beside its caption, and
// a hover state: the face lightens and takes a frame while the pointer is
// over it.
#pragma once

#include <QPixmap>
#include <QPushButton>

namespace dravik::gui {

class CPictureButton : public QPushButton {
    Q_OBJECT
public:
    // `imageName` as the dialogs name it ("\\skip.bmp"); a missing picture
    // leaves the caption alone. A picture of card size (96 pixels high or
    // more) carries its own caption, which is then not drawn again.
    CPictureButton(const QString& caption, const char* imageName, QWidget* parent = nullptr);
    bool Hovered() const { return hovered_; }
    bool HasPicture() const;
    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool IsCard() const;

    bool hovered_ = false;
    QPixmap picture_;  // background cut away
};

}  // namespace dravik::gui
