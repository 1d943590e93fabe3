#include "controls/gradient_progress.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace dravik::gui {

namespace {

const QColor kTrough(0xe9, 0xec, 0xf0);
const QColor kBorder(0xb4, 0xbc, 0xc6);
const QColor kStart(0x1f, 0x5f, 0xb4);
const QColor kEnd(0x4c, 0xb0, 0xf0);
constexpr double kRadius = 3;

}  // namespace

CGradientProgressBar::CGradientProgressBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CGradientProgressBar::SetPos(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == pos_) return;
    pos_ = percent;
    update();
}

QSize CGradientProgressBar::sizeHint() const { return {200, 18}; }

void CGradientProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(kBorder, 1));
    p.setBrush(kTrough);
    p.drawRoundedRect(frame, kRadius, kRadius);
    if (pos_ <= 0) return;

    // The gradient spans the whole trough, so a point keeps its colour as the
    // bar grows past it; only the filled part is shown.
    const QRectF inner = frame.adjusted(1, 1, -1, -1);
    QLinearGradient fill(inner.topLeft(), inner.topRight());
    fill.setColorAt(0, kStart);
    fill.setColorAt(1, kEnd);
    p.save();
    p.setClipRect(QRectF(inner.left(), inner.top(), inner.width() * pos_ / 100.0, inner.height()));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(inner, kRadius - 1, kRadius - 1);
    // A soft sheen over the upper half.
    QLinearGradient sheen(inner.topLeft(), inner.bottomLeft());
    sheen.setColorAt(0, QColor(255, 255, 255, 90));
    sheen.setColorAt(0.5, QColor(255, 255, 255, 10));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(sheen);
    p.drawRoundedRect(inner, kRadius - 1, kRadius - 1);
    p.restore();
}

}  // namespace dravik::gui
