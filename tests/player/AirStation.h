#pragma once

#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "ErrorModule.h"
#include "Events.h"
#include "FakeClock.h"
#include "FakePlayerWindow.h"
#include "PlayerModule.h"
#include "ScriptedDialogs.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TestSounds.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <vector>

namespace sonavel {

// A station on air through Player's engine on the real audio engine: both
// players decode real files and play on the virtual output, which renders
// only when the station is told to play, with the clock moving on in step
// with the frames rendered. What aired is read back from the air check.
class AirStation {
  public:
    static constexpr int kRate = AudioEngine::kRate;
    static constexpr int kStepFrames = kRate / 100;  // the output renders 10 ms at a time

    AirStation() {
        EXPECT_TRUE(m_dir.isValid());
        QDir().mkpath(Path("Sonavel"));
        m_store = std::make_unique<SettingsStore>(Path("config/settings.db"));
        session =
            std::make_unique<Session>(Product::Player, Path("Sonavel"), *m_store, dialogs, clock);
        session->ProgramLoggingEnabled = true;
        session->ProgramLogFileName = Path("program.log");
        session->ErrorLoggingEnabled = true;
        session->ErrorLogFileName = Path("error.log");
        session->Player.PlaylistFolder = Path("Playlists");
        session->Player.TimeCheckFolder = Path("Time");
        QDir().mkpath(session->Player.PlaylistFolder);
        QDir().mkpath(session->Player.TimeCheckFolder);
        QDir().mkpath(Path("snd"));
        session->Player.Manual = false;
        // A Monday morning.
        clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 15, 0)));
    }
    ~AirStation() { End(); }
    AirStation(const AirStation&) = delete;
    AirStation& operator=(const AirStation&) = delete;

    QString Path(const QString& relative) const { return m_dir.filePath(relative); }
    QString Path(const char* relative) const { return Path(QString::fromUtf8(relative)); }

    // Element k sounds at its own level, alternating in sign, so every frame
    // of the air check tells which element it came from.
    static float LevelOf(int k) { return 0.1f + 0.02f * static_cast<float>(k); }
    // 0 for silence, k for element k, -1 for a sample no element holds.
    static int ElementOf(float sample) {
        if (sample == 0.0f) return 0;
        const int k = static_cast<int>(std::lround((std::fabs(sample) - 0.1f) / 0.02f));
        return k >= 1 && std::fabs(std::fabs(sample) - LevelOf(k)) < 1e-6f ? k : -1;
    }
    // A float WAV at the engine's rate: exactly what it holds reaches the mix.
    QString Sound(const QString& name, int k, double seconds) const {
        QString path = Path("snd/" + name + ".wav");
        const auto frames = static_cast<long>(std::lround(seconds * kRate));
        std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
        for (long f = 0; f < frames; ++f) {
            const float v = (f % 2 == 0 ? 1.0f : -1.0f) * LevelOf(k);
            samples[static_cast<std::size_t>(f) * 2] = v;
            samples[static_cast<std::size_t>(f) * 2 + 1] = v;
        }
        EXPECT_TRUE(testsounds::Write(path, samples, 2, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        return path;
    }
    // The announcement for a minute, as the time-check folder holds it.
    void Announcement(const QString& hhmm, int k, double seconds) const {
        const QString sound = Sound(QStringLiteral("time") + hhmm, k, seconds);
        QFile::copy(sound, session->Player.TimeCheckFolder + QLatin1Char('/') + hhmm +
                               QStringLiteral(".wav"));
    }
    // The as-run lines of the day, each split into its fields (no field here
    // holds a comma).
    std::vector<QStringList> AsRun() const {
        std::vector<QStringList> lines;
        QFile file(Path("Sonavel/Logs/AsRun-") + clock.Now().date().toString(Qt::ISODate) +
                   QStringLiteral(".csv"));
        if (!file.open(QIODevice::ReadOnly)) return lines;
        const QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
        for (const QString& row : rows.mid(1)) {
            if (!row.isEmpty()) lines.push_back(row.split(QLatin1Char(',')));
        }
        return lines;
    }
    void Playlist(const QString& token, const QStringList& lines) const {
        QFile file(session->Player.PlaylistFolder + QLatin1Char('/') + token +
                   QStringLiteral(".lst"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    }
    void At(const QTime& time) { clock.Set(QDateTime(clock.Now().date(), time)); }

    // Player on air in automatic mode, as its start-up puts it there.
    void Start() {
        audio =
            std::make_unique<AudioEngine>(EngineConfig{OutputKind::Virtual, 300, Path("air.wav")});
        player1 = std::make_unique<AudioMediaPlayer>(*audio);
        player2 = std::make_unique<AudioMediaPlayer>(*audio);
        engine = std::make_unique<PlayerEngine>(*session, *player1, *player2, window);
        engine->Unattended = true;
        engine->ApplySettings();
        audio->EnsureRunning();
        LogEvent(*session, QStringLiteral("Program Loaded"));
        if (engine->GetCurrentHourPlaylist()) engine->StartPlaylist();
        Serve();
    }
    // Plays on for this long: 10 ms rendered at a time, the clock moved on
    // with it, the players' reports served, and the display ticking every
    // 250 ms as the window's timer would.
    void Play(double seconds) {
        const long steps = std::lround(seconds * 100);
        for (long i = 0; i < steps; ++i) {
            audio->RenderVirtual(kStepFrames);
            clock.Advance(10);
            Serve();
            if (++m_steps % 25 == 0) engine->UpdateDisplay();
        }
    }
    static void Serve() {
        for (int i = 0; i < 3; ++i)
            DoEvents();
    }
    // "Program Ended", and the air check closed.
    void End() {
        if (engine && !engine->Ended()) {
            LogEvent(*session, QStringLiteral("Program Ended"));
            engine->StopForExit();
            Serve();
        }
        engine.reset();
        player1.reset();
        player2.reset();
        if (audio) audio->Finish();
    }

    // What aired, frame by frame (see ElementOf), from the first frame of sound.
    std::vector<int> Aired() {
        End();
        const std::vector<float> stereo = testsounds::ReadAll(Path("air.wav"));
        std::vector<int> aired;
        for (std::size_t f = 0; f + 1 < stereo.size(); f += 2) {
            const int left = ElementOf(stereo[f]);
            aired.push_back(left == ElementOf(stereo[f + 1]) ? left : -1);
        }
        const auto first = std::find_if(aired.begin(), aired.end(), [](int k) { return k != 0; });
        aired.erase(aired.begin(), first);
        return aired;
    }
    // The elements in the order they aired, each with its length in frames.
    // The silence after the last sound is the end of the run, not a gap.
    static std::vector<std::pair<int, long>> Runs(const std::vector<int>& aired) {
        std::vector<std::pair<int, long>> runs;
        for (const int k : aired) {
            if (runs.empty() || runs.back().first != k) runs.push_back({k, 0});
            ++runs.back().second;
        }
        if (!runs.empty() && runs.back().first == 0) runs.pop_back();
        return runs;
    }
    // Silent frames between the first and the last sound; noise frames.
    static long Silent(const std::vector<int>& aired) {
        auto last = aired.size();
        while (last > 0 && aired[last - 1] == 0)
            --last;
        return static_cast<long>(
            std::count(aired.begin(), aired.begin() + static_cast<long>(last), 0));
    }
    static long Noise(const std::vector<int>& aired) {
        return static_cast<long>(std::count(aired.begin(), aired.end(), -1));
    }

    QStringList ProgramLog() const {
        QStringList lines;
        QFile file(session->ProgramLogFileName);
        if (!file.open(QIODevice::ReadOnly)) return lines;
        for (const QString& line :
             QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))) {
            const int at = line.indexOf(QStringLiteral("  "));
            if (at >= 0) lines << line.mid(at + 2);
        }
        return lines;
    }
    QString ErrorLog() const {
        QFile file(session->ErrorLogFileName);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    FakeClock clock;
    ScriptedDialogs dialogs;
    FakePlayerWindow window;
    std::unique_ptr<Session> session;
    std::unique_ptr<AudioEngine> audio;
    std::unique_ptr<AudioMediaPlayer> player1;
    std::unique_ptr<AudioMediaPlayer> player2;
    std::unique_ptr<PlayerEngine> engine;

  private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
    long m_steps = 0;
};

}  // namespace sonavel
