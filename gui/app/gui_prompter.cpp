#include "app/gui_prompter.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <type_traits>

#include "app/message_dialogs.h"
#include "saving/prompts.h"

namespace dravik::gui {

namespace {

// Runs `show` on the GUI thread and returns what it returns: at once when
// called there, else queued to the application object (which lives on the
// GUI thread) with the caller blocked until the dialog is answered. Without
// an application nothing can be shown and `none` is the answer.
template <class F, class R = std::invoke_result_t<F&>>
R OnGuiThread(F show, R none) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return none;
    if (QThread::currentThread() == app->thread()) return show();
    R result = none;
    QMetaObject::invokeMethod(app, [&] { result = show(); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace

void GuiPrompter::ViewMsgBox(const std::string& text) {
    OnGuiThread(
        [&] {
            ShowMessage(parent_.data(), text);
            return true;
        },
        false);
}

int GuiPrompter::ViewQuestionMsg(const std::string& text) {
    return OnGuiThread([&] { return AskQuestion(parent_.data(), text); }, 2);
}

std::optional<base::BadSectorAnswer> GuiPrompter::SectorsBadStatusAction() {
    return OnGuiThread(
        [&] {
            gui::SectorsBadStatusAction prompt(parent_.data());
            return prompt.Ask();
        },
        std::optional<base::BadSectorAnswer>{});
}

std::optional<base::CopyErrorAnswer> GuiPrompter::ErrorCopying() {
    return OnGuiThread(
        [&] {
            gui::ErrorCopying prompt(parent_.data());
            return prompt.Ask();
        },
        std::optional<base::CopyErrorAnswer>{});
}

std::optional<base::ReplaceChoice> GuiPrompter::FileReplaceOptions() {
    return OnGuiThread(
        [&] {
            gui::FileReplaceOptions prompt(parent_.data());
            return prompt.Ask();
        },
        std::optional<base::ReplaceChoice>{});
}

void GuiPrompter::FatalError(const std::string& text) noexcept {
    // The process ends right after this; whatever fails here must not stop
    // that from happening.
    try {
        const bool shown = OnGuiThread(
            [&] {
                ShowMessage(parent_.data(), text);
                return true;
            },
            false);
        if (!shown) std::fprintf(stderr, "%s\n", text.c_str());
    } catch (...) {
    }
}

}  // namespace dravik::gui
