#include "Decoder.h"
#include "MediaPlayer.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using namespace sonavel;

namespace {

constexpr int kEngineRate = 48000;
constexpr int kMp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;

// Channel c of the test tone: a sine of 440·(c+1) Hz at half scale.
float ToneAt(int channel, double seconds) {
    return 0.5f *
           static_cast<float>(std::sin(2 * std::numbers::pi * 440.0 * (channel + 1) * seconds));
}

std::vector<float> Tone(int rate, int channels, std::int64_t frames) {
    std::vector<float> samples(frames * channels);
    for (std::int64_t n = 0; n < frames; ++n)
        for (int c = 0; c < channels; ++c)
            samples[n * channels + c] = ToneAt(c, double(n) / rate);
    return samples;
}

std::vector<float> ReadAll(Decoder& decoder, std::int64_t chunk = 4096) {
    std::vector<float> out;
    std::vector<float> buffer(2 * chunk);
    // Bounded, so a decoder that never ends fails the test instead of hanging it.
    for (int reads = 0; reads < 100000; ++reads) {
        const std::int64_t got = decoder.Read(buffer.data(), chunk);
        EXPECT_LE(got, chunk);
        if (got == 0) {
            EXPECT_EQ(decoder.Read(buffer.data(), chunk), 0) << "the end must stay the end";
            return out;
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + 2 * got);
    }
    ADD_FAILURE() << "Read never returned 0";
    return out;
}

std::int64_t Frames(const std::vector<float>& stereo) {
    return std::int64_t(stereo.size() / 2);
}

class DecoderTest : public ::testing::Test {
  protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    QString Write(const QString& name, int format, int rate, int channels,
                  const std::vector<float>& samples, const std::vector<int>& channelMap = {}) {
        QString path = Path(name);
        QDir().mkpath(QFileInfo(path).path());
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << qPrintable(name) << ": " << sf_strerror(nullptr);
        if (!file) return path;
        if (!channelMap.empty())
            sf_command(file, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(channelMap.data()),
                       int(channelMap.size() * sizeof(int)));
        // In blocks, as libvorbis's encoder crashes on very large single writes.
        const sf_count_t frames = sf_count_t(samples.size() / channels);
        for (sf_count_t at = 0; at < frames; at += 4096)
            EXPECT_EQ(sf_writef_float(file, samples.data() + at * channels,
                                      std::min<sf_count_t>(4096, frames - at)),
                      std::min<sf_count_t>(4096, frames - at));
        sf_close(file);
        return path;
    }

    QString WriteBytes(const QString& name, const QByteArray& bytes) {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    static MediaError OpenFails(const QString& path) {
        try {
            Decoder::Open(path, kEngineRate);
        } catch (const MediaError& error) {
            return error;
        }
        ADD_FAILURE() << "opened " << qPrintable(path);
        return {0, {}};
    }

    QTemporaryDir m_dir;
};

TEST_F(DecoderTest, EveryFormatHasItsExactLengthAndPlaysInTimeAtTheEngineRate) {
    struct Case {
        const char* name;
        int format;
        int rate;
        int channels;
        const char* formatName;
        float tolerance;    // lossy codecs only approximate the tone
        std::int64_t edge;  // and, like any filter, settle in after a start from silence
    };
    const Case cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, "WAV", 1e-4f, 0},
        {"float-mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, "WAV", 1e-3f, 200},
        {"pcm24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 44100, 2, "AIFF", 1e-3f, 200},
        {"pcm16.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 22050, 1, "AU", 1e-3f, 200},
        {"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 96000, 2, "FLAC", 1e-3f, 200},
        {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, "Ogg Vorbis", 0.02f, 1000},
        {"opus.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2, "Opus", 0.02f, 1000},
        {"stereo.mp3", kMp3, 44100, 2, "MP3", 0.02f, 1000},
        {"mono.mp3", kMp3, 48000, 1, "MP3", 0.02f, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // An odd length, not a multiple of any codec's frame, shows padding.
        const std::int64_t frames = c.rate * 6 / 10 + 37;
        const QString path =
            Write(c.name, c.format, c.rate, c.channels, Tone(c.rate, c.channels, frames));
        auto decoder = Decoder::Open(path, kEngineRate);
        EXPECT_EQ(decoder->FileFrames(), frames);
        EXPECT_EQ(decoder->FileRate(), c.rate);
        EXPECT_EQ(decoder->FileChannels(), c.channels);
        EXPECT_EQ(decoder->FormatName(), c.formatName);

        const std::vector<float> out = ReadAll(*decoder, 4096);
        if (c.rate == kEngineRate) {
            EXPECT_EQ(Frames(out), frames);
        } else {
            EXPECT_NEAR(Frames(out), std::llround(double(frames) * kEngineRate / c.rate), 1);
        }
        // Sample by sample against the tone at the engine rate: catches lost
        // padding, resampler delay, scaling and swapped or dropped channels.
        float worst = 0.0f;
        for (std::int64_t n = c.edge; n < Frames(out) - c.edge; ++n) {
            const double t = double(n) / kEngineRate;
            worst = std::max(worst, std::abs(out[2 * n] - ToneAt(0, t)));
            worst = std::max(worst, std::abs(out[2 * n + 1] - ToneAt(c.channels == 1 ? 0 : 1, t)));
            if (c.channels == 1) {
                ASSERT_EQ(out[2 * n], out[2 * n + 1]) << "frame " << n;
            }
        }
        EXPECT_LT(worst, c.tolerance);
    }
}

TEST_F(DecoderTest, SameRateSamplesPassThroughBitForBitIntoStereo) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> level(-1.5f, 1.5f);  // float files may exceed full scale
    std::vector<float> noise(std::size_t{3} * 20011);
    for (float& s : noise)
        s = level(random);

    // Odd chunk sizes cross every internal block boundary.
    const std::vector<float> stereo(noise.begin(), noise.begin() + 2L * 20011);
    auto decoder = Decoder::Open(
        Write("float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, stereo), kEngineRate);
    EXPECT_EQ(ReadAll(*decoder, 1000), stereo);
    decoder->Seek(0);
    EXPECT_EQ(ReadAll(*decoder, 4097), stereo);

    const std::vector<float> mono(noise.begin(), noise.begin() + 20011);
    decoder = Decoder::Open(Write("mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, mono),
                            kEngineRate);
    std::vector<float> out = ReadAll(*decoder, 333);
    ASSERT_EQ(Frames(out), 20011);
    for (std::int64_t n = 0; n < 20011; ++n) {
        ASSERT_EQ(out[2 * n], mono[n]) << n;
        ASSERT_EQ(out[2 * n + 1], mono[n]) << n;
    }

    // 16-bit PCM arrives as sample / 32768, so full-scale negative is exactly -1.
    std::vector<short> pcm(std::size_t{2} * 5000);
    for (std::size_t k = 0; k < pcm.size(); ++k)
        pcm[k] = short(int(k * 7919 % 65536) - 32768);
    SF_INFO info{};
    info.samplerate = kEngineRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(Path("pcm16.wav")).constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_writef_short(file, pcm.data(), 5000);
    sf_close(file);
    decoder = Decoder::Open(Path("pcm16.wav"), kEngineRate);
    out = ReadAll(*decoder);
    ASSERT_EQ(out.size(), pcm.size());
    for (std::size_t k = 0; k < pcm.size(); ++k)
        ASSERT_EQ(out[k], pcm[k] / 32768.0f) << k;

    // Without a channel map the first two channels are left and right.
    decoder = Decoder::Open(Write("three.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 3, noise),
                            kEngineRate);
    out = ReadAll(*decoder, 1024);
    ASSERT_EQ(Frames(out), 20011);
    for (std::int64_t n = 0; n < 20011; ++n) {
        ASSERT_EQ(out[2 * n], noise[3 * n]) << n;
        ASSERT_EQ(out[2 * n + 1], noise[3 * n + 1]) << n;
    }
    // With one, the centre goes to both sides at -3 dB and the LFE nowhere,
    // scaled so that channels at full scale together stay within it.
    const float centre = std::numbers::sqrt2_v<float> / 2;
    const std::vector<float> quad = {0.25f, -0.5f, 0.4f, 0.9f};
    decoder = Decoder::Open(Write("quad.wav", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 48000, 4, quad,
                                  {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER,
                                   SF_CHANNEL_MAP_LFE}),
                            kEngineRate);
    out = ReadAll(*decoder);
    ASSERT_EQ(Frames(out), 1);
    EXPECT_FLOAT_EQ(out[0], (0.25f + 0.4f * centre) / (1 + centre));
    EXPECT_FLOAT_EQ(out[1], (-0.5f + 0.4f * centre) / (1 + centre));
    // A 7.1 master with every channel at 0.52 folds down to 0.52, not to a
    // sum that would clip.
    const std::vector<float> loud(std::size_t{8} * 100, 0.52f);
    decoder = Decoder::Open(
        Write("7.1.wav", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 48000, 8, loud,
              {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE,
               SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT, SF_CHANNEL_MAP_SIDE_LEFT,
               SF_CHANNEL_MAP_SIDE_RIGHT}),
        kEngineRate);
    out = ReadAll(*decoder);
    ASSERT_EQ(Frames(out), 100);
    for (const float sample : out)
        ASSERT_NEAR(sample, 0.52f, 1e-6f);
}

TEST_F(DecoderTest, SeekingRepeatsTheSameFrames) {
    for (const auto& [name, format, rate] :
         {std::tuple{"same.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000},
          std::tuple{"resampled.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100},
          std::tuple{"gapless.mp3", kMp3, 48000}}) {
        SCOPED_TRACE(name);
        auto decoder =
            Decoder::Open(Write(name, format, rate, 2, Tone(rate, 2, rate / 2)), kEngineRate);
        const std::vector<float> first = ReadAll(*decoder);
        // Back to the start after the end, when any resampler has drained.
        decoder->Seek(0);
        EXPECT_EQ(ReadAll(*decoder), first);
        // And, while playing, to the middle: nothing of the old place may
        // linger in the decoder or the resampler.
        decoder->Seek(0);
        std::vector<float> some(std::size_t{2} * 3000);
        EXPECT_EQ(decoder->Read(some.data(), 3000), 3000);
        const std::int64_t middle = rate / 4;
        decoder->Seek(middle);
        const std::vector<float> rest = ReadAll(*decoder);
        const std::int64_t offset = std::llround(double(middle) * kEngineRate / rate);
        EXPECT_NEAR(Frames(rest), Frames(first) - offset, 1);
        // Same rate: identical from the first frame, also for MP3, whose frames
        // depend on earlier ones. Resampled: the filter restarts, then agrees.
        const std::int64_t settle = rate == kEngineRate ? 0 : 200;
        float worst = 0.0f;
        for (std::int64_t n = settle; n < std::min(Frames(rest), Frames(first) - offset); ++n)
            worst = std::max(worst, std::abs(rest[2 * n] - first[2 * (n + offset)]));
        EXPECT_LE(worst, rate == kEngineRate ? 0.0f : 1e-3f);
    }
}

TEST_F(DecoderTest, UnplayableFilesFailWithTheirCodeAndTheFileName) {
    EXPECT_EQ(OpenFails(QString()).code, media::kBadPath);

    const MediaError folder = OpenFails(m_dir.path());
    EXPECT_EQ(folder.code, media::kBadPath);
    EXPECT_TRUE(folder.description.contains(m_dir.path())) << qPrintable(folder.description);

    const QString pipe = Path("pipe.wav");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(OpenFails(pipe).code, media::kBadPath);

    const QString missing = Path("gone.wav");
    EXPECT_EQ(OpenFails(missing).code, media::kFileMissing);
    EXPECT_EQ(OpenFails(missing).description,
              QStringLiteral("Cannot play %1: the file does not exist").arg(missing));

    const QString empty = WriteBytes("empty.wav", {});
    EXPECT_EQ(OpenFails(empty).code, media::kNotDecodable);
    EXPECT_EQ(OpenFails(empty).description,
              QStringLiteral("Cannot play %1: the file is empty").arg(empty));

    for (const QString& name : {QStringLiteral("notes.wav"), QStringLiteral("notes.mp3"),
                                QStringLiteral("notes.flac"), QStringLiteral("notes.xyz")}) {
        const QString path = WriteBytes(name, "Running order for Monday\r\n09:00 News\r\n");
        const MediaError error = OpenFails(path);
        EXPECT_EQ(error.code, media::kNotDecodable) << qPrintable(name);
        EXPECT_TRUE(error.description.startsWith(QStringLiteral("Cannot play %1: ").arg(path)))
            << qPrintable(error.description);
    }

    const struct {
        const char* name;
        QByteArray bytes;
        const char* format;
    } refused[] = {
        {"jingle.mid", QByteArray("MThd\0\0\0\x06\0\x01\0\x02\x01\xe0", 14), "MIDI"},
        {"jingle.rmi", QByteArray("RIFF\x20\0\0\0RMIDdata", 16), "MIDI"},
        {"show.rm", QByteArray(".RMF\0\0\0\x12\0\x01", 10), "RealAudio"},
        {"show.ram", "rtsp://example.org/show.rm\n", "RealAudio"},
        {"clip.asf", QByteArray::fromHex("3026b2758e66cf11a6d900aa0062ce6c"), "Windows Media"},
        {"clip.MPG", QByteArray::fromHex("000001ba4400040004010189c3f8"), "MPEG video"},
    };
    for (const auto& file : refused) {
        const QString path = WriteBytes(file.name, file.bytes);
        const MediaError error = OpenFails(path);
        EXPECT_EQ(error.code, media::kNotDecodable);
        EXPECT_EQ(
            error.description,
            QStringLiteral("Cannot play %1: %2 files are not supported").arg(path, file.format));
    }
}

TEST_F(DecoderTest, ContentDecidesOverTheExtension) {
    const std::vector<float> tone = Tone(48000, 2, 4800);
    Write("real.mp3", kMp3, 48000, 2, tone);
    Write("real.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, tone);
    QFile::rename(Path("real.mp3"), Path("named.wav"));
    QFile::rename(Path("real.wav"), Path("named.mp3"));
    EXPECT_EQ(Decoder::Open(Path("named.wav"), kEngineRate)->FormatName(), "MP3");
    auto wav = Decoder::Open(Path("named.mp3"), kEngineRate);
    EXPECT_EQ(wav->FormatName(), "WAV");
    EXPECT_EQ(Frames(ReadAll(*wav)), 4800);
}

TEST_F(DecoderTest, DamagedFilesPlayWhatTheyHold) {
    const std::int64_t frames = 48000;
    const std::vector<float> tone = Tone(48000, 1, frames);

    // A copy cut off in transfer: what was received plays, then the element ends.
    QFile mp3(Write("full.mp3", kMp3, 48000, 1, tone));
    ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
    const QString cut = WriteBytes("cut.mp3", mp3.read(mp3.size() * 2 / 5));
    auto decoder = Decoder::Open(cut, kEngineRate);
    EXPECT_GT(decoder->FileFrames(), frames / 4);
    EXPECT_LT(decoder->FileFrames(), frames / 2);
    EXPECT_EQ(Frames(ReadAll(*decoder)), decoder->FileFrames());

    QFile flac(Write("full.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, tone));
    ASSERT_TRUE(flac.open(QIODevice::ReadOnly));
    decoder = Decoder::Open(WriteBytes("cut.flac", flac.read(flac.size() / 2)), kEngineRate);
    const std::int64_t played = Frames(ReadAll(*decoder));
    EXPECT_GT(played, frames / 4);
    EXPECT_LT(played, frames);

    // A header that claims far more data than the file holds.
    QFile wav(Write("liar.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, tone));
    ASSERT_TRUE(wav.open(QIODevice::ReadWrite));
    QByteArray bytes = wav.readAll();
    const qsizetype data = bytes.indexOf("data");
    ASSERT_GT(data, 0);
    bytes.replace(data + 4, 4, QByteArray("\xf0\xff\xff\x7f", 4));
    bytes.replace(4, 4, QByteArray("\xf0\xff\xff\x7f", 4));
    wav.seek(0);
    wav.write(bytes);
    wav.close();
    decoder = Decoder::Open(wav.fileName(), kEngineRate);
    EXPECT_EQ(decoder->FileFrames(), frames);
    EXPECT_EQ(Frames(ReadAll(*decoder)), frames);

    // Ogg Vorbis headers garbled on the way: refused each time it is tried.
    // (libsndfile loses a little memory on this path; scripts/lsan.supp.)
    QFile ogg(Write("full.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 48000, 1, tone));
    ASSERT_TRUE(ogg.open(QIODevice::ReadOnly));
    QByteArray garbled = ogg.readAll();
    for (qsizetype i = 100; i < 300; ++i)
        garbled[i] = char(garbled[i] ^ 0x5a);
    const QString damagedOgg = WriteBytes("garbled.ogg", garbled);
    for (int attempt = 0; attempt < 3; ++attempt)
        EXPECT_EQ(OpenFails(damagedOgg).code, media::kNotDecodable);
}

// The encoder's tag gives an MP3's length without reading the file, but only
// a file that is exactly what the tag describes gets it: two files joined end
// to end, or a tag with a forged frame count, are measured by their frames,
// so the length is what plays.
TEST_F(DecoderTest, Mp3LengthFollowsTheFramesWhenTheTagDoesNotMatchTheFile) {
    const std::int64_t frames = std::int64_t{2} * 48000;
    QFile one(Write("one.mp3", kMp3, 48000, 2, Tone(48000, 2, frames)));
    ASSERT_TRUE(one.open(QIODevice::ReadOnly));
    const QByteArray bytes = one.readAll();
    const qsizetype tag = std::max(bytes.indexOf("Info"), bytes.indexOf("Xing"));
    ASSERT_GT(tag, 0) << "the encoder wrote no tag";

    auto plain = Decoder::Open(one.fileName(), kEngineRate);
    EXPECT_EQ(plain->FileFrames(), frames);
    EXPECT_EQ(Frames(ReadAll(*plain)), frames);

    auto joined = Decoder::Open(WriteBytes("joined.mp3", bytes + bytes), kEngineRate);
    const std::int64_t joinedPlayed = Frames(ReadAll(*joined));
    EXPECT_GT(joinedPlayed, 2 * frames - 2400);
    EXPECT_EQ(joined->FileFrames(), joinedPlayed);

    QByteArray forged = bytes;
    forged.replace(tag + 8, 4, QByteArray("\x00\x04\x00\x00", 4));  // 262,144 frames
    auto liar = Decoder::Open(WriteBytes("forged.mp3", forged), kEngineRate);
    const std::int64_t liarPlayed = Frames(ReadAll(*liar));
    EXPECT_NEAR(static_cast<double>(liarPlayed), static_cast<double>(frames), 2400.0);
    EXPECT_EQ(liar->FileFrames(), liarPlayed);
}

}  // namespace
