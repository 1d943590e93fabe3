// dravik: the desktop application.
#include "app/dravik_app.h"

int main(int argc, char** argv) { return dravik::gui::CDravikApp::Main(argc, argv); }
