#include "DecoderSource.h"
#include "MediaPlayer.h"

#include <mpg123.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <mutex>

namespace sonavel::decoding {
namespace {

constexpr std::int64_t kBytesPerFrame = 2 * sizeof(float);
// mpg123 reading from a file never returns empty-handed for long; this bound
// only guards against a decoder that stops making progress.
constexpr int kMaxIdleReads = 64;
constexpr long kSeekPreframes = 10;

int InitLibrary() {
    static std::once_flag once;
    static int result = MPG123_ERR;
    std::call_once(once, [] { result = mpg123_init(); });
    return result;
}

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};
using HandlePtr = std::unique_ptr<mpg123_handle, HandleDeleter>;

QString LibraryText(mpg123_handle* handle) {
    return QStringLiteral(" (mpg123: %1)").arg(QString::fromUtf8(mpg123_strerror(handle)));
}

QString LayerName(int layer) {
    switch (layer) {
        case 1:
            return QStringLiteral("MP1");
        case 2:
            return QStringLiteral("MP2");
        default:
            return QStringLiteral("MP3");
    }
}

// What an encoder's Xing/Info tag says about its stream. The tag sits in the
// first frame, after any ID3v2 tag.
struct StreamTag {
    qint64 frames = -1;  // MPEG frames, the tag's own frame included
    qint64 bytes = -1;   // bytes of the MPEG stream
    bool constantRate = false;
};

qint64 BigEndian(const QByteArray& data, qsizetype at) {
    qint64 value = 0;
    for (int k = 0; k < 4; ++k)
        value = value << 8 | static_cast<unsigned char>(data[at + k]);
    return value;
}

// Reads the tag and where the MPEG stream begins and ends in the file: after
// an ID3v2 tag, before an APEv2 and an ID3v1 tag.
StreamTag ReadStreamTag(const QString& path, qint64& streamStart, qint64& streamEnd) {
    StreamTag tag;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return tag;
    const qint64 size = file.size();
    QByteArray head = file.read(10);
    streamStart = 0;
    if (head.size() == 10 && head.startsWith("ID3")) {
        const auto b = [&](int i) {
            return static_cast<qint64>(static_cast<unsigned char>(head[i]) & 0x7f);
        };
        const bool footer = (static_cast<unsigned char>(head[5]) & 0x10) != 0;
        streamStart = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9)) + (footer ? 10 : 0);
    }
    streamEnd = size;
    if (size >= 128 && file.seek(size - 128) && file.read(3) == "TAG") streamEnd -= 128;
    if (streamEnd >= 32 && file.seek(streamEnd - 32)) {
        const QByteArray ape = file.read(32);
        if (ape.size() == 32 && ape.startsWith("APETAGEX")) {
            const auto le = [&](int at) {
                qint64 value = 0;
                for (int k = 3; k >= 0; --k)
                    value = value << 8 | static_cast<unsigned char>(ape[at + k]);
                return value;
            };
            const bool hasHeader = (le(20) & 0x80000000) != 0;
            streamEnd -= le(12) + (hasHeader ? 32 : 0);
        }
    }
    if (!file.seek(streamStart)) return tag;
    const QByteArray frame = file.read(4096);
    qsizetype at = frame.indexOf("Xing");
    tag.constantRate = at < 0;
    if (at < 0) at = frame.indexOf("Info");
    if (at < 0 || frame.size() < at + 16) return tag;
    const qint64 flags = BigEndian(frame, at + 4);
    if (!(flags & 0x1) || !(flags & 0x2)) return tag;  // frame and byte counts
    tag.frames = BigEndian(frame, at + 8);
    tag.bytes = BigEndian(frame, at + 12);
    return tag;
}

// True when the encoder's tag gives the exact gapless length: it carries the
// encoder delay and the frame count, the file holds exactly the bytes the tag
// counts (a copy cut short, or files joined end to end, must be scanned), and
// the frame count fits those bytes at a bit rate MPEG audio can have, so a
// forged count is not believed either.
bool TagLengthTrusted(mpg123_handle* handle, const QString& path) {
    long delay = -1;
    double unused = 0;
    if (mpg123_getstate(handle, MPG123_ENC_DELAY, &delay, &unused) != MPG123_OK || delay < 0) {
        return false;
    }
    if (mpg123_length(handle) <= 0) return false;
    qint64 streamStart = 0;
    qint64 streamEnd = 0;
    const StreamTag tag = ReadStreamTag(path, streamStart, streamEnd);
    if (tag.bytes <= 0 || tag.frames <= 0) return false;
    // Encoders count the stream either with or without the tag's own frame.
    mpg123_frameinfo info{};
    if (mpg123_info(handle, &info) != MPG123_OK || info.rate <= 0 || info.framesize <= 0)
        return false;
    const qint64 stream = streamEnd - streamStart;
    const qint64 tagFrameBytes = info.framesize + 4;
    if (stream != tag.bytes && stream - tagFrameBytes != tag.bytes) return false;
    // Samples per frame: 384 for layer I, 1152 for layer II and for layer III
    // of MPEG-1, 576 for layer III of MPEG-2 and 2.5.
    const int samplesPerFrame =
        info.layer == 1 ? 384 : (info.layer == 3 && info.version != MPG123_1_0 ? 576 : 1152);
    const double kbps = static_cast<double>(tag.bytes) * 8.0 * info.rate /
                        (static_cast<double>(tag.frames) * samplesPerFrame * 1000.0);
    if (kbps < 8.0 || kbps > 448.0) return false;
    // A constant-rate stream has the bit rate its frames declare.
    if (tag.constantRate && info.bitrate > 0 && std::abs(kbps - info.bitrate) > 0.02 * info.bitrate)
        return false;
    return true;
}

class Mpg123Source final : public Source {
  public:
    explicit Mpg123Source(const QString& path) : m_path(path) {
        if (const int init = InitLibrary(); init != MPG123_OK)
            Fail(media::kNotDecodable, path,
                 QStringLiteral("the MPEG decoder cannot start (mpg123: %1)")
                     .arg(QString::fromUtf8(mpg123_plain_strerror(init))));
        int error = MPG123_OK;
        m_handle.reset(mpg123_new(nullptr, &error));
        if (!m_handle) {
            if (error == MPG123_OUT_OF_MEM)
                Fail(media::kOutOfMemory, path, QStringLiteral("there is not enough memory"));
            Fail(media::kNotDecodable, path,
                 QStringLiteral("the MPEG decoder cannot start (mpg123: %1)")
                     .arg(QString::fromUtf8(mpg123_plain_strerror(error))));
        }
        mpg123_handle* h = m_handle.get();
        // Gapless trimming makes the length the encoder's own sample count, so
        // back-to-back elements join without the codec's padding. Forcing
        // stereo float lets mono streams duplicate exactly and lets us decode
        // straight into the caller's buffer.
        mpg123_param(h, MPG123_ADD_FLAGS,
                     MPG123_GAPLESS | MPG123_FORCE_FLOAT | MPG123_FORCE_STEREO | MPG123_QUIET |
                         MPG123_AUTO_RESAMPLE,
                     0.0);

        // Layer III frames borrow bits from up to ~500 bytes of earlier frames;
        // at low bit rates that is several frames back. Decoding enough of
        // them before a seek target makes a seek sound like straight play
        // instead of starting with a burst of wrong samples.
        mpg123_param(h, MPG123_PREFRAMES, kSeekPreframes, 0.0);
        const long* rates = nullptr;
        std::size_t rateCount = 0;
        mpg123_rates(&rates, &rateCount);
        mpg123_format_none(h);
        for (std::size_t k = 0; k < rateCount; ++k)
            mpg123_format(h, rates[k], MPG123_STEREO, MPG123_ENC_FLOAT_32);

        if (mpg123_open(h, QFile::encodeName(path).constData()) != MPG123_OK)
            Fail(media::kNotDecodable, path,
                 QStringLiteral("the file cannot be read") + LibraryText(h));
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
            Fail(media::kNotDecodable, path,
                 QStringLiteral("no MPEG audio was found in it") + LibraryText(h));
        // A stream whose rate changes part-way (files glued together) keeps the
        // first rate: mpg123 converts the rest rather than changing under us.
        mpg123_format_none(h);
        mpg123_format(h, rate, MPG123_STEREO, MPG123_ENC_FLOAT_32);
        // Without a full scan the length is only estimated from the first
        // frames and a Xing tag that may be missing or wrong. Scanning a long
        // file costs tens of milliseconds, so an encoder's Info tag on a
        // constant-rate file that is as long as the tag says is taken as it is.
        if (!TagLengthTrusted(h, path) && mpg123_scan(h) != MPG123_OK)
            Fail(media::kNotDecodable, path,
                 QStringLiteral("its MPEG frames cannot be scanned") + LibraryText(h));
        const off_t length = mpg123_length(h);
        if (length < 0)
            Fail(media::kNotDecodable, path,
                 QStringLiteral("its length cannot be determined") + LibraryText(h));
        mpg123_frameinfo info{};
        mpg123_info(h, &info);
        m_frames = length;
        m_rate = static_cast<int>(rate);
        m_channels = info.mode == MPG123_M_MONO ? 1 : 2;
        m_format = LayerName(info.layer);
    }

    std::int64_t Frames() const override { return m_frames; }
    int Rate() const override { return m_rate; }
    int Channels() const override { return m_channels; }
    QString FormatName() const override { return m_format; }

    std::int64_t ReadStereo(float* stereo, std::int64_t maxFrames) override {
        std::int64_t got = 0;
        int idle = 0;
        while (got < maxFrames && !m_ended) {
            std::size_t done = 0;
            const int result =
                mpg123_read(m_handle.get(), reinterpret_cast<unsigned char*>(stereo + 2 * got),
                            static_cast<std::size_t>((maxFrames - got) * kBytesPerFrame), &done);
            got += static_cast<std::int64_t>(done) / kBytesPerFrame;
            if (result == MPG123_DONE) {
                m_ended = true;
            } else if (result == MPG123_NEW_FORMAT) {
                CheckFormat();
            } else if (result != MPG123_OK) {
                Fail(media::kNotDecodable, m_path,
                     QStringLiteral("its MPEG data is damaged") + LibraryText(m_handle.get()));
            } else if (done == 0 && ++idle > kMaxIdleReads) {
                m_ended = true;
            }
        }
        return got;
    }

    void Seek(std::int64_t frame) override {
        if (mpg123_seek(m_handle.get(), std::clamp<std::int64_t>(frame, 0, m_frames), SEEK_SET) < 0)
            Fail(media::kNotDecodable, m_path,
                 QStringLiteral("the file cannot be positioned") + LibraryText(m_handle.get()));
        m_ended = false;
    }

  private:
    void CheckFormat() {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(m_handle.get(), &rate, &channels, &encoding) != MPG123_OK ||
            rate != m_rate || channels != 2 || encoding != MPG123_ENC_FLOAT_32)
            Fail(media::kNotDecodable, m_path,
                 QStringLiteral("its sample rate changes within the file"));
    }

    QString m_path;
    HandlePtr m_handle;
    std::int64_t m_frames = 0;
    int m_rate = 0;
    int m_channels = 0;
    QString m_format;
    bool m_ended = false;
};

}  // namespace

std::unique_ptr<Source> OpenMpg123(const QString& path) {
    return std::make_unique<Mpg123Source>(path);
}

}  // namespace sonavel::decoding
