// A progress bar drawn as a horizontal gradient, 0..100.
#pragma once

#include <QWidget>

namespace dravik::gui {

class CGradientProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit CGradientProgressBar(QWidget* parent = nullptr);
    // Clipped to 0..100.
    void SetPos(int percent);
    int Pos() const { return pos_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int pos_ = 0;
};

}  // namespace dravik::gui
