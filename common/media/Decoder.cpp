#include "Decoder.h"

#include "DecoderSource.h"
#include "MediaPlayer.h"

#include <mpg123.h>
#include <sndfile.h>
#include <soxr.h>

#include <QFile>
#include <QFileInfo>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace sonavel {

namespace decoding {

void Fail(std::int32_t code, const QString& path, const QString& what) {
    throw MediaError{code, QStringLiteral("Cannot play %1: %2").arg(path, what)};
}

}  // namespace decoding

namespace {

using namespace decoding;

// What the first bytes of a file say it is. Content wins over the name, so a
// WAV saved as .mp3 still plays; only files that say nothing are judged by
// their extension.
enum class Content { Unknown, SoundFile, MpegAudio };

bool IsMpegAudioHeader(const QByteArray& head) {
    if (head.size() < 4) return false;
    const auto b1 = static_cast<unsigned char>(head[1]);
    const auto b2 = static_cast<unsigned char>(head[2]);
    return static_cast<unsigned char>(head[0]) == 0xFF && (b1 & 0xE0) == 0xE0 &&
           ((b1 >> 3) & 3) != 1 && ((b1 >> 1) & 3) != 0 && (b2 >> 4) != 15 && ((b2 >> 2) & 3) != 3;
}

bool IsSoundFileHeader(const QByteArray& head) {
    if (head.startsWith("RIFF")) return head.mid(8, 4) == "WAVE";
    for (const char* magic :
         {"RIFX", "RF64", "BW64", "FORM", ".snd", "dns.", "fLaC", "OggS", "caff", "riff"})
        if (head.startsWith(magic)) return true;
    return false;
}

Content Sniff(QFile& file) {
    QByteArray head = file.read(12);
    if (head.startsWith("ID3") && head.size() >= 10) {
        // Skip the tag: what follows decides, though it is nearly always MPEG.
        const auto byte = [&](int k) { return static_cast<qint64>(head[k] & 0x7F); };
        const qint64 tagSize = (byte(6) << 21) | (byte(7) << 14) | (byte(8) << 7) | byte(9);
        const bool footer = (static_cast<unsigned char>(head[5]) & 0x10) != 0;
        if (file.seek(10 + tagSize + (footer ? 10 : 0))) head = file.read(12);
        return IsSoundFileHeader(head) ? Content::SoundFile : Content::MpegAudio;
    }
    if (IsSoundFileHeader(head)) return Content::SoundFile;
    if (IsMpegAudioHeader(head)) return Content::MpegAudio;
    return Content::Unknown;
}

// Extensions that name sound files in playlists but hold formats this engine
// has no decoder for: refused by name, so the log says what the file is.
QString UnsupportedFormat(const QString& suffix) {
    static const struct {
        const char* suffix;
        const char* name;
    } kFormats[] = {
        {"mid", "MIDI"},          {"rmi", "MIDI"},          {"ra", "RealAudio"},
        {"rm", "RealAudio"},      {"ram", "RealAudio"},     {"rmm", "RealAudio"},
        {"asf", "Windows Media"}, {"asx", "Windows Media"}, {"m1v", "MPEG video"},
        {"mpg", "MPEG video"},    {"mpeg", "MPEG video"},   {"aui", "AUI"},
    };
    for (const auto& format : kFormats)
        if (suffix == QLatin1String(format.suffix)) return QString::fromLatin1(format.name);
    return {};
}

bool IsMpegAudioSuffix(const QString& suffix) {
    return suffix == QLatin1String("mp3") || suffix == QLatin1String("mp2") ||
           suffix == QLatin1String("mpa");
}

struct SoxrDeleter {
    void operator()(soxr_t resampler) const { soxr_delete(resampler); }
};
using SoxrPtr = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;

// Maps a source to the output rate. Files already at the output rate are read
// straight into the caller's buffer, so their samples arrive bit for bit.
class ConvertingDecoder final : public Decoder {
  public:
    ConvertingDecoder(const QString& path, std::unique_ptr<Source> source, int outputRate)
        : m_path(path), m_source(std::move(source)) {
        if (m_source->Rate() == outputRate) return;
        // HQ is 20-bit precision, already below the noise of 16-bit sources,
        // at a fraction of VHQ's cost while four voices decode at once.
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        m_resampler.reset(
            soxr_create(m_source->Rate(), outputRate, 2, &error, nullptr, &quality, nullptr));
        if (error || !m_resampler)
            Fail(media::kNotDecodable, path,
                 QStringLiteral("its sample rate of %1 Hz cannot be converted (soxr: %2)")
                     .arg(m_source->Rate())
                     .arg(QString::fromUtf8(soxr_strerror(error))));
        m_input.resize(2 * kBlockFrames);
    }

    std::int64_t FileFrames() const override { return m_source->Frames(); }
    std::int64_t DeclaredFrames() const override { return m_source->DeclaredFrames(); }
    int FileRate() const override { return m_source->Rate(); }
    int FileChannels() const override { return m_source->Channels(); }
    QString FormatName() const override { return m_source->FormatName(); }

    std::int64_t Read(float* stereo, std::int64_t maxFrames) override {
        if (maxFrames <= 0) return 0;
        if (!m_resampler) return ReadSource(stereo, maxFrames);
        std::int64_t done = 0;
        while (done < maxFrames && !m_drained) {
            if (m_inputPos == m_inputLength && !m_inputEnded) {
                m_inputPos = 0;
                m_inputLength = m_source->ReadStereo(m_input.data(), kBlockFrames);
                m_inputEnded = m_inputLength == 0;
            }
            std::size_t used = 0;
            std::size_t made = 0;
            // A null input tells soxr the file has ended, so it flushes the
            // filter's tail instead of waiting for more.
            const float* in = m_inputEnded ? nullptr : m_input.data() + 2 * m_inputPos;
            const soxr_error_t error = soxr_process(
                m_resampler.get(), in, static_cast<std::size_t>(m_inputLength - m_inputPos), &used,
                stereo + 2 * done, static_cast<std::size_t>(maxFrames - done), &made);
            if (error)
                Fail(media::kNotDecodable, m_path,
                     QStringLiteral("its sample rate cannot be converted (soxr: %1)")
                         .arg(QString::fromUtf8(error)));
            m_inputPos += static_cast<std::int64_t>(used);
            done += static_cast<std::int64_t>(made);
            if (m_inputEnded && made == 0) m_drained = true;
        }
        return done;
    }

    void Seek(std::int64_t fileFrame) override {
        m_source->Seek(fileFrame);
        if (!m_resampler) return;
        soxr_clear(m_resampler.get());
        m_inputPos = m_inputLength = 0;
        m_inputEnded = m_drained = false;
    }

  private:
    std::int64_t ReadSource(float* stereo, std::int64_t maxFrames) {
        std::int64_t done = 0;
        while (done < maxFrames) {
            const std::int64_t got = m_source->ReadStereo(stereo + 2 * done, maxFrames - done);
            if (got <= 0) break;
            done += got;
        }
        return done;
    }

    QString m_path;
    std::unique_ptr<Source> m_source;
    SoxrPtr m_resampler;
    std::vector<float> m_input;
    std::int64_t m_inputPos = 0;
    std::int64_t m_inputLength = 0;
    bool m_inputEnded = false;
    bool m_drained = false;
};

std::unique_ptr<Decoder> OpenFile(const QString& path, int outputRate) {
    if (path.isEmpty())
        throw MediaError{media::kBadPath, QStringLiteral("Cannot play: no file name was given")};
    const QFileInfo info(path);
    if (info.isDir()) Fail(media::kBadPath, path, QStringLiteral("it is a folder, not a file"));
    if (!info.exists()) Fail(media::kFileMissing, path, QStringLiteral("the file does not exist"));
    // A pipe or device would block the open or never end.
    if (!info.isFile()) Fail(media::kBadPath, path, QStringLiteral("it is not a regular file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail(media::kNotDecodable, path,
             QStringLiteral("the file cannot be read (%1)").arg(file.errorString()));
    if (file.size() == 0) Fail(media::kNotDecodable, path, QStringLiteral("the file is empty"));
    const Content content = Sniff(file);
    file.close();

    const QString suffix = info.suffix().toLower();
    std::unique_ptr<Source> source;
    if (content == Content::SoundFile) {
        source = OpenSndfile(path);
    } else if (content == Content::MpegAudio) {
        source = OpenMpg123(path);
    } else if (const QString format = UnsupportedFormat(suffix); !format.isEmpty()) {
        Fail(media::kNotDecodable, path, format + QStringLiteral(" files are not supported"));
    } else if (IsMpegAudioSuffix(suffix)) {
        source = OpenMpg123(path);
    } else {
        source = OpenSndfile(path);
    }
    // A header with no sound behind it (a file cut short in its first
    // frames, an export that wrote nothing) would start and end at once.
    if (source->Frames() <= 0)
        Fail(media::kNotDecodable, path, QStringLiteral("it holds no sound"));
    return std::make_unique<ConvertingDecoder>(path, std::move(source), outputRate);
}

}  // namespace

std::unique_ptr<Decoder> Decoder::Open(const QString& path, int outputRate) {
    if (outputRate <= 0) throw std::invalid_argument("Decoder::Open: output rate must be positive");
    try {
        return OpenFile(path, outputRate);
    } catch (const std::bad_alloc&) {
        Fail(media::kOutOfMemory, path, QStringLiteral("there is not enough memory to open it"));
    }
}

QString Decoder::LibraryVersions() {
    return QStringLiteral("%1, libmpg123 %2, libsoxr %3")
        .arg(QString::fromLatin1(sf_version_string()))
        .arg(MPG123_API_VERSION)
        .arg(QString::fromLatin1(soxr_version()));
}

}  // namespace sonavel
