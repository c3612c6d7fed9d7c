// Puts programmes on air through the real Player window and engine on the
// paced output, records them, and measures what a listener hears:
//
// 1. 30 elements of generated WAV and MP3 sound with two time checks: the
//    gaps between them.
// 2. Good elements with a missing file, a text file named .wav, an empty file
//    and an MP3 cut off in its first frame between them, one of them first in
//    the list: the silence between the good elements, whether each good one
//    played whole, and what a bad first element costs before anything sounds.
// 3. Faults outside the sound: an error log that cannot be written, a file
//    rewritten on disk while it waits its turn, and the whole process stopped
//    for a second: the silence, and any frame that is not the programme's.
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

#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

using namespace sonavel;

namespace {

struct Kind {
    const char* extension;
    int format;
    int rate;
};

const Kind kWav{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000};
const Kind kFloatWav{"wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000};
const Kind kMp3{"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 48000};

// Sound that is never exactly zero, so silence in the recording is a gap.
bool Write(const QString& path, const Kind& kind, double seconds, unsigned seed) {
    const auto frames = static_cast<long>(seconds * kind.rate);
    return testsounds::Write(path, testsounds::Signal(frames, 2, seed), 2, kind.rate, kind.format);
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Element k of the faults programme sounds at its own level, alternating in
// sign, so every frame of the recording tells which element it came from.
float Level(int k) {
    return 0.1f + 0.05f * static_cast<float>(k);
}
int ElementOf(float sample) {
    return static_cast<int>(std::lround((std::fabs(sample) - 0.1f) / 0.05f));
}

struct AirResult {
    int elementLines = 0;  // "Program Element: " lines in the program log
    double seconds = 0;
    std::int64_t startFrame = 0;  // where the output was when the list started
    std::vector<float> recording;
};

// What else happens while a list plays.
struct Trouble {
    QString errorLog;  // the error log's file; none when empty
    // Called as the list plays, with the seconds since it started.
    std::function<void(double)> during;
};

// Plays one list once, in manual mode, through the Player window and engine.
AirResult PutOnAir(const QString& folder, const QString& playlist, const QString& times,
                   const QString& capture, const Trouble& trouble = {}) {
    AirResult result;
    const QString logPath = QDir(folder).filePath(QStringLiteral("program.log"));
    QFile::remove(logPath);
    {
        AudioEngine audio(EngineConfig{OutputKind::Paced, 300, capture});
        AudioMediaPlayer player1(audio);
        AudioMediaPlayer player2(audio);
        SettingsStore store(QDir(folder).filePath(QStringLiteral("settings.db")));
        AnswerOk dialogs;
        SystemClock clock;
        Session session(Product::Player, folder, store, dialogs, clock);
        session.ProgramLoggingEnabled = true;
        session.ProgramLogFileName = logPath;
        session.Player.Manual = true;
        session.Player.TimeCheckFolder = times;
        session.ErrorLoggingEnabled = !trouble.errorLog.isEmpty();
        session.ErrorLogFileName = trouble.errorLog;

        PlayerForm form(session, &player1, &player2);
        PlayerEngine engine(session, form.MediaPlayer1(), form.MediaPlayer2(), form);
        form.SetEngine(&engine);
        engine.ApplySettings();
        form.show();

        // The output runs before the list starts, so the recording shows
        // what the start of the list costs before anything sounds.
        audio.EnsureRunning();
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 100)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

        QElapsedTimer timer;
        timer.start();
        result.startFrame = audio.Frame();
        engine.LoadRecentPlaylist(playlist);
        while (engine.PlayerRunning && timer.elapsed() < 300000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
            if (trouble.during) trouble.during(timer.elapsed() / 1000.0);
        }
        // The last element's tail sounds out.
        QElapsedTimer tail;
        tail.start();
        while (tail.elapsed() < 600)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        engine.StopForExit();
        form.SetEngine(nullptr);
        result.seconds = timer.elapsed() / 1000.0;
        audio.Finish();
        if (!audio.CaptureError().isEmpty())
            std::fprintf(stderr, "capture: %s\n", qPrintable(audio.CaptureError()));
    }
    for (const QString& line : textfile::ReadLines(logPath)) {
        if (line.contains(QStringLiteral("Program Element: "))) ++result.elementLines;
    }
    int channels = 0;
    result.recording = testsounds::ReadAll(capture, &channels);
    if (channels != 2) result.recording.clear();
    return result;
}

long Longest(const std::vector<long>& runs) {
    long worst = 0;
    for (long run : runs)
        worst = std::max(worst, run);
    return worst;
}

long Sum(const std::vector<long>& runs) {
    long total = 0;
    for (long run : runs)
        total += run;
    return total;
}

// The first frame at or after from that is not silent, or -1.
long FirstSound(const std::vector<float>& stereo, long from) {
    for (long f = std::max(0L, from); f < static_cast<long>(stereo.size() / 2); ++f) {
        if (stereo[f * 2] != 0.0f || stereo[f * 2 + 1] != 0.0f) return f;
    }
    return -1;
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
    int status = 0;

    // --- 1. A programme with time checks.
    // Lossless elements at the engine's rate, so their boundaries must be
    // sample-exact; every fifth is an MP3 to show the decoder's boundaries too.
    constexpr int kElements = 30;
    QStringList lines;
    for (int i = 1; i <= kElements - 2; ++i) {
        const Kind& kind = i % 5 == 0 ? kMp3 : kWav;
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
    for (int m = 0; m < 15; ++m) {
        const QTime t = now.addSecs(60 * m);
        Write(QDir(times).filePath(t.toString(QStringLiteral("HHmm")) + QStringLiteral(".wav")),
              kWav, 1.0, 1000u + static_cast<unsigned>(m));
    }
    const QString programme = dir.filePath(QStringLiteral("programme.lst"));
    textfile::WriteLines(programme, lines);
    const QString capture =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("air.wav"));
    {
        const AirResult run = PutOnAir(dir.path(), programme, times, capture);
        const std::vector<long> gaps = testsounds::SilentRuns(run.recording);
        out << "programme: gap_frames_max=" << Longest(gaps) << " elements=" << run.elementLines
            << " silent_runs=" << gaps.size()
            << " seconds=" << QString::number(run.seconds, 'f', 1);
        // Without a path of their own the recording went with the temporary folder.
        if (argc > 1) out << " capture=" << capture;
        out << Qt::endl;
        if (run.elementLines != kElements || Longest(gaps) != 0 || run.recording.empty())
            status = 1;
    }

    // --- 2. Faults between good elements, and one first.
    const QString faults = dir.filePath(QStringLiteral("faults"));
    QDir().mkpath(faults);
    const QString textWav = QDir(faults).filePath(QStringLiteral("running order.wav"));
    const QString emptyWav = QDir(faults).filePath(QStringLiteral("empty.wav"));
    const QString cutMp3 = QDir(faults).filePath(QStringLiteral("cut.mp3"));
    const QString fullMp3 = QDir(faults).filePath(QStringLiteral("full.mp3"));
    WriteBytes(textWav, "Running order for Monday\r\n09:00 News\r\n");
    WriteBytes(emptyWav, {});
    Write(fullMp3, kMp3, 2.0, 77);
    {
        QFile full(fullMp3);
        // Cut inside the first frame that holds sound: a transfer broken
        // off at its very start.
        if (!full.open(QIODevice::ReadOnly) || !WriteBytes(cutMp3, full.read(600))) return 1;
    }
    const QStringList bad = {QDir(faults).filePath(QStringLiteral("missing.wav")), textWav,
                             emptyWav, cutMp3};
    constexpr int kGood = 8;
    std::vector<long> goodFrames;
    QStringList faultLines;
    int badLines = 0;
    for (int k = 0; k < kGood; ++k) {
        // A bad element before every good one, the first in the list included.
        faultLines << bad[k % bad.size()];
        ++badLines;
        if (k == 5) {
            faultLines << bad[(k + 1) % bad.size()];  // and two in a row
            ++badLines;
        }
        const long frames = 48000 + 4800 * (k % 3) + 37 * k;  // no multiple of any period
        std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
        for (long f = 0; f < frames; ++f)
            samples[f * 2] = samples[f * 2 + 1] = (f % 2 ? -1.0f : 1.0f) * Level(k);
        const QString path = QDir(faults).filePath(QStringLiteral("good%1.wav").arg(k));
        if (!testsounds::Write(path, samples, 2, 48000, kFloatWav.format)) return 1;
        faultLines << path;
        goodFrames.push_back(frames);
    }
    const QString faultList = dir.filePath(QStringLiteral("faults.lst"));
    textfile::WriteLines(faultList, faultLines);
    const AirResult run =
        PutOnAir(dir.path(), faultList, times, dir.filePath(QStringLiteral("faults.wav")));
    const std::vector<long> silences = testsounds::SilentRuns(run.recording);
    std::map<int, long> heard;
    int strays = 0;
    for (std::size_t f = 0; f < run.recording.size() / 2; ++f) {
        const float left = run.recording[f * 2];
        if (left == 0.0f && run.recording[f * 2 + 1] == 0.0f) continue;
        const int k = ElementOf(left);
        if (k < 0 || k >= kGood || std::fabs(std::fabs(left) - Level(k)) > 1e-6f) {
            ++strays;
            continue;
        }
        ++heard[k];
    }
    int whole = 0;
    for (int k = 0; k < kGood; ++k) {
        if (heard[k] == goodFrames[static_cast<std::size_t>(k)]) ++whole;
        // What went wrong where, for whoever has to find out.
        else
            std::fprintf(stderr, "good%d: %ld of %ld frames heard\n", k, heard[k],
                         goodFrames[static_cast<std::size_t>(k)]);
    }
    for (long silence : silences)
        std::fprintf(stderr, "silence of %ld frames\n", silence);
    const long lead = FirstSound(run.recording, static_cast<long>(run.startFrame));
    const double leadMs = lead < 0 ? -1.0 : 1000.0 * (lead - run.startFrame) / 48000.0;
    out << "faults: silent_frames=" << Sum(silences) << " bad_elements=" << badLines
        << " elements=" << faultLines.size() << " good_whole=" << whole << '/' << kGood
        << " foreign_frames=" << strays
        << " first_sound_after_ms=" << QString::number(leadMs, 'f', 1)
        << " element_lines=" << run.elementLines
        << " seconds=" << QString::number(run.seconds, 'f', 1) << Qt::endl;
    if (Sum(silences) != 0 || whole != kGood || strays != 0 || leadMs < 0 || leadMs > 100)
        status = 1;

    // --- 3. Faults outside the sound.
    const QString outside = dir.filePath(QStringLiteral("outside"));
    QDir().mkpath(outside);
    // A folder where the error log should be: no entry can be written.
    const QString errorLog = QDir(outside).filePath(QStringLiteral("Error.log"));
    QDir().mkpath(errorLog);
    QStringList outsideLines;
    QString rewritten;
    for (int k = 0; k < 6; ++k) {
        // The third element is longer than the decoder reads ahead, so most
        // of it would be read after it is rewritten.
        const long frames = k == 2 ? 6 * 48000 : 48000 + 4800 * k;
        std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
        for (long f = 0; f < frames; ++f)
            samples[f * 2] = samples[f * 2 + 1] = (f % 2 ? -1.0f : 1.0f) * Level(k);
        const QString path = QDir(outside).filePath(QStringLiteral("element%1.wav").arg(k));
        if (!testsounds::Write(path, samples, 2, 48000, kFloatWav.format)) return 1;
        if (k == 2) rewritten = path;
        outsideLines << path;
        // Missing files make the engine write to the error log it cannot write.
        if (k == 1 || k == 4) outsideLines << QDir(outside).filePath(QStringLiteral("gone.wav"));
    }
    textfile::WriteLines(dir.filePath(QStringLiteral("outside.lst")), outsideLines);
    bool rewrote = false;
    bool stopped = false;
    Trouble trouble;
    trouble.errorLog = errorLog;
    trouble.during = [&](double seconds) {
        if (!rewrote && seconds > 1.5) {
            // Rewritten in place with other data while it waits its turn: it
            // is preloaded when the element before it starts, at 1.0 s.
            rewrote = true;
            QFile file(rewritten);
            if (file.open(QIODevice::ReadWrite) && file.seek(4096))
                file.write(QByteArray(1 << 20, 'x'));
        }
        if (!stopped && seconds > 6.0) {
            // The whole process stands still for a second, as under SIGSTOP
            // or a paused virtual machine.
            stopped = true;
            const pid_t self = getpid();
            if (fork() == 0) {
                kill(self, SIGSTOP);
                usleep(1000000);
                kill(self, SIGCONT);
                _exit(0);
            }
        }
    };
    const AirResult rough = PutOnAir(dir.path(), dir.filePath(QStringLiteral("outside.lst")), times,
                                     dir.filePath(QStringLiteral("outside.wav")), trouble);
    wait(nullptr);
    const std::vector<long> gapsOutside = testsounds::SilentRuns(rough.recording);
    int foreign = 0;
    std::vector<int> order;
    long silentSince = -1;
    for (std::size_t f = 0; f < rough.recording.size() / 2; ++f) {
        const float left = rough.recording[f * 2];
        if (left == 0.0f && rough.recording[f * 2 + 1] == 0.0f) {
            if (silentSince < 0) silentSince = static_cast<long>(f);
            continue;
        }
        // Where each silence was, for whoever has to find out why.
        if (silentSince >= 0 && !order.empty())
            std::fprintf(stderr, "outside: silence of %ld frames at %.3f s after element %d\n",
                         static_cast<long>(f) - silentSince, silentSince / 48000.0, order.back());
        silentSince = -1;
        const int k = ElementOf(left);
        if (k < 0 || k >= 6 || std::fabs(std::fabs(left) - Level(k)) > 1e-6f) {
            ++foreign;
            continue;
        }
        if (order.empty() || order.back() != k) order.push_back(k);
    }
    out << "outside: silent_frames=" << Sum(gapsOutside) << " foreign_frames=" << foreign
        << " elements_heard=" << order.size() << '/' << 6
        << " seconds=" << QString::number(rough.seconds, 'f', 1) << Qt::endl;
    if (Sum(gapsOutside) != 0 || foreign != 0 || order.size() != 6) status = 1;
    return status;
}
