#pragma once

// Decodes what a listener received, with the encoding libraries' own
// decoders (libvorbis, libopus, and libmpg123 as the media library uses it),
// and finds the tones of a programme in it.

#include <mpg123.h>
#include <ogg/ogg.h>
#include <opus/opus.h>
#include <vorbis/codec.h>
#include <QByteArray>
#include <QString>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace sonavel::icetest {

struct Decoded {
    struct Chain {
        QString title;
        std::int64_t startFrame = 0;  // where its sound starts in `stereo`
    };
    std::vector<float> stereo;
    std::vector<Chain> chains;
    std::int64_t Frames() const { return static_cast<std::int64_t>(stereo.size() / 2); }
};

inline QString CommentTitle(const std::vector<QByteArray>& comments) {
    for (const QByteArray& comment : comments) {
        if (comment.toUpper().startsWith("TITLE=")) return QString::fromUtf8(comment.mid(6));
    }
    return {};
}

// Every logical stream in turn (a chained Ogg stream), Vorbis or Opus.
inline Decoded DecodeOgg(const QByteArray& bytes) {
    Decoded decoded;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, bytes.size());
    std::memcpy(buffer, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    ogg_sync_wrote(&sync, bytes.size());

    struct Stream {
        ogg_stream_state ogg{};
        bool opus = false;
        int headers = 0;
        vorbis_info vi{};
        vorbis_comment vc{};
        vorbis_dsp_state vd{};
        vorbis_block vb{};
        OpusDecoder* od = nullptr;
        int preSkip = 0;
        std::int64_t decodedFrames = 0;  // of this chain, before trimming
        std::int64_t chainStart = 0;     // in decoded.stereo
        long lastPage = -1;
        bool whole = true;  // every page from the first: not joined in the middle
    };
    std::unique_ptr<Stream> stream;
    auto close = [&] {
        if (!stream) return;
        if (stream->opus) {
            if (stream->od) opus_decoder_destroy(stream->od);
        } else {
            if (stream->headers >= 3) {
                vorbis_block_clear(&stream->vb);
                vorbis_dsp_clear(&stream->vd);
            }
            vorbis_comment_clear(&stream->vc);
            vorbis_info_clear(&stream->vi);
        }
        ogg_stream_clear(&stream->ogg);
        stream.reset();
    };
    // The end's granule position trims the padding of the last block.
    auto trim = [&](std::int64_t granule) {
        const std::int64_t wanted = granule - (stream->opus ? stream->preSkip : 0);
        const std::int64_t have = decoded.Frames() - stream->chainStart;
        if (!stream->whole) return;
        if (wanted >= 0 && wanted < have)
            decoded.stereo.resize(static_cast<std::size_t>(stream->chainStart + wanted) * 2);
    };

    ogg_page page;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (ogg_page_bos(&page)) {
            close();
            stream = std::make_unique<Stream>();
            ogg_stream_init(&stream->ogg, ogg_page_serialno(&page));
            stream->chainStart = decoded.Frames();
            decoded.chains.push_back({QString(), stream->chainStart});
        }
        if (!stream) continue;
        if (ogg_page_pageno(&page) != stream->lastPage + 1) stream->whole = false;
        stream->lastPage = ogg_page_pageno(&page);
        if (ogg_stream_pagein(&stream->ogg, &page) != 0) continue;
        ogg_packet packet;
        while (ogg_stream_packetout(&stream->ogg, &packet) == 1) {
            if (stream->headers == 0) {
                if (packet.bytes >= 19 && std::memcmp(packet.packet, "OpusHead", 8) == 0) {
                    stream->opus = true;
                    stream->preSkip = packet.packet[10] | (packet.packet[11] << 8);
                    int error = 0;
                    stream->od = opus_decoder_create(48000, 2, &error);
                } else {
                    vorbis_info_init(&stream->vi);
                    vorbis_comment_init(&stream->vc);
                    if (vorbis_synthesis_headerin(&stream->vi, &stream->vc, &packet) != 0) break;
                }
                ++stream->headers;
                continue;
            }
            if (stream->opus && stream->headers == 1) {
                std::vector<QByteArray> comments;
                const unsigned char* p = packet.packet + 8;
                const unsigned char* end = packet.packet + packet.bytes;
                auto u32 = [&] {
                    const std::uint32_t v =
                        p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
                    p += 4;
                    return v;
                };
                p += u32();
                for (std::uint32_t n = u32(); n > 0 && p < end; --n) {
                    const std::uint32_t size = u32();
                    comments.emplace_back(reinterpret_cast<const char*>(p),
                                          static_cast<qsizetype>(size));
                    p += size;
                }
                decoded.chains.back().title = CommentTitle(comments);
                ++stream->headers;
                continue;
            }
            if (!stream->opus && stream->headers < 3) {
                vorbis_synthesis_headerin(&stream->vi, &stream->vc, &packet);
                if (++stream->headers == 3) {
                    std::vector<QByteArray> comments;
                    comments.reserve(static_cast<std::size_t>(stream->vc.comments));
                    for (int i = 0; i < stream->vc.comments; ++i)
                        comments.emplace_back(stream->vc.user_comments[i],
                                              stream->vc.comment_lengths[i]);
                    decoded.chains.back().title = CommentTitle(comments);
                    vorbis_synthesis_init(&stream->vd, &stream->vi);
                    vorbis_block_init(&stream->vd, &stream->vb);
                }
                continue;
            }
            if (stream->opus) {
                float pcm[5760 * 2];
                const int n = opus_decode_float(
                    stream->od, packet.packet, static_cast<opus_int32>(packet.bytes), pcm, 5760, 0);
                for (int f = 0; f < n; ++f) {
                    if (stream->decodedFrames++ < stream->preSkip) continue;
                    decoded.stereo.push_back(pcm[static_cast<std::size_t>(f) * 2]);
                    decoded.stereo.push_back(pcm[static_cast<std::size_t>(f) * 2 + 1]);
                }
            } else if (vorbis_synthesis(&stream->vb, &packet) == 0) {
                vorbis_synthesis_blockin(&stream->vd, &stream->vb);
                float** pcm = nullptr;
                int n = 0;
                while ((n = vorbis_synthesis_pcmout(&stream->vd, &pcm)) > 0) {
                    for (int f = 0; f < n; ++f) {
                        decoded.stereo.push_back(pcm[0][f]);
                        decoded.stereo.push_back(pcm[1][f]);
                    }
                    vorbis_synthesis_read(&stream->vd, n);
                }
            }
            if (packet.e_o_s) trim(packet.granulepos);
        }
    }
    close();
    ogg_sync_clear(&sync);
    return decoded;
}

inline Decoded DecodeMp3(const QByteArray& bytes) {
    Decoded decoded;
    mpg123_init();
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    mpg123_param(handle, MPG123_FLAGS, MPG123_FORCE_FLOAT | MPG123_QUIET, 0.0);
    mpg123_format_none(handle);
    mpg123_format(handle, 48000, MPG123_STEREO, MPG123_ENC_FLOAT_32);
    mpg123_open_feed(handle);
    mpg123_feed(handle, reinterpret_cast<const unsigned char*>(bytes.constData()),
                static_cast<std::size_t>(bytes.size()));
    std::vector<unsigned char> out(1 << 16);
    for (;;) {
        std::size_t done = 0;
        const int result = mpg123_read(handle, out.data(), out.size(), &done);
        const float* samples = reinterpret_cast<const float*>(out.data());
        decoded.stereo.insert(decoded.stereo.end(), samples, samples + done / sizeof(float));
        if (result == MPG123_NEW_FORMAT) continue;
        if (result != MPG123_OK) break;
    }
    mpg123_delete(handle);
    return decoded;
}

// A run of one tone in decoded sound.
struct ToneRun {
    int hz = 0;  // 0 for silence
    std::int64_t start = 0;
    std::int64_t frames = 0;
};

// The tones among `tones` in the sound, 20 ms at a time by counting the left
// channel's zero crossings; runs shorter than 60 ms are taken as the
// encoders' edges and joined to what surrounds them.
inline std::vector<ToneRun> Tones(const Decoded& decoded, const std::vector<int>& tones) {
    constexpr std::int64_t kWindow = 960;
    std::vector<ToneRun> runs;
    for (std::int64_t at = 0; at + kWindow <= decoded.Frames(); at += kWindow) {
        int crossings = 0;
        double energy = 0;
        for (std::int64_t f = at; f < at + kWindow; ++f) {
            const float s = decoded.stereo[static_cast<std::size_t>(f) * 2];
            energy += double{s} * s;
            if (f > at && (s >= 0) != (decoded.stereo[static_cast<std::size_t>(f - 1) * 2] >= 0))
                ++crossings;
        }
        int hz = 0;
        if (std::sqrt(energy / kWindow) > 0.02) {
            const double measured = crossings * 25.0;  // half-periods per 20 ms
            for (int tone : tones) {
                if (std::abs(measured - tone) < tone * 0.08) hz = tone;
            }
            if (hz == 0) hz = -1;  // sound, but none of the tones
        }
        if (!runs.empty() && runs.back().hz == hz) {
            runs.back().frames += kWindow;
        } else {
            runs.push_back({hz, at, kWindow});
        }
    }
    std::vector<ToneRun> joined;
    for (const ToneRun& run : runs) {
        if (run.frames < 3 * kWindow && !joined.empty()) {
            joined.back().frames += run.frames;
        } else if (!joined.empty() && joined.back().hz == run.hz) {
            joined.back().frames += run.frames;
        } else {
            joined.push_back(run);
        }
    }
    return joined;
}

}  // namespace sonavel::icetest
