#pragma once

// A listener of an Icecast mount on a thread of its own: the bytes as they
// arrive, with when they arrived; for MP3 it asks for the titles in the
// stream and takes them out of the audio bytes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sonavel::icetest {

class Listener {
  public:
    struct Title {
        std::size_t audioBytes;  // how many audio bytes had come before it
        QString title;
    };
    struct Arrival {
        std::size_t audioBytes;  // audio bytes received up to and with this read
        std::chrono::steady_clock::time_point when;
    };

    Listener(int port, const QString& mount, bool icy) : m_icy(icy) {
        m_thread = std::thread([this, port, mount] { Run(port, mount); });
    }
    ~Listener() { Stop(); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    void Stop() {
        m_quit = true;
        if (m_thread.joinable()) m_thread.join();
    }
    // Whether the server answered 200 and sends the stream.
    bool Streaming() const { return m_streaming.load(); }
    bool Ended() const { return m_ended.load(); }
    std::size_t Size() const {
        std::lock_guard lock(m_mutex);
        return m_audio.size();
    }
    QByteArray Audio() const {
        std::lock_guard lock(m_mutex);
        return m_audio;
    }
    std::vector<Title> Titles() const {
        std::lock_guard lock(m_mutex);
        return m_titles;
    }
    std::vector<Arrival> Arrivals() const {
        std::lock_guard lock(m_mutex);
        return m_arrivals;
    }

  private:
    void Run(int port, const QString& mount) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        timeval timeout{0, 100000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            m_ended = true;
            return;
        }
        const std::string request = "GET " + mount.toStdString() +
                                    " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                                    (m_icy ? "Icy-MetaData: 1\r\n" : "") + "\r\n";
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        QByteArray head;
        bool inBody = false;
        long metaint = 0;
        long untilMeta = 0;
        QByteArray meta;
        long metaLeft = -1;  // -1: not in a metadata block
        char buffer[16384];
        while (!m_quit) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
                break;
            }
            QByteArray data(buffer, n);
            if (!inBody) {
                head += data;
                const qsizetype end = head.indexOf("\r\n\r\n");
                if (end < 0) continue;
                if (!head.startsWith("HTTP/1.0 200") && !head.startsWith("HTTP/1.1 200")) break;
                for (const QByteArray& line : head.left(end).split('\n')) {
                    if (line.toLower().startsWith("icy-metaint:"))
                        metaint = line.mid(12).trimmed().toLong();
                }
                untilMeta = metaint;
                data = head.mid(end + 4);
                inBody = true;
                m_streaming = true;
            }
            std::lock_guard lock(m_mutex);
            for (qsizetype i = 0; i < data.size();) {
                if (metaint == 0) {
                    m_audio += data.mid(i);
                    break;
                }
                if (metaLeft < 0 && untilMeta > 0) {
                    const qsizetype take = std::min<qsizetype>(untilMeta, data.size() - i);
                    m_audio += data.mid(i, take);
                    untilMeta -= take;
                    i += take;
                } else if (metaLeft < 0) {
                    metaLeft = static_cast<long>(static_cast<unsigned char>(data[i++])) * 16;
                    meta.clear();
                    if (metaLeft == 0) {
                        metaLeft = -1;
                        untilMeta = metaint;
                    }
                } else {
                    const qsizetype take = std::min<qsizetype>(metaLeft, data.size() - i);
                    meta += data.mid(i, take);
                    metaLeft -= take;
                    i += take;
                    if (metaLeft == 0) {
                        const qsizetype at = meta.indexOf("StreamTitle='");
                        if (at >= 0) {
                            const qsizetype end = meta.indexOf("';", at);
                            m_titles.push_back(
                                {static_cast<std::size_t>(m_audio.size()),
                                 QString::fromUtf8(meta.mid(at + 13, end - at - 13))});
                        }
                        metaLeft = -1;
                        untilMeta = metaint;
                    }
                }
            }
            m_arrivals.push_back(
                {static_cast<std::size_t>(m_audio.size()), std::chrono::steady_clock::now()});
        }
        close(fd);
        m_ended = true;
    }

    bool m_icy;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_streaming{false};
    std::atomic<bool> m_ended{false};
    mutable std::mutex m_mutex;
    QByteArray m_audio;
    std::vector<Title> m_titles;
    std::vector<Arrival> m_arrivals;
    std::thread m_thread;
};

}  // namespace sonavel::icetest
