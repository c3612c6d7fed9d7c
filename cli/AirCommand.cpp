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
    const QTime now = m_session.Time().Now().time();
    m_lastTry = now.hour() * 60 + now.minute();
    const bool started = StartPlayer(m_session, m_engine, *this, exitCode, PlayerStartKind::OnAir);
    m_wasRunning = m_engine.PlayerRunning;
    return started;
}

void AirSession::TryHourPlaylist() {
    const QTime now = m_session.Time().Now().time();
    m_lastTry = now.hour() * 60 + now.minute();
    if (m_engine.GetCurrentHourPlaylist()) m_engine.StartPlaylist();
    m_wasRunning = m_engine.PlayerRunning;
}

void AirSession::Tick() {
    m_engine.UpdateDisplay();
    const bool wasRunning = m_wasRunning;
    m_wasRunning = m_engine.PlayerRunning;
    if (m_engine.PlayerRunning) return;
    const QTime now = m_session.Time().Now().time();
    const int minute = now.hour() * 60 + now.minute();
    // A list that has just stopped was tried by the engine itself, at the
    // hour change or at its end: the next try is due a minute later.
    if (wasRunning) m_lastTry = minute;
    if (minute != m_lastTry) TryHourPlaylist();
    m_wasRunning = m_engine.PlayerRunning;
}

void AirSession::Stop() {
    LogEvent(m_session, QStringLiteral("Program Ended"));
    m_engine.StopForExit();
}

int AirRun(const AirOptions& options, QTextStream& out, QTextStream& err) {
    const StationPaths station = options.station ? *options.station : StationPaths::ForUser();
    // The same lock as the Player's window: a station never plays twice.
    const QString lockPath = options.playerLock.isEmpty()
                                 ? RunningCopyLock::DefaultPath(QStringLiteral("player"))
                                 : options.playerLock;
    RunningCopyLock lock(lockPath);
    if (lock.AlreadyRunning()) {
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
            tick.stop();
            if (!refused) air.Stop();
            AbandonWaits();
            loop.quit();
        };
        SignalWatch watch(end);
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
        ResumeWaits();
        if (refused) return status;
    }
    audio.Finish();
    const EngineStats stats = audio.Stats();
    // The engine counts every start that came after the previous element had
    // ended: the silence a listener would have heard between elements.
    if (stats.output.isEmpty()) {
        out << "Output: nothing was played\n";
    } else {
        out << "Output: " << stats.output << ", " << stats.framesRendered << " frames at "
            << stats.rate << " Hz; late starts " << stats.gaps << " (" << stats.gapFrames
            << " frames of gap), underruns " << stats.underrunFrames << " frames\n";
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
