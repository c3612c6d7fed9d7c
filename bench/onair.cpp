// Puts a programme on air through the real Player window and engine on the
// paced output, records it, and measures the gaps: 30 elements of generated
// WAV and MP3 sound with two time checks.
#include "AnswerOk.h"
#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "Clock.h"
#include "Dialogs.h"
#include "PlayerForm.h"
#include "PlayerModule.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TestSounds.h"
#include "TextFile.h"

#include <sndfile.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <cstdio>
#include <vector>

using namespace sonavel;

namespace {

struct Kind {
    const char* extension;
    int format;
    int rate;
};

// Sound that is never exactly zero, so silence in the recording is a gap.
bool Write(const QString& path, const Kind& kind, double seconds, unsigned seed) {
    const auto frames = static_cast<long>(seconds * kind.rate);
    return testsounds::Write(path, testsounds::Signal(frames, 2, seed), 2, kind.rate, kind.format);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const QString sounds = dir.filePath(QStringLiteral("sounds"));
    const QString times = dir.filePath(QStringLiteral("time"));
    QDir().mkpath(sounds);
    QDir().mkpath(times);

    // Lossless elements at the engine's rate, so their boundaries must be
    // sample-exact; every fifth is an MP3 to show the decoder's boundaries too.
    const Kind wav{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000};
    const Kind mp3{"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 48000};
    constexpr int kElements = 30;
    QStringList lines;
    for (int i = 1; i <= kElements - 2; ++i) {
        const Kind& kind = i % 5 == 0 ? mp3 : wav;
        const QString path = QDir(sounds).filePath(QStringLiteral("element%1.%2")
                                                       .arg(i, 2, 10, QLatin1Char('0'))
                                                       .arg(QLatin1String(kind.extension)));
        if (!Write(path, kind, 1.0 + (i % 3) * 0.25, static_cast<unsigned>(i))) {
            out << "cannot write " << path << Qt::endl;
            return 1;
        }
        lines << path;
        if (i == 9 || i == 19) lines << QStringLiteral(":timecheck");
    }
    // The announcements for the minutes this run can reach.
    const QTime now = QTime::currentTime();
    for (int m = 0; m < 10; ++m) {
        const QTime t = now.addSecs(60 * m);
        Write(QDir(times).filePath(t.toString(QStringLiteral("HHmm")) + QStringLiteral(".wav")),
              wav, 1.0, 1000u + static_cast<unsigned>(m));
    }
    const QString playlist = dir.filePath(QStringLiteral("programme.lst"));
    textfile::WriteLines(playlist, lines);

    const QString capture =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("air.wav"));
    AudioEngine::Configure(EngineConfig{OutputKind::Paced, 300, capture});

    int elementLines = 0;
    QElapsedTimer timer;
    std::vector<long> gaps;
    {
        SettingsStore store(dir.filePath(QStringLiteral("settings.db")));
        AnswerOk dialogs;
        SystemClock clock;
        Session session(Product::Player, dir.path(), store, dialogs, clock);
        session.ProgramLoggingEnabled = true;
        session.ProgramLogFileName = dir.filePath(QStringLiteral("program.log"));
        session.Player.Manual = true;
        session.Player.TimeCheckFolder = times;

        PlayerForm form(session);
        PlayerEngine engine(session, form.MediaPlayer1(), form.MediaPlayer2(), form);
        form.SetEngine(&engine);
        engine.ApplySettings();
        form.show();

        timer.start();
        engine.LoadRecentPlaylist(playlist);
        while (engine.PlayerRunning && timer.elapsed() < 180000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
        }
        // The last element's tail sounds out.
        QElapsedTimer tail;
        tail.start();
        while (tail.elapsed() < 600)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        engine.StopForExit();

        for (const QString& line :
             textfile::ReadLines(dir.filePath(QStringLiteral("program.log")))) {
            if (line.contains(QStringLiteral("Program Element: "))) ++elementLines;
        }
    }
    const double seconds = timer.elapsed() / 1000.0;
    AudioEngine::Shutdown();

    int channels = 0;
    const std::vector<float> recorded = testsounds::ReadAll(capture, &channels);
    gaps = channels == 2 ? testsounds::SilentRuns(recorded) : std::vector<long>{-1};
    long worst = 0;
    for (long g : gaps)
        worst = std::max(worst, g);
    out << "gap_frames_max=" << worst << " elements=" << elementLines
        << " silent_runs=" << gaps.size() << " seconds=" << QString::number(seconds, 'f', 1);
    // Without a path of their own the recording went with the temporary folder.
    if (argc > 1) out << " capture=" << capture;
    out << Qt::endl;
    return elementLines == kElements && worst == 0 ? 0 : 1;
}
