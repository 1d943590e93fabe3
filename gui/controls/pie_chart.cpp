#include "controls/pie_chart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace dravik::gui {

namespace {

constexpr double kMargin = 6;
constexpr double kSwatch = 11;
constexpr double kSwatchGap = 6;
constexpr double kPullOutShare = 0.07;  // of the diameter
const QColor kUnused(0xe1, 0xe5, 0xea);

double Clamp(double percent) { return std::isfinite(percent) ? std::clamp(percent, 0.0, 100.0) : 0.0; }

}  // namespace

CPieChartWnd::CPieChartWnd(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
}

void CPieChartWnd::SetShares(std::vector<PieShare> shares) {
    shares_ = std::move(shares);
    updateGeometry();
    update();
}

QColor CPieChartWnd::SliceColour(int i) {
    // Distinct hues that stay apart from each other and from the grey of
    // the unused space.
    static const std::array<QColor, 8> kColours{
        QColor(0x35, 0x74, 0xc6), QColor(0xe8, 0x8a, 0x24), QColor(0x3f, 0xa8, 0x5a), QColor(0xd2, 0x45, 0x3c),
        QColor(0x86, 0x5f, 0xc0), QColor(0x24, 0xa3, 0xa8), QColor(0xd9, 0xb4, 0x1e), QColor(0xa0, 0x6a, 0x3d)};
    return kColours[std::size_t(std::abs(i)) % kColours.size()];
}

QSize CPieChartWnd::sizeHint() const {
    const QFontMetrics fm(font());
    int textW = 0;
    for (const PieShare& s : shares_) textW = std::max(textW, fm.horizontalAdvance(s.legend));
    const int rows = int(shares_.size());
    const int legendH = rows * (fm.height() + 4);
    const int pie = std::max(120, legendH);
    return {int(pie + 3 * kMargin + kSwatch + kSwatchGap + textW), int(pie + 2 * kMargin)};
}

CPieChartWnd::Layout CPieChartWnd::ComputeLayout() const {
    const QFontMetricsF fm(font());
    double textW = 0;
    for (const PieShare& s : shares_) textW = std::max(textW, fm.horizontalAdvance(s.legend));
    const double rowH = fm.height() + 4;
    const double legendW = shares_.empty() ? 0 : kSwatch + kSwatchGap + textW;
    const double legendH = double(shares_.size()) * rowH;
    const double w = width(), h = height();
    Layout l;
    // The legend goes beside the pie unless that leaves the pie too small.
    const double besideD = std::min(h - 2 * kMargin, w - legendW - 3 * kMargin);
    const double belowD = std::min(w - 2 * kMargin, h - legendH - 3 * kMargin);
    const bool beside = besideD >= belowD || besideD >= 80;
    const double d = std::max(0.0, beside ? besideD : belowD);
    if (beside) {
        l.pie = QRectF(kMargin, (h - d) / 2, d, d);
        l.legend = QRectF(l.pie.right() + kMargin, (h - legendH) / 2, legendW, legendH);
    } else {
        l.pie = QRectF((w - d) / 2, kMargin, d, d);
        l.legend = QRectF((w - legendW) / 2, l.pie.bottom() + kMargin, legendW, legendH);
    }
    // Room for the selected slice to stand out.
    l.pull = d * kPullOutShare;
    l.pie.adjust(l.pull, l.pull, -l.pull, -l.pull);
    return l;
}

QRectF CPieChartWnd::PieRect() const { return ComputeLayout().pie; }

double CPieChartWnd::PullOut() const { return ComputeLayout().pull; }

void CPieChartWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Layout l = ComputeLayout();

    if (l.pie.width() > 2) {
        p.setPen(Qt::NoPen);
        p.setBrush(kUnused);
        p.drawEllipse(l.pie);
        // Clockwise from twelve o'clock; Qt counts angles counter-clockwise
        // in sixteenths of a degree.
        double start = 90, used = 0;
        for (std::size_t i = 0; i < shares_.size(); ++i) {
            const double share = std::min(Clamp(shares_[i].percent), 100.0 - used);
            used += share;
            const double span = share * 3.6;
            if (span <= 0) continue;
            QRectF box = l.pie;
            if (shares_[i].selected && span < 360) {
                const double mid = (start - span / 2) * std::numbers::pi / 180;
                box.translate(std::cos(mid) * l.pull, -std::sin(mid) * l.pull);
            }
            p.setPen(QPen(palette().color(QPalette::Window), 1.5));
            p.setBrush(SliceColour(int(i)));
            if (span >= 360) p.drawEllipse(box);
            else p.drawPie(box, int(std::lround(start * 16)), -int(std::lround(span * 16)));
            start -= span;
        }
    }

    const QFontMetricsF fm(font());
    const double rowH = fm.height() + 4;
    p.setFont(font());
    for (std::size_t i = 0; i < shares_.size(); ++i) {
        const double y = l.legend.top() + double(i) * rowH;
        const QRectF swatch(l.legend.left(), y + (rowH - kSwatch) / 2, kSwatch, kSwatch);
        p.setPen(QPen(SliceColour(int(i)).darker(130), 1));
        p.setBrush(SliceColour(int(i)));
        p.drawRoundedRect(swatch.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRectF(swatch.right() + kSwatchGap, y, l.legend.width() - kSwatch - kSwatchGap, rowH),
                   Qt::AlignLeft | Qt::AlignVCenter, shares_[i].legend);
    }
}

}  // namespace dravik::gui
