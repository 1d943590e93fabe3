// A progress sink for the core's workers that hands every call to the GUI
// thread: the worker never touches a widget. Calls queued for a receiver
// that is gone are dropped with it.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <functional>

#include "base/progress.h"

namespace dravik::gui {

class QueuedProgress final : public base::ProgressSink {
public:
    struct Handlers {
        std::function<void(base::ProgressField, const QString&)> text;
        std::function<void(int)> percent;
        std::function<void()> hideDetails;
        std::function<void()> restartElapsed;
    };
    QueuedProgress(QObject* receiver, Handlers handlers) : receiver_(receiver), handlers_(std::move(handlers)) {}

    void SetText(base::ProgressField field, const std::string& text) override {
        if (!handlers_.text) return;
        const QString t = QString::fromStdString(text);
        QMetaObject::invokeMethod(receiver_, [this, field, t] { handlers_.text(field, t); }, Qt::QueuedConnection);
    }
    // The figures cross to the GUI thread; their texts are made there.
    void SetCounts(const base::ProgressCounts& counts) override {
        if (!handlers_.text) return;
        QMetaObject::invokeMethod(receiver_, [this, counts] { texts_.Send(counts, toGui_); }, Qt::QueuedConnection);
    }
    void SetPercent(int percent) override {
        if (!handlers_.percent) return;
        QMetaObject::invokeMethod(receiver_, [this, percent] { handlers_.percent(percent); }, Qt::QueuedConnection);
    }
    void HideDetails() override {
        if (handlers_.hideDetails)
            QMetaObject::invokeMethod(receiver_, [this] { handlers_.hideDetails(); }, Qt::QueuedConnection);
    }
    void RestartElapsed() override {
        if (handlers_.restartElapsed)
            QMetaObject::invokeMethod(receiver_, [this] { handlers_.restartElapsed(); }, Qt::QueuedConnection);
    }

private:
    // The formatter's sink on the GUI thread: straight to the handler.
    class ToHandlers final : public base::ProgressSink {
    public:
        explicit ToHandlers(const Handlers& h) : h_(h) {}
        void SetText(base::ProgressField field, const std::string& text) override {
            h_.text(field, QString::fromStdString(text));
        }
        void SetPercent(int) override {}

    private:
        const Handlers& h_;
    };

    QObject* receiver_;
    Handlers handlers_;
    base::ProgressTexts texts_;  // used on the GUI thread only
    ToHandlers toGui_{handlers_};
};

}  // namespace dravik::gui
