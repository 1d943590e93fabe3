// Driving modal dialogs from a test: a modal dialog's exec() blocks the
// test, so what is to be done inside it is queued before it opens.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

namespace dravik::gui::test {

// Runs `act` on the next modal dialog that opens above `below` (the one
// active now, or none), as soon as it is shown. Gives up after 20 s.
inline void WhenModal(std::function<void(QDialog*)> act, QWidget* below = QApplication::activeModalWidget()) {
    // Owned by the application, so a watcher whose dialog never came is freed.
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* w = QApplication::activeModalWidget();
        auto* d = qobject_cast<QDialog*>(w);
        if ((d && d != below && d->isVisible()) || clock->elapsed() > 20000) {
            timer->stop();
            timer->deleteLater();
            if (d && d != below) act(d);
        }
    });
    timer->start();
}

// The button of `w` whose caption is `caption` ("&Yes"), or null.
inline QPushButton* Button(QWidget* w, const QString& caption) {
    for (auto* b : w->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

// Clicks the button with this caption in the next modal dialog.
inline void ClickInNextModal(const QString& caption, QString* text = nullptr) {
    WhenModal([=](QDialog* d) {
        if (text) {
            for (auto* l : d->findChildren<QLabel*>())
                if (!l->text().isEmpty()) *text = l->text();
        }
        if (auto* b = Button(d, caption)) b->click();
        else d->done(0);
    });
}

// Processes events until `done` holds or `ms` pass.
inline bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Saves a picture of `w` as DRAVIK_SHOT_DIR/name.png for a reviewer.
inline void SaveShot(QWidget* w, const std::string& name) {
    QDir().mkpath(QStringLiteral(DRAVIK_SHOT_DIR));
    w->grab().save(QStringLiteral(DRAVIK_SHOT_DIR) + "/" + QString::fromStdString(name) + ".png");
}

}  // namespace dravik::gui::test
