#include "TestSetup.h"

#include <QCoreApplication>

// The main of the tests of the libraries without widgets: a core application
// only, so that a module reaching for a window fails here instead of passing.
int main(int argc, char** argv) {
    sonavel::PrepareTestRun(argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
