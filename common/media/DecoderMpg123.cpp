#include "DecoderSource.h"
#include "MediaPlayer.h"

#include <mpg123.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
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

// The byte count an encoder's Xing/Info tag gives for its stream, or -1. The
// tag sits in the first frame, after any ID3v2 tag.
qint64 TaggedStreamBytes(const QString& path, qint64& streamStart) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    QByteArray head = file.read(10);
    streamStart = 0;
    if (head.size() == 10 && head.startsWith("ID3")) {
        const auto b = [&](int i) {
            return static_cast<qint64>(static_cast<unsigned char>(head[i]) & 0x7f);
        };
        streamStart = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
    }
    if (!file.seek(streamStart)) return -1;
    const QByteArray frame = file.read(4096);
    qsizetype at = frame.indexOf("Xing");
    if (at < 0) at = frame.indexOf("Info");
    if (at < 0 || frame.size() < at + 16) return -1;
    const auto word = [&](qsizetype i) {
        qint64 value = 0;
        for (int k = 0; k < 4; ++k)
            value = value << 8 | static_cast<unsigned char>(frame[i + k]);
        return value;
    };
    const qint64 flags = word(at + 4);
    if (!(flags & 0x1) || !(flags & 0x2)) return -1;  // frame and byte counts
    return word(at + 12);
}

// True when the encoder's tag gives the exact gapless length: it carries the
// encoder delay and the frame count, and the file holds at least the bytes
// the tag counts (a copy cut short must be scanned).
bool TagLengthTrusted(mpg123_handle* handle, const QString& path) {
    long delay = -1;
    double unused = 0;
    if (mpg123_getstate(handle, MPG123_ENC_DELAY, &delay, &unused) != MPG123_OK || delay < 0) {
        return false;
    }
    if (mpg123_length(handle) <= 0) return false;
    qint64 streamStart = 0;
    const qint64 bytes = TaggedStreamBytes(path, streamStart);
    return bytes > 0 && QFileInfo(path).size() - streamStart >= bytes;
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
