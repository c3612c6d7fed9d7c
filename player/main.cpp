#include "AboutForm.h"
#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "CommonModule.h"
#include "ErrorModule.h"
#include "PlayerForm.h"
#include "PlayerModule.h"
#include "ProgramStart.h"
#include "Twips.h"

#include <QApplication>
#include <memory>

using namespace sonavel;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonavel Player"));
    QApplication::setApplicationVersion(QStringLiteral(SONAVEL_VERSION));
    // The window spends much of its life hidden in the tray, where closing a
    // log viewer would otherwise end the program without its shut-down.
    QApplication::setQuitOnLastWindowClosed(false);

    // The session starts with both logs and error-report suppression off;
    // they stay so until the settings are read.
    int exitCode = 0;
    auto services = ProgramServices::Start(Product::Player, exitCode);
    if (!services) return exitCode;
    Session& session = services->GetSession();

    // The program's one audio engine and the two players on it outlive the window.
    AudioEngine audio;
    AudioMediaPlayer player1(audio);
    AudioMediaPlayer player2(audio);
    auto form = std::make_unique<PlayerForm>(session, &player1, &player2);
    PlayerEngine engine(session, form->MediaPlayer1(), form->MediaPlayer2(), *form);
    form->SetEngine(&engine);
    QObject::connect(form.get(), &PlayerForm::Unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    bool firstUse = false;
    bool startHidden = false;
    ErrorTrap trap(session, QStringLiteral("Main"));
    const bool started = trap.Run([&] {
        trap([&] { form->SetApplicationLabel(session.FullName()); });
        trap([&] { firstUse = !ReadPlayerSettings(session); });
        // First-time use has asked for a restart.
        if (firstUse) return;
        trap([&] { engine.ApplySettings(); });
        trap([&] { LogEvent(session, QStringLiteral("Program Loaded")); });
        if (session.Player.DisplaySplash) {
            trap([&] {
                AboutForm::ShowSplash(Product::Player, QStringLiteral(SONAVEL_VERSION), form.get());
            });
        }
        trap([&] {
            const WindowPlacement& stored = session.Player.Window;
            if (stored.Width > 0 && stored.Height > 0) {
                WindowPlacement normal = stored;
                normal.WindowState = 0;
                ApplyWindowPlacement(*form, normal);
            }
        });
        startHidden = session.Player.StartHidden;
        trap([&] {
            if (startHidden) {
                form->HidePlayer();
            } else {
                form->ShowPlayer();
            }
        });
        trap([&] { engine.SetPlayListNotLoaded(); });
        trap([&] { engine.DisablePlayer(1); });
        trap([&] { engine.DisablePlayer(2); });
        trap([&] { form->SetTrayTip(QStringLiteral("Sonavel Player")); });
        if (engine.AutomaticMode) {
            trap([&] {
                if (engine.GetCurrentHourPlaylist()) engine.StartPlaylist();
            });
        } else {
            trap([&] { engine.SetPlayListNotLoaded(); });
            trap([&] { engine.ShowRecentFiles(); });
        }
        if (!startHidden) trap([&] { form->ShowPlayer(); });
    });
    if (!started || firstUse) {
        form->SetEngine(nullptr);
        return 0;
    }

    const int result = QApplication::exec();
    form->SetEngine(nullptr);
    form.reset();
    session.Dlg().MsgBox(QStringLiteral("Thank you for using Sonavel!"), MsgButtons::OK,
                         MsgIcon::None, QString());
    return result;
}
