#pragma once

#include "Dialogs.h"
#include "RuntimeError.h"
#include "Session.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>

namespace sonavel {

// The error trap every procedure runs under. Each statement of the body is
// passed to operator(); a RuntimeError it throws is first offered to the
// handlers registered for its number (handled in place, then the procedure is
// left), otherwise reported with ReportError:
//   Abort/Cancel - the procedure is left, nothing further of it runs;
//   Retry        - the statement runs again;
//   Ignore       - the next statement runs.
//
//   ErrorTrap trap(session, "SetErrorLog", "ErrorLogFileName", [&] { return path; });
//   return trap.Run([&] {
//       trap([&] { ... });
//       trap([&] { ... });
//   });
class ErrorTrap {
  public:
    using DataFn = std::function<QString()>;
    using InPlaceHandler = std::function<void(const RuntimeError&)>;

    ErrorTrap(Session& session, QString procedure, QString variable = QStringLiteral("Unknown"),
              DataFn data = {});

    // Errors with this number skip the dialog: the handler runs and the procedure ends.
    ErrorTrap& On(std::int32_t number, InPlaceHandler handler);
    // Cancel of a file or printer dialog ends the procedure without a word.
    ErrorTrap& EndSilentlyOnCancel();
    // Every error not handled by number ends the procedure without a word.
    ErrorTrap& EndSilentlyOnOthers();

    // Runs the body; true when it ran to its end, false when it was left.
    bool Run(const std::function<void()>& body);
    void operator()(const std::function<void()>& statement);

  private:
    struct Leave {};
    void Handle(const RuntimeError& error, bool canResume, bool& retry);

    Session& m_session;
    QString m_procedure;
    QString m_variable;
    DataFn m_data;
    std::map<std::int32_t, InPlaceHandler> m_inPlace;
    bool m_silentOthers = false;
};

// Shows the error dialog for the pending error, writes the response line and
// the log entry, and returns the operator's answer.
MsgResult ReportError(Session& session, const RuntimeError& pending, const QString& ProcedureName,
                      const QString& VariableName, const QString& VariableData);
// The text of the error dialog.
QString ErrorMessageText(Session& session, const RuntimeError& pending,
                         const QString& ProcedureName, const QString& VariableName,
                         const QString& VariableData);

// The two logs never raise: a log that cannot be written costs its lines,
// never the caller's work (in Player, the programme on air). The first
// failure of a run of them is told on standard error and in the other log,
// when that one can still be written.
void LogError(Session& session, std::int32_t ErrorNumber, const QString& Source,
              const QString& Description, const QString& Module, const QString& VariableName,
              const QString& VariableData);
void LogEvent(Session& session, const QString& Description);

// A line for whoever watches the program: the terminal it was started from,
// or the journal of its service. Written at once, after the program's name.
void TellStandardError(const QString& text);
// Tests take the lines instead; an empty catcher gives them back to standard
// error. Returns the catcher that was in place.
using StandardErrorCatcher = std::function<void(const QString& text)>;
StandardErrorCatcher CatchStandardError(StandardErrorCatcher catcher);

// Date and time as the logs write them: the locale's short date with a
// four-digit year, and its long time.
QString LogDate(const QDateTime& when);
QString LogDate(const QDateTime& when, const QLocale& locale);
QString LogTime(const QDateTime& when);
// A number as the runtime's number-to-text conversion writes it: a blank
// before a non-negative number.
QString SignedNumberText(std::int64_t number);

void SetErrorLog(Session& session);
void SetProgramLog(Session& session);
void DisplayErrorLog(Session& session);
void DisplayProgramLog(Session& session);
void ClearErrorLog(Session& session);
void ClearProgramLog(Session& session);
void SaveErrorLogFile(Session& session);
void SaveProgramLogFile(Session& session);

}  // namespace sonavel
