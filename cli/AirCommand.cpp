#include "AirCommand.h"

#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "CommonModule.h"
#include "ConsoleDialogs.h"
#include "ErrorModule.h"
#include "Events.h"
#include "LoudnessGain.h"
#include "PlayerSoundOutput.h"
#include "RunningCopy.h"
#include "Session.h"
#include "SettingsStore.h"
#include "SignalWatch.h"
#include "Streaming.h"
#include "StreamingSettings.h"
#include "SystemdNotify.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <memory>

namespace sonavel {

AirSession::AirSession(Session& session, MediaPlayer& player1, MediaPlayer& player2)
    : m_session(session), m_engine(session, player1, player2, *this) {
    m_engine.Unattended = true;
}

bool AirSession::Start(int& exitCode) {
    return StartPlayer(m_session, m_engine, *this, exitCode, PlayerStartKind::OnAir);
}

void AirSession::Tick() {
    // The engine's tick tries a silent hour again by itself.
    m_engine.UpdateDisplay();
}

void AirSession::Stop() {
    LogEvent(m_session, QStringLiteral("Program Ended"));
    m_engine.StopForExit();
}

int AirRun(const AirOptions& options, QTextStream& out, QTextStream& err) {
    // Watched from the start: a signal before the programme is on air ends
    // the run as cleanly as one during it, the air check closed whole.
    std::function<void()> onSignal;
    SignalWatch watch([&onSignal] {
        if (onSignal) onSignal();
    });
    const StationPaths station = options.station ? *options.station : StationPaths::ForUser();
    // The same lock as the Player's window, beside the station's store: a
    // station never plays twice, however each copy was started.
    const QString lockPath =
        options.playerLock.isEmpty()
            ? RunningCopyLock::StationPath(station.settingsFile, QStringLiteral("player"))
            : options.playerLock;
    // What systemd hears about the run, when it started it.
    AirSupervision supervision(SystemdNotify::FromEnvironment());
    const auto waiting = [&](int attempt) {
        if (attempt == 1) {
            err << "sonavel: Sonavel Player is running (" << lockPath
                << "); going on air once it has ended.\n";
            err.flush();
        }
        supervision.Waiting(QStringLiteral("Waiting for Sonavel Player to end"),
                            options.waitForPlayer);
    };
    bool interrupted = false;
    const std::unique_ptr<RunningCopyLock> lock =
        TakeRunningCopyLock([&] { return std::make_unique<RunningCopyLock>(lockPath); },
                            {options.waitForPlayer, waiting}, interrupted);
    if (interrupted) return 0;
    if (!lock) {
        err << "sonavel: Sonavel Player is already running (" << lockPath << ").\n";
        err.flush();
        return 1;
    }

    // The recording is created before anything goes on air: an air check
    // that cannot be written is known now, not after an hour of programme.
    AudioEngine audio(EngineConfig{options.silentOutput ? OutputKind::Paced : OutputKind::Device,
                                   300, options.capture});
    if (!options.capture.isEmpty() && !audio.CaptureError().isEmpty()) {
        err << "sonavel: cannot record the air check: " << audio.CaptureError() << '\n';
        err.flush();
        return 1;
    }

    const std::unique_ptr<SettingsStore> store = OpenStationStore(station, err);
    if (!store) return 1;
    QString noInput;
    QTextStream in(&noInput, QIODevice::ReadOnly);
    ConsoleDialogs dialogs(in, err, ConsoleDialogs::Answering::Refuse);
    SystemClock clock;
    Session session(Product::Player, station.programFolder, *store, dialogs, clock);
    WriteDefaultsIfFresh(session, station, err);
    session.ProgramLogEcho = [&out](const QString& line) {
        out << line << '\n';
        out.flush();
    };
    UseSoundDevice(session, audio, options.device, [&err](const QString& text) {
        err << "sonavel: " << text << '\n';
        err.flush();
    });

    // The stream goes before the engine it taps; it starts before the
    // programme, so the first element's title is its own.
    Streaming streaming(session, audio);
    std::vector<StreamTarget> streams = options.streams;
    if (streams.empty()) {
        try {
            if (auto stored = TargetFromSettings(ReadStreamingSettings(session)))
                streams.push_back(*stored);
        } catch (const RuntimeError&) {
            // A store that cannot be read keeps the stream off, never the air.
        }
    }
    streaming.Start(streams);

    // Each element at the station's loudness when it asks for that; built
    // before the players, which ask it as they open and start their files.
    LoudnessGain loudness(session);
    int status = 0;
    {
        AudioMediaPlayer player1(audio);
        AudioMediaPlayer player2(audio);
        player1.SetGainSource(&loudness);
        player2.SetGainSource(&loudness);
        AirSession air(session, player1, player2);
        ReportOutput(session, audio, air.Engine(), [&err](const QString& text) {
            err << "sonavel: " << text << '\n';
            err.flush();
        });
        air.Engine().ElementStarted = [&streaming](const QString& element) {
            streaming.Title(element);
        };
        supervision.Watch([&audio] { return audio.Frame(); },
                          [&air] { return air.Engine().Display().statusElement; });
        QEventLoop loop;
        QTimer tick;
        tick.setInterval(250);
        bool ended = false;
        bool refused = false;  // the settings could not be read: nothing went on air
        // The time being up or a signal may come at any moment, also inside
        // a wait of the engine nested in a switch: the programme ends there,
        // and the waits it is nested in return at once instead of running to
        // their bounds.
        const auto end = [&] {
            if (ended) return;
            ended = true;
            supervision.Stopping();
            tick.stop();
            if (!refused) air.Stop();
            AbandonWaits();
            loop.quit();
        };
        onSignal = end;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            air.Tick();
            if (air.EndRequested()) end();
        });
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, end);
        if (options.seconds > 0) deadline.start(static_cast<int>(options.seconds * 1000));
        // Started from the loop, so a signal during the first load is served.
        QTimer::singleShot(0, &loop, [&] {
            if (SignalWatch::Received()) {
                // Asked to end before anything went on air.
                refused = true;
                end();
                return;
            }
            if (air.Start(status)) {
                if (!ended) tick.start();
                return;
            }
            // A start-up the operator's end cut short is a clean end; one
            // that failed on its own ends the run as a failure.
            if (status != 0) {
                refused = true;
            } else if (!ended) {
                status = 1;
            }
            end();
        });
        loop.exec();
        end();
        onSignal = nullptr;
        ResumeWaits();
        if (refused) return status;
        // The output stops here; what still sounded is accounted for in the
        // as-run log up to the last frame that went out.
        audio.Finish();
        DoEvents();
    }
    // What the stream still holds reaches the listeners before the engine stops.
    std::vector<std::pair<QString, StreamOutput::Counters>> streamed;
    for (const auto& output : streaming.Outputs()) {
        output->Stop();
        streamed.emplace_back(output->Target().Url(), output->Stats());
    }
    streaming.Stop();
    audio.Finish();
    const EngineStats stats = audio.Stats();
    // The engine counts every start that came after the previous element had
    // ended: the silence a listener would have heard between elements.
    if (stats.output.isEmpty()) {
        out << "Output: nothing was played\n";
    } else {
        out << "Output: " << stats.output << ", " << stats.framesRendered << " frames at "
            << stats.rate << " Hz; late starts " << stats.gaps << " (" << stats.gapFrames
            << " frames of gap), underruns " << stats.underrunFrames << " frames, stalls "
            << stats.stalls << " (" << QString::number(stats.stalledSeconds, 'f', 1) << " s)\n";
    }
    for (const auto& [url, counters] : streamed) {
        out << "Stream to " << url << ": " << counters.framesSent << " frames sent, "
            << counters.framesDropped << " dropped, " << counters.connections << " connections in "
            << counters.attempts << " attempts\n";
    }
    out.flush();
    if (!options.capture.isEmpty()) {
        if (!stats.captureError.isEmpty()) {
            err << "sonavel: the air check is incomplete: " << stats.captureError << '\n';
            err.flush();
            return 1;
        }
        out << "Air check recorded in " << options.capture << '\n';
        out.flush();
    }
    return status;
}

}  // namespace sonavel
