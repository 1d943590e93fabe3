// The core's prompter for the desktop application: every message, question
// and run prompt is a modal dialog on the GUI thread. A worker thread that
// asks is blocked until the user answers there, as the core expects.
//
// The GUI thread must keep running its event loop while a worker may ask
// (a page waiting on its worker does so in a modal loop or through a
// flag, never by joining it), or the worker's question cannot be shown.
#pragma once

#include <QPointer>
#include <QWidget>

#include "base/prompter.h"

namespace dravik::gui {

class GuiPrompter final : public base::Prompter {
public:
    GuiPrompter() = default;

    // The window the dialogs open over (placement only); may be null. Set
    // on the GUI thread; a page that goes away is forgotten by itself.
    void SetParentWidget(QWidget* parent) { parent_ = parent; }
    QWidget* ParentWidget() const { return parent_.data(); }

    void ViewMsgBox(const std::string& text) override;
    int ViewQuestionMsg(const std::string& text) override;
    std::optional<base::BadSectorAnswer> SectorsBadStatusAction() override;
    std::optional<base::CopyErrorAnswer> ErrorCopying() override;
    std::optional<base::ReplaceChoice> FileReplaceOptions() override;
    // Shows the message when a GUI is there to show it; never throws.
    void FatalError(const std::string& text) noexcept override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace dravik::gui
