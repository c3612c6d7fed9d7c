// Puts a programme on air through the real Player window and engine on the
// paced output, records it, and measures the gaps: 30 elements of generated
// WAV and MP3 sound with two time checks.
#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "Clock.h"
#include "Dialogs.h"
#include "PlayerForm.h"
#include "PlayerModule.h"
#include "Session.h"
#include "SettingsStore.h"
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

// Nobody watches a benchmark: every box is answered OK and printed.
class AnswerOk final : public Dialogs {
  public:
    MsgResult Message(const MessageRequest& request) override {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(request.title),
                     qPrintable(request.prompt));
        return MsgResult::OK;
    }
    std::optional<QString> FileDialog(const FileDialogRequest&) override { return {}; }
    QString BrowseForFolder(const QString&, const QString&) override { return {}; }
    bool PrinterDialog(int) override { return false; }
    bool PrintSetupDialog(int) override { return false; }
    std::optional<QString> InputBox(const QString&, const QString&, const QString&) override {
        return {};
    }
    std::optional<std::int32_t> ColorDialog(std::int32_t) override { return {}; }
};

struct Kind {
    const char* extension;
    int format;
    int rate;
};

// Sound that is never exactly zero, so silence in the recording is a gap.
bool Write(const QString& path, const Kind& kind, double seconds, unsigned seed) {
    SF_INFO info{};
    info.samplerate = kind.rate;
    info.channels = 2;
    info.format = kind.format;
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    if (!file) return false;
    const auto frames = static_cast<sf_count_t>(seconds * kind.rate);
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    unsigned state = seed * 2654435761u + 1u;
    for (float& s : samples) {
        state = state * 1664525u + 1013904223u;
        s = 0.05f + 0.4f * static_cast<float>((state >> 9) & 0x7fff) / 32768.0f;
    }
    const bool ok = sf_writef_float(file, samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

// The silent runs between the first and the last sound of the recording.
std::vector<long> Gaps(const QString& capture) {
    SF_INFO info{};
    SNDFILE* file = sf_open(capture.toUtf8().constData(), SFM_READ, &info);
    if (!file) return {-1};
    std::vector<float> s(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(file, s.data(), info.frames);
    sf_close(file);
    const long frames = static_cast<long>(info.frames);
    auto silent = [&](long f) { return s[f * 2] == 0.0f && s[f * 2 + 1] == 0.0f; };
    long first = 0, last = frames - 1;
    while (first < frames && silent(first))
        ++first;
    while (last > first && silent(last))
        --last;
    std::vector<long> gaps;
    for (long f = first; f <= last;) {
        long run = 0;
        while (f <= last && silent(f))
            ++run, ++f;
        if (run > 0) gaps.push_back(run);
        ++f;
    }
    return gaps;
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

    gaps = Gaps(capture);
    long worst = 0;
    for (long g : gaps)
        worst = std::max(worst, g);
    out << "gap_frames_max=" << worst << " elements=" << elementLines
        << " silent_runs=" << gaps.size() << " seconds=" << QString::number(seconds, 'f', 1)
        << " capture=" << capture << Qt::endl;
    return elementLines == kElements && worst == 0 ? 0 : 1;
}
