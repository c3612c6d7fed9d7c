#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "LoudnessGain.h"
#include "Paths.h"
#include "PlayerForm.h"
#include "PlayerModule.h"
#include "PlayerSoundOutput.h"
#include "ProgramStart.h"
#include "SignalWatch.h"
#include "Version.h"

#include <QApplication>
#include <memory>

using namespace sonavel;

int main(int argc, char** argv) {
    EnsureRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonavel Player"));
    QApplication::setApplicationVersion(QString::fromLatin1(kSonavelVersion));
    // The desktop matches the window to its entry, and so to its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.sonavel.Player"));
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
    UseSoundDevice(session, audio);
    // Each element at the station's loudness when it asks for that.
    LoudnessGain loudness(session);
    AudioMediaPlayer player1(audio);
    AudioMediaPlayer player2(audio);
    player1.SetGainSource(&loudness);
    player2.SetGainSource(&loudness);
    auto form = std::make_unique<PlayerForm>(session, &player1, &player2);
    PlayerEngine engine(session, form->MediaPlayer1(), form->MediaPlayer2(), *form);
    form->SetEngine(&engine);
    int result = 0;
    {
        SignalWatch watch([&form] { form->EndOnSignal(); });
        result = RunPlayer(session, *form, engine);
    }
    // A signal's end is thanked by nobody: no one may be there to click.
    const bool ended = form->IsUnloaded() && !form->EndedBySignal();
    form->SetEngine(nullptr);
    form.reset();
    // Only a shut-down the operator went through is thanked; first-time use
    // and an aborted start-up leave without a word.
    if (ended) {
        session.Dlg().MsgBox(QStringLiteral("Thank you for using Sonavel!"), MsgButtons::OK,
                             MsgIcon::None, QString());
    }
    return result;
}
