#include "ErrorModule.h"
#include "FakeWindows.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <sys/stat.h>
#include <QFile>

using namespace sonavel;

namespace {

class ErrorModuleTest : public TempFolderTest {
  protected:
    ErrorModuleTest() : s(MakeSession(Product::Player)) {
        s.SetWindows(&windows);
        s.ErrorLogFileName = Path("Error.log");
        s.ProgramLogFileName = Path("Program.log");
    }
    QString Stamp() const { return LogDate(m_clock.Now()) + " " + LogTime(m_clock.Now()); }
    QStringList Lines(const QString& path) {
        return textfile::Exists(path) ? textfile::ReadLines(path) : QStringList();
    }

    Session& s;
    FakeWindows windows;
};

TEST_F(ErrorModuleTest, ErrorDialogTextAndTheLogEntryItLeaves) {
    s.ErrorLoggingEnabled = true;
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Ignore);
    const RuntimeError pending(53, "File not found", "Sonavel");
    EXPECT_EQ(ReportError(s, pending, "LoadPlaylist", "PlaylistName", "/x/Mon0900.lst"),
              MsgResult::Ignore);

    const MessageRequest box = m_dialogs.LastMessage();
    EXPECT_EQ(box.prompt, "Error 53 File not found" + kCrLf + "Source: Sonavel" + kCrLf +
                              "Program: Sonavel Player" + kCrLf + "Module: LoadPlaylist" + kCrLf +
                              "Variable: PlaylistName (/x/Mon0900.lst)" + kCrLf + kCrLf +
                              "Click 'Abort' to end LoadPlaylist" + kCrLf + kCrLf +
                              "Or try to correct the problem and then..." + kCrLf + kCrLf +
                              "Click 'Retry' to attempt the operation again." + kCrLf + kCrLf +
                              "Click 'Ignore' to ignore the error and attempt to continue.");
    EXPECT_EQ(box.buttons, MsgButtons::AbortRetryIgnore);
    EXPECT_EQ(box.icon, MsgIcon::Critical);
    EXPECT_EQ(box.defaultButton, 2);

    EXPECT_EQ(
        Lines(s.ErrorLogFileName),
        QStringList({"    Error Response: Error Ignored", Stamp() + "Sonavel Player",
                     "    Error Number:  53", "    Error Source: Sonavel",
                     "    Error Description: File not found", "    Module: LoadPlaylist",
                     "    Variable Name: PlaylistName", "    Variable Data: /x/Mon0900.lst"}));

    // Each answer has its own response line; negative numbers carry no blank.
    QFile::remove(s.ErrorLogFileName);
    m_dialogs.ExpectMessage("", MsgResult::Retry).ExpectMessage("", MsgResult::Abort);
    ReportError(s, RuntimeError(-2147467259, "Unspecified", "Engine"), "A", "", "");
    ReportError(s, pending, "B", "", "");
    const QStringList lines = Lines(s.ErrorLogFileName);
    EXPECT_EQ(lines[0], "    Error Response: Operation Retried");
    EXPECT_EQ(lines[2], "    Error Number: -2147467259");
    EXPECT_EQ(lines[6], "    Error Response: Program and/or Function Aborted or Cancelled");
    EXPECT_EQ(lines.size(), 6 + 6);

    // A bare entry is exactly four lines.
    QFile::remove(s.ErrorLogFileName);
    LogError(s, 0, "Src", "Desc", "", "", "");
    EXPECT_EQ(Lines(s.ErrorLogFileName),
              QStringList({Stamp() + "Sonavel Player", "    Error Number:  0",
                           "    Error Source: Src", "    Error Description: Desc"}));
    EXPECT_TRUE(LogTime(m_clock.Now()).contains("55:22")) << LogTime(m_clock.Now()).toStdString();
}

TEST_F(ErrorModuleTest, LogDatesCarryTheWholeYear) {
    const QDateTime when(QDate(2026, 12, 5), QTime(16, 55, 22));
    EXPECT_EQ(LogDate(when, QLocale(QLocale::English, QLocale::UnitedStates)), "12/5/2026");
    EXPECT_EQ(LogDate(when, QLocale(QLocale::German, QLocale::Germany)), "05.12.2026");
    EXPECT_EQ(LogDate(when, QLocale(QLocale::English, QLocale::UnitedKingdom)), "05/12/2026");
    // A year written with one letter is made whole as well.
    EXPECT_EQ(LogDate(when, QLocale(QLocale::Chinese, QLocale::China)), "2026/12/5");
    // Whatever the machine's locale, an entry written today shows the year whole.
    s.ProgramLoggingEnabled = true;
    LogEvent(s, "Program Loaded");
    EXPECT_TRUE(Lines(s.ProgramLogFileName).value(0).startsWith(LogDate(m_clock.Now())));
    EXPECT_TRUE(LogDate(m_clock.Now()).contains("2026")) << LogDate(m_clock.Now()).toStdString();
}

TEST_F(ErrorModuleTest, LoggingSwitchedOffOrWithoutAFile) {
    // Off: the dialog still comes, the log is untouched.
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Ignore);
    ReportError(s, RuntimeError(5, "x"), "P", "V", "D");
    EXPECT_FALSE(QFile::exists(s.ErrorLogFileName));

    // On but no file: the operator is told twice, once per write, and nothing is written.
    s.ErrorLoggingEnabled = true;
    s.ErrorLogFileName.clear();
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Ignore)
        .ExpectMessage("Unable to Log Error")
        .ExpectMessage("Unable to Log Error");
    ReportError(s, RuntimeError(5, "x"), "P", "V", "D");
    EXPECT_EQ(
        m_dialogs.LastMessage().prompt,
        "An error has occurred, but Sonavel Player is not able to log the error." + kCrLf + kCrLf +
            "'Enable Error Logging' has been set, but no error log file has been set." + kCrLf +
            "Please select 'Set Error Log' from the 'Setting' menu and set up an error log "
            "file, or" +
            kCrLf + "Disable 'Enable Error Logging' on the 'Logs' menu.");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);

    // Suppressed reporting: no dialog, no response line, only the entry.
    s.ErrorLogFileName = Path("Error.log");
    s.SuppressErrorReporting = true;
    EXPECT_EQ(ReportError(s, RuntimeError(5, "x"), "P", "", ""), MsgResult::Cancel);
    EXPECT_EQ(Lines(s.ErrorLogFileName).size(), 5);  // entry with its module line
}

TEST_F(ErrorModuleTest, TrapRetriesIgnoresAndAborts) {
    int attempts = 0, after = 0;
    m_dialogs.ExpectMessage("", MsgResult::Retry).ExpectMessage("", MsgResult::Ignore);
    ErrorTrap trap(s, "Proc", "Var", [&] { return QString::number(attempts); });
    EXPECT_TRUE(trap.Run([&] {
        trap([&] {
            ++attempts;
            throw RuntimeError(75, "busy");
        });
        ++after;
    }));
    EXPECT_EQ(attempts, 2);  // retried once, then ignored
    EXPECT_EQ(after, 1);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.contains("Variable: Var (2)"));

    after = 0;
    m_dialogs.ExpectMessage("", MsgResult::Abort);
    EXPECT_FALSE(trap.Run([&] {
        trap([&] { throw RuntimeError(75, "busy"); });
        ++after;
    }));
    EXPECT_EQ(after, 0);

    // A cancelled dialog ends the procedure without a word.
    ErrorTrap quiet(s, "Proc");
    quiet.EndSilentlyOnCancel();
    EXPECT_FALSE(quiet.Run([&] {
        quiet([&] { throw RuntimeError(err::kDialogCancelled, "Cancel"); });
        ++after;
    }));
    EXPECT_EQ(after, 0);
}

TEST_F(ErrorModuleTest, ProgramLogWritesOnlyWhenPlayerLogs) {
    LogEvent(s, "Program Loaded");
    EXPECT_FALSE(QFile::exists(s.ProgramLogFileName));
    s.ProgramLoggingEnabled = true;
    LogEvent(s, "Program Loaded");
    m_clock.Advance(1000);
    LogEvent(s, "Program Ended");
    EXPECT_EQ(Lines(s.ProgramLogFileName),
              QStringList({LogDate(m_clock.Now()) + " " + LogTime(m_clock.Now().addSecs(-1)) +
                               "  Program Loaded",
                           Stamp() + "  Program Ended"}));

    Session creator(Product::Creator, ProgramFolder(), *m_store, m_dialogs, m_clock);
    creator.ProgramLoggingEnabled = true;
    creator.ProgramLogFileName = Path("creator.log");
    LogEvent(creator, "x");
    EXPECT_FALSE(QFile::exists(creator.ProgramLogFileName));

    // A log that cannot be written costs the line, not the caller; the echo
    // still sees it.
    QStringList echoed;
    s.ProgramLogEcho = [&](const QString& line) { echoed << line; };
    s.ProgramLogFileName = Path("missing/folder/program.log");
    EXPECT_NO_THROW(LogEvent(s, "Program Element: News"));
    EXPECT_EQ(echoed, QStringList{Stamp() + "  Program Element: News"});
}

TEST_F(ErrorModuleTest, ChoosingALogFile) {
    // Cancel stores nothing.
    m_dialogs.ExpectFile(std::nullopt, "Set Program Log File");
    SetErrorLog(s);
    EXPECT_EQ(s.ErrorLogFileName, Path("Error.log"));
    const FileDialogRequest asked = m_dialogs.Shown().back().file;
    EXPECT_EQ(asked.initialFolder, m_dir.path() + "/");
    EXPECT_EQ(asked.fileName, "Error.log");
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.filter, "Sonavel Logs (*.log)|*.log|All Files (*.*)|*.*|");

    // A new file: stored at once, created with its first line.
    const QString chosen = Path("air.log");
    m_dialogs.ExpectFile(chosen).ExpectMessage("Error Log Created");
    SetErrorLog(s);
    EXPECT_EQ(s.ErrorLogFileName, chosen);
    EXPECT_EQ(m_store->GetSetting("Sonavel", "Player Settings", "Error Log File Name"), chosen);
    EXPECT_EQ(Lines(chosen), QStringList({"Error Log Created: " + Stamp()}));
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "The error log has been successfully set as: " + kCrLf + chosen + kCrLf +
                  "You must enable error logging to use the new "
                  "log file.");

    // An existing file: append on Yes, start afresh on No.
    m_dialogs.ExpectFile(chosen)
        .ExpectMessage("Error Log Already Exists", MsgResult::Yes)
        .ExpectMessage("Error Log Created");
    SetErrorLog(s);
    EXPECT_EQ(Lines(chosen).size(), 2);
    m_dialogs.ExpectFile(chosen)
        .ExpectMessage("Error Log Already Exists", MsgResult::No)
        .ExpectMessage("Error Log Created");
    SetErrorLog(s);
    EXPECT_EQ(Lines(chosen).size(), 1);

    // The program log without a name proposes Sonavel.log in the Logs folder.
    s.ProgramLogFileName.clear();
    m_dialogs.ExpectFile(Path("p.log"), "Set Program Log File")
        .ExpectMessage("Program Log Created");
    SetProgramLog(s);
    const FileDialogRequest program = m_dialogs.Shown()[m_dialogs.Shown().size() - 2].file;
    EXPECT_EQ(program.fileName, "Sonavel.log");
    EXPECT_EQ(program.initialFolder, ProgramFolder() + "/Logs");
    EXPECT_EQ(Lines(Path("p.log")), QStringList({"Program Log Created: " + Stamp()}));
    EXPECT_EQ(m_store->GetSetting("Sonavel", "Player Settings", "Program Log File Name"),
              Path("p.log"));
}

TEST_F(ErrorModuleTest, ViewingClearingAndSavingALog) {
    textfile::WriteLines(s.ErrorLogFileName, {"one", "two"});

    DisplayErrorLog(s);
    EXPECT_TRUE(windows.errorLog.loaded);
    EXPECT_EQ(windows.errorLog.caption, s.ErrorLogFileName);
    EXPECT_EQ(windows.errorLog.text, "one\r\ntwo\r\n");

    // No answer to the clearing question leaves everything as it was.
    windows.errorLog.Unload();
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::No);
    ClearErrorLog(s);
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::None);
    EXPECT_EQ(m_dialogs.LastMessage().defaultButton, 2);
    EXPECT_FALSE(windows.errorLog.loaded);
    EXPECT_EQ(Lines(s.ErrorLogFileName).size(), 2);

    // Saving onto itself is refused; onto another file replaces that file.
    m_dialogs.ExpectFile(s.ErrorLogFileName, "Save Log File").ExpectMessage("Sonavel Player");
    SaveErrorLogFile(s);
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "You cannot save the current log file to itself." +
                                                  kCrLf + "Please select another name.");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
    const FileDialogRequest asked = m_dialogs.Shown()[m_dialogs.Shown().size() - 2].file;
    EXPECT_EQ(asked.fileName, "Error.bak");
    EXPECT_EQ(asked.flags, 2054);

    const QString backup = Path("old.bak");
    textfile::WriteLines(backup, {"stale", "stale", "stale"});
    m_dialogs.ExpectFile(backup);
    SaveErrorLogFile(s);
    EXPECT_EQ(Lines(backup), QStringList({"one", "two"}));

    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Yes);
    ClearErrorLog(s);
    EXPECT_TRUE(Lines(s.ErrorLogFileName).isEmpty());
    EXPECT_TRUE(windows.errorLog.loaded);
    EXPECT_EQ(windows.errorLog.text, "");

    // The program log's backup name is the log's own with ".bak"; its refusal has no icon.
    textfile::WriteLines(s.ProgramLogFileName, {"x"});
    m_dialogs.ExpectFile(s.ProgramLogFileName).ExpectMessage("Sonavel Player");
    SaveProgramLogFile(s);
    EXPECT_EQ(m_dialogs.Shown()[m_dialogs.Shown().size() - 2].file.fileName, "Program.bak");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::None);
}

TEST_F(ErrorModuleTest, LogThatCannotBeShown) {
    s.ErrorLogFileName.clear();
    m_dialogs.ExpectMessage("Unable to Display Error Log");
    DisplayErrorLog(s);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith(
        "Sonavel Player is unable to display the Error Log." + kCrLf + kCrLf));
    EXPECT_FALSE(windows.errorLog.loaded);
    EXPECT_EQ(windows.errorLog.unloads, 1);

    // A folder where the log should be is an access error: the same message.
    s.ProgramLogFileName = m_dir.path();
    m_dialogs.ExpectMessage("Unable to Display Program Log");
    DisplayProgramLog(s);
    EXPECT_FALSE(windows.programLog.loaded);

    // A fresh station: the default logs do not exist yet, nor perhaps their
    // folder. Each is the information message, never an empty viewer or an
    // error box.
    for (const QString& missing : {Path("gone.log"), Path("no/folder/gone.log")}) {
        m_dialogs.Clear();
        s.ProgramLogFileName = missing;
        s.ErrorLogFileName = missing;
        m_dialogs.ExpectMessage("Unable to Display Program Log")
            .ExpectMessage("Unable to Display Error Log");
        DisplayProgramLog(s);
        EXPECT_FALSE(windows.programLog.loaded) << missing.toStdString();
        DisplayErrorLog(s);
        EXPECT_FALSE(windows.errorLog.loaded) << missing.toStdString();
        for (const MessageRequest& box : m_dialogs.Messages())
            EXPECT_EQ(box.icon, MsgIcon::Information) << box.title.toStdString();
    }

    // A pipe or a runaway file in the log's place is refused the same way,
    // without waiting for a writer or reading it whole.
    const QString pipe = Path("pipe.log");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString huge = Path("huge.log");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(textfile::kMostBytes + 1));  // sparse: costs no disk
    }
    for (const QString& unreadable : {pipe, huge}) {
        s.ErrorLogFileName = unreadable;
        m_dialogs.ExpectMessage("Unable to Display Error Log");
        DisplayErrorLog(s);
        EXPECT_FALSE(windows.errorLog.loaded) << unreadable.toStdString();
    }
}

}  // namespace
