#pragma once

#include "StreamTarget.h"

#include <QString>
#include <atomic>
#include <cstddef>

struct shout;

namespace sonavel {

// The source's side of one Icecast mount, on libshout. Nothing here waits
// for the server longer than the bounds it is given: a server that stalls
// leaves the bytes queued, and the caller decides what to drop.
class IcecastConnection {
  public:
    explicit IcecastConnection(const StreamTarget& target);
    ~IcecastConnection();
    IcecastConnection(const IcecastConnection&) = delete;
    IcecastConnection& operator=(const IcecastConnection&) = delete;

    enum class Result { Ok, Refused, Failed };
    // Connects within timeoutMs, or sooner when quit is set. On failure the
    // reason says why in words; Refused means the server turned the login
    // down (the password, or a mount another source holds).
    Result Open(int timeoutMs, const std::atomic<bool>& quit, QString& reason);
    // Queues the bytes and sends what the server takes now. False when the
    // connection has gone.
    bool Send(const unsigned char* data, std::size_t size, QString& reason);
    // Bytes still waiting for the server.
    std::size_t Queued();
    // The title beside the stream (MP3), on a connection of its own.
    bool SetTitle(const QString& title, QString& reason);
    void Close();
    bool IsOpen() const { return m_open; }

  private:
    QString Error() const;

    StreamTarget m_target;
    shout* m_shout = nullptr;
    bool m_open = false;
};

// libshout's version, for the about box and the benchmark.
QString ShoutLibraryVersion();

}  // namespace sonavel
