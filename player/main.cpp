#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "Events.h"
#include "LoudnessGain.h"
#include "Paths.h"
#include "PlayerForm.h"
#include "PlayerModule.h"
#include "PlayerSoundOutput.h"
#include "ProgramOptions.h"
#include "ProgramStart.h"
#include "QtDialogs.h"
#include "SignalWatch.h"
#include "Streaming.h"
#include "StreamingSettings.h"
#include "Version.h"

#include <QApplication>
#include <memory>
#include <optional>

using namespace sonavel;

int main(int argc, char** argv) {
    // First of all: a shut-down of the machine or a closed terminal during
    // the start-up still ends the program cleanly.
    SignalWatch::CatchEarly();
    // Answered before a display, the settings or the lock are touched, so a
    // question about the program never puts the station on air.
    const ProgramCommandLine commandLine{
        QStringLiteral("sonavel-player"),
        QStringLiteral(
            "Puts a Sonavel station on air from the week's hourly playlists, in a window\n"
            "with the operator's commands and a tray icon. Only one copy runs at a time,\n"
            "and not while 'sonavel air' has the station on air. The settings are in\n"
            "$XDG_CONFIG_HOME/Sonavel/settings.db, the playlists and logs in the program\n"
            "folder $XDG_DATA_HOME/Sonavel. SIGTERM, SIGINT and SIGHUP end it as Exit\n"
            "does, without asking.")};
    if (const std::optional<int> status = AnswerCommandLine(argc, argv, commandLine))
        return *status;

    EnsureRuntimeFolder();
    QApplication app(argc, argv);
    // The window class the desktop entry's StartupWMClass names; titles and
    // boxes carry the program's own name.
    QApplication::setApplicationName(QStringLiteral("sonavel-player"));
    QApplication::setApplicationVersion(QString::fromLatin1(kSonavelVersion));
    // The desktop matches the window to its entry, and so to its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.sonavel.Player"));
    QApplication::setWindowIcon(ProgramIcon(Product::Player));
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
    // Each element at the station's loudness when it asks for that.
    LoudnessGain loudness(session);
    AudioMediaPlayer player1(audio);
    AudioMediaPlayer player2(audio);
    player1.SetGainSource(&loudness);
    player2.SetGainSource(&loudness);
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
