#include "app/message_layout.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/dialog_look.h"
#include "controls/labels.h"
#include "controls/picture_button.h"

namespace dravik::gui {

QString ShownText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == QLatin1Char('&') && i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) ++i;
    }
    return out;
}

MessageLayout::MessageLayout(QDialog* dialog, const QString& text, const char* picture) : dialog_(dialog) {
    ApplyDialogLook(dialog);
    dialog->setModal(true);

    auto* pictureCtrl = new CPictureCtrl(picture, dialog);
    pictureCtrl->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    text_ = new QLabel(dialog);
    // Plain text: file names and paths in messages are not markup.
    text_->setTextFormat(Qt::PlainText);
    text_->setText(ShownText(text));
    text_->setWordWrap(true);
    text_->setFixedWidth(kMessageTextWidth);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    constexpr int kGap = 14;  // between the picture and the text
    auto* top = new QHBoxLayout;
    top->setSpacing(kGap);
    top->addWidget(pictureCtrl, 0, Qt::AlignTop);
    top->addWidget(text_, 1);

    rows_ = new QVBoxLayout;
    // Rows line up with the text, not with the picture.
    rows_->setContentsMargins(pictureCtrl->sizeHint().width() + kGap, 0, 0, 0);

    buttons_ = new QHBoxLayout;
    buttons_->setSpacing(8);
    buttons_->addStretch(1);

    auto* outer = new QVBoxLayout(dialog);
    outer->setContentsMargins(16, 16, 16, 12);
    outer->setSpacing(12);
    outer->addLayout(top);
    outer->addLayout(rows_);
    outer->addLayout(buttons_);
    // The dialog takes the size its contents need and keeps it.
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

CPictureButton* MessageLayout::AddButton(const QString& caption, const char* picture, int code) {
    auto* button = new CPictureButton(caption, picture, dialog_);
    button->setMinimumWidth(84);
    QObject::connect(button, &QPushButton::clicked, dialog_, [d = dialog_, code] { d->done(code); });
    buttons_->addWidget(button);
    return button;
}

}  // namespace dravik::gui
