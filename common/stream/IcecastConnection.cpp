#include "IcecastConnection.h"

#include "Version.h"

#include <shout/shout.h>
#include <QByteArray>
#include <chrono>
#include <mutex>
#include <thread>

namespace sonavel {

namespace {

void InitialiseShout() {
    static std::once_flag once;
    std::call_once(once, [] { shout_init(); });
}

}  // namespace

IcecastConnection::IcecastConnection(const StreamTarget& target) : m_target(target) {
    InitialiseShout();
}

IcecastConnection::~IcecastConnection() {
    Close();
}

QString IcecastConnection::Error() const {
    return m_shout ? QString::fromUtf8(shout_get_error(m_shout)) : QString();
}

IcecastConnection::Result IcecastConnection::Open(int timeoutMs, const std::atomic<bool>& quit,
                                                  QString& reason) {
    Close();
    m_shout = shout_new();
    if (!m_shout) {
        reason = QStringLiteral("out of memory");
        return Result::Failed;
    }
    const QByteArray host = m_target.host.toUtf8();
    const QByteArray mount = m_target.mount.toUtf8();
    const QByteArray user = m_target.user.toUtf8();
    const QByteArray password = m_target.password.toUtf8();
    const QByteArray agent = QByteArrayLiteral("Sonavel/") + kSonavelVersion;
    const QByteArray bitrate = QByteArray::number(m_target.bitrate);
    // libshout reads the codec from the Ogg stream's own headers.
    const unsigned int format =
        m_target.format == StreamFormat::Mp3 ? SHOUT_FORMAT_MP3 : SHOUT_FORMAT_OGG;
    bool set =
        shout_set_host(m_shout, host.constData()) == SHOUTERR_SUCCESS &&
        shout_set_port(m_shout, static_cast<unsigned short>(m_target.port)) == SHOUTERR_SUCCESS &&
        shout_set_protocol(m_shout, SHOUT_PROTOCOL_HTTP) == SHOUTERR_SUCCESS &&
        shout_set_tls(m_shout, SHOUT_TLS_DISABLED) == SHOUTERR_SUCCESS &&
        shout_set_mount(m_shout, mount.constData()) == SHOUTERR_SUCCESS &&
        shout_set_user(m_shout, user.constData()) == SHOUTERR_SUCCESS &&
        shout_set_password(m_shout, password.constData()) == SHOUTERR_SUCCESS &&
        shout_set_agent(m_shout, agent.constData()) == SHOUTERR_SUCCESS &&
        shout_set_content_format(m_shout, format, SHOUT_USAGE_AUDIO, nullptr) == SHOUTERR_SUCCESS &&
        shout_set_public(m_shout, m_target.isPublic ? 1 : 0) == SHOUTERR_SUCCESS &&
        shout_set_audio_info(m_shout, SHOUT_AI_BITRATE, bitrate.constData()) == SHOUTERR_SUCCESS &&
        shout_set_audio_info(m_shout, SHOUT_AI_SAMPLERATE, "48000") == SHOUTERR_SUCCESS &&
        shout_set_audio_info(m_shout, SHOUT_AI_CHANNELS, "2") == SHOUTERR_SUCCESS &&
        shout_set_nonblocking(m_shout, 1) == SHOUTERR_SUCCESS;
    const std::pair<const char*, const QString*> meta[] = {
        {SHOUT_META_NAME, &m_target.name},
        {SHOUT_META_DESCRIPTION, &m_target.description},
        {SHOUT_META_GENRE, &m_target.genre}};
    for (const auto& [key, value] : meta) {
        if (set && !value->isEmpty())
            set = shout_set_meta(m_shout, key, value->toUtf8().constData()) == SHOUTERR_SUCCESS;
    }
    if (!set) {
        reason = Error();
        Close();
        return Result::Failed;
    }

    int result = shout_open(m_shout);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (result == SHOUTERR_BUSY || result == SHOUTERR_RETRY) {
        if (quit.load() || std::chrono::steady_clock::now() > deadline) {
            reason = QStringLiteral("the server did not answer");
            Close();
            return Result::Failed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        result = shout_get_connected(m_shout);
    }
    if (result == SHOUTERR_SUCCESS || result == SHOUTERR_CONNECTED) {
        m_open = true;
        return Result::Ok;
    }
    Result outcome = Result::Failed;
    if (result == SHOUTERR_NOLOGIN) {
        reason = QStringLiteral("the server refused the login (%1)").arg(Error());
        outcome = Result::Refused;
    } else {
        // Without blocking, a refused connection is reported as a socket error.
        reason = QStringLiteral("the server cannot be reached (%1)").arg(Error());
    }
    Close();
    return outcome;
}

bool IcecastConnection::Send(const unsigned char* data, std::size_t size, QString& reason) {
    if (!m_open) return false;
    const int result = shout_send(m_shout, data, size);
    if (result == SHOUTERR_SUCCESS || result == SHOUTERR_BUSY) return true;
    // libshout often has no words of its own for a connection the server dropped.
    const QString error = Error();
    reason = QStringLiteral("the connection to the server broke");
    if (!error.isEmpty() && error != QLatin1String("No error"))
        reason += QStringLiteral(" (%1)").arg(error);
    return false;
}

std::size_t IcecastConnection::Queued() {
    if (!m_open) return 0;
    const ssize_t queued = shout_queuelen(m_shout);
    return queued > 0 ? static_cast<std::size_t>(queued) : 0;
}

bool IcecastConnection::SetTitle(const QString& title, QString& reason) {
    if (!m_open) return false;
    shout_metadata_t* metadata = shout_metadata_new();
    if (!metadata) return false;
    bool done =
        shout_metadata_add(metadata, "song", title.toUtf8().constData()) == SHOUTERR_SUCCESS;
    if (done) {
        const int result = shout_set_metadata_utf8(m_shout, metadata);
        done = result == SHOUTERR_SUCCESS;
        if (!done) reason = Error();
    }
    shout_metadata_free(metadata);
    return done;
}

void IcecastConnection::Close() {
    if (!m_shout) return;
    shout_close(m_shout);
    shout_free(m_shout);
    m_shout = nullptr;
    m_open = false;
}

QString ShoutLibraryVersion() {
    return QStringLiteral("libshout %1")
        .arg(QString::fromLatin1(shout_version(nullptr, nullptr, nullptr)));
}

}  // namespace sonavel
