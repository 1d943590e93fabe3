#include "controls/picture_button.h"

#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <vector>

#include "app/dialog_look.h"

namespace dravik::gui {

namespace {

constexpr int kPadding = 6;     // between the frame and the content
constexpr int kSpacing = 6;     // between the picture and the caption
constexpr double kRadius = 4;
// A picture this tall is a card with its caption painted in (the
// recovery-mode choices): the caption then only names the button and gives
// its shortcut, it is not drawn a second time.
constexpr int kCardHeight = 96;

const QColor kFace(0xf1, 0xf3, 0xf6);
const QColor kHoverFace(0xfb, 0xfc, 0xfe);
const QColor kDownFace(0xdc, 0xe4, 0xee);
const QColor kBorder(0xb8, 0xbf, 0xc8);
const QColor kHoverFrame(0x3d, 0x7e, 0xc9);

// The pictures are painted on white, the pages' background. On the
// button's face that white would show as a box, so the background colour
// reached from the picture's edge (the corner pixel's colour) is cut away;
// the same colour inside the drawing is kept.
QPixmap WithoutBackground(const QPixmap& picture) {
    if (picture.isNull()) return picture;
    QImage img = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    const QRgb key = img.pixel(0, 0);
    std::vector<char> seen(std::size_t(w) * std::size_t(h), 0);
    std::vector<QPoint> todo;
    auto push = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        char& s = seen[std::size_t(y) * std::size_t(w) + std::size_t(x)];
        if (s || img.pixel(x, y) != key) return;
        s = 1;
        todo.emplace_back(x, y);
    };
    for (int x = 0; x < w; ++x) push(x, 0), push(x, h - 1);
    for (int y = 0; y < h; ++y) push(0, y), push(w - 1, y);
    while (!todo.empty()) {
        const QPoint q = todo.back();
        todo.pop_back();
        img.setPixel(q, qRgba(0, 0, 0, 0));
        push(q.x() + 1, q.y());
        push(q.x() - 1, q.y());
        push(q.x(), q.y() + 1);
        push(q.x(), q.y() - 1);
    }
    return QPixmap::fromImage(img);
}

}  // namespace

CPictureButton::CPictureButton(const QString& caption, const char* imageName, QWidget* parent)
    : QPushButton(caption, parent) {
    if (imageName) picture_ = WithoutBackground(LoadPicture(imageName));
    setAttribute(Qt::WA_Hover);
}

bool CPictureButton::HasPicture() const { return !picture_.isNull(); }

bool CPictureButton::IsCard() const { return picture_.height() >= kCardHeight; }

QSize CPictureButton::sizeHint() const {
    const QFontMetrics fm(font());
    const QString caption = IsCard() ? QString() : text();
    int w = 0, h = 0;
    if (!picture_.isNull()) {
        w = picture_.width();
        h = picture_.height();
    }
    if (!caption.isEmpty()) {
        const QSize t = fm.size(Qt::TextShowMnemonic, caption);
        w += t.width() + (w > 0 ? kSpacing : 0);
        h = std::max(h, t.height());
    }
    return {std::max(w + 2 * kPadding + 8, 60), std::max(h + 2 * kPadding, 26)};
}

void CPictureButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QPushButton::enterEvent(event);
}

void CPictureButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QPushButton::leaveEvent(event);
}

void CPictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const bool lit = hovered_ && enabled;

    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor face = isDown() ? kDownFace : lit ? kHoverFace : kFace;
    p.setPen(QPen(lit || isDown() ? kHoverFrame : kBorder, lit ? 1.6 : 1.0));
    p.setBrush(face);
    p.drawRoundedRect(frame, kRadius, kRadius);
    if (hasFocus()) {
        p.setPen(QPen(kHoverFrame, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame.adjusted(2.5, 2.5, -2.5, -2.5), kRadius - 1, kRadius - 1);
    }

    // Picture and caption side by side, centred as one block.
    const QString caption = IsCard() ? QString() : text();
    const QFontMetrics fm(font());
    const QSize textSize = caption.isEmpty() ? QSize() : fm.size(Qt::TextShowMnemonic, caption);
    const int pictureW = picture_.isNull() ? 0 : picture_.width();
    const int gap = pictureW > 0 && !caption.isEmpty() ? kSpacing : 0;
    const int blockW = std::min(pictureW + gap + textSize.width(), width() - 2 * kPadding);
    int x = (width() - blockW) / 2;
    if (isDown()) p.translate(1, 1);
    if (!picture_.isNull()) {
        QPixmap shown = picture_;
        if (!enabled) {
            QStyleOption opt;
            opt.initFrom(this);
            shown = style()->generatedIconPixmap(QIcon::Disabled, picture_, &opt);
        }
        p.drawPixmap(x, (height() - picture_.height()) / 2, shown);
        x += pictureW + gap;
    }
    if (!caption.isEmpty()) {
        p.setPen(enabled ? palette().color(QPalette::ButtonText)
                         : palette().color(QPalette::Disabled, QPalette::ButtonText));
        p.setFont(font());
        const QRect textBox(x, 0, std::max(0, width() - kPadding - x), height());
        p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, caption);
    }
}

}  // namespace dravik::gui
