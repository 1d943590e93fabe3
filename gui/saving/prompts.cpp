#include "saving/prompts.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/message_layout.h"
#include "base/messages.h"
#include "controls/picture_button.h"

namespace dravik::gui {

namespace {

// A button's exec() code is its answer + 1, so that 0 (Esc, the close box)
// stays "no answer".
template <class Answer>
int CodeOf(Answer a) {
    return static_cast<int>(a) + 1;
}

template <class Answer>
std::optional<Answer> AnswerOf(int code) {
    if (code <= 0) return std::nullopt;
    return static_cast<Answer>(code - 1);
}

}  // namespace

SectorsBadStatusAction::SectorsBadStatusAction(QWidget* parent) : QDialog(parent) {
    using base::BadSectorAnswer;
    MessageLayout layout(this, QString::fromUtf8(base::msg::kSectorsBad), "\\Information.bmp");
    text_ = layout.Text();
    layout.AddButton(QStringLiteral("&Retry"), "\\retry.bmp", CodeOf(BadSectorAnswer::RetryOnce))->setDefault(true);
    layout.AddButton(QStringLiteral("Retry &All"), "\\retryall.bmp", CodeOf(BadSectorAnswer::RetryAll));
    layout.AddButton(QStringLiteral("&Skip"), "\\skip.bmp", CodeOf(BadSectorAnswer::SkipOnce));
    layout.AddButton(QStringLiteral("S&kip All"), "\\skipall.bmp", CodeOf(BadSectorAnswer::SkipAll));
}

QString SectorsBadStatusAction::text() const { return text_->text(); }

std::optional<base::BadSectorAnswer> SectorsBadStatusAction::Ask() {
    return AnswerOf<base::BadSectorAnswer>(exec());
}

ErrorCopying::ErrorCopying(QWidget* parent) : QDialog(parent) {
    using base::CopyErrorAnswer;
    MessageLayout layout(this, QString::fromUtf8(base::msg::kErrorCopying), "\\Information.bmp");
    text_ = layout.Text();
    layout.AddButton(QStringLiteral("&Skip"), "\\skip.bmp", CodeOf(CopyErrorAnswer::Skip))->setDefault(true);
    layout.AddButton(QStringLiteral("S&kip All"), "\\skipall.bmp", CodeOf(CopyErrorAnswer::SkipAll));
    layout.AddButton(QStringLiteral("&Abort"), "\\abort.bmp", CodeOf(CopyErrorAnswer::Abort));
}

QString ErrorCopying::text() const { return text_->text(); }

std::optional<base::CopyErrorAnswer> ErrorCopying::Ask() { return AnswerOf<base::CopyErrorAnswer>(exec()); }

FileReplaceOptions::FileReplaceOptions(QWidget* parent) : QDialog(parent) {
    using base::ReplaceChoice;
    MessageLayout layout(this, QString::fromUtf8(base::msg::kFileReplace), "\\Question.bmp");
    text_ = layout.Text();
    forAll_ = new QCheckBox(QString::fromUtf8(base::msg::kDoThisForAll), this);
    forAll_->setChecked(false);
    layout.Rows()->addWidget(forAll_);
    // The buttons give the single answer; the box turns it into its "for all".
    layout.AddButton(QStringLiteral("&Yes"), "\\yes.bmp", CodeOf(ReplaceChoice::Yes))->setDefault(true);
    layout.AddButton(QStringLiteral("&Skip"), "\\skip.bmp", CodeOf(ReplaceChoice::Skip));
    layout.AddButton(QStringLiteral("&Rename"), "\\rename.bmp", CodeOf(ReplaceChoice::Rename));
}

QString FileReplaceOptions::text() const { return text_->text(); }

std::optional<base::ReplaceChoice> FileReplaceOptions::Ask() {
    using base::ReplaceChoice;
    const auto single = AnswerOf<ReplaceChoice>(exec());
    if (!single || !forAll_->isChecked()) return single;
    switch (*single) {
        case ReplaceChoice::Yes: return ReplaceChoice::YesForAll;
        case ReplaceChoice::Skip: return ReplaceChoice::SkipForAll;
        case ReplaceChoice::Rename: return ReplaceChoice::RenameForAll;
        default: return single;
    }
}

}  // namespace dravik::gui
