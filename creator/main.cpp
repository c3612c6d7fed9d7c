#include "AboutForm.h"
#include "AudioEngine.h"
#include "ClockModule.h"
#include "CommonModule.h"
#include "CreatorForm.h"
#include "CreatorModule.h"
#include "KeywordModule.h"
#include "ProgramStart.h"
#include "RecentFiles.h"
#include "SchedulerModule.h"
#include "Twips.h"
#include "Version.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

using namespace sonavel;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonavel Creator"));
    QApplication::setApplicationVersion(QString::fromLatin1(kSonavelVersion));

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
    // A store that fails here ends the program with its message, not with
    // an exception nobody catches.
    if (!ReadSettingsAtStart(session, exitCode)) return exitCode;

    // The stored size and place only count for a normal window.
    WindowPlacement placement = ReadWindowPlacement(form);
    placement.WindowState = session.Creator.Window.WindowState;
    if (placement.WindowState == 0) placement = session.Creator.Window;
    ApplyWindowPlacement(form, placement);
    if (session.Creator.DisplaySplash) {
        AboutForm::ShowSplash(Product::Creator, QString::fromLatin1(kSonavelVersion), &form);
    }
    form.show();

    ClockEditor& editor = form.Editor();
    editor.Saved = true;
    editor.DefaultClockLoaded = editor.LoadDefaultClock();
    ReadRecentFiles(session, QStringLiteral("Creator"), form.Entries());

    form.onClose = [&] {
        ClosingWindow closing;
        closing.placement = ReadWindowPlacement(form);
        closing.restoreNormal = [&] { form.showNormal(); };
        closing.closeSecondaryWindows = [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window != &form && window->isVisible()) window->close();
            }
        };
        return CreatorShutdown(session, editor, closing);
    };
    return QApplication::exec();
}
