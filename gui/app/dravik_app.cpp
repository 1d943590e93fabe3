#include "app/dravik_app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFont>
#include <QIcon>
#include <QPalette>

#include <csignal>

#include "app/app_context.h"
#include "app/dialog_look.h"
#include "app/gui_prompter.h"
#include "controls/splash_screen.h"
#include "partition/deleted_files_recovery.h"

namespace dravik::gui {

void CDravikApp::SetUpLook() {
    // Labels ask for Arial; a metric-compatible face stands in where it is
    // not installed, so that texts keep their widths.
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QApplication::setFont(LabelFont());
    QApplication::setApplicationName(QStringLiteral("dravik"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setWindowIcon(QIcon(ImageFolder() + QStringLiteral("/logo.png")));
}

CDravikApp::Options CDravikApp::ParseArguments(const QStringList& arguments) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Recovers files from NTFS and FAT volumes."));
    p.addHelpOption();
    p.addVersionOption();
    QCommandLineOption image(QStringLiteral("image"), QStringLiteral("Attach a disk image as a disk (repeatable)."),
                             QStringLiteral("FILE"));
    QCommandLineOption noSystem(QStringLiteral("no-system-disks"), QStringLiteral("List only the attached images."));
    QCommandLineOption noSplash(QStringLiteral("no-splash"), QStringLiteral("Start without the splash window."));
    p.addOption(image);
    p.addOption(noSystem);
    p.addOption(noSplash);
    p.process(arguments);
    Options o;
    o.images = p.values(image);
    o.systemDisks = !p.isSet(noSystem);
    o.splash = !p.isSet(noSplash);
    return o;
}

int CDravikApp::Main(int argc, char** argv) {
    // A destination with a file-size limit is a write error, not a killed process.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs, false);
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(DRAVIK_VERSION));
    SetUpLook();
    const Options o = ParseArguments(QApplication::arguments());
    if (o.splash) {
        CSplashScreenEx splash;
        splash.SetBitmap(LoadPicture("\\splash.bmp"), QColor(255, 0, 240));
        splash.ShowSplash(2000, 500);
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < 1500) QApplication::processEvents(QEventLoop::AllEvents, 20);
        splash.HideSplash(200);
    }
    GuiPrompter prompter;
    app::AppContext ctx(prompter);
    DeletedFilesRecovery page(ctx, o);
    prompter.SetParentWidget(&page);
    page.exec();
    return 0;
}

}  // namespace dravik::gui
