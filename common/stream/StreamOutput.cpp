#include "StreamOutput.h"

#include "AudioEngine.h"
#include "IcecastConnection.h"
#include "StreamEncoder.h"

#include <pthread.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <vector>

namespace sonavel {

namespace {

// The tap holds two seconds: the thread takes from it every few milliseconds.
constexpr std::size_t kTapFrames = std::size_t{AudioEngine::kRate} * 2;
constexpr std::size_t kChunkFrames = 2048;
constexpr int kPollMs = 10;
constexpr int kConnectTimeoutMs = 5000;
// The server may hold back this much before the stream drops instead of
// queueing: listeners hear a skip rather than an ever longer delay.
constexpr int kBacklogSeconds = 2;
// An episode of drops ends when this long has passed without one.
constexpr std::int64_t kEpisodeEndNs = 1'000'000'000;
// At the end, what was encoded gets this long to reach the server.
constexpr int kFinalFlushMs = 2000;

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

StreamOutput::StreamOutput(AudioEngine& engine, const StreamTarget& target, const QString& title,
                           std::function<void(const StreamEvent&)> report)
    : m_engine(engine),
      m_target(target),
      m_report(std::move(report)),
      m_tap(std::make_shared<MixTap>(kTapFrames)),
      m_title(title) {
    m_attached = m_engine.AttachTap(m_tap);
    // Listeners hear the air's silence too: before anything has played (an
    // hour without a playlist) an output that has not started sends the
    // server nothing, and the server drops a source that stays mute.
    if (m_attached) m_engine.EnsureRunning();
    m_thread = std::thread([this] { Run(); });
}

StreamOutput::~StreamOutput() {
    Stop();
}

void StreamOutput::RequestStop() {
    {
        std::lock_guard lock(m_waitMutex);
        m_quit = true;
    }
    m_wake.notify_all();
}

void StreamOutput::Stop() {
    if (!m_thread.joinable()) return;
    RequestStop();
    m_thread.join();
    if (m_attached) m_engine.DetachTap(m_tap);
    m_attached = false;
}

void StreamOutput::Title(const QString& title, std::int64_t frame) {
    std::lock_guard lock(m_titleMutex);
    m_titles.push_back({title, frame});
}

StreamOutput::Counters StreamOutput::Stats() const {
    Counters counters;
    counters.framesSent = m_framesSent.load();
    counters.framesDropped = m_framesDropped.load();
    counters.bytesSent = m_bytesSent.load();
    counters.attempts = m_attempts.load();
    counters.connections = m_connections.load();
    counters.connected = m_connected.load();
    return counters;
}

bool StreamOutput::Wait(int ms) {
    std::unique_lock lock(m_waitMutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_quit.load(); });
}

void StreamOutput::Run() {
    // A server that goes away would end the whole program with SIGPIPE on
    // the next write: this thread takes the error instead, and reconnects.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    m_connection = std::make_unique<IcecastConnection>(m_target);
    do {
        if (m_connection->IsOpen()) {
            Stream();
        } else {
            Connect();
        }
    } while (Wait(kPollMs));
    Finish();
    m_connection.reset();
}

void StreamOutput::Connect() {
    // What the output played while there was no server is not sent later:
    // the stream goes on from the present.
    std::vector<float> discard(kChunkFrames * 2);
    while (m_tap->ring.Read(discard.data(), kChunkFrames) > 0) {
    }
    {
        // Titles that came meanwhile: the latest is the one sounding now.
        std::lock_guard lock(m_titleMutex);
        if (!m_titles.empty()) m_title = m_titles.back().title;
        m_titles.clear();
    }
    if (Now() < m_nextTryNs) return;
    ++m_attempts;
    QString reason;
    const auto result = m_connection->Open(kConnectTimeoutMs, m_quit, reason);
    if (m_quit.load()) return;
    if (result != IcecastConnection::Result::Ok) {
        Lose(reason, result == IcecastConnection::Result::Refused);
        return;
    }
    // Start afresh from the present: what queued while connecting is old.
    while (m_tap->ring.Read(discard.data(), kChunkFrames) > 0) {
    }
    m_tapDropBase = m_tap->dropped.load();
    m_episodeFrames = 0;
    m_backoff = 1;
    m_encoder = MakeStreamEncoder(m_target.format, m_target.bitrate);
    Bytes header;
    m_encoder->Begin(m_title, header);
    if (!header.empty() && !m_connection->Send(header.data(), header.size(), reason)) {
        Lose(reason, false);
        return;
    }
    m_bytesSent += header.size();
    if (m_target.format == StreamFormat::Mp3 && !m_title.isEmpty()) {
        QString ignored;
        m_connection->SetTitle(m_title, ignored);
    }
    ++m_connections;
    m_connected = true;
    m_report(StreamEvent{StreamEvent::Connected, {}, false, 0, 0});
}

void StreamOutput::Lose(const QString& reason, bool refused) {
    m_connection->Close();
    m_encoder.reset();
    m_connected = false;
    if (m_episodeFrames > 0) {
        m_report(StreamEvent{StreamEvent::Dropped, {}, false, 0, m_episodeFrames});
        m_episodeFrames = 0;
    }
    const int retry = m_backoff;
    m_nextTryNs = Now() + std::int64_t{retry} * 1'000'000'000;
    m_backoff = std::min(m_backoff * 2, kMaxBackoffSeconds);
    m_report(StreamEvent{StreamEvent::Lost, reason, refused, retry, 0});
}

void StreamOutput::Stream() {
    std::deque<PendingTitle> titles;
    {
        std::lock_guard lock(m_titleMutex);
        titles.swap(m_titles);
    }
    const std::size_t backlogLimit =
        static_cast<std::size_t>(m_target.bitrate) * 1000 / 8 * kBacklogSeconds;
    std::vector<float> pcm(kChunkFrames * 2);
    Bytes bytes;
    QString reason;
    std::size_t readable = m_tap->ring.Readable();
    // The output's frame that the oldest frame in the tap was rendered at.
    std::int64_t head = m_engine.Frame() - static_cast<std::int64_t>(readable);
    bool dropping = m_connection->Queued() > backlogLimit;
    std::uint64_t dropped = 0;
    auto applyDueTitles = [&] {
        while (!titles.empty() && titles.front().frame <= head) {
            m_title = titles.front().title;
            titles.pop_front();
            if (!m_encoder->Retitle(m_title, bytes)) {
                // Beside the stream: after what sounded under the previous title.
                if (!bytes.empty() && !m_connection->Send(bytes.data(), bytes.size(), reason))
                    return false;
                m_bytesSent += bytes.size();
                bytes.clear();
                m_connection->SetTitle(m_title, reason);
            }
        }
        return true;
    };
    if (!applyDueTitles()) return Lose(reason, false);
    while (readable > 0) {
        std::size_t chunk = std::min(readable, kChunkFrames);
        if (!titles.empty() && titles.front().frame > head)
            chunk = std::min(chunk, static_cast<std::size_t>(titles.front().frame - head));
        chunk = m_tap->ring.Read(pcm.data(), chunk);
        if (chunk == 0) break;
        if (dropping) {
            dropped += chunk;
        } else {
            m_encoder->Encode(pcm.data(), chunk, bytes);
            m_framesSent += chunk;
        }
        readable -= chunk;
        head += static_cast<std::int64_t>(chunk);
        if (!applyDueTitles()) return Lose(reason, false);
    }
    // Titles due later wait for their frames.
    if (!titles.empty()) {
        std::lock_guard lock(m_titleMutex);
        m_titles.insert(m_titles.begin(), titles.begin(), titles.end());
    }
    if (!bytes.empty() || m_connection->Queued() > 0) {
        if (!m_connection->Send(bytes.data(), bytes.size(), reason)) return Lose(reason, false);
        m_bytesSent += bytes.size();
    }

    // The output's own drops, when this thread fell behind, count as the stream's.
    const std::uint64_t tapDrops = m_tap->dropped.load();
    dropped += tapDrops - m_tapDropBase;
    m_tapDropBase = tapDrops;
    const std::int64_t now = Now();
    if (dropped > 0) {
        m_framesDropped += dropped;
        m_episodeFrames += dropped;
        m_lastDropNs = now;
    } else if (m_episodeFrames > 0 && now - m_lastDropNs > kEpisodeEndNs) {
        m_report(StreamEvent{StreamEvent::Dropped, {}, false, 0, m_episodeFrames});
        m_episodeFrames = 0;
    }
}

void StreamOutput::Finish() {
    if (!m_connection->IsOpen() || !m_encoder) return;
    // The last of the programme, then the end of the stream.
    Stream();
    if (!m_connection->IsOpen()) return;
    Bytes bytes;
    m_encoder->End(bytes);
    QString reason;
    if (m_connection->Send(bytes.data(), bytes.size(), reason)) {
        m_bytesSent += bytes.size();
        const std::int64_t deadline = Now() + std::int64_t{kFinalFlushMs} * 1'000'000;
        while (m_connection->Queued() > 0 && Now() < deadline) {
            if (!m_connection->Send(nullptr, 0, reason)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (m_episodeFrames > 0)
        m_report(StreamEvent{StreamEvent::Dropped, {}, false, 0, m_episodeFrames});
    m_connection->Close();
    m_connected = false;
}

}  // namespace sonavel
