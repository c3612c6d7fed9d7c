#include "ErrorModule.h"

#include "CommonModule.h"
#include "FormatModule.h"
#include "ProgramSettings.h"
#include "TextFile.h"
#include "Windows.h"

#include <QFile>
#include <QLocale>

#include <unistd.h>
#include <cerrno>

namespace sonavel {

namespace {

const QString kLogFilter = QStringLiteral("Sonavel Logs (*.log)|*.log|All Files (*.*)|*.*|");
const QString kBackupFilter =
    QStringLiteral("Sonavel Log Backup (*.bak)|*.bak|All Files (*.*)|*.*|");

QString Stamp(const Session& session) {
    const QDateTime now = session.Time().Now();
    return LogDate(now) + QLatin1Char(' ') + LogTime(now);
}

StandardErrorCatcher& Catcher() {
    static StandardErrorCatcher catcher;
    return catcher;
}

// Appends to one of the two logs; never raises. The first failure of a run
// is told on standard error and in the other log. That one's own failure is
// then told once in turn, so the two cannot call each other without end.
void AppendToLog(Session& session, bool errorLog, const QStringList& lines) {
    const QString file = errorLog ? session.ErrorLogFileName : session.ProgramLogFileName;
    bool& failing = errorLog ? session.ErrorLogFailing : session.ProgramLogFailing;
    std::int32_t number = err::kPathFileAccess;
    QString reason;
    try {
        textfile::AppendLines(file, lines);
        failing = false;
        return;
    } catch (const FileWriteError& error) {
        number = error.Number();
        reason = error.Reason();
    } catch (const std::exception& error) {
        reason = QString::fromLocal8Bit(error.what());
    }
    if (failing) return;
    failing = true;
    const QString text = (errorLog ? QStringLiteral("Error log") : QStringLiteral("Program log")) +
                         QStringLiteral(" could not be written: ") + file + QStringLiteral(" (") +
                         reason + QStringLiteral(")");
    TellStandardError(text);
    if (errorLog) {
        LogEvent(session, text);
    } else {
        LogError(session, number, QStringLiteral("Sonavel"), text, QStringLiteral("LogEvent"),
                 QStringLiteral("ProgramLogFileName"), file);
    }
}

// Writes lines to the error log under the logging rules: nothing when logging
// is off, the "Unable to Log Error" message when no file is set.
void WriteErrorLog(Session& session, const QStringList& lines) {
    if (!session.ErrorLoggingEnabled) return;
    if (session.ErrorLogFileName.isEmpty()) {
        ShowInformation(session,
                        QStringLiteral("An error has occurred, but ") + session.FullName() +
                            QStringLiteral(" is not able to log the error.") + kCrLf + kCrLf +
                            QStringLiteral("'Enable Error Logging' has been set, but no error "
                                           "log file has been set.") +
                            kCrLf +
                            QStringLiteral("Please select 'Set Error Log' from the 'Setting' "
                                           "menu and set up an error log file, or") +
                            kCrLf +
                            QStringLiteral("Disable 'Enable Error Logging' on the 'Logs' menu."),
                        QStringLiteral("Unable to Log Error"));
        return;
    }
    AppendToLog(session, true, lines);
}

QString ResponseText(MsgResult answer) {
    switch (answer) {
        case MsgResult::Retry:
            return QStringLiteral("Operation Retried");
        case MsgResult::Ignore:
            return QStringLiteral("Error Ignored");
        default:
            return QStringLiteral("Program and/or Function Aborted or Cancelled");
    }
}

// What differs between the two logs in the procedures that choose, show,
// clear and back them up.
struct LogKind {
    bool error;
    QString& fileName;
    const ProgramField& setting;
    QString defaultFileName;
    QString existsTitle;
    QString createdLine;
    QString createdTitle;
    QString createdText;
    QString setProcedure;
    QString variable;

    static LogKind Error(Session& s) {
        return {true,
                s.ErrorLogFileName,
                playerfield::ErrorLogFileName,
                QStringLiteral("Error.log"),
                QStringLiteral("Error Log Already Exists"),
                QStringLiteral("Error Log Created: "),
                QStringLiteral("Error Log Created"),
                QStringLiteral("You must enable error logging to use the new log file."),
                QStringLiteral("SetErrorLog"),
                QStringLiteral("ErrorLogFileName")};
    }
    static LogKind Program(Session& s) {
        return {false,
                s.ProgramLogFileName,
                playerfield::ProgramLogFileName,
                QStringLiteral("Sonavel.log"),
                QStringLiteral("Program Log Already Exists"),
                QStringLiteral("Program Log Created: "),
                QStringLiteral("Program Log Created"),
                QStringLiteral("You must enable program logging to use the new log file."),
                QStringLiteral("SetProgramLog"),
                QStringLiteral("ProgramLogFileName")};
    }
};

void SetLog(Session& session, LogKind kind) {
    ErrorTrap trap(session, kind.setProcedure, kind.variable, [&] { return kind.fileName; });
    trap.EndSilentlyOnCancel();
    trap.Run([&] {
        QString folder = session.ProgramFolder() + QStringLiteral("/Logs");
        QString name = kind.defaultFileName;
        if (!kind.fileName.isEmpty()) {
            folder = GetFilePath(kind.fileName);
            name = GetFileName(kind.fileName);
        }
        QString chosen;
        trap([&] {
            FileDialogRequest request;
            request.save = true;
            request.title = QStringLiteral("Set Program Log File");
            request.filter = kLogFilter;
            request.initialFolder = folder;
            request.fileName = name;
            request.flags = fileflag::kHideReadOnly;
            const auto answer = session.Dlg().FileDialog(request);
            if (!answer) throw MakeError(err::kDialogCancelled);
            chosen = *answer;
        });
        // The name is kept even if creating the file fails below, so the
        // operator sees in the options what was chosen.
        trap([&] {
            kind.fileName = chosen;
            WriteSetting(session, kPlayerSettings, kind.setting, chosen);
        });
        trap([&] {
            QFile existing(chosen);
            if (existing.open(QIODevice::ReadOnly)) {
                existing.close();
                const MsgResult append = session.Dlg().MsgBox(
                    QStringLiteral("Do You want to append to the existing log file?"),
                    MsgButtons::YesNo, MsgIcon::Question, kind.existsTitle);
                if (append == MsgResult::No) textfile::Truncate(chosen);
            } else {
                textfile::Truncate(chosen);
            }
        });
        trap([&] { textfile::AppendLine(chosen, kind.createdLine + Stamp(session)); });
        trap([&] {
            ShowInformation(session,
                            QStringLiteral("The ") +
                                (kind.error ? QStringLiteral("error") : QStringLiteral("program")) +
                                QStringLiteral(" log has been successfully set as: ") + kCrLf +
                                chosen + kCrLf + kind.createdText,
                            kind.createdTitle);
        });
    });
}

}  // namespace

// ---------------------------------------------------------------------------

ErrorTrap::ErrorTrap(Session& session, QString procedure, QString variable, DataFn data)
    : m_session(session),
      m_procedure(std::move(procedure)),
      m_variable(std::move(variable)),
      m_data(std::move(data)) {}

ErrorTrap& ErrorTrap::On(std::int32_t number, InPlaceHandler handler) {
    m_inPlace[number] = std::move(handler);
    return *this;
}

ErrorTrap& ErrorTrap::EndSilentlyOnCancel() {
    return On(err::kDialogCancelled, [](const RuntimeError&) {});
}

ErrorTrap& ErrorTrap::EndSilentlyOnOthers() {
    m_silentOthers = true;
    return *this;
}

void ErrorTrap::Handle(const RuntimeError& error, bool canResume, bool& retry) {
    retry = false;
    if (const auto it = m_inPlace.find(error.Number()); it != m_inPlace.end()) {
        it->second(error);
        throw Leave{};
    }
    if (m_silentOthers) throw Leave{};
    const QString data = m_data                                   ? m_data()
                         : m_variable == QLatin1String("Unknown") ? QStringLiteral("Unknown")
                                                                  : QString();
    const MsgResult answer = ReportError(m_session, error, m_procedure, m_variable, data);
    if (canResume && answer == MsgResult::Retry) {
        retry = true;
        return;
    }
    if (canResume && answer == MsgResult::Ignore) return;
    throw Leave{};
}

void ErrorTrap::operator()(const std::function<void()>& statement) {
    for (;;) {
        try {
            statement();
            return;
        } catch (const RuntimeError& error) {
            bool retry = false;
            Handle(error, true, retry);
            if (!retry) return;
        }
    }
}

bool ErrorTrap::Run(const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (const Leave&) {
        return false;
    } catch (const RuntimeError& error) {
        // An error outside a trapped statement has no statement to resume:
        // whatever the answer, the procedure ends.
        try {
            bool retry = false;
            Handle(error, false, retry);
        } catch (const Leave&) {
        }
        return false;
    }
}

// ---------------------------------------------------------------------------

QString SignedNumberText(std::int64_t number) {
    return number >= 0 ? QStringLiteral(" ") + QString::number(number) : QString::number(number);
}

QString LogDate(const QDateTime& when) {
    return LogDate(when, QLocale::system());
}

QString LogDate(const QDateTime& when, const QLocale& locale) {
    // The locale's short date, but with the whole year: many short formats
    // cut it to two digits ("12/5/26"), which a log kept for years must not.
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString fullYear;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted || c != QLatin1Char('y')) {
            fullYear += c;
            ++i;
            continue;
        }
        qsizetype run = 0;
        while (i + run < format.size() && format[i + run] == QLatin1Char('y'))
            ++run;
        fullYear += QStringLiteral("yyyy");
        i += run;
    }
    return locale.toString(when.date(), fullYear);
}

QString LogTime(const QDateTime& when) {
    // The locale's long time format, less its time-zone name ('t'), which the
    // logs have never carried.
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    QString withoutZone;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        withoutZone += c;
    }
    return QLocale::system().toString(when.time(), withoutZone.trimmed());
}

QString ErrorMessageText(Session& session, const RuntimeError& pending,
                         const QString& ProcedureName, const QString& VariableName,
                         const QString& VariableData) {
    return QStringLiteral("Error ") + QString::number(pending.Number()) + QLatin1Char(' ') +
           pending.Description() + kCrLf + QStringLiteral("Source: ") + pending.Source() + kCrLf +
           QStringLiteral("Program: ") + session.FullName() + kCrLf + QStringLiteral("Module: ") +
           ProcedureName + kCrLf + QStringLiteral("Variable: ") + VariableName +
           QStringLiteral(" (") + VariableData + QStringLiteral(")") + kCrLf + kCrLf +
           QStringLiteral("Click 'Abort' to end ") + ProcedureName + kCrLf + kCrLf +
           QStringLiteral("Or try to correct the problem and then...") + kCrLf + kCrLf +
           QStringLiteral("Click 'Retry' to attempt the operation again.") + kCrLf + kCrLf +
           QStringLiteral("Click 'Ignore' to ignore the error and attempt to continue.");
}

MsgResult ReportError(Session& session, const RuntimeError& pending, const QString& ProcedureName,
                      const QString& VariableName, const QString& VariableData) {
    if (session.SuppressErrorReporting) {
        LogError(session, pending.Number(), pending.Source(), pending.Description(), ProcedureName,
                 VariableName, VariableData);
        return MsgResult::Cancel;
    }
    const MsgResult answer = session.Dlg().MsgBox(
        ErrorMessageText(session, pending, ProcedureName, VariableName, VariableData),
        MsgButtons::AbortRetryIgnore, MsgIcon::Critical, session.FullName(), 2);
    WriteErrorLog(session, {QStringLiteral("    Error Response: ") + ResponseText(answer)});
    LogError(session, pending.Number(), pending.Source(), pending.Description(), ProcedureName,
             VariableName, VariableData);
    return answer;
}

void LogError(Session& session, std::int32_t ErrorNumber, const QString& Source,
              const QString& Description, const QString& Module, const QString& VariableName,
              const QString& VariableData) {
    if (!session.ErrorLoggingEnabled) return;
    // Numbers of platform components exceed 16 bits; they are logged whole
    // rather than cut, so the entry still names the real error.
    QStringList lines{Stamp(session) + session.FullName(),
                      QStringLiteral("    Error Number: ") + SignedNumberText(ErrorNumber),
                      QStringLiteral("    Error Source: ") + Source,
                      QStringLiteral("    Error Description: ") + Description};
    if (!Module.isEmpty()) lines << QStringLiteral("    Module: ") + Module;
    if (!VariableName.isEmpty()) lines << QStringLiteral("    Variable Name: ") + VariableName;
    if (!VariableData.isEmpty()) lines << QStringLiteral("    Variable Data: ") + VariableData;
    WriteErrorLog(session, lines);
}

void LogEvent(Session& session, const QString& Description) {
    if (session.GetProduct() != Product::Player) return;
    const QString line = Stamp(session) + QStringLiteral("  ") + Description;
    // The echo is the journal of a run without windows, logged to file or not.
    if (session.ProgramLogEcho) session.ProgramLogEcho(line);
    if (!session.ProgramLoggingEnabled || session.ProgramLogFileName.isEmpty()) return;
    // The journal is written from inside playback; a full disk or a vanished
    // log folder must cost the journal, never the programme on air.
    AppendToLog(session, false, {line});
}

void TellStandardError(const QString& text) {
    if (const StandardErrorCatcher& catcher = Catcher()) {
        catcher(text);
        return;
    }
    const QByteArray line =
        QByteArray(program_invocation_short_name) + ": " + text.toLocal8Bit() + '\n';
    // One write, unbuffered: the line is out even if the program is killed
    // next, and lines of two threads do not run into each other.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.constData(), line.size());
}

StandardErrorCatcher CatchStandardError(StandardErrorCatcher catcher) {
    std::swap(Catcher(), catcher);
    return catcher;
}

void SetErrorLog(Session& session) {
    SetLog(session, LogKind::Error(session));
}

void SetProgramLog(Session& session) {
    SetLog(session, LogKind::Program(session));
}

namespace {

void DisplayLog(Session& session, bool error) {
    const QString& fileName = error ? session.ErrorLogFileName : session.ProgramLogFileName;
    Windows* windows = session.GetWindows();
    if (!windows) return;
    LogViewer& viewer = error ? windows->ErrorLogForm() : windows->ProgramLogForm();
    const QString what = error ? QStringLiteral("Error") : QStringLiteral("Program");
    const QString prompt =
        error ? session.FullName() + QStringLiteral(" is unable to display the Error Log.") +
                    kCrLf + kCrLf +
                    QStringLiteral("The Error Log may not have been set or may be corrupted.") +
                    kCrLf + kCrLf +
                    QStringLiteral(
                        "Please select 'Set Error Log' from the 'Setting' menu and "
                        "set up an error log file.") +
                    kCrLf + kCrLf +
                    QStringLiteral(
                        "You must select 'Enable Error Logging' on the 'Logs' menu "
                        "to start logging errors.")
              : session.FullName() + QStringLiteral(" is unable to display the Program Log.") +
                    kCrLf + kCrLf +
                    QStringLiteral("The Program Log may not have been set or may be corrupted.") +
                    kCrLf + kCrLf +
                    QStringLiteral(
                        "Please select 'Set Error Log' from the 'Setting' menu and "
                        "set up an program log file.") +
                    kCrLf + kCrLf +
                    QStringLiteral(
                        "You must select 'Enable Program Logging' on the 'Logs' menu "
                        "to begin program logging.");
    auto unable = [&](const RuntimeError&) {
        ShowInformation(session, prompt,
                        QStringLiteral("Unable to Display ") + what + QStringLiteral(" Log"));
        viewer.Unload();
    };
    ErrorTrap trap(session, QStringLiteral("Display") + what + QStringLiteral("Log"),
                   error ? QStringLiteral("ErrorLogName") : QStringLiteral("ProgramLogName"),
                   [&] { return fileName; });
    // A log that was never written (a fresh station has none until the first
    // entry), or whose folder is gone, is a log that cannot be shown, not a
    // failure for the operator to abort, retry or ignore.
    for (const std::int32_t number : {err::kPathFileAccess, err::kFirstUserError,
                                      err::kFileNotFound, err::kPathNotFound, err::kBadFileName})
        trap.On(number, unable);
    if (!error) trap.EndSilentlyOnOthers();
    trap.Run([&] {
        trap([&] {
            if (fileName.isEmpty()) throw MakeError(err::kFirstUserError);
        });
        trap([&] { viewer.Load(); });
        trap([&] { viewer.SetText(textfile::ReadAll(fileName)); });
        trap([&] { viewer.SetCaption(fileName); });
        trap([&] { viewer.MoveCaretToTop(); });
    });
}

void ClearLog(Session& session, bool error) {
    const QString& fileName = error ? session.ErrorLogFileName : session.ProgramLogFileName;
    ErrorTrap trap(
        session, error ? QStringLiteral("ClearErrorLog") : QStringLiteral("ClearProgramLog"),
        error ? QStringLiteral("ErrorLogFileName") : QStringLiteral("ProgramLogFileName"),
        [&] { return fileName; });
    trap.Run([&] {
        MsgResult answer = MsgResult::No;
        trap([&] {
            answer = session.Dlg().MsgBox(
                (error ? QStringLiteral("Use 'Save Error Log' to save a copy of this log before "
                                        "clearing it.")
                       : QStringLiteral("Use 'Save Program Log' to save a copy of this log before "
                                        "clearing it.")) +
                    kCrLf + QStringLiteral("Are you sure you want to clear the log?"),
                MsgButtons::YesNo, MsgIcon::None, session.FullName(), 2);
        });
        if (answer == MsgResult::No) return;
        trap([&] { textfile::Truncate(fileName); });
        trap([&] { error ? DisplayErrorLog(session) : DisplayProgramLog(session); });
    });
}

void SaveLog(Session& session, bool error) {
    const QString& fileName = error ? session.ErrorLogFileName : session.ProgramLogFileName;
    ErrorTrap trap(
        session, error ? QStringLiteral("SaveErrorLogFile") : QStringLiteral("SaveProgramLogFile"),
        error ? QStringLiteral("ErrorLogFileName") : QStringLiteral("ProgramLogFileName"),
        [&] { return fileName; });
    trap.EndSilentlyOnCancel();
    trap.Run([&] {
        const QString proposed = !error && fileName.isEmpty()
                                     ? QStringLiteral("SonavelLog.bak")
                                     : RemoveExtension(fileName) + QStringLiteral(".bak");
        QString folder = GetFilePath(proposed);
        if (folder.isEmpty()) folder = session.ProgramFolder() + QStringLiteral("/Logs");
        QString chosen;
        trap([&] {
            FileDialogRequest request;
            request.save = true;
            request.title = QStringLiteral("Save Log File");
            request.filter = kBackupFilter;
            request.initialFolder = folder;
            request.fileName = GetFileName(proposed);
            request.flags =
                fileflag::kOverwritePrompt | fileflag::kHideReadOnly | fileflag::kPathMustExist;
            const auto answer = session.Dlg().FileDialog(request);
            if (!answer) throw MakeError(err::kDialogCancelled);
            chosen = *answer;
        });
        if (chosen != fileName) {
            trap([&] { textfile::WriteLines(chosen, textfile::ReadLines(fileName)); });
        } else {
            trap([&] {
                session.Dlg().MsgBox(QStringLiteral("You cannot save the current log file to "
                                                    "itself.") +
                                         kCrLf + QStringLiteral("Please select another name."),
                                     MsgButtons::OK, error ? MsgIcon::Information : MsgIcon::None,
                                     session.FullName());
            });
        }
    });
}

}  // namespace

void DisplayErrorLog(Session& session) {
    DisplayLog(session, true);
}
void DisplayProgramLog(Session& session) {
    DisplayLog(session, false);
}
void ClearErrorLog(Session& session) {
    ClearLog(session, true);
}
void ClearProgramLog(Session& session) {
    ClearLog(session, false);
}
void SaveErrorLogFile(Session& session) {
    SaveLog(session, true);
}
void SaveProgramLogFile(Session& session) {
    SaveLog(session, false);
}

}  // namespace sonavel
