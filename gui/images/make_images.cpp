// dravik-make-images OUTDIR: paints the pictures the dialogs load by name
// (button glyphs, toolbar pictures, the recovery-mode cards, the splash, the
// tree icons and the application icon) and writes them into OUTDIR.
//
// Everything is drawn here with QPainter so that the artwork is ours and the
// build needs no binary files. The BMPs are opaque: they are drawn on white,
// the background of every page; the picture button lifts that background
// off where its face is not white.
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

// The colours the pictures share, so that they look like one set.
const QColor kBlue(0x2f, 0x6d, 0xb5);
const QColor kGreen(0x2e, 0x9d, 0x4f);
const QColor kRed(0xc8, 0x38, 0x2f);
const QColor kOrange(0xe0, 0x8a, 0x1e);
const QColor kTeal(0x1f, 0x8f, 0x9e);
const QColor kSteel(0x6b, 0x74, 0x80);
const QColor kFolder(0xf2, 0xc0, 0x4a);
const QColor kInk(0x2b, 0x32, 0x3b);
// The splash's see-through colour, as the start-up asks for it.
const QColor kSplashKey(255, 0, 240);

constexpr double kPi = std::numbers::pi;

using Painting = std::function<void(QPainter&, QRectF)>;

QFont Font(double pixels, bool bold = true) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(std::max(1, int(std::lround(pixels))));
    f.setBold(bold);
    return f;
}

void Smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QLinearGradient Vertical(const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// A round badge: lighter at the top, a darker rim.
void Disc(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c.darker(135), std::max(1.0, r.width() / 24)));
    p.setBrush(Vertical(r, c.lighter(135), c.darker(105)));
    p.drawEllipse(r);
}

// Shrinks `r` by `f` of its size on every side.
QRectF Inset(const QRectF& r, double f) {
    return r.adjusted(r.width() * f, r.height() * f, -r.width() * f, -r.height() * f);
}

// A point of `r` given in fractions of its size.
QPointF At(const QRectF& r, double fx, double fy) { return {r.left() + r.width() * fx, r.top() + r.height() * fy}; }

void Tick(QPainter& p, const QRectF& r, const QColor& c, double width) {
    QPainterPath path;
    path.moveTo(At(r, 0.12, 0.55));
    path.lineTo(At(r, 0.40, 0.82));
    path.lineTo(At(r, 0.90, 0.20));
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void Cross(QPainter& p, const QRectF& r, const QColor& c, double width) {
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(At(r, 0.18, 0.18), At(r, 0.82, 0.82));
    p.drawLine(At(r, 0.82, 0.18), At(r, 0.18, 0.82));
}

// A filled arrow pointing right inside `r` (mirrored for left).
void Arrow(QPainter& p, const QRectF& r, const QColor& c, bool left = false) {
    QPolygonF shape{At(r, 0.05, 0.36), At(r, 0.52, 0.36), At(r, 0.52, 0.10), At(r, 0.95, 0.50),
                    At(r, 0.52, 0.90), At(r, 0.52, 0.64), At(r, 0.05, 0.64)};
    if (left)
        for (QPointF& q : shape) q.setX(r.left() + r.right() - q.x());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(shape);
}

// The same arrow standing up (or down).
void ArrowUp(QPainter& p, const QRectF& r, const QColor& c, bool down = false) {
    QPolygonF shape{At(r, 0.36, 0.95), At(r, 0.36, 0.48), At(r, 0.10, 0.48), At(r, 0.50, 0.05),
                    At(r, 0.90, 0.48), At(r, 0.64, 0.48), At(r, 0.64, 0.95)};
    if (down)
        for (QPointF& q : shape) q.setY(r.top() + r.bottom() - q.y());
    p.setPen(QPen(c.darker(130), std::max(1.0, r.width() / 20), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Vertical(r, c.lighter(130), c));
    p.drawPolygon(shape);
}

// An arc of a circle around `centre` with a head at its end. Angles in
// degrees, counter-clockwise from three o'clock, as QPainter takes them.
void CurvedArrow(QPainter& p, QPointF centre, double radius, double startDeg, double spanDeg, const QColor& c,
                 double width) {
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(box, int(startDeg * 16), int(spanDeg * 16));
    const double end = (startDeg + spanDeg) * kPi / 180;
    const QPointF tip = centre + QPointF(std::cos(end), -std::sin(end)) * radius;
    const double sign = spanDeg >= 0 ? 1 : -1;
    const QPointF along = QPointF(-std::sin(end), -std::cos(end)) * sign;  // direction of travel
    const QPointF out(std::cos(end), -std::sin(end));
    const double h = width * 1.6;
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF{tip + along * h * 1.3, tip + out * h, tip - out * h});
}

// A page with a folded corner and a few lines of text.
void Page(QPainter& p, const QRectF& r) {
    const double fold = r.width() * 0.3;
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(QPen(kSteel, 1));
    p.setBrush(Vertical(r, Qt::white, QColor(0xe4, 0xe8, 0xee)));
    p.drawPath(path);
    p.setBrush(QColor(0xd0, 0xd6, 0xde));
    p.drawPolygon(QPolygonF{QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                            QPointF(r.right(), r.top() + fold)});
    p.setPen(QPen(QColor(0x9a, 0xa4, 0xb0), std::max(1.0, r.height() / 16)));
    for (double y = 0.42; y < 0.9; y += 0.16) p.drawLine(At(r, 0.18, y), At(r, 0.82, y));
}

void Folder(QPainter& p, const QRectF& r, const QColor& c) {
    const double tabW = r.width() * 0.42, tabH = r.height() * 0.18;
    const double pen = std::max(1.0, r.width() / 24);
    QPainterPath back;
    back.moveTo(r.left(), r.top() + tabH);
    back.lineTo(r.left(), r.top() + r.height() * 0.05);
    back.lineTo(r.left() + tabW * 0.8, r.top() + r.height() * 0.05);
    back.lineTo(r.left() + tabW, r.top() + tabH);
    back.lineTo(r.right(), r.top() + tabH);
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    p.setPen(QPen(c.darker(150), pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(c.darker(112));
    p.drawPath(back);
    const QRectF front(r.left(), r.top() + r.height() * 0.32, r.width(), r.height() * 0.68);
    p.setBrush(Vertical(front, c.lighter(125), c));
    p.drawRect(front);
}

// A drive seen from the front: a grey box with a slot and a lamp.
void Drive(QPainter& p, const QRectF& r, const QColor& band, const QColor& lamp) {
    const double rad = r.height() * 0.18;
    p.setPen(QPen(kSteel.darker(130), std::max(1.0, r.height() / 14)));
    p.setBrush(Vertical(r, QColor(0xe8, 0xeb, 0xef), QColor(0xa9, 0xb1, 0xbb)));
    p.drawRoundedRect(r, rad, rad);
    if (band.isValid()) {
        p.setPen(Qt::NoPen);
        p.setBrush(band);
        p.drawRect(QRectF(r.left() + r.width() * 0.08, r.top() + r.height() * 0.22, r.width() * 0.84,
                          r.height() * 0.14));
    }
    p.setPen(QPen(kSteel.darker(120), std::max(1.0, r.height() / 12)));
    p.drawLine(At(r, 0.12, 0.66), At(r, 0.62, 0.66));
    p.setPen(Qt::NoPen);
    p.setBrush(lamp);
    const double d = r.height() * 0.2;
    p.drawEllipse(QRectF(r.left() + r.width() * 0.78, r.top() + r.height() * 0.66 - d / 2, d, d));
}

// A cog: a ring of teeth around a hole.
void Gear(QPainter& p, const QRectF& r) {
    const QPointF c = r.center();
    const double outer = r.width() / 2, inner = outer * 0.74;
    QPainterPath teeth;
    const int n = 8;
    for (int i = 0; i < n; ++i) {
        const double a0 = 2 * kPi * i / n, half = kPi / n * 0.5;
        const QPointF pts[] = {c + QPointF(std::cos(a0 - half * 1.5), std::sin(a0 - half * 1.5)) * inner,
                               c + QPointF(std::cos(a0 - half), std::sin(a0 - half)) * outer,
                               c + QPointF(std::cos(a0 + half), std::sin(a0 + half)) * outer,
                               c + QPointF(std::cos(a0 + half * 1.5), std::sin(a0 + half * 1.5)) * inner};
        if (i == 0) teeth.moveTo(pts[0]);
        else teeth.lineTo(pts[0]);
        for (int k = 1; k < 4; ++k) teeth.lineTo(pts[k]);
    }
    teeth.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, outer * 0.3, outer * 0.3);
    p.setPen(QPen(kSteel.darker(140), std::max(1.0, r.width() / 28), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Vertical(r, QColor(0xcf, 0xd5, 0xdc), kSteel));
    p.drawPath(teeth.subtracted(hole));
}

void Magnifier(QPainter& p, const QRectF& r) {
    const QRectF lens(r.left(), r.top(), r.width() * 0.66, r.height() * 0.66);
    p.setPen(QPen(kInk, r.width() * 0.16, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(At(r, 0.60, 0.60), At(r, 0.92, 0.92));
    QRadialGradient glass(At(lens, 0.35, 0.3), lens.width() * 0.7);
    glass.setColorAt(0, Qt::white);
    glass.setColorAt(1, QColor(0xa8, 0xcf, 0xf2));
    p.setPen(QPen(kSteel.darker(120), r.width() * 0.09));
    p.setBrush(glass);
    p.drawEllipse(Inset(lens, 0.06));
}

// A recycle bin: a can with a lid and ribs.
void Bin(QPainter& p, const QRectF& r, const QColor& c) {
    const double pen = std::max(1.0, r.width() / 16);
    const QRectF lid(r.left(), r.top() + r.height() * 0.08, r.width(), r.height() * 0.14);
    QPainterPath can;
    can.moveTo(At(r, 0.10, 0.26));
    can.lineTo(At(r, 0.90, 0.26));
    can.lineTo(At(r, 0.80, 1.0));
    can.lineTo(At(r, 0.20, 1.0));
    can.closeSubpath();
    p.setPen(QPen(c.darker(150), pen, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(Vertical(r, c.lighter(140), c));
    p.drawPath(can);
    p.drawRect(lid);
    p.drawRect(QRectF(At(r, 0.36, 0.0), At(r, 0.64, 0.08)));
    p.setPen(QPen(c.darker(140), pen));
    for (double x : {0.35, 0.5, 0.65}) p.drawLine(At(r, x, 0.36), At(r, x, 0.90));
}

// The recovery glyph: a platter with a green arrow sweeping round it.
void PlatterWithArrow(QPainter& p, const QRectF& r) {
    const QRectF disk = Inset(r, 0.16);
    QRadialGradient metal(At(disk, 0.4, 0.35), disk.width() * 0.7);
    metal.setColorAt(0, Qt::white);
    metal.setColorAt(1, QColor(0xb8, 0xc2, 0xce));
    p.setPen(QPen(kSteel.darker(120), r.width() / 60));
    p.setBrush(metal);
    p.drawEllipse(disk);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xa0, 0xab, 0xb8), r.width() / 110));
    for (double f : {0.12, 0.2, 0.28}) p.drawEllipse(Inset(disk, f));
    p.setPen(QPen(kSteel.darker(130), r.width() / 60));
    p.setBrush(kSteel);
    p.drawEllipse(Inset(disk, 0.42));
    CurvedArrow(p, r.center(), r.width() * 0.44, 200, -250, kGreen.lighter(115), r.width() * 0.075);
}

void Save(const QImage& image, const QString& dir, const QString& name, int& failures) {
    if (!image.save(dir + QLatin1Char('/') + name)) {
        QTextStream(stderr) << "dravik-make-images: cannot write " << dir << '/' << name << '\n';
        ++failures;
    }
}

// An opaque picture painted on `background`.
QImage Paint(int w, int h, const Painting& paint, const QColor& background = Qt::white) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(background);
    QPainter p(&img);
    Smooth(p);
    paint(p, QRectF(0, 0, w, h));
    return img;
}

// ---- Button glyphs, 24 x 24 ----

void Glyphs(const QString& dir, int& failures) {
    const auto yes = Paint(24, 24, [](QPainter& p, QRectF r) {
        Disc(p, Inset(r, 0.06), kGreen);
        Tick(p, Inset(r, 0.27), Qt::white, 2.6);
    });
    Save(yes, dir, QStringLiteral("Yes.bmp"), failures);
    Save(yes, dir, QStringLiteral("yes.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.06), kBlue);
                   Tick(p, Inset(r, 0.27), Qt::white, 2.6);
               }),
         dir, QStringLiteral("ok.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.06), kRed);
                   Cross(p, Inset(r, 0.26), Qt::white, 2.6);
               }),
         dir, QStringLiteral("no.bmp"), failures);
    Save(Paint(24, 24, [](QPainter& p, QRectF r) { Tick(p, Inset(r, 0.1), kGreen, 3.4); }), dir,
         QStringLiteral("apply.bmp"), failures);
    Save(Paint(24, 24, [](QPainter& p, QRectF r) { Cross(p, Inset(r, 0.12), kRed, 3.2); }), dir,
         QStringLiteral("cancel.bmp"), failures);
    Save(Paint(24, 24, [](QPainter& p, QRectF r) { CurvedArrow(p, r.center(), 7.5, 110, -290, kBlue, 3); }), dir,
         QStringLiteral("retry.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF r) {
                   CurvedArrow(p, r.center(), 8.8, 110, -290, kBlue, 2.2);
                   CurvedArrow(p, r.center(), 4.2, 110, -290, kTeal, 2.0);
               }),
         dir, QStringLiteral("retryall.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF) {
                   Arrow(p, QRectF(1, 4, 17, 16), kOrange);
                   p.setPen(Qt::NoPen);
                   p.setBrush(kOrange.darker(130));
                   p.drawRoundedRect(QRectF(18.5, 4, 3.5, 16), 1, 1);
               }),
         dir, QStringLiteral("skip.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF) {
                   p.setPen(Qt::NoPen);
                   p.setBrush(kOrange);
                   p.drawPolygon(QPolygonF{QPointF(1, 4), QPointF(10, 12), QPointF(1, 20)});
                   p.drawPolygon(QPolygonF{QPointF(9, 4), QPointF(18, 12), QPointF(9, 20)});
                   p.setBrush(kOrange.darker(130));
                   p.drawRoundedRect(QRectF(18.5, 4, 3.5, 16), 1, 1);
               }),
         dir, QStringLiteral("skipall.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF r) {
                   QPolygonF octagon;
                   for (int i = 0; i < 8; ++i) {
                       const double a = kPi / 8 + i * kPi / 4;
                       octagon << r.center() + QPointF(std::cos(a), std::sin(a)) * 10.8;
                   }
                   p.setPen(QPen(kRed.darker(140), 1));
                   p.setBrush(Vertical(r, kRed.lighter(130), kRed));
                   p.drawPolygon(octagon);
                   p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
                   p.drawLine(QPointF(7, 12), QPointF(17, 12));
               }),
         dir, QStringLiteral("abort.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF) {
                   // A name field with a pencil over it.
                   p.setPen(QPen(kSteel, 1));
                   p.setBrush(QColor(0xf4, 0xf6, 0xf9));
                   p.drawRoundedRect(QRectF(1.5, 12.5, 21, 9), 2, 2);
                   p.setPen(QPen(kBlue, 1.4));
                   p.drawLine(QPointF(5, 15), QPointF(5, 19));
                   p.translate(13, 9);
                   p.rotate(-45);
                   p.setPen(QPen(kOrange.darker(150), 0.8));
                   p.setBrush(Vertical(QRectF(-7, -2.5, 13, 5), kOrange.lighter(130), kOrange));
                   p.drawRect(QRectF(-6, -2.5, 12, 5));
                   p.setBrush(QColor(0xf0, 0xd9, 0xb5));
                   p.drawPolygon(QPolygonF{QPointF(-6, -2.5), QPointF(-10, 0), QPointF(-6, 2.5)});
                   p.setBrush(kRed.lighter(120));
                   p.drawRect(QRectF(6, -2.5, 2.5, 5));
               }),
         dir, QStringLiteral("rename.bmp"), failures);
}

// ---- Button pictures, 24 x 24 ----

void ButtonPictures(const QString& dir, int& failures) {
    Save(Paint(24, 24,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.06), kRed);
                   p.setPen(Qt::NoPen);
                   p.setBrush(Qt::white);
                   p.drawRoundedRect(QRectF(8, 8, 8, 8), 1, 1);
               }),
         dir, QStringLiteral("Stop-btn.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.06), kOrange);
                   p.setPen(Qt::NoPen);
                   p.setBrush(Qt::white);
                   p.drawRoundedRect(QRectF(8, 7, 3, 10), 1, 1);
                   p.drawRoundedRect(QRectF(13, 7, 3, 10), 1, 1);
               }),
         dir, QStringLiteral("Pause-btn.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.06), kBlue);
                   Arrow(p, Inset(r, 0.24), Qt::white, true);
               }),
         dir, QStringLiteral("Back-btn.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.06), kBlue);
                   Arrow(p, Inset(r, 0.24), Qt::white);
               }),
         dir, QStringLiteral("Next-btn.bmp"), failures);
    Save(Paint(24, 24,
               [](QPainter& p, QRectF) {
                   // Into the tray: the save of the recovered data.
                   p.setPen(QPen(kSteel.darker(120), 1.2));
                   p.setBrush(Vertical(QRectF(2, 14, 20, 8), QColor(0xe3, 0xe7, 0xec), QColor(0xa9, 0xb1, 0xbb)));
                   QPainterPath tray;
                   tray.moveTo(2, 14);
                   tray.lineTo(7, 14);
                   tray.lineTo(8.5, 17);
                   tray.lineTo(15.5, 17);
                   tray.lineTo(17, 14);
                   tray.lineTo(22, 14);
                   tray.lineTo(22, 22);
                   tray.lineTo(2, 22);
                   tray.closeSubpath();
                   p.drawPath(tray);
                   ArrowUp(p, QRectF(5, 1, 14, 15), kGreen, true);
               }),
         dir, QStringLiteral("Save.bmp"), failures);
}

// ---- Toolbar pictures, 32 x 32 ----

void Toolbar(const QString& dir, int& failures) {
    Save(Paint(32, 32,
               [](QPainter& p, QRectF) {
                   Folder(p, QRectF(2, 7, 26, 21), kFolder);
                   ArrowUp(p, QRectF(15, 1, 15, 17), kBlue);
               }),
         dir, QStringLiteral("Load-Recovery-tbar.bmp"), failures);
    Save(Paint(32, 32,
               [](QPainter& p, QRectF) {
                   Page(p, QRectF(4.5, 2.5, 19, 26));
                   ArrowUp(p, QRectF(15, 13, 15, 17), kGreen, true);
               }),
         dir, QStringLiteral("Save-Recovery-tbar.bmp"), failures);
    Save(Paint(32, 32,
               [](QPainter& p, QRectF) {
                   Drive(p, QRectF(2.5, 17.5, 27, 12), QColor(), kGreen.lighter(130));
                   ArrowUp(p, QRectF(8, 1, 16, 17), kGreen);
               }),
         dir, QStringLiteral("recover-tbar.bmp"), failures);
    Save(Paint(32, 32, [](QPainter& p, QRectF r) { Magnifier(p, Inset(r, 0.06)); }), dir,
         QStringLiteral("Search-tbar.bmp"), failures);
    Save(Paint(32, 32, [](QPainter& p, QRectF r) { Gear(p, Inset(r, 0.06)); }), dir,
         QStringLiteral("Settings-tbar.bmp"), failures);
    Save(Paint(32, 32,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.06), kBlue);
                   p.setPen(Qt::white);
                   p.setFont(Font(20));
                   p.drawText(r.adjusted(0, 1, 0, 0), Qt::AlignCenter, QStringLiteral("?"));
               }),
         dir, QStringLiteral("Help-tbar.bmp"), failures);
    Save(Paint(32, 32,
               [](QPainter& p, QRectF) {
                   // An open door and the way out.
                   p.setPen(QPen(QColor(0x6d, 0x4a, 0x2b), 1.4));
                   p.setBrush(QColor(0xe9, 0xdf, 0xd2));
                   p.drawRect(QRectF(4.5, 3.5, 15, 25));
                   p.setBrush(Vertical(QRectF(4, 3, 11, 27), QColor(0xc0, 0x86, 0x50), QColor(0x8a, 0x5a, 0x30)));
                   p.drawPolygon(QPolygonF{QPointF(4.5, 3.5), QPointF(13, 6), QPointF(13, 30), QPointF(4.5, 28.5)});
                   p.setPen(Qt::NoPen);
                   p.setBrush(QColor(0xf2, 0xd0, 0x60));
                   p.drawEllipse(QRectF(10, 16, 2, 2));
                   Arrow(p, QRectF(14, 9, 17, 14), kRed);
               }),
         dir, QStringLiteral("Exit-tbar.bmp"), failures);
    Save(Paint(32, 32,
               [](QPainter& p, QRectF) {
                   // A disk image: a file that holds a drive.
                   Page(p, QRectF(3.5, 1.5, 20, 27));
                   Drive(p, QRectF(11.5, 18.5, 19, 11), QColor(), kBlue.lighter(140));
               }),
         dir, QStringLiteral("OpenImage-tbar.bmp"), failures);
}

// ---- Message pictures, 48 x 48 ----

void MessagePictures(const QString& dir, int& failures) {
    Save(Paint(48, 48,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.05), kBlue);
                   p.setPen(Qt::NoPen);
                   p.setBrush(Qt::white);
                   p.drawEllipse(QRectF(21, 9.5, 6, 6));
                   p.drawRoundedRect(QRectF(21, 19, 6, 19), 2, 2);
               }),
         dir, QStringLiteral("Information.bmp"), failures);
    Save(Paint(48, 48,
               [](QPainter& p, QRectF r) {
                   Disc(p, Inset(r, 0.05), kTeal);
                   p.setPen(Qt::white);
                   p.setFont(Font(30));
                   p.drawText(r.adjusted(0, 2, 0, 0), Qt::AlignCenter, QStringLiteral("?"));
               }),
         dir, QStringLiteral("Question.bmp"), failures);
}

// ---- The three recovery-mode cards, 220 x 160 ----

// `c` moved towards white by `f` (0..1).
QColor Pale(const QColor& c, double f) {
    return QColor::fromRgbF(float(c.redF() + (1 - c.redF()) * f), float(c.greenF() + (1 - c.greenF()) * f),
                            float(c.blueF() + (1 - c.blueF()) * f));
}

QImage ModeCard(const QString& caption, const QColor& accent, const Painting& glyph) {
    return Paint(220, 160, [&](QPainter& p, QRectF r) {
        const QRectF card = r.adjusted(1.5, 1.5, -1.5, -1.5);
        p.setPen(QPen(accent.darker(110), 1.5));
        p.setBrush(Vertical(card, Pale(accent, 0.86), Pale(accent, 0.55)));
        p.drawRoundedRect(card, 14, 14);
        glyph(p, QRectF(70, 10, 80, 80));
        p.setFont(Font(16));
        p.setPen(accent.darker(230));
        p.drawText(QRectF(card.left() + 30, 96, card.width() - 60, 56), Qt::AlignCenter | Qt::TextWordWrap, caption);
    });
}

void ModeCards(const QString& dir, int& failures) {
    Save(ModeCard(QStringLiteral("Deleted Data Recovery"), kBlue,
                  [](QPainter& p, QRectF r) {
                      Bin(p, QRectF(r.left() + 4, r.top() + 20, 44, 58), QColor(0x8d, 0x99, 0xa6));
                      ArrowUp(p, QRectF(r.left() + 40, r.top(), 36, 48), kGreen);
                  }),
         dir, QStringLiteral("deleted-data-recovery.bmp"), failures);
    Save(ModeCard(QStringLiteral("Formatted Data Recovery"), kGreen,
                  [](QPainter& p, QRectF r) {
                      Drive(p, QRectF(r.left() + 2, r.top() + 48, r.width() - 4, 30), kGreen.lighter(120),
                            kGreen.lighter(150));
                      CurvedArrow(p, QPointF(r.center().x(), r.top() + 23), 18, 160, -300, kBlue, 7);
                  }),
         dir, QStringLiteral("formatted-data-recovery.bmp"), failures);
    Save(ModeCard(QStringLiteral("Partition Data Recovery"), kOrange,
                  [](QPainter& p, QRectF r) {
                      // A disk cut into partitions, one of them lifted out.
                      const QRectF pie = Inset(r, 0.08);
                      const QColor colours[] = {kBlue, kGreen, kOrange.darker(110), kTeal};
                      const int spans[] = {130, 90, 80, 60};
                      int start = 90;
                      for (int i = 0; i < 4; ++i) {
                          QRectF box = pie;
                          if (i == 2) {
                              const double mid = (start + spans[i] / 2.0) * kPi / 180;
                              box.translate(std::cos(mid) * 8, -std::sin(mid) * 8);
                          }
                          p.setPen(QPen(Qt::white, 2));
                          p.setBrush(Vertical(box, colours[i].lighter(130), colours[i]));
                          p.drawPie(box, start * 16, spans[i] * 16);
                          start += spans[i];
                      }
                  }),
         dir, QStringLiteral("partition-data-recovery.bmp"), failures);
}

// ---- The no-preview picture, 200 x 150 ----

void NoPreview(const QString& dir, int& failures) {
    Save(Paint(200, 150,
               [](QPainter& p, QRectF r) {
                   const QRectF panel = r.adjusted(4.5, 4.5, -4.5, -4.5);
                   p.setPen(QPen(QColor(0xc9, 0xcf, 0xd6), 1, Qt::DashLine));
                   p.setBrush(Vertical(panel, QColor(0xf7, 0xf8, 0xfa), QColor(0xe6, 0xe9, 0xed)));
                   p.drawRoundedRect(panel, 10, 10);
                   // A framed landscape, struck through.
                   const QRectF frame(70.5, 28.5, 60, 46);
                   p.setPen(QPen(QColor(0xa3, 0xac, 0xb7), 2));
                   p.setBrush(Qt::white);
                   p.drawRoundedRect(frame, 4, 4);
                   p.setPen(Qt::NoPen);
                   p.setBrush(QColor(0xc3, 0xca, 0xd3));
                   p.drawPolygon(QPolygonF{QPointF(74, 70), QPointF(92, 48), QPointF(104, 62), QPointF(112, 54),
                                           QPointF(127, 70)});
                   p.drawEllipse(QRectF(110, 34, 10, 10));
                   p.setPen(QPen(QColor(0x9a, 0xa3, 0xae), 3, Qt::SolidLine, Qt::RoundCap));
                   p.drawLine(QPointF(66, 80), QPointF(134, 22));
                   p.setPen(QColor(0x7a, 0x84, 0x90));
                   p.setFont(Font(15));
                   p.drawText(QRectF(0, 92, 200, 24), Qt::AlignCenter, QStringLiteral("No Preview"));
                   p.setFont(Font(10, false));
                   p.drawText(QRectF(0, 116, 200, 16), Qt::AlignCenter, QStringLiteral("Select a file to view it"));
               }),
         dir, QStringLiteral("NoPreview.bmp"), failures);
}

// ---- The start-up splash, 420 x 260 ----

void Splash(const QString& dir, int& failures) {
    Save(Paint(
             420, 260,
             [](QPainter& p, QRectF r) {
                 const QRectF card = r.adjusted(6, 6, -6, -6);
                 // The outline is drawn without smoothing: a blended edge
                 // pixel would be neither the key colour nor the card, and
                 // would show as a pink fringe once the key is cut out.
                 p.setRenderHint(QPainter::Antialiasing, false);
                 p.setPen(Qt::NoPen);
                 p.setBrush(QColor(0x16, 0x2f, 0x55));
                 p.drawRoundedRect(card, 22, 22);
                 p.setBrush(Vertical(card, QColor(0x2f, 0x6d, 0xb5), QColor(0x1b, 0x3c, 0x6e)));
                 p.drawRoundedRect(card.adjusted(2, 2, -2, -2), 20, 20);
                 Smooth(p);
                 // A soft light across the top, fading out downwards.
                 const QRectF upper = card.adjusted(4, 4, -4, -card.height() * 0.4);
                 QLinearGradient glow(upper.topLeft(), upper.bottomLeft());
                 glow.setColorAt(0, QColor(255, 255, 255, 48));
                 glow.setColorAt(1, QColor(255, 255, 255, 0));
                 p.setBrush(glow);
                 p.drawRoundedRect(upper, 18, 18);

                 PlatterWithArrow(p, QRectF(34, 62, 116, 116));

                 p.setPen(Qt::white);
                 p.setFont(Font(50));
                 p.drawText(QRectF(166, 66, 240, 64), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Dravik"));
                 p.setPen(QColor(0xcf, 0xe3, 0xfa));
                 p.setFont(Font(14, false));
                 p.drawText(QRectF(168, 128, 240, 48), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                            QStringLiteral("Data Recovery for NTFS and FAT"));
                 p.setPen(QPen(QColor(0x8f, 0xbf, 0xf0), 2, Qt::SolidLine, Qt::RoundCap));
                 p.drawLine(QPointF(168, 186), QPointF(372, 186));
                 p.setPen(QColor(0xa9, 0xc8, 0xea));
                 p.setFont(Font(10, false));
                 p.drawText(QRectF(168, 194, 220, 16), Qt::AlignLeft, QStringLiteral("Starting..."));
             },
             kSplashKey),
         dir, QStringLiteral("splash.bmp"), failures);
}

// ---- The application icon, 256 x 256 with transparency ----

void Logo(const QString& dir, int& failures) {
    QImage img(256, 256, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        Smooth(p);
        const QRectF tile(12, 12, 232, 232);
        p.setPen(QPen(QColor(0x16, 0x2f, 0x55), 4));
        p.setBrush(Vertical(tile, QColor(0x3d, 0x82, 0xd0), QColor(0x1b, 0x3c, 0x6e)));
        p.drawRoundedRect(tile, 48, 48);
        PlatterWithArrow(p, Inset(tile, 0.1));
    }
    Save(img, dir, QStringLiteral("logo.png"), failures);
}

// ---- Tree icons, 16 x 16 ----

void TreeIcons(const QString& dir, int& failures) {
    Save(Paint(16, 16, [](QPainter& p, QRectF) { Folder(p, QRectF(1.5, 2.5, 13, 11), kFolder); }), dir,
         QStringLiteral("folder.bmp"), failures);
    Save(Paint(16, 16,
               [](QPainter& p, QRectF) {
                   // A folder whose place is unknown.
                   Folder(p, QRectF(1.5, 2.5, 13, 11), QColor(0xd8, 0xc3, 0x9a));
                   p.setPen(kRed);
                   p.setFont(Font(10));
                   p.drawText(QRectF(1.5, 5, 13, 10), Qt::AlignCenter, QStringLiteral("?"));
               }),
         dir, QStringLiteral("lost.bmp"), failures);
    Save(Paint(16, 16, [](QPainter& p, QRectF) { Bin(p, QRectF(3, 1, 10, 14), QColor(0x8d, 0xa9, 0xc6)); }), dir,
         QStringLiteral("recycle.bmp"), failures);
    Save(Paint(16, 16,
               [](QPainter& p, QRectF) { Drive(p, QRectF(0.5, 4.5, 15, 8), QColor(), kGreen.lighter(130)); }),
         dir, QStringLiteral("disk.bmp"), failures);
    Save(Paint(16, 16, [](QPainter& p, QRectF) { Drive(p, QRectF(0.5, 4.5, 15, 8), kBlue, kBlue.lighter(150)); }),
         dir, QStringLiteral("volume.bmp"), failures);
    Save(Paint(16, 16,
               [](QPainter& p, QRectF) {
                   const QRectF pie(1.5, 1.5, 13, 13);
                   p.setPen(QPen(kSteel.darker(120), 1));
                   p.setBrush(QColor(0xd5, 0xdb, 0xe2));
                   p.drawEllipse(pie);
                   p.setBrush(kBlue);
                   p.drawPie(pie, 90 * 16, 120 * 16);
               }),
         dir, QStringLiteral("partition.bmp"), failures);
    Save(Paint(16, 16,
               [](QPainter& p, QRectF) {
                   p.setPen(QPen(kInk, 1));
                   p.setBrush(QColor(0x4a, 0x52, 0x5c));
                   p.drawRoundedRect(QRectF(0.5, 1.5, 15, 10), 1.5, 1.5);
                   p.setPen(Qt::NoPen);
                   p.setBrush(Vertical(QRectF(2, 3, 12, 7), QColor(0x7f, 0xb6, 0xee), kBlue));
                   p.drawRect(QRectF(2, 3, 12, 7));
                   p.setBrush(kSteel);
                   p.drawRect(QRectF(6.5, 11.5, 3, 2));
                   p.drawRoundedRect(QRectF(3.5, 13, 9, 2), 1, 1);
               }),
         dir, QStringLiteral("pc.bmp"), failures);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: dravik-make-images OUTDIR\n";
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        QTextStream(stderr) << "dravik-make-images: cannot create " << dir << '\n';
        return 1;
    }
    int failures = 0;
    Glyphs(dir, failures);
    ButtonPictures(dir, failures);
    Toolbar(dir, failures);
    MessagePictures(dir, failures);
    ModeCards(dir, failures);
    NoPreview(dir, failures);
    Splash(dir, failures);
    Logo(dir, failures);
    TreeIcons(dir, failures);
    return failures == 0 ? 0 : 1;
}
