#include "DemoSounds.h"

#include "DurableFile.h"

#include <sndfile.h>
#include <soxr.h>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <numbers>

namespace sonavel::demo {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
const QString kEspeak = QStringLiteral("espeak-ng");

// A sine by rotation rather than by std::sin per sample: an hour of demo
// audio is millions of samples of several voices each.
class Oscillator {
  public:
    Oscillator(double frequency, int rate, double phase = 0.0)
        : m_re(std::cos(phase)),
          m_im(std::sin(phase)),
          m_stepRe(std::cos(kTwoPi * frequency / rate)),
          m_stepIm(std::sin(kTwoPi * frequency / rate)) {}

    double Next() {
        const double value = m_im;
        const double re = m_re * m_stepRe - m_im * m_stepIm;
        m_im = m_re * m_stepIm + m_im * m_stepRe;
        m_re = re;
        return value;
    }

  private:
    double m_re, m_im, m_stepRe, m_stepIm;
};

std::size_t Frames(double seconds, int rate) {
    return static_cast<std::size_t>(std::max(0.0, seconds) * rate);
}

// Fades at both ends, so no file starts or stops with a click.
void Fade(Sound& sound, double inSeconds, double outSeconds) {
    const std::size_t n = sound.samples.size();
    const std::size_t in = std::min(n, Frames(inSeconds, sound.rate));
    const std::size_t out = std::min(n, Frames(outSeconds, sound.rate));
    for (std::size_t i = 0; i < in; ++i)
        sound.samples[i] *= static_cast<float>(i) / static_cast<float>(in);
    for (std::size_t i = 0; i < out; ++i)
        sound.samples[n - 1 - i] *= static_cast<float>(i) / static_cast<float>(out);
}

void Normalise(Sound& sound, float peak) {
    float highest = 0.0f;
    for (const float s : sound.samples)
        highest = std::max(highest, std::abs(s));
    if (highest <= 0.0f) return;
    const float gain = peak / highest;
    for (float& s : sound.samples)
        s *= gain;
}

// One struck note: a few partials dying away at their own pace.
void Strike(Sound& sound, double start, double frequency, double seconds, float gain,
            const std::vector<std::pair<double, double>>& partials) {
    const std::size_t first = Frames(start, sound.rate);
    const std::size_t count = Frames(seconds, sound.rate);
    if (sound.samples.size() < first + count) sound.samples.resize(first + count, 0.0f);
    const std::size_t attack = std::max<std::size_t>(1, Frames(0.004, sound.rate));
    for (const auto& [ratio, decay] : partials) {
        const double f = frequency * ratio;
        if (f >= sound.rate / 2.0) continue;
        // The decay as a factor per sample: thousands of notes are struck.
        const double fall = std::exp(-1.0 / (decay * sound.rate));
        double level = gain / ratio;
        Oscillator tone(f, sound.rate);
        for (std::size_t i = 0; i < count; ++i) {
            // A few milliseconds of attack keep the strike from clicking.
            const double rise = i < attack ? double(i) / double(attack) : 1.0;
            sound.samples[first + i] += static_cast<float>(rise * level * tone.Next());
            level *= fall;
        }
    }
}

int Third(bool minor) {
    return minor ? 3 : 4;
}

}  // namespace

double NoteFrequency(int semitonesFromA4) {
    return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

Sound ChordPad(int root, bool minor, double seconds, int rate) {
    Sound sound{rate, std::vector<float>(Frames(seconds, rate), 0.0f)};
    const int notes[] = {root, root + Third(minor), root + 7, root + 12};
    for (int k = 0; k < 4; ++k) {
        const double f = NoteFrequency(notes[k]);
        Oscillator tone(f, rate);
        Oscillator overtone(2 * f, rate);
        // Each voice swells at its own slow rate, so the pad breathes.
        Oscillator swell(0.07 + 0.03 * k, rate, k);
        for (float& sample : sound.samples) {
            sample += static_cast<float>((0.75 + 0.25 * swell.Next()) *
                                         (tone.Next() + 0.2 * overtone.Next()));
        }
    }
    // A soft bass note on every beat at 96 beats a minute.
    const double beat = 60.0 / 96.0;
    Sound bass{rate, {}};
    for (double start = 0.0; start + beat <= seconds; start += beat)
        Strike(bass, start, NoteFrequency(root - 24), beat, 1.6f, {{1.0, 0.25}, {2.0, 0.1}});
    MixInto(sound, bass, 1.0f);
    sound.samples.resize(Frames(seconds, rate));
    Normalise(sound, 0.6f);
    Fade(sound, 1.5, 2.0);
    return sound;
}

Sound Arpeggio(int root, bool minor, double seconds, int bpm, int rate) {
    Sound sound{rate, {}};
    const int pattern[] = {0, Third(minor), 7, 12, 7, Third(minor)};
    const double step = 60.0 / bpm / 2.0;
    int index = 0;
    for (double start = 0.0; start + step <= seconds; start += step, ++index) {
        Strike(sound, start, NoteFrequency(root + 12 + pattern[index % 6]),
               std::min(0.8, seconds - start), 0.5f, {{1.0, 0.3}, {2.0, 0.12}, {3.0, 0.06}});
    }
    sound.samples.resize(Frames(seconds, rate), 0.0f);
    MixInto(sound, ChordPad(root, minor, seconds, rate), 0.5f);
    Normalise(sound, 0.6f);
    Fade(sound, 0.2, 1.5);
    return sound;
}

Sound Chime(const std::vector<int>& notes, double noteSeconds, double ringSeconds, int rate) {
    Sound sound{rate, {}};
    for (std::size_t i = 0; i < notes.size(); ++i) {
        Strike(sound, i * noteSeconds, NoteFrequency(notes[i]), ringSeconds, 1.0f,
               {{1.0, ringSeconds / 3.0}, {2.76, ringSeconds / 8.0}, {5.4, ringSeconds / 16.0}});
    }
    Normalise(sound, 0.6f);
    Fade(sound, 0.0, 0.05);
    return sound;
}

Sound TimeTones(int hour, int minute, int rate) {
    // The hour rises through the octave twice a day, the minute in steps of
    // five: the same time always sounds the same.
    return Chime({3, hour % 12 - 9, minute / 5 - 2}, 0.45, 1.7, rate);
}

Sound Join(const std::vector<Sound>& parts, double gapSeconds) {
    Sound joined{parts.empty() ? 0 : parts.front().rate, {}};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) joined.samples.resize(joined.samples.size() + Frames(gapSeconds, joined.rate));
        joined.samples.insert(joined.samples.end(), parts[i].samples.begin(),
                              parts[i].samples.end());
    }
    return joined;
}

void MixInto(Sound& base, const Sound& over, float gain) {
    if (base.samples.size() < over.samples.size()) base.samples.resize(over.samples.size(), 0.0f);
    for (std::size_t i = 0; i < over.samples.size(); ++i)
        base.samples[i] += gain * over.samples[i];
}

Sound Resampled(const Sound& sound, int rate) {
    if (sound.rate == rate || sound.samples.empty()) return {rate, sound.samples};
    Sound out{rate, std::vector<float>(static_cast<std::size_t>(std::ceil(
                                           double(sound.samples.size()) * rate / sound.rate)) +
                                       16)};
    std::size_t done = 0;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_error_t error =
        soxr_oneshot(sound.rate, rate, 1, sound.samples.data(), sound.samples.size(), nullptr,
                     out.samples.data(), out.samples.size(), &done, nullptr, &quality, nullptr);
    if (error) return {};
    out.samples.resize(done);
    return out;
}

Sound Trimmed(const Sound& sound) {
    constexpr float kQuiet = 0.01f;
    const auto& s = sound.samples;
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && std::abs(s[first]) < kQuiet)
        ++first;
    while (last > first && std::abs(s[last - 1]) < kQuiet)
        --last;
    const std::size_t margin = Frames(0.02, sound.rate);
    first = first > margin ? first - margin : 0;
    last = std::min(s.size(), last + margin);
    return {sound.rate, std::vector<float>(s.begin() + first, s.begin() + last)};
}

namespace {

// libsndfile writes the WAV into memory, so the file itself is written whole
// by the one writer that checks every call.
struct MemoryFile {
    QByteArray bytes;
    sf_count_t at = 0;

    static MemoryFile& Of(void* data) { return *static_cast<MemoryFile*>(data); }
    static sf_count_t Length(void* data) { return Of(data).bytes.size(); }
    static sf_count_t Seek(sf_count_t offset, int whence, void* data) {
        MemoryFile& file = Of(data);
        const sf_count_t base = whence == SEEK_CUR   ? file.at
                                : whence == SEEK_END ? file.bytes.size()
                                                     : 0;
        file.at = std::max<sf_count_t>(0, base + offset);
        return file.at;
    }
    static sf_count_t Read(void* to, sf_count_t count, void* data) {
        MemoryFile& file = Of(data);
        const sf_count_t n = std::clamp<sf_count_t>(file.bytes.size() - file.at, 0, count);
        std::copy_n(file.bytes.constData() + file.at, n, static_cast<char*>(to));
        file.at += n;
        return n;
    }
    static sf_count_t Write(const void* from, sf_count_t count, void* data) {
        MemoryFile& file = Of(data);
        if (file.at + count > file.bytes.size()) file.bytes.resize(file.at + count);
        std::copy_n(static_cast<const char*>(from), count, file.bytes.data() + file.at);
        file.at += count;
        return count;
    }
    static sf_count_t Tell(void* data) { return Of(data).at; }
};

}  // namespace

int WriteWav(const QString& path, const Sound& sound, WavSamples samples) {
    SF_INFO info{};
    info.samplerate = sound.rate;
    info.channels = 1;
    info.format =
        SF_FORMAT_WAV | (samples == WavSamples::MuLaw ? SF_FORMAT_ULAW : SF_FORMAT_PCM_16);
    MemoryFile memory;
    SF_VIRTUAL_IO io{MemoryFile::Length, MemoryFile::Seek, MemoryFile::Read, MemoryFile::Write,
                     MemoryFile::Tell};
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (!file) return EINVAL;
    // Whatever the mix did, the file holds no wrapped-around samples.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto frames = static_cast<sf_count_t>(sound.samples.size());
    const bool encoded = sf_writef_float(file, sound.samples.data(), frames) == frames;
    if (sf_close(file) != 0 || !encoded) return EINVAL;
    return WriteFileWhole(path, memory.bytes).error;
}

Sound ReadSound(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> frames(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    Sound sound{info.samplerate,
                std::vector<float>(static_cast<std::size_t>(std::max<sf_count_t>(read, 0)))};
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
        float sum = 0.0f;
        for (int c = 0; c < info.channels; ++c)
            sum += frames[i * info.channels + c];
        sound.samples[i] = sum / static_cast<float>(info.channels);
    }
    return sound;
}

bool SpeechAvailable() {
    return !QStandardPaths::findExecutable(kEspeak).isEmpty();
}

std::vector<Sound> Speak(const QStringList& texts) {
    if (!SpeechAvailable()) return {};
    QTemporaryDir folder;
    if (!folder.isValid()) return {};
    std::vector<Sound> spoken(static_cast<std::size_t>(texts.size()));
    // Starting the program costs more than speaking a few words, so several
    // run side by side, waited for in the order they were started.
    const qsizetype parallel = std::max(2, QThread::idealThreadCount() * 2);
    std::deque<std::pair<qsizetype, std::unique_ptr<QProcess>>> running;
    qsizetype next = 0;
    while (next < texts.size() || !running.empty()) {
        while (next < texts.size() && qsizetype(running.size()) < parallel) {
            auto process = std::make_unique<QProcess>();
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->setStandardOutputFile(QProcess::nullDevice());
            process->start(
                kEspeak,
                {QStringLiteral("-v"), QStringLiteral("en"), QStringLiteral("-s"),
                 QStringLiteral("165"), QStringLiteral("-w"),
                 folder.filePath(QString::number(next) + QStringLiteral(".wav")), texts[next]});
            running.emplace_back(next, std::move(process));
            ++next;
        }
        auto [index, process] = std::move(running.front());
        running.pop_front();
        const bool finished = process->waitForFinished(30000);
        if (finished && process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0) {
            spoken[static_cast<std::size_t>(index)] = Trimmed(
                ReadSound(folder.filePath(QString::number(index) + QStringLiteral(".wav"))));
        } else {
            process->kill();
            process->waitForFinished(1000);
        }
    }
    return spoken;
}

}  // namespace sonavel::demo
