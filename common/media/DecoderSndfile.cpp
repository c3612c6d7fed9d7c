#include "DecoderSource.h"
#include "MediaPlayer.h"

#include <sndfile.h>

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <vector>

namespace sonavel::decoding {
namespace {

constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

QString LibraryText(SNDFILE* file) {
    QString text = QString::fromUtf8(sf_strerror(file)).trimmed();
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return QStringLiteral(" (libsndfile: %1)").arg(text);
}

QString OpenFailure(int error) {
    switch (error) {
        case SF_ERR_UNRECOGNISED_FORMAT:
            return QStringLiteral("its data is not in a sound format this player can decode");
        case SF_ERR_SYSTEM:
            return QStringLiteral("the file cannot be read");
        case SF_ERR_MALFORMED_FILE:
            return QStringLiteral("the file is damaged");
        case SF_ERR_UNSUPPORTED_ENCODING:
            return QStringLiteral("its sound encoding is not supported");
        default:
            return QStringLiteral("the file cannot be decoded");
    }
}

QString NameOf(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    const int sub = format & SF_FORMAT_SUBMASK;
    switch (major) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
            return QStringLiteral("WAV");
        case SF_FORMAT_RF64:
            return QStringLiteral("RF64");
        case SF_FORMAT_W64:
            return QStringLiteral("Wave64");
        case SF_FORMAT_AIFF:
            return QStringLiteral("AIFF");
        case SF_FORMAT_AU:
            return QStringLiteral("AU");
        case SF_FORMAT_FLAC:
            return QStringLiteral("FLAC");
        case SF_FORMAT_CAF:
            return QStringLiteral("CAF");
        case SF_FORMAT_OGG:
            switch (sub) {
                case SF_FORMAT_VORBIS:
                    return QStringLiteral("Ogg Vorbis");
                case SF_FORMAT_OPUS:
                    return QStringLiteral("Opus");
                case SF_FORMAT_FLAC:
                    return QStringLiteral("Ogg FLAC");
                default:
                    return QStringLiteral("Ogg");
            }
        case SF_FORMAT_MPEG:
            switch (sub) {
                case SF_FORMAT_MPEG_LAYER_I:
                    return QStringLiteral("MP1");
                case SF_FORMAT_MPEG_LAYER_II:
                    return QStringLiteral("MP2");
                default:
                    return QStringLiteral("MP3");
            }
        default:
            break;
    }
    SF_FORMAT_INFO info{};
    info.format = major;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        return QString::fromUtf8(info.name);
    return QStringLiteral("sound file");
}

// Left and right gain per channel for files of more than two channels. With a
// channel map we fold the surround layout down the usual way (centre and
// surrounds at -3 dB, LFE dropped) and do not normalise, so a stereo-safe mix
// keeps its level; without one, the first two channels are left and right,
// which is what most multichannel exports put there.
std::vector<float> DownmixGains(SNDFILE* file, int channels) {
    constexpr float kMinus3dB = 0.70710678f;
    std::vector<float> gains(std::size_t{2} * channels, 0.0f);
    std::vector<int> map(channels, SF_CHANNEL_MAP_INVALID);
    float leftSum = 0.0f;
    float rightSum = 0.0f;
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
        for (int c = 0; c < channels; ++c) {
            float left = 0.0f;
            float right = 0.0f;
            switch (map[c]) {
                case SF_CHANNEL_MAP_LEFT:
                case SF_CHANNEL_MAP_FRONT_LEFT:
                case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
                    left = 1.0f;
                    break;
                case SF_CHANNEL_MAP_RIGHT:
                case SF_CHANNEL_MAP_FRONT_RIGHT:
                case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
                    right = 1.0f;
                    break;
                case SF_CHANNEL_MAP_MONO:
                case SF_CHANNEL_MAP_CENTER:
                case SF_CHANNEL_MAP_FRONT_CENTER:
                    left = right = kMinus3dB;
                    break;
                case SF_CHANNEL_MAP_REAR_LEFT:
                case SF_CHANNEL_MAP_SIDE_LEFT:
                case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
                case SF_CHANNEL_MAP_TOP_REAR_LEFT:
                    left = kMinus3dB;
                    break;
                case SF_CHANNEL_MAP_REAR_RIGHT:
                case SF_CHANNEL_MAP_SIDE_RIGHT:
                case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
                case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
                    right = kMinus3dB;
                    break;
                case SF_CHANNEL_MAP_REAR_CENTER:
                case SF_CHANNEL_MAP_TOP_CENTER:
                case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
                case SF_CHANNEL_MAP_TOP_REAR_CENTER:
                    left = right = 0.5f;
                    break;
                default:
                    break;
            }
            gains[std::size_t{2} * c] = left;
            gains[2 * c + 1] = right;
            leftSum += left;
            rightSum += right;
        }
    }
    if (leftSum == 0.0f || rightSum == 0.0f) {
        std::fill(gains.begin(), gains.end(), 0.0f);
        gains[0] = 1.0f;
        gains[3] = 1.0f;
        return gains;
    }
    // Every channel of a surround master may be near full scale at once; the
    // fold-down is scaled so that its sum never is more than full scale, or a
    // loud 7.1 file would be clipped for its whole length.
    for (int c = 0; c < channels; ++c) {
        if (leftSum > 1.0f) gains[std::size_t{2} * c] /= leftSum;
        if (rightSum > 1.0f) gains[2 * c + 1] /= rightSum;
    }
    return gains;
}

// The length the header promised, when the file holds less: libsndfile
// plays what is there and notes the difference ("data : 1152000 (should be
// 384056)") in its log, which is the only place it is told.
std::int64_t HeaderFrames(SNDFILE* file, std::int64_t frames) {
    std::array<char, 4096> log{};
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    static const QRegularExpression shortData(
        QStringLiteral("^(data|SSND)\\s*:\\s*(\\d+)\\s*\\(should be (\\d+)\\)"),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = shortData.match(QString::fromLatin1(log.data()));
    if (!match.hasMatch()) return frames;
    const double declared = match.captured(2).toDouble();
    const double held = match.captured(3).toDouble();
    if (held <= 0 || declared <= held) return frames;
    return static_cast<std::int64_t>(static_cast<double>(frames) * declared / held);
}

class SndfileSource final : public Source {
  public:
    explicit SndfileSource(const QString& path) : m_path(path) {
        SF_INFO info{};
        m_file.reset(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
        if (!m_file) {
            const int error = sf_error(nullptr);
            Fail(media::kNotDecodable, path, OpenFailure(error) + LibraryText(nullptr));
        }
        if (info.channels <= 0 || info.frames < 0 || info.frames == SF_COUNT_MAX)
            Fail(media::kNotDecodable, path, QStringLiteral("its length cannot be determined"));
        // A damaged header can claim 1 Hz, which would turn a second of data
        // into half a day of resampled sound.
        if (info.samplerate < kMinRate || info.samplerate > kMaxRate)
            Fail(media::kNotDecodable, path,
                 QStringLiteral("its sample rate of %1 Hz is not a sound rate; the header is "
                                "probably damaged")
                     .arg(info.samplerate));
        m_frames = info.frames;
        m_declared = HeaderFrames(m_file.get(), m_frames);
        m_rate = info.samplerate;
        m_channels = info.channels;
        m_format = NameOf(info.format);
        // Float files must pass through untouched; integer PCM is scaled to
        // +-1 by libsndfile's own normalisation, which is on by default.
        sf_command(m_file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
        if (m_channels != 2) m_raw.resize(kBlockFrames * m_channels);
        if (m_channels > 2) m_gains = DownmixGains(m_file.get(), m_channels);
    }

    std::int64_t Frames() const override { return m_frames; }
    std::int64_t DeclaredFrames() const override { return m_declared; }
    int Rate() const override { return m_rate; }
    int Channels() const override { return m_channels; }
    QString FormatName() const override { return m_format; }

    std::int64_t ReadStereo(float* stereo, std::int64_t maxFrames) override {
        if (maxFrames <= 0) return 0;
        // A short or failed read is the end: libsndfile stops at whatever a
        // truncated or lying file really holds, and we play up to there.
        if (m_channels == 2)
            return std::max<sf_count_t>(0, sf_readf_float(m_file.get(), stereo, maxFrames));
        const sf_count_t got = std::max<sf_count_t>(
            0, sf_readf_float(m_file.get(), m_raw.data(), std::min(maxFrames, kBlockFrames)));
        const float* in = m_raw.data();
        if (m_channels == 1) {
            for (sf_count_t i = 0; i < got; ++i)
                stereo[2 * i] = stereo[2 * i + 1] = in[i];
            return got;
        }
        for (sf_count_t i = 0; i < got; ++i, in += m_channels) {
            float left = 0.0f;
            float right = 0.0f;
            for (int c = 0; c < m_channels; ++c) {
                left += in[c] * m_gains[std::size_t{2} * c];
                right += in[c] * m_gains[2 * c + 1];
            }
            stereo[2 * i] = left;
            stereo[2 * i + 1] = right;
        }
        return got;
    }

    void Seek(std::int64_t frame) override {
        if (sf_seek(m_file.get(), std::clamp<std::int64_t>(frame, 0, m_frames), SEEK_SET) < 0)
            Fail(media::kNotDecodable, m_path,
                 QStringLiteral("the file cannot be positioned") + LibraryText(m_file.get()));
    }

  private:
    QString m_path;
    SndfilePtr m_file;
    std::int64_t m_frames = 0;
    std::int64_t m_declared = 0;
    int m_rate = 0;
    int m_channels = 0;
    QString m_format;
    std::vector<float> m_raw;
    std::vector<float> m_gains;
};

}  // namespace

std::unique_ptr<Source> OpenSndfile(const QString& path) {
    return std::make_unique<SndfileSource>(path);
}

}  // namespace sonavel::decoding
