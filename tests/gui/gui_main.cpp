// One QApplication for every dialog test of the process.
#include <QApplication>
#include <gtest/gtest.h>

#include "app/dravik_app.h"

int main(int argc, char** argv) {
    qputenv("DRAVIK_IMAGE_DIR", DRAVIK_PICTURE_DIR);
    // Dialogs are tested offscreen; the real-window test runs the application itself.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    dravik::gui::CDravikApp::SetUpLook();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
