#include "StreamEncoder.h"

#include <lame/lame.h>
#include <ogg/ogg.h>
#include <opus/opus.h>
#include <vorbis/vorbisenc.h>
#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <random>

// The three encoders. Ogg formats start a new logical stream (chained) for
// each title, as listeners' players and the server read titles from the
// stream's comment header.

namespace sonavel {

namespace {

constexpr int kRate = 48000;

void Append(Bytes& out, const unsigned char* data, long size) {
    out.insert(out.end(), data, data + size);
}

void AppendPage(Bytes& out, const ogg_page& page) {
    Append(out, page.header, page.header_len);
    Append(out, page.body, page.body_len);
}

int NewSerial() {
    static std::mt19937 random{std::random_device{}()};
    return static_cast<int>(random() & 0x7fffffff);
}

// ---------------------------------------------------------------------------

class VorbisEncoder final : public StreamEncoder {
  public:
    explicit VorbisEncoder(int kbps) : m_kbps(kbps) {}
    ~VorbisEncoder() override { Clear(); }
    VorbisEncoder(const VorbisEncoder&) = delete;
    VorbisEncoder& operator=(const VorbisEncoder&) = delete;

    StreamFormat Format() const override { return StreamFormat::OggVorbis; }

    void Begin(const QString& title, Bytes& out) override {
        Clear();
        vorbis_info_init(&m_info);
        // Average bit rate without the bit-rate manager: its bookkeeping costs
        // more than the encoding and a stream needs no hard ceiling.
        if (vorbis_encode_setup_managed(&m_info, 2, kRate, -1, m_kbps * 1000L, -1) != 0 ||
            vorbis_encode_ctl(&m_info, OV_ECTL_RATEMANAGE2_SET, nullptr) != 0 ||
            vorbis_encode_setup_init(&m_info) != 0) {
            vorbis_info_clear(&m_info);
            vorbis_info_init(&m_info);
            vorbis_encode_init_vbr(&m_info, 2, kRate, 0.4f);
        }
        vorbis_comment_init(&m_comment);
        vorbis_comment_add_tag(&m_comment, "ENCODER", "Sonavel");
        if (!title.isEmpty())
            vorbis_comment_add_tag(&m_comment, "TITLE", title.toUtf8().constData());
        vorbis_analysis_init(&m_dsp, &m_info);
        vorbis_block_init(&m_dsp, &m_block);
        ogg_stream_init(&m_ogg, NewSerial());
        m_open = true;
        m_held = 0;
        m_pageGranule = 0;
        ogg_packet header;
        ogg_packet comments;
        ogg_packet code;
        vorbis_analysis_headerout(&m_dsp, &m_comment, &header, &comments, &code);
        ogg_stream_packetin(&m_ogg, &header);
        ogg_stream_packetin(&m_ogg, &comments);
        ogg_stream_packetin(&m_ogg, &code);
        // The headers stand on pages of their own, as the format asks.
        ogg_page page;
        while (ogg_stream_flush(&m_ogg, &page) != 0)
            AppendPage(out, page);
    }

    void Encode(const float* stereo, std::size_t frames, Bytes& out) override {
        if (!m_open || frames == 0) return;
        float** buffer = vorbis_analysis_buffer(&m_dsp, static_cast<int>(frames));
        for (std::size_t f = 0; f < frames; ++f) {
            buffer[0][f] = stereo[f * 2];
            buffer[1][f] = stereo[f * 2 + 1];
        }
        vorbis_analysis_wrote(&m_dsp, static_cast<int>(frames));
        m_held += frames;
        Drain(out, false);
    }

    bool Retitle(const QString& title, Bytes& out) override {
        End(out);
        Begin(title, out);
        return true;
    }

    void End(Bytes& out) override {
        if (!m_open) return;
        vorbis_analysis_wrote(&m_dsp, 0);
        Drain(out, true);
        Clear();
    }

    std::size_t HeldFrames() const override { return m_held; }

  private:
    void Drain(Bytes& out, bool end) {
        ogg_packet packet;
        ogg_page page;
        while (vorbis_analysis_blockout(&m_dsp, &m_block) == 1) {
            vorbis_analysis(&m_block, nullptr);
            vorbis_bitrate_addblock(&m_block);
            while (vorbis_bitrate_flushpacket(&m_dsp, &packet) == 1) {
                ogg_stream_packetin(&m_ogg, &packet);
                // Quiet passages make small packets; a page at least every
                // quarter second keeps the listeners' delay short all the same.
                const bool due = packet.granulepos - m_pageGranule >= kRate / 4;
                while ((due ? ogg_stream_flush(&m_ogg, &page)
                            : ogg_stream_pageout(&m_ogg, &page)) != 0) {
                    AppendPage(out, page);
                    m_pageGranule = ogg_page_granulepos(&page);
                    m_held = static_cast<std::size_t>(
                        std::max<ogg_int64_t>(0, m_dsp.granulepos - m_pageGranule));
                }
            }
        }
        if (end) {
            while (ogg_stream_flush(&m_ogg, &page) != 0)
                AppendPage(out, page);
            m_held = 0;
        }
    }

    void Clear() {
        if (!m_open) return;
        ogg_stream_clear(&m_ogg);
        vorbis_block_clear(&m_block);
        vorbis_dsp_clear(&m_dsp);
        vorbis_comment_clear(&m_comment);
        vorbis_info_clear(&m_info);
        m_open = false;
    }

    int m_kbps;
    bool m_open = false;
    std::size_t m_held = 0;
    ogg_int64_t m_pageGranule = 0;
    vorbis_info m_info{};
    vorbis_comment m_comment{};
    vorbis_dsp_state m_dsp{};
    vorbis_block m_block{};
    ogg_stream_state m_ogg{};
};

// ---------------------------------------------------------------------------

class OpusStreamEncoder final : public StreamEncoder {
  public:
    static constexpr std::size_t kFrame = 960;  // 20 ms
    // A page at least this often keeps the listeners' delay short.
    static constexpr int kPacketsPerPage = 10;

    explicit OpusStreamEncoder(int kbps) : m_kbps(kbps) { m_pending.reserve(kFrame * 2); }
    ~OpusStreamEncoder() override { Clear(); }
    OpusStreamEncoder(const OpusStreamEncoder&) = delete;
    OpusStreamEncoder& operator=(const OpusStreamEncoder&) = delete;

    StreamFormat Format() const override { return StreamFormat::OggOpus; }

    void Begin(const QString& title, Bytes& out) override {
        Clear();
        int error = 0;
        m_encoder = opus_encoder_create(kRate, 2, OPUS_APPLICATION_AUDIO, &error);
        if (!m_encoder) return;
        opus_encoder_ctl(m_encoder, OPUS_SET_BITRATE(m_kbps * 1000));
        opus_int32 lookahead = 0;
        opus_encoder_ctl(m_encoder, OPUS_GET_LOOKAHEAD(&lookahead));
        m_preSkip = lookahead;
        ogg_stream_init(&m_ogg, NewSerial());
        m_packetNo = 0;
        m_granule = 0;
        m_samples = 0;
        m_sincePage = 0;
        m_pending.clear();

        QByteArray head("OpusHead", 8);
        head.append(char(1));  // version
        head.append(char(2));  // channels
        head.append(char(m_preSkip & 0xff)).append(char((m_preSkip >> 8) & 0xff));
        for (int shift = 0; shift < 32; shift += 8)
            head.append(char((kRate >> shift) & 0xff));
        head.append(char(0)).append(char(0));  // output gain
        head.append(char(0));                  // channel mapping family
        Packet(head, true, false, 0);
        Flush(out);

        QByteArray tags("OpusTags", 8);
        const QByteArray vendor(opus_get_version_string());
        LittleEndian(tags, static_cast<quint32>(vendor.size()));
        tags.append(vendor);
        QList<QByteArray> comments{QByteArrayLiteral("ENCODER=Sonavel")};
        if (!title.isEmpty()) comments << "TITLE=" + title.toUtf8();
        LittleEndian(tags, static_cast<quint32>(comments.size()));
        for (const QByteArray& comment : comments) {
            LittleEndian(tags, static_cast<quint32>(comment.size()));
            tags.append(comment);
        }
        Packet(tags, false, false, 0);
        Flush(out);
    }

    void Encode(const float* stereo, std::size_t frames, Bytes& out) override {
        if (!m_encoder) return;
        for (std::size_t f = 0; f < frames; ++f) {
            m_pending.push_back(stereo[f * 2]);
            m_pending.push_back(stereo[f * 2 + 1]);
            if (m_pending.size() == kFrame * 2) {
                EncodeFrame(static_cast<int>(kFrame), false, out);
                m_pending.clear();
            }
        }
    }

    bool Retitle(const QString& title, Bytes& out) override {
        End(out);
        Begin(title, out);
        return true;
    }

    void End(Bytes& out) override {
        if (!m_encoder) return;
        // The last frame is padded with silence; the end's granule position
        // tells decoders where the sound really stops.
        const int real = static_cast<int>(m_pending.size() / 2);
        m_pending.resize(kFrame * 2, 0.0f);
        EncodeFrame(real, true, out);
        m_pending.clear();
        Flush(out);
        Clear();
    }

    std::size_t HeldFrames() const override {
        return m_pending.size() / 2 + static_cast<std::size_t>(m_sincePage) * kFrame;
    }

  private:
    static void LittleEndian(QByteArray& bytes, quint32 value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(char((value >> shift) & 0xff));
    }

    void Packet(const QByteArray& data, bool bos, bool eos, ogg_int64_t granule) {
        ogg_packet packet{};
        packet.packet =
            reinterpret_cast<unsigned char*>(const_cast<char*>(data.constData()));  // NOLINT
        packet.bytes = data.size();
        packet.b_o_s = bos ? 1 : 0;
        packet.e_o_s = eos ? 1 : 0;
        packet.granulepos = granule;
        packet.packetno = m_packetNo++;
        ogg_stream_packetin(&m_ogg, &packet);
    }

    void EncodeFrame(int realSamples, bool last, Bytes& out) {
        unsigned char data[4000];
        const opus_int32 size =
            opus_encode_float(m_encoder, m_pending.data(), static_cast<int>(kFrame), data,
                              static_cast<opus_int32>(sizeof data));
        if (size < 0) return;
        m_samples += realSamples;
        m_granule = m_preSkip + m_samples;
        Packet(QByteArray(reinterpret_cast<const char*>(data), size), false, last, m_granule);
        ogg_page page;
        if (++m_sincePage >= kPacketsPerPage) {
            while (ogg_stream_flush(&m_ogg, &page) != 0)
                AppendPage(out, page);
            m_sincePage = 0;
        } else {
            while (ogg_stream_pageout(&m_ogg, &page) != 0) {
                AppendPage(out, page);
                m_sincePage = 0;
            }
        }
    }

    void Flush(Bytes& out) {
        ogg_page page;
        while (ogg_stream_flush(&m_ogg, &page) != 0)
            AppendPage(out, page);
        m_sincePage = 0;
    }

    void Clear() {
        if (!m_encoder) return;
        opus_encoder_destroy(m_encoder);
        m_encoder = nullptr;
        ogg_stream_clear(&m_ogg);
    }

    int m_kbps;
    OpusEncoder* m_encoder = nullptr;
    ogg_stream_state m_ogg{};
    int m_preSkip = 0;
    ogg_int64_t m_packetNo = 0;
    ogg_int64_t m_granule = 0;
    ogg_int64_t m_samples = 0;
    int m_sincePage = 0;
    std::vector<float> m_pending;
};

// ---------------------------------------------------------------------------

class Mp3Encoder final : public StreamEncoder {
  public:
    explicit Mp3Encoder(int kbps) : m_kbps(kbps) {}
    ~Mp3Encoder() override { Clear(); }
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    StreamFormat Format() const override { return StreamFormat::Mp3; }

    void Begin(const QString&, Bytes&) override {
        Clear();
        m_lame = lame_init();
        if (!m_lame) return;
        lame_set_in_samplerate(m_lame, kRate);
        lame_set_out_samplerate(m_lame, kRate);
        lame_set_num_channels(m_lame, 2);
        lame_set_mode(m_lame, JOINT_STEREO);
        lame_set_brate(m_lame, m_kbps);
        lame_set_quality(m_lame, 5);
        // A stream has no end to go back to for a summary frame.
        lame_set_bWriteVbrTag(m_lame, 0);
        if (lame_init_params(m_lame) < 0) Clear();
        m_held = 0;
    }

    void Encode(const float* stereo, std::size_t frames, Bytes& out) override {
        if (!m_lame || frames == 0) return;
        m_buffer.resize(frames * 5 / 4 + 7200);
        const int n = lame_encode_buffer_interleaved_ieee_float(
            m_lame, stereo, static_cast<int>(frames), m_buffer.data(),
            static_cast<int>(m_buffer.size()));
        if (n > 0) Append(out, m_buffer.data(), n);
        m_held = static_cast<std::size_t>(std::max(0, lame_get_mf_samples_to_encode(m_lame)));
    }

    bool Retitle(const QString&, Bytes&) override { return false; }

    void End(Bytes& out) override {
        if (!m_lame) return;
        m_buffer.resize(7200);
        const int n = lame_encode_flush(m_lame, m_buffer.data(), static_cast<int>(m_buffer.size()));
        if (n > 0) Append(out, m_buffer.data(), n);
        Clear();
    }

    std::size_t HeldFrames() const override { return m_held; }

  private:
    void Clear() {
        if (m_lame) lame_close(m_lame);
        m_lame = nullptr;
        m_held = 0;
    }

    int m_kbps;
    lame_global_flags* m_lame = nullptr;
    std::vector<unsigned char> m_buffer;
    std::size_t m_held = 0;
};

}  // namespace

std::unique_ptr<StreamEncoder> MakeStreamEncoder(StreamFormat format, int kbps) {
    kbps = std::clamp(kbps, 16, 320);
    switch (format) {
        case StreamFormat::OggVorbis:
            return std::make_unique<VorbisEncoder>(kbps);
        case StreamFormat::OggOpus:
            return std::make_unique<OpusStreamEncoder>(std::min(kbps, 256));
        case StreamFormat::Mp3:
            return std::make_unique<Mp3Encoder>(kbps);
    }
    return nullptr;
}

QString EncoderLibraryVersions() {
    return QStringLiteral("%1, %2, LAME %3")
        .arg(QString::fromLatin1(vorbis_version_string()),
             QString::fromLatin1(opus_get_version_string()),
             QString::fromLatin1(get_lame_version()));
}

}  // namespace sonavel
