// The owner-drawn controls, checked by what they paint: the picture button's
// hover face and its picture (or none), the pie chart's slices, the
// progress bar's filled part, the splash's shape and time-out, and the
// pictures the image tool paints at build time.
#include <QApplication>
#include <QBitmap>
#include <QEnterEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "app/dialog_look.h"
#include "controls/gradient_progress.h"
#include "controls/labels.h"
#include "controls/link_button.h"
#include "controls/picture_button.h"
#include "controls/pie_chart.h"
#include "controls/splash_screen.h"
#include "gui_support.h"

namespace dravik::gui {
namespace {

// Points the image folder somewhere else for one test.
class ImageFolderOverride {
public:
    explicit ImageFolderOverride(const QString& dir) : old_(qgetenv("DRAVIK_IMAGE_DIR")) {
        qputenv("DRAVIK_IMAGE_DIR", dir.toLocal8Bit());
    }
    ~ImageFolderOverride() { qputenv("DRAVIK_IMAGE_DIR", old_); }

private:
    QByteArray old_;
};

QImage Shot(QWidget* w) { return w->grab().toImage(); }

int Lightness(QColor c) { return c.red() + c.green() + c.blue(); }

bool Bluish(QColor c) { return c.blue() - c.red() > 60; }

void Enter(QWidget* w) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(w, &enter);
}

void Leave(QWidget* w) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
}

// The horizontal extent of the pixels darker than the face: the caption.
std::pair<int, int> DarkColumns(const QImage& img) {
    int left = img.width(), right = -1;
    for (int y = 3; y < img.height() - 3; ++y)
        for (int x = 3; x < img.width() - 3; ++x)
            if (Lightness(img.pixelColor(x, y)) < 300) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

// ---- CPictureButton ----

TEST(CPictureButton, HoverFollowsEnterAndLeaveWithALighterFramedFace) {
    CPictureButton b(QStringLiteral("&Skip"), "\\skip.bmp");
    b.resize(120, 34);
    b.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&b));
    // The platform may put the pointer over a new window: start outside.
    Leave(&b);
    EXPECT_FALSE(b.Hovered());
    const QImage normal = Shot(&b);
    const QPoint face(b.width() / 2, 3), frame(b.width() / 2, 0);

    Enter(&b);
    EXPECT_TRUE(b.Hovered());
    const QImage lit = Shot(&b);
    EXPECT_GT(Lightness(lit.pixelColor(face)), Lightness(normal.pixelColor(face))) << "lighter face";
    EXPECT_TRUE(Bluish(lit.pixelColor(frame))) << "a coloured frame";
    EXPECT_FALSE(Bluish(normal.pixelColor(frame)));

    Leave(&b);
    EXPECT_FALSE(b.Hovered());
    EXPECT_EQ(Shot(&b), normal) << "back to the plain face";

    // A disabled button does not light up.
    b.setEnabled(false);
    Enter(&b);
    const QImage disabled = Shot(&b);
    EXPECT_FALSE(Bluish(disabled.pixelColor(frame)));
}

TEST(CPictureButton, DrawsThePictureWithoutItsWhiteBackground) {
    CPictureButton b(QStringLiteral("&Skip"), "\\skip.bmp");
    ASSERT_TRUE(b.HasPicture());
    b.resize(b.sizeHint());
    const QImage img = Shot(&b);
    int white = 0, orange = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c == QColor(Qt::white)) ++white;
            if (c.red() > 180 && c.blue() < 80) ++orange;
        }
    EXPECT_GT(orange, 20) << "the skip glyph is drawn";
    EXPECT_EQ(white, 0) << "the picture's white does not box it in on the face";
    // The picture stands left of the caption.
    const auto [left, right] = DarkColumns(img);
    EXPECT_GT(left, 24);
    EXPECT_GE(b.sizeHint().width(), 24 + b.fontMetrics().horizontalAdvance(QStringLiteral("Skip")));
}

TEST(CPictureButton, AMissingPictureLeavesTheCaptionAloneAndCentred) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    int withPicture = 0;
    {
        CPictureButton b(QStringLiteral("&Retry"), "\\retry.bmp");
        withPicture = b.sizeHint().width();
    }
    ImageFolderOverride folder(empty.path());
    CPictureButton b(QStringLiteral("&Retry"), "\\retry.bmp");
    EXPECT_FALSE(b.HasPicture());
    EXPECT_LT(b.sizeHint().width(), withPicture);
    b.resize(140, 30);
    const auto [left, right] = DarkColumns(Shot(&b));
    ASSERT_GT(right, left) << "the caption is drawn";
    EXPECT_NEAR((left + right) / 2.0, b.width() / 2.0, 4) << "the caption alone is centred";
    EXPECT_EQ(b.text(), QStringLiteral("&Retry"));

    CPictureButton none(QStringLiteral("&Hide Details"), nullptr);
    EXPECT_FALSE(none.HasPicture());
}

TEST(CPictureButton, ACardPictureCarriesItsOwnCaption) {
    QWidget host;
    auto* b = new CPictureButton(QStringLiteral("&Deleted Data Recovery"), "\\deleted-data-recovery.bmp", &host);
    ASSERT_TRUE(b->HasPicture());
    const QSize hint = b->sizeHint();
    EXPECT_LT(hint.width(), 220 + 40) << "no second caption beside the card";
    EXPECT_GE(hint.height(), 160);
    // The caption still gives the shortcut.
    QSignalSpy clicked(b, &QPushButton::clicked);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    QTest::keyClick(&host, Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(test::WaitFor([&] { return clicked.count() == 1; }, 2000)) << "a mnemonic clicks after a short flash";
}

// ---- CPieChartWnd ----

// A point well inside slice `i` of `chart` (its own colour is expected there).
QPoint InsideSlice(const CPieChartWnd& chart, std::size_t i, double radiusShare = 0.6) {
    double before = 0;
    for (std::size_t k = 0; k < i; ++k) before += chart.Shares()[k].percent;
    const double share = chart.Shares()[i].percent;
    const double mid = (90 - (before + share / 2) * 3.6) * std::numbers::pi / 180;  // clockwise from 12
    const QRectF pie = chart.PieRect();
    double r = pie.width() / 2 * radiusShare;
    if (chart.Shares()[i].selected) r += chart.PullOut();
    return (pie.center() + QPointF(std::cos(mid), -std::sin(mid)) * r).toPoint();
}

bool IsSliceColour(QColor c) {
    for (int i = 0; i < 8; ++i)
        if (c == CPieChartWnd::SliceColour(i)) return true;
    return false;
}

TEST(CPieChartWnd, PaintsEachShareInItsColourInsideItsSlice) {
    CPieChartWnd chart;
    chart.SetShares({{QStringLiteral("Partition 1"), 40, false},
                     {QStringLiteral("Selected Partition 2"), 35, true},
                     {QStringLiteral("Partition 3"), 15, false}});
    chart.resize(340, 180);
    const QImage img = Shot(&chart);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(img.pixelColor(InsideSlice(chart, i)), CPieChartWnd::SliceColour(int(i))) << i;
        EXPECT_EQ(img.pixelColor(InsideSlice(chart, i, 0.9)), CPieChartWnd::SliceColour(int(i))) << i;
    }
    // The last tenth is unused space: none of the slice colours.
    const double mid = (90 - 95 * 3.6) * std::numbers::pi / 180;
    const QPointF unused =
        chart.PieRect().center() + QPointF(std::cos(mid), -std::sin(mid)) * chart.PieRect().width() * 0.3;
    EXPECT_FALSE(IsSliceColour(img.pixelColor(unused.toPoint())));
    // The legend repeats each colour beside the pie.
    for (int i = 0; i < 3; ++i) {
        bool found = false;
        for (int y = 0; y < img.height() && !found; ++y)
            for (int x = int(chart.PieRect().right()) + 10; x < img.width() && !found; ++x)
                found = img.pixelColor(x, y) == CPieChartWnd::SliceColour(i);
        EXPECT_TRUE(found) << "legend swatch " << i;
    }
    test::SaveShot(&chart, "pie_chart");
}

TEST(CPieChartWnd, TheSelectedSliceStandsOutOfThePie) {
    CPieChartWnd chart;
    chart.SetShares({{QStringLiteral("Partition 1"), 50, false}, {QStringLiteral("Selected Partition 2"), 50, true}});
    chart.resize(300, 200);
    ASSERT_GT(chart.PullOut(), 3);
    const QImage img = Shot(&chart);
    const QRectF pie = chart.PieRect();
    const double r = pie.width() / 2 + chart.PullOut() / 2;  // beyond the circle's rim
    // Selected: the left half (its middle at nine o'clock), pulled left.
    EXPECT_EQ(img.pixelColor((pie.center() + QPointF(-r, 0)).toPoint()), CPieChartWnd::SliceColour(1));
    EXPECT_NE(img.pixelColor((pie.center() + QPointF(r, 0)).toPoint()), CPieChartWnd::SliceColour(0));
    EXPECT_EQ(img.pixelColor((pie.center() + QPointF(pie.width() / 2 - 3, 0)).toPoint()), CPieChartWnd::SliceColour(0));
}

TEST(CPieChartWnd, SharesAreClippedToTheWholeDisk) {
    CPieChartWnd chart;
    // Used Space first, then Free Space; a bad value draws nothing, too much
    // is cut at the full circle.
    chart.SetShares({{QStringLiteral("Bad"), -20, false},
                     {QStringLiteral("Used Space"), 70, false},
                     {QStringLiteral("Free Space"), 70, false}});
    chart.resize(300, 180);
    const QImage img = Shot(&chart);
    const QPointF c = chart.PieRect().center();
    const double r = chart.PieRect().width() * 0.35;
    auto at = [&](double percent) {
        const double a = (90 - percent * 3.6) * std::numbers::pi / 180;
        return img.pixelColor((c + QPointF(std::cos(a), -std::sin(a)) * r).toPoint());
    };
    EXPECT_EQ(at(5), CPieChartWnd::SliceColour(1)) << "the first valid share starts at twelve o'clock";
    EXPECT_EQ(at(65), CPieChartWnd::SliceColour(1));
    EXPECT_EQ(at(75), CPieChartWnd::SliceColour(2));
    EXPECT_EQ(at(97), CPieChartWnd::SliceColour(2)) << "the rest of the disk, not 70";

    CPieChartWnd empty;
    empty.resize(200, 150);
    const QImage blank = Shot(&empty);
    const QColor centre = blank.pixelColor(empty.PieRect().center().toPoint());
    EXPECT_FALSE(IsSliceColour(centre));
    EXPECT_NE(centre, empty.palette().color(QPalette::Window)) << "an empty disk still shows as a disk";
}

// ---- CGradientProgressBar ----

// Where the filled part ends on the bar's middle row (-1: nothing filled).
int FilledTo(const QImage& img) {
    int last = -1;
    for (int x = 0; x < img.width(); ++x)
        if (Bluish(img.pixelColor(x, img.height() / 2))) last = x;
    return last;
}

TEST(CGradientProgressBar, ClipsItsPositionAndFillsProportionally) {
    CGradientProgressBar bar;
    bar.SetPos(150);
    EXPECT_EQ(bar.Pos(), 100);
    bar.SetPos(-5);
    EXPECT_EQ(bar.Pos(), 0);
    bar.resize(202, 20);
    EXPECT_EQ(FilledTo(Shot(&bar)), -1) << "nothing filled at 0";

    for (int pos : {10, 40, 75}) {
        bar.SetPos(pos);
        EXPECT_NEAR(FilledTo(Shot(&bar)), 2 + 198 * pos / 100.0, 2.5) << pos;
    }
    bar.SetPos(100);
    EXPECT_GE(FilledTo(Shot(&bar)), 198);
}

TEST(CGradientProgressBar, APointKeepsItsColourAsTheBarGrows) {
    CGradientProgressBar bar;
    bar.resize(200, 18);
    bar.SetPos(30);
    const QColor early = Shot(&bar).pixelColor(50, 9);
    bar.SetPos(90);
    const QImage img = Shot(&bar);
    EXPECT_EQ(img.pixelColor(50, 9), early);
    EXPECT_NE(img.pixelColor(170, 9), early) << "the colour runs along the bar";
}

// ---- CSplashScreenEx ----

TEST(CSplashScreenEx, TheTransparentColourIsCutOutOfTheWindow) {
    // A key-coloured picture with an opaque square in it.
    const QColor key(255, 0, 240);
    QImage img(40, 30, QImage::Format_RGB32);
    img.fill(key);
    for (int y = 10; y < 20; ++y)
        for (int x = 12; x < 22; ++x) img.setPixelColor(x, y, QColor(20, 60, 120));
    CSplashScreenEx splash;
    splash.SetBitmap(QPixmap::fromImage(img), key);
    EXPECT_TRUE(splash.HasMask());
    EXPECT_EQ(splash.size(), QSize(40, 30));
    EXPECT_EQ(splash.mask(), QRegion(12, 10, 10, 10));

    // The real splash: its key-coloured corner is outside, its middle inside.
    const QPixmap picture = LoadPicture("\\splash.bmp");
    ASSERT_FALSE(picture.isNull());
    splash.SetBitmap(picture, key);
    const QImage pic = picture.toImage();
    ASSERT_EQ(pic.pixelColor(0, 0), key);
    EXPECT_FALSE(splash.mask().contains(QPoint(0, 0)));
    EXPECT_FALSE(splash.mask().contains(QPoint(pic.width() - 1, pic.height() - 1)));
    EXPECT_TRUE(splash.mask().contains(QPoint(pic.width() / 2, pic.height() / 2)));
    EXPECT_NE(pic.pixelColor(pic.width() / 2, pic.height() / 2), key);
}

TEST(CSplashScreenEx, ShowsCentredAndHidesItselfAfterItsTimeout) {
    CSplashScreenEx splash;
    splash.SetBitmap(LoadPicture("\\splash.bmp"), QColor(255, 0, 240));
    const bool offscreen = QGuiApplication::platformName() == QLatin1String("offscreen");
    if (offscreen) {
        EXPECT_FALSE(CSplashScreenEx::CanFade()) << "offscreen composites nothing";
    }
    QElapsedTimer clock;
    clock.start();
    splash.ShowSplash(200, 500);
    EXPECT_TRUE(splash.isVisible());
    if (offscreen) {
        EXPECT_DOUBLE_EQ(splash.windowOpacity(), 1.0) << "shown at once where nothing fades";
    }
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE((splash.geometry().center() - screen.center()).manhattanLength(), 2);
    QTest::qWait(50);
    EXPECT_TRUE(splash.isVisible()) << "not before the time-out";
    EXPECT_TRUE(test::WaitFor([&] { return !splash.isVisible(); }, 5000));
    EXPECT_GE(clock.elapsed(), 150) << "a coarse timer may fire a little early, not at once";

    EXPECT_DOUBLE_EQ(splash.windowOpacity(), 1.0) << "ready to be shown again";

    // Hidden early, the time-out does not come back; a fading hide returns
    // hidden, so the caller may destroy the window next.
    splash.ShowSplash(100, 0);
    splash.HideSplash(150);
    EXPECT_FALSE(splash.isVisible());
    QTest::qWait(200);
    EXPECT_FALSE(splash.isVisible());
}

// ---- Labels and the link ----

TEST(Labels, ColouredTransparentAndPictureLabelsPaintWhatTheySay) {
    QWidget page;
    QPalette pal = page.palette();
    pal.setColor(QPalette::Window, QColor(200, 30, 30));
    page.setPalette(pal);
    page.setAutoFillBackground(true);
    page.resize(300, 120);
    auto* see = new CTransparentLabel(QStringLiteral("x"), &page);
    see->setGeometry(0, 0, 100, 40);
    auto* coloured = new CColoredLabel(QStringLiteral("x"), &page);
    coloured->setGeometry(0, 50, 100, 40);
    coloured->SetBackgroundColour(QColor(10, 200, 10));
    coloured->SetTextColour(QColor(0, 0, 255));
    coloured->SetBold(true);
    const QImage img = Shot(&page);
    EXPECT_EQ(img.pixelColor(90, 35), QColor(200, 30, 30)) << "the page shows through";
    EXPECT_EQ(img.pixelColor(90, 85), QColor(10, 200, 10));
    EXPECT_EQ(coloured->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(coloured->font().bold());
    EXPECT_EQ(coloured->textFormat(), Qt::PlainText) << "file names are not markup";

    CPictureCtrl picture("\\Information.bmp");
    EXPECT_TRUE(picture.HasPicture());
    EXPECT_EQ(picture.pixmap().size(), QSize(48, 48));
    picture.SetPicture("\\no-such-picture.bmp");
    EXPECT_FALSE(picture.HasPicture()) << "blank when the file is missing";
    CPictureCtrl none;
    EXPECT_FALSE(none.HasPicture());
}

TEST(CLinkButton, IsAFlatUnderlinedLinkThatClicks) {
    QWidget page;
    auto* link = new CLinkButton(QStringLiteral("&About Dravik"), &page);
    EXPECT_TRUE(link->isFlat());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    QSignalSpy clicked(link, &QPushButton::clicked);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    // No face: around the text the page's own background shows.
    const QImage img = Shot(&page);
    const QRect g = link->geometry();
    EXPECT_EQ(img.pixelColor(g.topRight()), page.palette().color(QPalette::Window));
    EXPECT_EQ(img.pixelColor(g.bottomLeft()), page.palette().color(QPalette::Window));
    EXPECT_TRUE(link->font().underline() || link->styleSheet().contains(QStringLiteral("underline")));
}

// ---- The pictures painted at build time ----

TEST(MakeImages, PaintedEveryPictureTheDialogsLoad) {
    struct Picture {
        const char* name;
        QSize size;  // empty: any
    };
    const QSize glyph(24, 24), tbar(32, 32), tree(16, 16);
    const std::vector<Picture> pictures = {
        {"deleted-data-recovery.bmp", {220, 160}}, {"formatted-data-recovery.bmp", {220, 160}},
        {"partition-data-recovery.bmp", {220, 160}}, {"Information.bmp", {48, 48}}, {"Question.bmp", {48, 48}},
        {"Yes.bmp", glyph}, {"yes.bmp", glyph}, {"no.bmp", glyph}, {"retry.bmp", glyph}, {"retryall.bmp", glyph},
        {"skip.bmp", glyph}, {"skipall.bmp", glyph}, {"abort.bmp", glyph}, {"rename.bmp", glyph}, {"ok.bmp", glyph},
        {"apply.bmp", glyph}, {"cancel.bmp", glyph}, {"Stop-btn.bmp", glyph}, {"Back-btn.bmp", glyph},
        {"Next-btn.bmp", glyph}, {"Pause-btn.bmp", glyph}, {"Save.bmp", glyph}, {"Load-Recovery-tbar.bmp", tbar},
        {"Save-Recovery-tbar.bmp", tbar}, {"recover-tbar.bmp", tbar}, {"Search-tbar.bmp", tbar},
        {"Settings-tbar.bmp", tbar}, {"Help-tbar.bmp", tbar}, {"Exit-tbar.bmp", tbar}, {"OpenImage-tbar.bmp", tbar},
        {"NoPreview.bmp", {200, 150}}, {"splash.bmp", {420, 260}}, {"logo.png", {256, 256}},
        {"folder.bmp", tree}, {"lost.bmp", tree}, {"recycle.bmp", tree}, {"disk.bmp", tree}, {"volume.bmp", tree},
        {"partition.bmp", tree}, {"pc.bmp", tree}};
    const QString dir = QStringLiteral(DRAVIK_PICTURE_DIR);
    const QStringList names = QDir(dir).entryList(QDir::Files);
    for (const Picture& p : pictures) {
        const QString file = dir + QLatin1Char('/') + QLatin1String(p.name);
        QImage img(file);
        ASSERT_FALSE(img.isNull()) << p.name;
        EXPECT_EQ(img.size(), p.size) << p.name;
        // Exact names: the dialogs ask for "Yes.bmp" and "yes.bmp" both.
        EXPECT_TRUE(names.contains(QLatin1String(p.name))) << p.name << ": exact spelling";
        // Something is drawn: not one flat colour.
        const QColor corner = img.pixelColor(0, 0);
        bool drawn = false;
        for (int y = 0; y < img.height() && !drawn; y += 2)
            for (int x = 0; x < img.width() && !drawn; x += 2) drawn = img.pixelColor(x, y) != corner;
        EXPECT_TRUE(drawn) << p.name;
    }
    // The application icon is see-through around its tile.
    const QImage logo(dir + QStringLiteral("/logo.png"));
    EXPECT_TRUE(logo.hasAlphaChannel());
    EXPECT_EQ(logo.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(logo.pixelColor(128, 128).alpha(), 255);
    // The splash's card edge is crisp: nothing pinkish but the key itself.
    const QImage splash(dir + QStringLiteral("/splash.bmp"));
    const QColor key(255, 0, 240);
    int fringe = 0;
    for (int y = 0; y < splash.height(); ++y)
        for (int x = 0; x < splash.width(); ++x) {
            const QColor c = splash.pixelColor(x, y);
            if (c != key && c.red() > 150 && c.green() < 90 && c.blue() > 150) ++fringe;
        }
    EXPECT_EQ(fringe, 0);
}

// ---- All of them together, for a reviewer's eye ----

TEST(Controls, PanelScreenshot) {
    QWidget panel;
    panel.setWindowTitle(QStringLiteral("Controls"));
    QPalette pal = panel.palette();
    pal.setColor(QPalette::Window, Qt::white);
    panel.setPalette(pal);
    panel.setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(&panel);
    auto* heading = new CColoredLabel(QStringLiteral("Please Select Recovery Option"));
    heading->SetBold(true);
    heading->SetTextColour(QColor(0, 51, 153));
    layout->addWidget(heading);
    auto* row = new QHBoxLayout;
    row->addWidget(new CPictureCtrl("\\Information.bmp"));
    row->addWidget(
        new CTransparentLabel(QStringLiteral("Error found while reading. Please choose appropriate action.")));
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    CPictureButton* hovered = nullptr;
    for (auto [caption, picture] : {std::pair{"&Retry", "\\retry.bmp"}, {"Retry &All", "\\retryall.bmp"},
                                    {"&Skip", "\\skip.bmp"}, {"S&kip All", "\\skipall.bmp"},
                                    {"&Abort", "\\abort.bmp"}}) {
        auto* b = new CPictureButton(QString::fromUtf8(caption), picture);
        if (!hovered) hovered = b;
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    auto* nav = new QHBoxLayout;
    for (auto [caption, picture] : {std::pair{"&Back", "\\Back-btn.bmp"}, {"&Next", "\\Next-btn.bmp"},
                                    {"Pause", "\\Pause-btn.bmp"}, {"Stop", "\\Stop-btn.bmp"}, {"&Yes", "\\Yes.bmp"},
                                    {"&No", "\\no.bmp"}, {"&Hide Details", nullptr}})
        nav->addWidget(new CPictureButton(QString::fromUtf8(caption), picture));
    layout->addLayout(nav);
    auto* middle = new QHBoxLayout;
    middle->addWidget(new CPictureButton(QStringLiteral("&Deleted Data Recovery"), "\\deleted-data-recovery.bmp"));
    auto* pie = new CPieChartWnd;
    pie->SetShares({{QStringLiteral("Partition 1"), 30, false},
                    {QStringLiteral("Selected Partition 2"), 45, true},
                    {QStringLiteral("Partition 3"), 15, false}});
    pie->setMinimumSize(300, 170);
    middle->addWidget(pie);
    layout->addLayout(middle);
    auto* bar = new CGradientProgressBar;
    bar->SetPos(65);
    layout->addWidget(bar);
    layout->addWidget(new CLinkButton(QStringLiteral("&About Dravik")), 0, Qt::AlignRight);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    Enter(hovered);
    test::SaveShot(&panel, "controls");
    EXPECT_TRUE(hovered->Hovered());
}

}  // namespace
}  // namespace dravik::gui
