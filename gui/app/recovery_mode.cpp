#include "app/recovery_mode.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include "app/dravik_app.h"
#include "app/message_dialogs.h"
#include "app/workflow.h"
#include "controls/labels.h"
#include "controls/link_button.h"
#include "controls/picture_button.h"

namespace dravik::gui {

namespace {
constexpr const char* kAboutCommand = "&About Dravik";
}

CRecoveryMode::CRecoveryMode(app::AppContext& ctx, QWidget* parent) : WizardPage(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("CRecoveryMode"));
    auto* heading = new CColoredLabel(QStringLiteral("Please Select Recovery Option"), this);
    heading->SetBold(true);
    heading->SetTextColour(QColor(0, 51, 153));
    QFont f = heading->font();
    f.setPointSize(13);
    heading->setFont(f);

    deleted_ = new CPictureButton(QStringLiteral("&Deleted Data Recovery"), "\\deleted-data-recovery.bmp", this);
    formatted_ = new CPictureButton(QStringLiteral("&Formatted Data Recovery"), "\\formatted-data-recovery.bmp", this);
    partition_ = new CPictureButton(QStringLiteral("&Partition Data Recovery"), "\\partition-data-recovery.bmp", this);
    auto* buttons = new QHBoxLayout;
    for (auto* b : {deleted_, formatted_, partition_}) {
        b->setAutoDefault(false);
        b->setMinimumSize(230, 190);
        buttons->addWidget(b);
    }
    auto choose = [this](app::RecoveryChoice choice) {
        app::ChooseRecoveryMode(ctx_, choice);
        accept();
    };
    connect(deleted_, &QPushButton::clicked, this, [=] { choose(app::RecoveryChoice::Deleted); });
    connect(formatted_, &QPushButton::clicked, this, [=] { choose(app::RecoveryChoice::Formatted); });
    connect(partition_, &QPushButton::clicked, this, [=] { choose(app::RecoveryChoice::Partition); });

    // Linux window managers offer no system menu to add to: the About
    // command sits on the page and in its context menu.
    auto* about = new CLinkButton(QString::fromUtf8(kAboutCommand), this);
    about->setObjectName(QStringLiteral("about"));
    connect(about, &QPushButton::clicked, this, &CRecoveryMode::ShowAbout);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->addWidget(heading);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->addSpacing(8);
    layout->addWidget(about, 0, Qt::AlignRight);
}

void CRecoveryMode::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addSeparator();
    menu.addAction(QString::fromUtf8(kAboutCommand), this, &CRecoveryMode::ShowAbout);
    menu.exec(event->globalPos());
}

void CRecoveryMode::ShowAbout() {
    ShowMessage(this, std::string("Dravik - data recovery for NTFS and FAT volumes\n") + kVersionText +
                          "\n\nReads disks, partitions and images without writing to them, and recovers existing, "
                          "deleted and lost files to another drive.");
}

}  // namespace dravik::gui
