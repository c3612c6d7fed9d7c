// The stream to listeners, measured:
//  - what each encoder costs at 128 kbit/s, as a share of one core;
//  - with a local icecast2: the delay from the output to the bytes a listener
//    receives (Ogg Vorbis and Ogg Opus, from their pages' granule positions),
//    and what is dropped while the server stalls for 10 s, on the stream's
//    side and on the output's.
//
//   build/bench/stream [stall seconds]      (default 10)

#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "IcecastConnection.h"
#include "IcecastServer.h"
#include "Listener.h"
#include "StreamEncoder.h"
#include "StreamOutput.h"
#include "TestSounds.h"

#include <ogg/ogg.h>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace sonavel;
using Clock = std::chrono::steady_clock;

namespace {

// Something like music: a few partials that wander, and some noise.
std::vector<float> Programme(std::int64_t frames) {
    std::vector<float> stereo(static_cast<std::size_t>(frames) * 2);
    unsigned noise = 12345;
    for (std::int64_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / 48000.0;
        double s = 0;
        for (int k = 1; k <= 5; ++k)
            s += std::sin(2 * M_PI * (110.0 * k + 30 * std::sin(t * 0.7 * k)) * t) / (k + 1);
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.1;
        stereo[static_cast<std::size_t>(f) * 2] = static_cast<float>(0.3 * s + n);
        stereo[static_cast<std::size_t>(f) * 2 + 1] = static_cast<float>(0.3 * s - n);
    }
    return stereo;
}

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void EncodingCost(const std::vector<float>& programme) {
    const double seconds = static_cast<double>(programme.size()) / 2 / 48000.0;
    double total = 0;
    std::printf("Encoding cost at 128 kbit/s, 48 kHz stereo (%.0f s of programme):\n", seconds);
    for (StreamFormat format :
         {StreamFormat::OggVorbis, StreamFormat::OggOpus, StreamFormat::Mp3}) {
        auto encoder = MakeStreamEncoder(format, 128);
        Bytes bytes;
        const double start = ThreadSeconds();
        encoder->Begin(QStringLiteral("bench"), bytes);
        // The output's buffers: about 10 ms each.
        for (std::size_t at = 0; at < programme.size() / 2; at += 480) {
            const std::size_t n = std::min<std::size_t>(480, programme.size() / 2 - at);
            encoder->Encode(programme.data() + at * 2, n, bytes);
        }
        encoder->End(bytes);
        const double cpu = ThreadSeconds() - start;
        total += cpu;
        std::printf("  %-10s %6.2f %% of one core, %6.1f kbit/s out\n",
                    FormatName(format).toUtf8().constData(), 100.0 * cpu / seconds,
                    static_cast<double>(bytes.size()) * 8 / seconds / 1000);
    }
    std::printf("  all three  %6.2f %% of one core (goal: under 5 %%)\n\n",
                100.0 * total / seconds);
}

// The pages of an Ogg stream as they arrived: granule and the time its last byte came.
struct PageArrival {
    std::int64_t granule;
    Clock::time_point when;
    int serial;
};

std::vector<PageArrival> Pages(const icetest::Listener& listener) {
    const QByteArray audio = listener.Audio();
    const auto arrivals = listener.Arrivals();
    std::vector<PageArrival> pages;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, audio.size());
    std::copy(audio.begin(), audio.end(), buffer);
    ogg_sync_wrote(&sync, audio.size());
    ogg_page page;
    std::size_t consumed = 0;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        consumed += static_cast<std::size_t>(page.header_len + page.body_len);
        const auto arrived = std::find_if(arrivals.begin(), arrivals.end(),
                                          [&](const auto& a) { return a.audioBytes >= consumed; });
        if (arrived == arrivals.end()) break;
        pages.push_back({ogg_page_granulepos(&page), arrived->when, ogg_page_serialno(&page)});
    }
    ogg_sync_clear(&sync);
    return pages;
}

// Waits on a condition, at most `ms`, serving the players' events.
bool Until(const std::function<bool()>& condition, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Delay(AudioEngine& engine, icetest::IcecastServer& server, StreamFormat format,
           const QString& mount) {
    StreamTarget target;
    target.host = QStringLiteral("127.0.0.1");
    target.port = server.Port();
    target.mount = mount;
    target.password = QStringLiteral("bench");
    target.format = format;
    bool connected = false;
    StreamOutput stream(engine, target, QStringLiteral("before"), [&](const StreamEvent& event) {
        if (event.type == StreamEvent::Connected) connected = true;
    });
    if (!Until([&] { return connected; }, 10000)) {
        std::printf("  %s: the server took no stream\n", FormatName(format).toUtf8().constData());
        return;
    }
    icetest::Listener listener(server.Port(), mount, false);
    Until([&] { return listener.Streaming(); }, 5000);
    // A new title starts a new logical stream at a known frame of the output:
    // from there a page's granule position is the output's frame.
    const std::int64_t titleFrame = engine.Frame() + 4800;
    stream.Title(QStringLiteral("measured"), titleFrame);
    // Where the output's frames were in time: the paced output keeps real time.
    const std::int64_t frame0 = engine.Frame();
    const Clock::time_point time0 = Clock::now();
    Until([] { return false; }, 8000);
    listener.Stop();
    // Opus counts its encoder's delay into the granule positions.
    const std::int64_t preSkip = format == StreamFormat::OggOpus ? 312 : 0;
    std::vector<double> last;   // the last frame of each page: the shortest wait
    std::vector<double> first;  // its first frame: the longest
    int serial = 0;
    bool measured = false;
    std::int64_t previous = -1;
    const auto delay = [&](std::int64_t granule, Clock::time_point when) {
        const std::int64_t frame = titleFrame + granule - preSkip;
        const auto rendered = time0 + std::chrono::microseconds((frame - frame0) * 1000000 / 48000);
        return std::chrono::duration<double, std::milli>(when - rendered).count();
    };
    for (const PageArrival& page : Pages(listener)) {
        if (page.serial != serial) {
            measured = serial != 0;  // the second logical stream: the measured one
            serial = page.serial;
            previous = -1;
        }
        if (!measured || page.granule <= 0) continue;
        last.push_back(delay(page.granule, page.when));
        if (previous >= 0) first.push_back(delay(previous + 1, page.when));
        previous = page.granule;
    }
    if (first.empty()) {
        std::printf("  %s: no page measured\n", FormatName(format).toUtf8().constData());
        return;
    }
    std::sort(last.begin(), last.end());
    std::sort(first.begin(), first.end());
    std::printf(
        "  %-10s a frame reaches the listener %4.0f to %4.0f ms after it played "
        "(medians; longest %4.0f ms) over %zu pages\n",
        FormatName(format).toUtf8().constData(), last[last.size() / 2], first[first.size() / 2],
        first.back(), first.size());
}

void Stall(AudioEngine& engine, icetest::IcecastServer& server, int seconds) {
    StreamTarget target;
    target.host = QStringLiteral("127.0.0.1");
    target.port = server.Port();
    target.mount = QStringLiteral("/stall.ogg");
    target.password = QStringLiteral("bench");
    int connections = 0;
    std::vector<QString> events;
    StreamOutput stream(engine, target, QStringLiteral("stall"), [&](const StreamEvent& event) {
        if (event.type == StreamEvent::Connected) ++connections;
        if (event.type == StreamEvent::Lost) events.push_back("lost: " + event.reason);
        if (event.type == StreamEvent::Dropped)
            events.push_back(QStringLiteral("dropped %1 frames").arg(event.frames));
    });
    Until([&] { return connections > 0; }, 10000);
    icetest::Listener listener(server.Port(), target.mount, false);
    Until([] { return false; }, 2000);
    const EngineStats before = engine.Stats();
    const auto streamBefore = stream.Stats();
    server.Pause();
    Until([] { return false; }, seconds * 1000);
    server.Continue();
    Until([] { return false; }, 4000);
    const EngineStats after = engine.Stats();
    const auto streamAfter = stream.Stats();
    std::printf("Server stalled for %d s (SIGSTOP), Ogg Vorbis:\n", seconds);
    std::printf(
        "  stream: %llu frames dropped (%.2f s), %d connection(s), still connected: %s\n",
        static_cast<unsigned long long>(streamAfter.framesDropped - streamBefore.framesDropped),
        static_cast<double>(streamAfter.framesDropped - streamBefore.framesDropped) / 48000,
        connections, streamAfter.connected ? "yes" : "no");
    std::printf("  output: %llu underrun frames, %llu late starts, %llu frames rendered\n",
                static_cast<unsigned long long>(after.underrunFrames - before.underrunFrames),
                static_cast<unsigned long long>(after.gaps - before.gaps),
                static_cast<unsigned long long>(after.framesRendered - before.framesRendered));
    for (const QString& event : events)
        std::printf("  event: %s\n", event.toUtf8().constData());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int stall = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::vector<float> programme = Programme(std::int64_t{48000} * 60);
    EncodingCost(programme);
    std::printf("Libraries: %s, %s\n\n", EncoderLibraryVersions().toUtf8().constData(),
                ShoutLibraryVersion().toUtf8().constData());

    if (icetest::IcecastServer::Program().isEmpty()) {
        std::printf("icecast2 is not installed: the delay and the stall are not measured.\n");
        return 0;
    }
    QTemporaryDir dir;
    icetest::IcecastServer server(dir.filePath("server"), QStringLiteral("bench"));
    if (!server.Start()) {
        std::printf("icecast2 did not start: %s\n", server.Output().toUtf8().constData());
        return 1;
    }
    // The output plays the programme in real time, as on air.
    const QString file = dir.filePath("programme.wav");
    testsounds::Write(file, Programme(std::int64_t{48000} * 60), 2, 48000,
                      SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    AudioEngine engine(EngineConfig{OutputKind::Paced, 300, {}});
    AudioMediaPlayer player(engine);
    player.SetFileName(file);
    player.Play();

    std::printf("Delay from the output to the listener's bytes (128 kbit/s):\n");
    Delay(engine, server, StreamFormat::OggVorbis, QStringLiteral("/delay.ogg"));
    Delay(engine, server, StreamFormat::OggOpus, QStringLiteral("/delay.opus"));
    std::printf("\n");
    Stall(engine, server, stall);
    player.Stop();
    return 0;
}
