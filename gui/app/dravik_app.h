// The application object: the look every dialog shares, the images the
// user attaches as disks, and the source-selection page it opens modally.
#pragma once

#include <QString>
#include <QStringList>

namespace dravik::gui {

class CDravikApp {
public:
    // Fonts and palette shared by every dialog; needs a QApplication.
    static void SetUpLook();
    // What the command line asked for: --image FILE (repeatable), --no-system-disks.
    struct Options {
        QStringList images;
        bool systemDisks = true;
        bool splash = true;
    };
    static Options ParseArguments(const QStringList& arguments);
    // Start-up: the look, then the source-selection page, modally; the
    // process ends when it closes.
    static int Main(int argc, char** argv);
};

inline constexpr const char* kVersionText = "Version 2.4";
inline constexpr const char* kVersionShort = "2.4";

}  // namespace dravik::gui
