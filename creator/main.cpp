#include "AudioEngine.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "CreatorModule.h"
#include "KeywordModule.h"
#include "Paths.h"
#include "ProgramStart.h"
#include "SchedulerModule.h"
#include "Version.h"

#include <QApplication>
#include <QWidget>

using namespace sonavel;

int main(int argc, char** argv) {
    EnsureRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonavel Creator"));
    QApplication::setApplicationVersion(QString::fromLatin1(kSonavelVersion));
    // The desktop matches the window to its entry, and so to its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.sonavel.Creator"));

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
    if (!StartCreator(session, form.Editor(), mainWindow, form.Entries(), exitCode)) {
        return exitCode;
    }

    ClockEditor& editor = form.Editor();
    form.onClose = [&] {
        ClosingWindow closing;
        closing.placement = mainWindow.Placement();
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
