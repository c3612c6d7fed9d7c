#include "AudioEngine.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "CreatorModule.h"
#include "KeywordModule.h"
#include "Paths.h"
#include "ProgramOptions.h"
#include "ProgramStart.h"
#include "SchedulerModule.h"
#include "SignalWatch.h"
#include "Version.h"

#include <QApplication>
#include <QFile>
#include <QWidget>
#include <cstdio>
#include <optional>

using namespace sonavel;

int main(int argc, char** argv) {
    // Answered before a display, the settings or the lock are touched.
    const ProgramCommandLine commandLine{
        QStringLiteral("sonavel-creator"),
        QStringLiteral(
            "Edits a Sonavel station's clocks and keywords and writes the week's 168 hourly\n"
            "playlists, in a window. Only one copy runs at a time. The settings are in\n"
            "$XDG_CONFIG_HOME/Sonavel/settings.db, the clocks, playlists and logs in the\n"
            "program folder $XDG_DATA_HOME/Sonavel. SIGTERM, SIGINT and SIGHUP end it\n"
            "without asking; a clock with unsaved changes is kept in a recovery file that\n"
            "the next start names.")};
    if (const std::optional<int> status = AnswerCommandLine(argc, argv, commandLine))
        return *status;

    EnsureRuntimeFolder();
    QApplication app(argc, argv);
    // The window class the desktop entry's StartupWMClass names; titles and
    // boxes carry the program's own name.
    QApplication::setApplicationName(QStringLiteral("sonavel-creator"));
    QApplication::setApplicationVersion(QString::fromLatin1(kSonavelVersion));
    // The desktop matches the window to its entry, and so to its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.sonavel.Creator"));
    QApplication::setWindowIcon(ProgramIcon(Product::Creator));

    int exitCode = 0;
    auto services = ProgramServices::Start(Product::Creator, exitCode);
    if (!services) return exitCode;
    Session& session = services->GetSession();

    KeywordModule keywords(session);
    ClockModule clocks(session, keywords);
    SchedulerModule scheduler(session, keywords, clocks);
    // Creator only measures sound files: its engine never opens a device.
    AudioEngine audio;
    CreatorForm form(session, keywords, clocks, audio);
    form.SetScheduler(&scheduler);
    WidgetMainWindow mainWindow(form, Product::Creator);

    ClockEditor& editor = form.Editor();
    bool started = false;
    form.onClose = [&] {
        // Until the start-up is through, the settings may not have been read:
        // there is nothing to save and nothing may be written.
        if (!started) return true;
        ClosingWindow closing;
        closing.placement = mainWindow.Placement();
        closing.restoreNormal = [&] { form.showNormal(); };
        closing.closeSecondaryWindows = [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window != &form && window->isVisible()) window->close();
            }
        };
        if (!form.EndedBySignal()) return CreatorShutdown(session, editor, closing);
        const KeptClock kept = CreatorShutdownOnSignal(session, editor, form, closing);
        // Standard error reaches the journal or the terminal; nobody may see a box.
        if (!kept.file.isEmpty())
            std::fprintf(stderr, "sonavel-creator: the unsaved clock was kept in %s\n",
                         QFile::encodeName(kept.file).constData());
        if (!kept.problem.isEmpty())
            std::fprintf(stderr, "sonavel-creator: %s\n", kept.problem.toLocal8Bit().constData());
        return true;
    };
    // The system's end (a shut-down, Ctrl-C, the terminal closing) is a clean
    // one, also while a box of the start-up is open.
    SignalWatch watch([&form] { form.EndOnSignal(); });
    if (!StartCreator(session, editor, mainWindow, form.Entries(), exitCode)) return exitCode;
    if (form.EndedBySignal()) return 0;
    started = true;
    return QApplication::exec();
}
