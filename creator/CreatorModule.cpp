#include "CreatorModule.h"

#include "ClockModule.h"
#include "CommonModule.h"
#include "ErrorModule.h"
#include "RecentFiles.h"
#include "RuntimeError.h"
#include "SettingsStore.h"
#include "TextFile.h"

#include <QFileInfo>

namespace sonavel {

bool StartCreator(Session& session, ClockEditor& editor, MainWindow& window, NamedEntries& entries,
                  int& exitCode) {
    if (!ReadSettingsAtStart(session, exitCode)) return false;

    // The stored size and place only count for a normal window; otherwise the
    // window keeps its own and takes the state alone.
    WindowPlacement placement = window.Placement();
    placement.WindowState = session.Creator.Window.WindowState;
    if (placement.WindowState == 0) placement = session.Creator.Window;
    window.Place(placement);
    if (session.Creator.DisplaySplash) window.ShowSplash();
    window.ShowMain();

    editor.Saved = true;
    editor.DefaultClockLoaded = editor.LoadDefaultClock();
    ReadRecentFiles(session, QStringLiteral("Creator"), entries);
    NameRecoveredClocks(session);
    return true;
}

namespace {

// The unsaved clocks a signal's shut-down kept, until the next start names them.
const QString kRecoverySection = QStringLiteral("Creator Recovery");

// The settings as any exit leaves them, and the other windows closed.
void SaveAndCloseOnExit(Session& session, const ClosingWindow& window) {
    WindowPlacement placement = window.placement;
    if (placement.WindowState == 1) {
        if (window.restoreNormal) window.restoreNormal();
        placement.WindowState = 0;
    }
    if (session.Creator.SaveSettingsOnExit) {
        // A maximised window keeps the normal size it will come back to.
        WindowPlacement& stored = session.Creator.Window;
        stored.WindowState = placement.WindowState;
        if (placement.WindowState == 0) stored = placement;
        WriteRegistry(session);
    }
    if (window.closeSecondaryWindows) window.closeSecondaryWindows();
}

// A name in the program folder that no file has: the pane's own file name
// (or "New Clock") and the time, so a clock is found by what it was.
QString RecoveryPath(Session& session, const QString& paneFile) {
    const QFileInfo pane(paneFile);
    const bool rich = pane.suffix().compare(QLatin1String("rtf"), Qt::CaseInsensitive) == 0;
    const QString base = paneFile.isEmpty() ? QStringLiteral("New Clock") : pane.completeBaseName();
    const QString stem = session.ProgramFolder() + QLatin1Char('/') + base +
                         QStringLiteral(" (unsaved ") +
                         session.Time().Now().toString(QStringLiteral("yyyy-MM-dd HHmmss"));
    const QString suffix = rich ? QStringLiteral(".rtf") : QStringLiteral(".clk");
    QString path = stem + QLatin1Char(')') + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QStringLiteral(" %1)").arg(n) + suffix;
    return path;
}

}  // namespace

KeptClock CreatorShutdownOnSignal(Session& session, ClockEditor& editor, EditorWindow& pane,
                                  const ClosingWindow& window) {
    // Errors are logged instead of asked about: a box would hold the end
    // until the system kills the program.
    session.SuppressErrorReporting = true;
    KeptClock kept;
    if (!editor.Saved && !pane.EditText().isEmpty()) {
        const QString path = RecoveryPath(session, editor.CurrentPath());
        try {
            const QByteArray content = path.endsWith(QLatin1String(".rtf"))
                                           ? pane.EditRichText()
                                           : ClockModule::PlainClockContent(pane.EditText());
            ClockModule::WriteClockFile(path, content, false);
            kept.file = path;
        } catch (const RuntimeError& error) {
            kept.problem = QStringLiteral("The unsaved clock could not be kept in ") + path +
                           QStringLiteral(": ") + error.Description();
            try {
                LogError(session, error.Number(), error.Source(), error.Description(),
                         QStringLiteral("CreatorShutdownOnSignal"), QStringLiteral("Path"), path);
            } catch (const RuntimeError&) {
                // The log is in the same folder; the problem still reaches standard error.
            }
        }
        if (!kept.file.isEmpty()) {
            try {
                session.Store().SaveSetting(QString::fromLatin1(kAppName), kRecoverySection,
                                            kept.file, session.Time().Now().toString(Qt::ISODate));
            } catch (const StoreFailure& failure) {
                kept.problem = QStringLiteral("The unsaved clock was kept in ") + kept.file +
                               QStringLiteral(", but the next start cannot name it: ") +
                               failure.Reason();
            }
        }
    }
    SaveAndCloseOnExit(session, window);
    return kept;
}

void NameRecoveredClocks(Session& session) {
    const QString app = QString::fromLatin1(kAppName);
    QList<SettingRow> rows;
    try {
        if (!session.Store().SectionExists(app, kRecoverySection)) return;
        rows = session.Store().GetAllSettings(app, kRecoverySection);
    } catch (const StoreFailure&) {
        return;
    }
    QStringList files;
    for (const SettingRow& row : rows) {
        if (QFileInfo(row.first).isFile()) files << row.first;
    }
    if (!files.isEmpty()) {
        session.Dlg().MsgBox(
            QStringLiteral("Sonavel Creator was ended by the system while the clock being "
                           "edited had changes that were not saved. They were kept in:") +
                kCrLf + kCrLf + files.join(kCrLf) + kCrLf + kCrLf +
                QStringLiteral("Open the file to go on with those changes."),
            MsgButtons::OK, MsgIcon::Information, QStringLiteral("Unsaved Clock Kept"));
    }
    // Named once: a file named and left is the operator's own from now on.
    try {
        if (!rows.isEmpty()) session.Store().DeleteSection(app, kRecoverySection);
    } catch (const StoreFailure&) {
    }
}

bool CreatorShutdown(Session& session, ClockEditor& editor, const ClosingWindow& window) {
    if (ConfirmExit(session) == MsgResult::No) return false;

    // A Save As that was cancelled or failed keeps the program open as
    // Cancel does: the edits exist nowhere but in the pane.
    const bool stay = !editor.OfferToSave();
    SaveAndCloseOnExit(session, window);
    return !stay;
}

}  // namespace sonavel
