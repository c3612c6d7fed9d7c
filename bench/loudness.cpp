// Evened loudness, measured:
//
// 1. Measuring speed on one core: a four-minute song in the formats a station
//    plays, decoded as the players decode it and measured (EBU R128 integrated
//    loudness and true peak), in multiples of real time by the CPU time of the
//    measuring thread; the decoding alone beside it.
// 2. A programme of 12 files from -40 to -6 LUFS, of music, speech, tones
//    and a limited master, put on air by the Player engine ('sonavel air')
//    on the real engine's virtual output with the recording tap: the loudness
//    and true peak of each element in the recording against the target, and
//    which were held back by a limit.
// 3. The output callback's cost with four voices sounding, every voice at a
//    gain and every voice at its own level.
//
//   build/bench/loudness
//   build/bench/loudness --air-check RECORDING.wav AS-RUN.csv
//       each element of a recording of 'sonavel air --capture', as the
//       as-run log of the same run lists them: its loudness and true peak.
#include "AirCommand.h"
#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "CommonModule.h"
#include "ConsoleDialogs.h"
#include "Decoder.h"
#include "Events.h"
#include "FormatModule.h"
#include "GainSource.h"
#include "LoudnessGain.h"
#include "LoudnessSettings.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TestSounds.h"
#include "TextFile.h"

#include <sndfile.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

using namespace sonavel;

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

enum class Content { Music, Speech, Tone, Limited, Clicks };

// Stereo sound of a kind at a rough level; scaled to its exact loudness later.
std::vector<float> Make(Content content, double seconds, int rate, unsigned seed) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> samples(frames * 2);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    double low = 0, band = 0;  // a crude band-pass for the noise
    for (std::size_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / rate;
        double left = 0, right = 0;
        switch (content) {
            case Content::Music: {
                // Three notes, a bass and some air, swelling every few seconds.
                const double swell = 0.6 + 0.4 * std::sin(kTwoPi * 0.2 * t);
                const double notes = std::sin(kTwoPi * 220 * t) +
                                     0.6 * std::sin(kTwoPi * 277.2 * t) +
                                     0.5 * std::sin(kTwoPi * 329.6 * t + 1.0);
                const double bass = 0.8 * std::sin(kTwoPi * 55 * t);
                low += 0.05 * (noise(random) - low);
                left = swell * (0.15 * notes + 0.2 * bass) + 0.05 * low;
                right = swell * (0.15 * notes * 0.9 + 0.2 * bass) - 0.05 * low;
                break;
            }
            case Content::Speech: {
                // Syllables of voiced noise four times a second, with pauses.
                const double syllable = std::max(0.0, std::sin(kTwoPi * 4 * t));
                const double phrase = std::fmod(t, 3.0) < 2.2 ? 1.0 : 0.0;
                band += 0.3 * (noise(random) - band);
                const double voice =
                    0.5 * band + 0.3 * std::sin(kTwoPi * 140 * t) * std::sin(kTwoPi * 700 * t);
                left = right = 0.4 * syllable * syllable * phrase * voice;
                break;
            }
            case Content::Tone:
                left = right = 0.3 * std::sin(kTwoPi * 1000 * t);
                break;
            case Content::Clicks: {
                // A quiet voice on a worn record: a crackle far above it every second.
                const double syllable = std::max(0.0, std::sin(kTwoPi * 3 * t));
                band += 0.3 * (noise(random) - band);
                // (the crackle goes in once the voice has its level)
                left = right = 0.2 * syllable * band;
                break;
            }
            case Content::Limited: {
                // A loud master: dense music driven into a limiter.
                const double notes = std::sin(kTwoPi * 110 * t) + std::sin(kTwoPi * 164.8 * t) +
                                     0.7 * std::sin(kTwoPi * 246.9 * t) + 0.4 * noise(random);
                left = right = std::tanh(2.5 * notes) * 0.95;
                break;
            }
        }
        samples[f * 2] = static_cast<float>(left);
        samples[f * 2 + 1] = static_cast<float>(right);
    }
    return samples;
}

// In blocks: libvorbis's encoder falls over on minutes of sound in one call.
bool Write(const QString& path, const std::vector<float>& stereo, int rate, int format,
           int channels = 2) {
    std::vector<float> samples = stereo;
    if (channels == 1) {
        samples.resize(stereo.size() / 2);
        for (std::size_t f = 0; f < samples.size(); ++f)
            samples[f] = stereo[f * 2];
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file) return false;
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    bool ok = true;
    for (sf_count_t at = 0; at < frames && ok; at += 4096) {
        const sf_count_t n = std::min<sf_count_t>(4096, frames - at);
        ok = sf_writef_float(file, samples.data() + at * channels, n) == n;
    }
    return sf_close(file) == 0 && ok;
}

struct Format {
    const char* name;
    const char* extension;
    int format;
    int rate;
    int channels;
};

// What a playlist can name: WAV, AIFF, MP3.
const Format kFormats[] = {
    {"WAV 16-bit 44.1 kHz", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2},
    {"WAV float 48 kHz", "wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2},
    {"AIFF 24-bit 48 kHz", "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 48000, 2},
    {"MP3 44.1 kHz", "mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2},
    {"MP3 48 kHz mono", "mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 48000, 1},
    {"WAV 16-bit 22.05 kHz mono", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1},
};

// 1. ------------------------------------------------------------------------

void MeasuringSpeed(const QTemporaryDir& dir, QTextStream& out) {
    out << "1. Measuring speed, one core (a 240 s song; CPU time of the measuring thread)\n";
    double slowest = 1e9;
    for (const Format& format : kFormats) {
        const QString path = dir.filePath(QStringLiteral("song-%1.%2")
                                              .arg(&format - kFormats)
                                              .arg(QLatin1String(format.extension)));
        if (!Write(path, Make(Content::Music, 240, format.rate, 7), format.rate, format.format,
                   format.channels)) {
            out << "   cannot write " << path << '\n';
            continue;
        }
        // The decoders alone, as the players run them.
        double decodeSeconds = ThreadSeconds();
        {
            const std::unique_ptr<Decoder> decoder = Decoder::Open(path, AudioEngine::kRate);
            std::vector<float> block(std::size_t{16384} * 2);
            while (decoder->Read(block.data(), 16384) > 0) {
            }
        }
        decodeSeconds = ThreadSeconds() - decodeSeconds;
        double best = 1e9;
        LoudnessMeasure measure;
        for (int run = 0; run < 3; ++run) {
            const double started = ThreadSeconds();
            measure = MeasureLoudness(path).value_or(LoudnessMeasure{});
            best = std::min(best, ThreadSeconds() - started);
        }
        const double times = measure.seconds / best;
        slowest = std::min(slowest, times);
        out << "   " << QString::fromLatin1(format.name).leftJustified(27) << " measure "
            << QString::number(best, 'f', 2) << " s = " << QString::number(times, 'f', 0)
            << "x real time (decoding alone " << QString::number(decodeSeconds, 'f', 2) << " s); "
            << QString::number(measure.integrated, 'f', 1) << " LUFS, "
            << QString::number(measure.truePeak, 'f', 1) << " dBTP\n";
    }
    out << "   slowest: " << QString::number(slowest, 'f', 0)
        << "x real time (goal >= 50x): " << (slowest >= 50 ? "met" : "NOT met") << "\n\n";
    out.flush();
}

// 2. ------------------------------------------------------------------------

struct Element {
    QString path;
    QString what;
    LoudnessMeasure own;
    std::int64_t frames = 0;
};

// A file of the content at exactly the loudness asked for.
Element MakeElement(const QString& path, const QString& what, Content content, const Format& format,
                    double lufs, double seconds, unsigned seed) {
    std::vector<float> samples = Make(content, seconds, format.rate, seed);
    for (int round = 0; round < 4; ++round) {
        if (!Write(path, samples, format.rate, format.format, format.channels)) break;
        const LoudnessMeasure measure = MeasureLoudness(path).value_or(LoudnessMeasure{});
        const double off = lufs - measure.integrated;
        if (std::fabs(off) < 0.05) break;
        const auto scale = static_cast<float>(std::pow(10.0, off / 20));
        for (float& s : samples)
            s *= scale;
    }
    if (content == Content::Clicks) {
        // Clicks at -3 dBFS once a second, far above the voice.
        const auto step = static_cast<std::size_t>(format.rate) * 2;
        for (std::size_t k = step / 2; k + 1 < samples.size(); k += step)
            samples[k] = samples[k + 1] = 0.7f;
        Write(path, samples, format.rate, format.format, format.channels);
    }
    Element element{path, what, MeasureLoudness(path).value_or(LoudnessMeasure{}), 0};
    const std::unique_ptr<Decoder> decoder = Decoder::Open(path, AudioEngine::kRate);
    std::vector<float> block(std::size_t{8192} * 2);
    for (std::int64_t got; (got = decoder->Read(block.data(), 8192)) > 0;)
        element.frames += got;
    return element;
}

// A stretch of the recording; one that runs past its end is measured as far
// as it goes (an element cut off when the run ended).
LoudnessMeasure MeasureStretch(const std::vector<float>& recording, std::size_t from,
                               std::size_t frames, const QString& scratch) {
    if (from * 2 >= recording.size()) {
        LoudnessMeasure none;
        none.problem = QStringLiteral("not in the recording");
        return none;
    }
    frames = std::min(frames, recording.size() / 2 - from);
    const std::vector<float> part(
        recording.begin() + static_cast<std::ptrdiff_t>(from * 2),
        recording.begin() + static_cast<std::ptrdiff_t>((from + frames) * 2));
    testsounds::Write(scratch, part, 2, AudioEngine::kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    return MeasureLoudness(scratch).value_or(LoudnessMeasure{});
}

int Programme(const QTemporaryDir& dir, QTextStream& out) {
    out << "2. A programme of 12 files from -40 to -6 LUFS on air (target -23 LUFS, true-peak "
           "limit -1 dBTP, maximum gain 12 dB)\n";
    const struct {
        Content content;
        const char* what;
    } kinds[] = {{Content::Speech, "speech"},
                 {Content::Music, "music"},
                 {Content::Tone, "tone"},
                 {Content::Clicks, "voice, clicks"}};
    std::vector<Element> elements;
    QStringList lines;
    for (int i = 0; i < 12; ++i) {
        const double lufs = -40.0 + 34.0 * i / 11.0;
        const auto& kind = kinds[i == 3 ? 3 : i % 3];
        // The loud end is the limited masters, as it is on a real station.
        const Content content = lufs > -12 ? Content::Limited : kind.content;
        const Format& format = kFormats[static_cast<std::size_t>(i) % std::size(kFormats)];
        const QString path = dir.filePath(
            QStringLiteral("element-%1.%2").arg(i, 2, 10, QLatin1Char('0')).arg(format.extension));
        elements.push_back(MakeElement(
            path, QString::fromLatin1(content == Content::Limited ? "limited master" : kind.what),
            content, format, lufs, 8 + (i % 4), 100 + i));
        lines << path;
    }

    // A station of its own, evening loudness out, its files measured by the
    // creation run before they go on air.
    const QString folder = dir.filePath(QStringLiteral("station"));
    SettingsStore store(folder + QStringLiteral("/settings.db"));
    QString noInput, messages;
    QTextStream in(&noInput, QIODevice::ReadOnly);
    QTextStream err(&messages, QIODevice::WriteOnly);
    ConsoleDialogs dialogs(in, err, ConsoleDialogs::Answering::Refuse);
    SystemClock clock;
    Session session(Product::Player, folder, store, dialogs, clock);
    SetRegistryDefaults(session);
    store.SaveSetting(QString::fromLatin1(kAppName), QString::fromLatin1(kPlayerSection),
                      QStringLiteral("Playlist Folder"), folder + QStringLiteral("/lists"));
    QDir().mkpath(folder + QStringLiteral("/lists"));
    LoudnessSettings settings;
    settings.Enabled = true;
    WriteLoudnessSettings(session, settings);
    // Every hour of today and tomorrow plays the list, whenever this runs.
    for (int day = 0; day < 2; ++day) {
        const QDate date = QDate::currentDate().addDays(day);
        for (int hour = 0; hour < 24; ++hour) {
            textfile::WriteLines(
                folder + QStringLiteral("/lists/") + WeekdayToken(date.dayOfWeek() % 7 + 1) +
                    QStringLiteral("%1.lst").arg(hour * 100, 4, 10, QLatin1Char('0')),
                lines);
        }
    }
    {
        const std::unique_ptr<LoudnessCache> cache = OpenLoudnessCache(session);
        const MeasureRun run = MeasureFiles(*cache, lines);
        out << "   measured " << run.measured << " files, "
            << QString::number(run.soundSeconds, 'f', 0) << " s of sound, in "
            << QString::number(run.elapsedSeconds, 'f', 2) << " s\n";
    }

    const QString recording = dir.filePath(QStringLiteral("aircheck.wav"));
    std::int64_t total = 0;
    for (const Element& element : elements)
        total += element.frames;
    {
        AudioEngine engine(EngineConfig{OutputKind::Virtual, 300, recording});
        LoudnessGain loudness(session);
        AudioMediaPlayer player1(engine), player2(engine);
        player1.SetGainSource(&loudness);
        player2.SetGainSource(&loudness);
        AirSession air(session, player1, player2);
        int status = 0;
        if (!air.Start(status)) {
            out << "   the programme did not start: " << messages << '\n';
            return 1;
        }
        while (engine.Frame() < total + AudioEngine::kRate) {
            DoEvents();
            engine.RenderVirtual(480);
        }
        air.Stop();
        engine.Finish();

        if (engine.Stats().gaps != 0)
            out << "   gaps between elements: " << engine.Stats().gaps << '\n';
    }

    const std::vector<float> aired = testsounds::ReadAll(recording);
    std::size_t at = 0;
    while (at * 2 < aired.size() && aired[at * 2] == 0.0f && aired[at * 2 + 1] == 0.0f)
        ++at;
    out << "   element  content          format                      own LUFS  own dBTP   gain  "
           "  on air LUFS  dBTP   off target\n";
    double worst = 0;
    int capped = 0;
    const QString scratch = dir.filePath(QStringLiteral("part.wav"));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element& element = elements[i];
        bool cap = false;
        const double gain = LoudnessGainDb(settings, element.own, &cap);
        const LoudnessMeasure onAir =
            MeasureStretch(aired, at, static_cast<std::size_t>(element.frames), scratch);
        at += static_cast<std::size_t>(element.frames);
        const double off = onAir.integrated - settings.Target;
        // Held back by a limit, it should sit exactly where the limit put it.
        const double expected = cap ? element.own.integrated + gain : settings.Target;
        worst = std::max(worst, std::fabs(onAir.integrated - expected));
        if (cap) ++capped;
        out << "   " << QString::number(i + 1).rightJustified(7) << "  "
            << element.what.leftJustified(16) << " "
            << QString::fromLatin1(kFormats[i % std::size(kFormats)].name).leftJustified(27)
            << QString::number(element.own.integrated, 'f', 1).rightJustified(8)
            << QString::number(element.own.truePeak, 'f', 1).rightJustified(10)
            << QString::number(gain, 'f', 1).rightJustified(7)
            << QString::number(onAir.integrated, 'f', 1).rightJustified(15)
            << QString::number(onAir.truePeak, 'f', 1).rightJustified(6)
            << QString::number(off, 'f', 1).rightJustified(10)
            << (cap ? (gain >= settings.MaximumGain - 1e-9 ? "  at the maximum gain"
                                                           : "  at the true-peak limit")
                    : "")
            << '\n';
    }
    out << "   " << elements.size() - static_cast<std::size_t>(capped) << " elements within "
        << QString::number(worst, 'f', 2) << " LU of the target, " << capped
        << " at their cap (within the same of it); goal 0.5 LU: "
        << (worst <= 0.5 ? "met" : "NOT met") << "\n\n";
    out.flush();
    return worst <= 0.5 ? 0 : 1;
}

// 3. ------------------------------------------------------------------------

class Fixed final : public GainSource {
  public:
    explicit Fixed(float gain) : m_gain(gain) {}
    void Prepare(const QString&) override {}
    float GainFor(const QString&) override { return m_gain; }

  private:
    float m_gain;
};

// CPU time of the rendering thread per 480-frame buffer (10 ms), four voices.
double CallbackCost(const QStringList& files, GainSource* gains) {
    AudioEngine engine(EngineConfig{OutputKind::Virtual, 300, {}});
    std::vector<std::unique_ptr<AudioMediaPlayer>> players;
    for (const QString& file : files) {
        players.push_back(std::make_unique<AudioMediaPlayer>(engine));
        players.back()->SetGainSource(gains);
        players.back()->SetFileName(file);
    }
    for (auto& player : players)
        player->Play();
    constexpr int kBuffers = 2000;  // 20 s
    double spent = 0;
    for (int b = 0; b < kBuffers; ++b) {
        // A wait for the decoders sleeps, so it costs the thread no CPU time.
        const double started = ThreadSeconds();
        engine.RenderVirtual(480);
        spent += ThreadSeconds() - started;
    }
    for (auto& player : players)
        player->Stop();
    engine.Finish();
    return spent / kBuffers * 1e6;
}

void Callback(const QTemporaryDir& dir, QTextStream& out) {
    out << "3. Output callback, four voices sounding: CPU time per 10 ms buffer, fastest and "
           "median of 7 runs each, interleaved\n";
    QStringList files;
    for (int i = 0; i < 4; ++i) {
        const QString path = dir.filePath(QStringLiteral("voice-%1.wav").arg(i));
        Write(path, Make(Content::Music, 30, 48000, 40 + i), 48000,
              SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        files << path;
    }
    Fixed level(0.5f);
    Fixed own(1.0f);
    std::vector<double> none, ownLevel, gained;
    for (int run = 0; run < 7; ++run) {
        none.push_back(CallbackCost(files, nullptr));
        ownLevel.push_back(CallbackCost(files, &own));
        gained.push_back(CallbackCost(files, &level));
    }
    // The fastest run is the one the other programs on the machine disturbed least.
    const auto figures = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return QString::number(values.front(), 'f', 2) + QStringLiteral(" us (median ") +
               QString::number(values[values.size() / 2], 'f', 2) + QStringLiteral(")");
    };
    out << "   no gain source:                       " << figures(none) << '\n'
        << "   every voice at its own level (1.0):   " << figures(ownLevel) << '\n'
        << "   every voice at a gain (0.5):          " << figures(gained) << '\n';
    out.flush();
}

// ---------------------------------------------------------------------------

int AirCheck(const QString& recording, const QString& asRun, QTextStream& out) {
    const std::vector<float> aired = testsounds::ReadAll(recording);
    if (aired.empty()) {
        out << "cannot read " << recording << '\n';
        return 1;
    }
    QStringList rows = textfile::ReadLines(asRun);
    if (rows.isEmpty()) {
        out << "cannot read " << asRun << '\n';
        return 1;
    }
    rows.removeFirst();
    std::size_t at = 0;
    while (at * 2 < aired.size() && aired[at * 2] == 0.0f && aired[at * 2 + 1] == 0.0f)
        ++at;
    QTemporaryDir dir;
    const QString scratch = dir.filePath(QStringLiteral("part.wav"));
    out << "  LUFS   dBTP   seconds  element\n";
    for (const QString& row : rows) {
        // start,end,seconds,ended,element,file,playlist: names may be quoted, the
        // first four never are.
        const QStringList fields = row.split(QLatin1Char(','));
        if (fields.size() < 5) continue;
        const double seconds = fields[2].toDouble();
        const auto frames = static_cast<std::size_t>(std::llround(seconds * AudioEngine::kRate));
        const LoudnessMeasure measure = MeasureStretch(aired, at, frames, scratch);
        at += frames;
        out << QString::number(measure.integrated, 'f', 1).rightJustified(6)
            << QString::number(measure.truePeak, 'f', 1).rightJustified(7)
            << QString::number(seconds, 'f', 3).rightJustified(10) << "  " << fields[4]
            << (measure.Measured() ? QString() : QStringLiteral(" (") + measure.problem + ')')
            << '\n';
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--air-check"))
        return AirCheck(arguments[2], arguments[3], out);
    QTemporaryDir dir;
    MeasuringSpeed(dir, out);
    const int status = Programme(dir, out);
    Callback(dir, out);
    return status;
}
