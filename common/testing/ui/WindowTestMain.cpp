#include "Paths.h"
#include "TestSetup.h"

#include <QApplication>

// The main of the window tests: one application object for the whole
// executable, on the offscreen platform unless the caller chose another.
int main(int argc, char** argv) {
    sonavel::PrepareTestRun(argc, argv);
    // The build lists the tests by running this: the offscreen platform
    // would warn about a missing runtime folder into every build's output.
    sonavel::EnsureRuntimeFolder();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
