// Plays a programme of mixed sound files through two alternating players, as
// the Player does on air, on the paced output with the capture tap, and
// measures what a listener would hear at each boundary: gaps and clicks.
// Also measures open-to-ready times, CPU use and memory of two decks.
//
//   build/bench/gapless [elements]      (default 24)

#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "TestSounds.h"

#include <sndfile.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

using namespace sonavel;

namespace {

struct Kind {
    const char* name;
    const char* extension;
    int format;
    int rate;
    int channels;
};

const Kind kKinds[] = {
    {"wav48-stereo", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2},
    {"wav44-mono", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1},
    {"wav48-mono-float", "wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1},
    {"flac48", "flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2},
    {"ogg44", "ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2},
    {"mp3-44", "mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2},
    {"wav44-stereo", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2},
    {"mp3-48", "mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 48000, 1},
};

// A tone riding on a steady level: never near zero, even through a lossy
// codec, so any exact silence in the capture is a gap; and gentle enough
// that a jump of more than kClick between two frames is a click.
constexpr double kLevel = 0.3;
constexpr double kSwing = 0.05;
constexpr float kClick = 0.2f;

bool WriteTone(const QString& path, const Kind& kind, long frames) {
    SF_INFO info{};
    info.samplerate = kind.rate;
    info.channels = kind.channels;
    info.format = kind.format;
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    if (!file) return false;
    std::vector<float> samples(static_cast<std::size_t>(frames) * kind.channels);
    for (long f = 0; f < frames; ++f) {
        const double value = kLevel + kSwing * std::sin(2 * M_PI * 220.0 * f / kind.rate);
        for (int c = 0; c < kind.channels; ++c)
            samples[static_cast<std::size_t>(f) * kind.channels + c] = static_cast<float>(value);
    }
    const bool ok = sf_writef_float(file, samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

double RssMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Serves events until the condition holds or the time is up.
bool Serve(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        // Sleeping between looks keeps this loop out of the CPU figure.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(5);
    }
    return true;
}

double OpenReadyMs(AudioEngine& audio, const QString& path) {
    AudioMediaPlayer player(audio);
    QElapsedTimer timer;
    timer.start();
    player.Open(path);
    // Look continuously: the figure is the decoder's, not this loop's.
    while (player.ReadyState() != media::kReadyComplete && player.ErrorCode() == 0 &&
           timer.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return timer.nsecsElapsed() / 1e6;
}

struct RunResult {
    std::vector<long> gaps;  // per boundary, frames of silence
    int clicks = 0;
    std::uint64_t engineGaps = 0;
};

RunResult Analyse(const QString& capture, int boundaries) {
    RunResult result;
    int channels = 0;
    const std::vector<float> s = testsounds::ReadAll(capture, &channels);
    if (channels != 2) return result;
    result.gaps = testsounds::SilentRuns(s);
    // Boundaries without silence had no gap.
    while (static_cast<int>(result.gaps.size()) < boundaries)
        result.gaps.push_back(0);
    // A jump between two neighbouring frames of sound is heard as a click.
    const long frames = static_cast<long>(s.size() / 2);
    auto silent = [&](long f) { return s[f * 2] == 0.0f && s[f * 2 + 1] == 0.0f; };
    long first = 0;
    while (first < frames && silent(first))
        ++first;
    for (long f = first + 1; f < frames; ++f) {
        if (!silent(f) && (std::fabs(s[f * 2] - s[(f - 1) * 2]) > kClick ||
                           std::fabs(s[f * 2 + 1] - s[(f - 1) * 2 + 1]) > kClick)) {
            ++result.clicks;
        }
    }
    return result;
}

RunResult PlayProgramme(const QStringList& elements, int delayMs, const QString& capture) {
    RunResult result;
    {
        AudioEngine audio(EngineConfig{OutputKind::Paced, 300, capture});
        AudioMediaPlayer deck1(audio), deck2(audio);
        AudioMediaPlayer* decks[2] = {&deck1, &deck2};
        int current = 0;
        int next = 0;
        int ended = 0;
        decks[0]->SetFileName(elements[next++]);
        decks[1]->Open(elements[next++]);
        for (int d = 0; d < 2; ++d) {
            QObject::connect(decks[d], &MediaPlayer::PlayStateChange, [&, d](int from, int to) {
                if (from != media::kPlaying || to != media::kStopped || d != current) return;
                ++ended;
                // The Player's answer to an end: play the other deck, then
                // open the next element into the one that ended.
                QTimer::singleShot(delayMs, [&, d] {
                    const int other = 1 - d;
                    if (ended < elements.size()) decks[other]->Play();
                    current = other;
                    if (next < elements.size()) decks[d]->Open(elements[next++]);
                });
            });
        }
        decks[0]->Play();
        Serve([&] { return ended >= elements.size(); }, 600000);
        Serve([] { return false; }, 500);  // the last tail sounds out
        result.engineGaps = audio.Stats().gaps;
    }
    const RunResult analysed = Analyse(capture, static_cast<int>(elements.size()) - 1);
    result.gaps = analysed.gaps;
    result.clicks = analysed.clicks;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double rssBaseline = RssMb();
    const int count = argc > 1 ? std::max(2, atoi(argv[1])) : 24;
    QTemporaryDir dir;
    QTextStream out(stdout);

    QStringList elements;
    for (int i = 0; i < count; ++i) {
        const Kind& kind = kKinds[i % (sizeof(kKinds) / sizeof(kKinds[0]))];
        // Lengths of 0.6 to 1.9 s that are no multiple of any buffer size.
        const long frames = kind.rate * (6 + (i * 7) % 14) / 10 + 101 + 13 * i;
        const QString path =
            dir.filePath(QStringLiteral("%1-%2.%3")
                             .arg(i, 2, 10, QLatin1Char('0'))
                             .arg(QLatin1String(kind.name), QLatin1String(kind.extension)));
        if (!WriteTone(path, kind, frames)) {
            out << "cannot write " << path << Qt::endl;
            return 1;
        }
        elements << path;
    }

    std::vector<long> allGaps;
    int allClicks = 0;
    for (int delay : {0, 50, 200}) {
        const RunResult run = PlayProgramme(
            elements, delay, dir.filePath(QStringLiteral("capture-%1.wav").arg(delay)));
        std::vector<long> sorted = run.gaps;
        std::sort(sorted.begin(), sorted.end());
        out << "delay_ms=" << delay << " elements=" << elements.size()
            << " gap_frames_max=" << (sorted.empty() ? 0 : sorted.back())
            << " gap_frames_median=" << (sorted.empty() ? 0 : sorted[sorted.size() / 2])
            << " clicks=" << run.clicks << " engine_gaps=" << run.engineGaps << Qt::endl;
        allGaps.insert(allGaps.end(), run.gaps.begin(), run.gaps.end());
        allClicks += run.clicks;
    }

    // A control: answering later than the tail must show as gaps, or the
    // analysis above proves nothing.
    {
        const RunResult control = PlayProgramme(
            elements.mid(0, 6), 450, dir.filePath(QStringLiteral("capture-control.wav")));
        long widest = 0;
        for (long gap : control.gaps)
            widest = std::max(widest, gap);
        out << "control delay_ms=450 (beyond the tail) gaps_seen="
            << std::count_if(control.gaps.begin(), control.gaps.end(), [](long g) { return g > 0; })
            << " gap_frames_max=" << widest << " engine_gaps=" << control.engineGaps << Qt::endl;
    }

    // Open to ready.
    auto opening = std::make_unique<AudioEngine>(EngineConfig{OutputKind::Paced, 300, {}});
    const QString wav = dir.filePath(QStringLiteral("open.wav"));
    WriteTone(wav, kKinds[0], 48000L * 30);
    const QString mp3 = dir.filePath(QStringLiteral("five-minutes.mp3"));
    WriteTone(mp3, kKinds[5], 44100L * 300);
    double wavMs = 1e9, mp3Ms = 1e9;
    for (int i = 0; i < 5; ++i) {
        wavMs = std::min(wavMs, OpenReadyMs(*opening, wav));
        mp3Ms = std::min(mp3Ms, OpenReadyMs(*opening, mp3));
    }

    // Two decks playing at once, in real time, on a fresh engine.
    opening.reset();
    double cpuPct = 0, rssPerDeck = 0;
    {
        AudioEngine audio(EngineConfig{OutputKind::Paced, 300, {}});
        AudioMediaPlayer a(audio), b(audio);
        a.SetFileName(mp3);
        b.SetFileName(wav);
        a.Play();
        b.Play();
        // An idle event loop, so the figure is the engine's and not a poll's.
        auto idle = [](int ms) {
            QEventLoop loop;
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            loop.exec();
        };
        idle(1000);
        const double cpu0 = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        idle(10000);
        cpuPct = 100.0 * (CpuSeconds() - cpu0) / (wall.nsecsElapsed() / 1e9);
        rssPerDeck = (RssMb() - rssBaseline) / 2;
    }

    std::sort(allGaps.begin(), allGaps.end());
    out << "gap_frames_max=" << (allGaps.empty() ? 0 : allGaps.back())
        << " gap_frames_median=" << (allGaps.empty() ? 0 : allGaps[allGaps.size() / 2])
        << " clicks=" << allClicks << " open_ready_ms_wav=" << QString::number(wavMs, 'f', 2)
        << " open_ready_ms_mp3_5min=" << QString::number(mp3Ms, 'f', 2)
        << " cpu_pct_two_decks=" << QString::number(cpuPct, 'f', 2)
        << " rss_mb=" << QString::number(rssPerDeck, 'f', 2) << Qt::endl;
    return 0;
}
