#pragma once

#include "FakeClock.h"
#include "QtPrinters.h"
#include "ScriptedDialogs.h"
#include "Session.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <memory>

namespace sonavel {

// A fresh program folder and settings store per test, a fake clock and
// scripted dialogs, so no test touches the real home folder.
class TempFolderTest : public ::testing::Test {
  protected:
    TempFolderTest();

    QString Path(const QString& relative) const { return m_dir.filePath(relative); }
    QString ProgramFolder() const { return m_dir.filePath(QStringLiteral("Sonavel")); }
    // A session of the given program on this test's folder and store.
    Session& MakeSession(Product product);
    // A station on air in this folder: both logs written here, and the
    // playlist and time-check folders made.
    void UseStationFolders(Session& session) const;
    // Another tool swaps the settings table for one of another shape while
    // the store is open: every operation after it fails naming the file.
    void ReshapeStoreTable() const;

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
    ScriptedDialogs m_dialogs;
    FakeClock m_clock;
    std::unique_ptr<Session> m_session;
};

}  // namespace sonavel
