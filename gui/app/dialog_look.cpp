#include "app/dialog_look.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPalette>
#include <QToolBar>

#include <cstdlib>

#include "app/message_dialogs.h"
#include "base/messages.h"

namespace dravik::gui {

QString ImageFolder() {
    const QByteArray env = qgetenv("DRAVIK_IMAGE_DIR");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/dravik/images");
    if (QFileInfo(beside).isDir()) return QDir::cleanPath(beside);
    if (QFileInfo(QStringLiteral(DRAVIK_INSTALL_IMAGE_DIR)).isDir()) return QStringLiteral(DRAVIK_INSTALL_IMAGE_DIR);
    return QStringLiteral(DRAVIK_BUILD_IMAGE_DIR);
}

QPixmap LoadPicture(const char* name) {
    QString file = QString::fromUtf8(name);
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QPixmap p;
    p.load(ImageFolder() + file);
    return p;
}

QAction* AddToolAction(QToolBar* bar, const QString& caption, const char* picture) {
    const QPixmap p = LoadPicture(picture);
    return p.isNull() ? bar->addAction(caption) : bar->addAction(QIcon(p), caption);
}

QFont LabelFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(9);
    return f;
}

void ApplyDialogLook(QDialog* dialog) {
    dialog->setWindowTitle(QString::fromUtf8(base::msg::kAppTitle));
    // A top-level window of its own gets its own taskbar entry.
    dialog->setWindowFlag(Qt::Window, true);
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, Qt::white);
    dialog->setPalette(pal);
    dialog->setAutoFillBackground(true);
    dialog->setFont(LabelFont());
}

void ExitNow() { std::_Exit(0); }

void AskExit(QWidget* parent, const char* question) {
    if (AskQuestion(parent, question ? question : base::msg::kExitQuestion) == 1) ExitNow();
}

WizardPage::WizardPage(QWidget* parent, const char* exitQuestion) : QDialog(parent), exitQuestion_(exitQuestion) {
    ApplyDialogLook(this);
}

void WizardPage::setVisible(bool visible) {
    if (visible && windowRole().isEmpty() && !objectName().isEmpty()) setWindowRole(objectName());
    QDialog::setVisible(visible);
}

void WizardPage::closeEvent(QCloseEvent* event) {
    event->ignore();
    AskExit(this, exitQuestion_);
}

void WizardPage::reject() { AskExit(this, exitQuestion_); }

}  // namespace dravik::gui
