// The pie chart of the drive information pane: one slice per share, with a
// legend; the selected slice is drawn out of the pie.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

namespace dravik::gui {

struct PieShare {
    QString legend;
    double percent = 0;  // 0..100; shares may sum to less (the rest is unused space)
    bool selected = false;
};

class CPieChartWnd : public QWidget {
    Q_OBJECT
public:
    explicit CPieChartWnd(QWidget* parent = nullptr);
    void SetShares(std::vector<PieShare> shares);
    const std::vector<PieShare>& Shares() const { return shares_; }
    // The colour slice i is drawn in (the legend uses the same).
    static QColor SliceColour(int i);
    // The circle the slices are cut from; the selected slice is drawn
    // moved out of it along its middle, by PullOut().
    QRectF PieRect() const;
    double PullOut() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Layout {
        QRectF pie;
        QRectF legend;
        double pull = 0;
    };
    Layout ComputeLayout() const;
    std::vector<PieShare> shares_;
};

}  // namespace dravik::gui
