// Measures a keyword time estimate through the real player: a folder of 500
// one-second WAVs and 100 five-minute MP3s, then a folder of 5,000 short WAVs
// for how long the window would go without serving its events.
#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "KeywordTime.h"
#include "TestSounds.h"

#include <sndfile.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <cmath>
#include <vector>

using namespace sonavel;

namespace {

bool WriteTone(const QString& path, int format, int rate, int channels, long frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames) * channels);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::size_t frame = i / channels;  // every channel of a frame sounds the same
        samples[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 440.0 * frame / rate));
    }
    return testsounds::Write(path, samples, channels, rate, format);
}

// Writes one file and copies it: encoding a hundred five-minute MP3s would
// take longer than the measurement, and each copy is opened afresh anyway.
bool Fill(const QString& folder, const QString& pattern, int count, int format, int rate,
          long frames) {
    QDir().mkpath(folder);
    const QString first = QDir(folder).filePath(pattern.arg(0, 5, 10, QLatin1Char('0')));
    if (!WriteTone(first, format, rate, 2, frames)) return false;
    for (int i = 1; i < count; ++i) {
        if (!QFile::copy(first, QDir(folder).filePath(pattern.arg(i, 5, 10, QLatin1Char('0')))))
            return false;
    }
    return true;
}

class Quiet final : public EstimateProgress {
  public:
    void Show(const QString&) override {}
    void SetLabel(const QString&) override {}
    void SetRange(int) override {}
    void SetValue(int) override {}
    void EnableOk() override {}
};

struct Run {
    std::optional<std::int32_t> average;
    double ms = 0;
    double longestStallMs = 0;  // the longest wait between two served events
};

Run Estimate(MediaPlayer& player, const QString& folder) {
    // A 10 ms timer stands for the window's events: the gap between two of
    // its firings is how long a click on Close would wait.
    QElapsedTimer sinceTick;
    double longest = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    tick.start();
    sinceTick.start();
    Quiet progress;
    QElapsedTimer timer;
    timer.start();
    Run run;
    run.average = AverageSoundFileDuration(player, folder, progress);
    run.ms = timer.nsecsElapsed() / 1e6;
    run.longestStallMs = longest;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    // Measuring opens no sound device; the virtual output keeps it that way
    // should anything start.
    AudioEngine audio(EngineConfig{OutputKind::Virtual, 300, {}});

    const QString mixed = dir.filePath(QStringLiteral("mixed"));
    const QString many = dir.filePath(QStringLiteral("many"));
    if (!Fill(mixed, QStringLiteral("sting%1.wav"), 500, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100,
              44100) ||
        !Fill(mixed, QStringLiteral("song%1.mp3"), 100, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
              44100, 44100L * 300) ||
        !Fill(many, QStringLiteral("spot%1.wav"), 5000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050,
              22050)) {
        out << "cannot write the sound files" << Qt::endl;
        return 1;
    }

    int status = 0;
    {
        AudioMediaPlayer player(audio);
        const Run first = Estimate(player, mixed);
        // (500 * 1 + 100 * 300) / 600
        const int expected = (500 + 100 * 300) / 600;
        out << "mixed files=600 average_s=" << first.average.value_or(-1)
            << " expected_s=" << expected << " ms=" << QString::number(first.ms, 'f', 0)
            << " per_file_ms=" << QString::number(first.ms / 600, 'f', 2)
            << " longest_stall_ms=" << QString::number(first.longestStallMs, 'f', 1) << Qt::endl;
        if (first.average != expected) status = 1;

        const Run second = Estimate(player, many);
        out << "many files=5000 average_s=" << second.average.value_or(-1)
            << " ms=" << QString::number(second.ms, 'f', 0)
            << " per_file_ms=" << QString::number(second.ms / 5000, 'f', 2)
            << " longest_stall_ms=" << QString::number(second.longestStallMs, 'f', 1) << Qt::endl;
        if (second.average != 1) status = 1;
    }
    return status;
}
