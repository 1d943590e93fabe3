// The start-up window: a borderless picture with one colour made
// transparent (the window is shaped to the other pixels). It fades in and
// out where the platform composites windows, and hides itself after a
// time-out unless hidden earlier.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

class QPropertyAnimation;
class QTimer;

namespace dravik::gui {

class CSplashScreenEx : public QWidget {
    Q_OBJECT
public:
    explicit CSplashScreenEx(QWidget* parent = nullptr);
    // The picture, with `transparent` cut out of it.
    void SetBitmap(const QPixmap& picture, const QColor& transparent);
    // Centres on the screen and shows, fading in over `fadeMs`; hides by
    // itself after `timeoutMs`.
    void ShowSplash(int timeoutMs, int fadeMs);
    // Fades out over `fadeMs` and hides; returns once hidden, so that the
    // window may be destroyed right after.
    void HideSplash(int fadeMs);
    bool HasMask() const { return !mask().isEmpty(); }
    // Whether this platform can fade windows (it composites them and
    // honours a window's opacity).
    static bool CanFade();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FadeTo(double opacity, int fadeMs);
    // Hides, fading where the platform can; does not wait for the fade.
    void StartHiding(int fadeMs);

    QPixmap picture_;
    QTimer* timeout_;
    QPropertyAnimation* fade_;
};

}  // namespace dravik::gui
