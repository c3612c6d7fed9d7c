#include <gtest/gtest.h>
#include <QApplication>
#include <QLocale>

// One application object for the whole test executable; widget tests run on
// the offscreen platform that CTest sets.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
