#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "Events.h"
#include "Paths.h"
#include "PlayerForm.h"
#include "PlayerModule.h"
#include "PlayerSoundOutput.h"
#include "ProgramStart.h"
#include "QtDialogs.h"
#include "SignalWatch.h"
#include "Streaming.h"
#include "StreamingSettings.h"
#include "Version.h"

#include <QApplication>
#include <memory>

using namespace sonavel;

int main(int argc, char** argv) {
    // First of all: a shut-down of the machine or a closed terminal during
    // the start-up still ends the program cleanly.
    SignalWatch::CatchEarly();
    EnsureRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonavel Player"));
    QApplication::setApplicationVersion(QString::fromLatin1(kSonavelVersion));
    // The desktop matches the window to its entry, and so to its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.sonavel.Player"));
    // The window spends much of its life hidden in the tray, where closing a
    // log viewer would otherwise end the program without its shut-down.
    QApplication::setQuitOnLastWindowClosed(false);

    // Until the window exists, a signal closes whatever box the start-up
    // shows and the program ends once the start-up has returned.
    PlayerForm* window = nullptr;
    SignalWatch watch([&window] {
        if (window) {
            window->EndOnSignal();
        } else {
            AbandonWaits();
            CloseModalBoxes();
        }
    });

    // The session starts with both logs and error-report suppression off;
    // they stay so until the settings are read.
    int exitCode = 0;
    auto services = ProgramServices::Start(Product::Player, exitCode);
    if (!services || SignalWatch::Received()) return exitCode;
    Session& session = services->GetSession();

    // The program's one audio engine and the two players on it outlive the window.
    AudioEngine audio;
    UseSoundDevice(session, audio);
    // The stream taps the engine: it goes before it. It starts before the
    // programme, so the first element's title is its own.
    Streaming streaming(session, audio);
    try {
        streaming.UseSettings(ReadStreamingSettings(session));
    } catch (const RuntimeError&) {
        // A store that cannot be read keeps the stream off, never the air.
    }
    AudioMediaPlayer player1(audio);
    AudioMediaPlayer player2(audio);
    auto form = std::make_unique<PlayerForm>(session, &player1, &player2);
    PlayerEngine engine(session, form->MediaPlayer1(), form->MediaPlayer2(), *form);
    form->SetEngine(&engine);
    form->SetStreaming(&streaming);
    engine.ElementStarted = [&streaming](const QString& element) { streaming.Title(element); };
    ReportOutput(session, audio, engine);
    window = form.get();
    const int result = RunPlayer(session, *form, engine);
    window = nullptr;
    // The output stops here; what still sounded is accounted for in the
    // as-run log up to the last frame that went out.
    audio.Finish();
    DoEvents();
    // A signal's end is thanked by nobody: no one may be there to click.
    const bool ended = form->IsUnloaded() && !form->EndedBySignal();
    form->SetEngine(nullptr);
    form->SetStreaming(nullptr);
    form.reset();
    // Only a shut-down the operator went through is thanked; first-time use
    // and an aborted start-up leave without a word.
    if (ended) {
        session.Dlg().MsgBox(QStringLiteral("Thank you for using Sonavel!"), MsgButtons::OK,
                             MsgIcon::None, QString());
    }
    return result;
}
