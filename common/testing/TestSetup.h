#pragma once

#include <gtest/gtest.h>
#include <QStandardPaths>

namespace sonavel {

// What every test executable does before its application object exists. The
// standard locations move to a folder of Qt's own for tests, so that a test
// that forgets its temporary folder can never reach the station's settings or
// program folder of the account that runs it.
inline void PrepareTestRun(int& argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QStandardPaths::setTestModeEnabled(true);
}

}  // namespace sonavel
