#pragma once

#include "StreamTarget.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace sonavel {

class AudioEngine;
struct MixTap;

// What a stream's thread tells its owner. Reported on the stream's thread.
struct StreamEvent {
    enum Type { Connected, Lost, Dropped };
    Type type = Connected;
    QString reason;            // Lost: why, in words
    bool refused = false;      // Lost: the server turned the login down
    int retrySeconds = 0;      // Lost: the next try comes after this long
    std::uint64_t frames = 0;  // Dropped: frames of one episode that were not sent
};

// The programme sent to one Icecast mount. The encoder and the connection
// live on a thread of their own, fed through a tap of the mix that the
// output callback writes without waiting; whatever goes wrong here, the
// output and the recording never hear of it. The thread reconnects with a
// back-off of 1, 2, 4 ... 30 seconds and drops what the server cannot take.
class StreamOutput {
  public:
    static constexpr int kMaxBackoffSeconds = 30;

    StreamOutput(AudioEngine& engine, const StreamTarget& target, const QString& title,
                 std::function<void(const StreamEvent&)> report);
    // Ends the stream cleanly when connected: what was encoded is sent, within bounds.
    ~StreamOutput();
    StreamOutput(const StreamOutput&) = delete;
    StreamOutput& operator=(const StreamOutput&) = delete;

    const StreamTarget& Target() const { return m_target; }
    // The title from the given frame of the output on.
    void Title(const QString& title, std::int64_t frame);

    struct Counters {
        std::uint64_t framesSent = 0;     // encoded and handed to the connection
        std::uint64_t framesDropped = 0;  // while connected, not sent: the server was slow
        std::uint64_t bytesSent = 0;
        int attempts = 0;  // connections tried
        int connections = 0;
        bool connected = false;
    };
    Counters Stats() const;
    // Asks the thread to end its stream; Stop waits until it has: what the
    // stream held is sent, within bounds.
    void RequestStop();
    void Stop();

  private:
    void Run();
    void Connect();
    void Stream();
    void Lose(const QString& reason, bool refused);
    void Finish();
    bool Wait(int ms);

    AudioEngine& m_engine;
    StreamTarget m_target;
    std::function<void(const StreamEvent&)> m_report;
    std::shared_ptr<MixTap> m_tap;
    bool m_attached = false;

    struct PendingTitle {
        QString title;
        std::int64_t frame;
    };
    std::mutex m_titleMutex;
    std::deque<PendingTitle> m_titles;
    QString m_title;  // the stream thread's: what it sends now

    // The stream thread's.
    std::unique_ptr<class IcecastConnection> m_connection;
    std::unique_ptr<class StreamEncoder> m_encoder;
    int m_backoff = 1;
    std::int64_t m_nextTryNs = 0;
    std::uint64_t m_tapDropBase = 0;
    std::uint64_t m_episodeFrames = 0;
    std::int64_t m_lastDropNs = 0;

    std::atomic<std::uint64_t> m_framesSent{0};
    std::atomic<std::uint64_t> m_framesDropped{0};
    std::atomic<std::uint64_t> m_bytesSent{0};
    std::atomic<int> m_attempts{0};
    std::atomic<int> m_connections{0};
    std::atomic<bool> m_connected{false};

    std::atomic<bool> m_quit{false};
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    std::thread m_thread;
};

}  // namespace sonavel
