#include "controls/splash_screen.h"

#include <QBitmap>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>

namespace dravik::gui {

namespace {

// The fade-out when the splash hides itself at its time-out.
constexpr int kTimeoutFadeMs = 200;

}  // namespace

CSplashScreenEx::CSplashScreenEx(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      timeout_(new QTimer(this)),
      fade_(new QPropertyAnimation(this, "windowOpacity", this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    timeout_->setSingleShot(true);
    connect(timeout_, &QTimer::timeout, this, [this] { StartHiding(kTimeoutFadeMs); });
    connect(fade_, &QPropertyAnimation::finished, this, [this] {
        // A finished fade-out ends hidden, at full opacity for the next show.
        if (fade_->endValue().toDouble() <= 0) {
            hide();
            setWindowOpacity(1);
        }
    });
}

bool CSplashScreenEx::CanFade() {
    // Opacity needs a compositing platform; the offscreen, minimal and
    // frame-buffer platforms have none, and Wayland gives clients no window
    // opacity.
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform == QLatin1String("windows") ||
           platform == QLatin1String("cocoa");
}

void CSplashScreenEx::SetBitmap(const QPixmap& picture, const QColor& transparent) {
    picture_ = picture;
    if (picture_.isNull()) {
        clearMask();
        return;
    }
    setFixedSize(picture_.size());
    // Pixels of the key colour leave the window; the bitmap's 1s stay.
    setMask(picture_.createMaskFromColor(transparent, Qt::MaskInColor));
    update();
}

void CSplashScreenEx::ShowSplash(int timeoutMs, int fadeMs) {
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) move(screen->geometry().center() - rect().center());
    fade_->stop();
    const bool fading = CanFade() && fadeMs > 0;
    setWindowOpacity(fading ? 0.0 : 1.0);
    show();
    raise();
    if (fading) FadeTo(1, fadeMs);
    if (timeoutMs > 0) timeout_->start(timeoutMs);
}

void CSplashScreenEx::HideSplash(int fadeMs) {
    StartHiding(fadeMs);
    if (fade_->state() != QAbstractAnimation::Running) return;
    // The caller destroys the window next: let the fade play out first.
    QEventLoop wait;
    connect(fade_, &QPropertyAnimation::finished, &wait, &QEventLoop::quit);
    QTimer::singleShot(fadeMs + 500, &wait, &QEventLoop::quit);
    wait.exec();
    if (isVisible()) {
        fade_->stop();
        hide();
        setWindowOpacity(1);
    }
}

void CSplashScreenEx::StartHiding(int fadeMs) {
    timeout_->stop();
    if (!isVisible()) return;
    if (CanFade() && fadeMs > 0) {
        FadeTo(0, fadeMs);
    } else {
        fade_->stop();
        hide();
        setWindowOpacity(1);
    }
}

void CSplashScreenEx::FadeTo(double opacity, int fadeMs) {
    fade_->stop();
    fade_->setDuration(fadeMs);
    fade_->setStartValue(windowOpacity());
    fade_->setEndValue(opacity);
    fade_->start();
}

void CSplashScreenEx::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}

}  // namespace dravik::gui
