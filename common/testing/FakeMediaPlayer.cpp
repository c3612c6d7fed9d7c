#include "FakeMediaPlayer.h"

#include <QMetaObject>

namespace sonavel {

void FakeMediaPlayer::Load(const QString& path, bool synchronous) {
    calls << (synchronous ? QStringLiteral("SetFileName ") : QStringLiteral("Open ")) + path;
    if (m_playState != media::kStopped) ChangeState(media::kStopped);
    m_fileName = path;
    m_polls = 0;
    m_position = 0;
    m_errorCode = 0;
    m_errorDescription.clear();
    m_loaded = true;
    m_ready = !m_neverReadyFiles.contains(path);
    if (const auto it = m_failures.constFind(path); it != m_failures.constEnd()) {
        m_loaded = false;
        m_errorCode = it->code;
        m_errorDescription = it->description;
        QMetaObject::invokeMethod(
            this, [this] { emit Error(); }, Qt::QueuedConnection);
    }
}

void FakeMediaPlayer::SetFileName(const QString& path) {
    Load(path, true);
    m_polls = m_readyAfter;  // a synchronous open returns ready
}

void FakeMediaPlayer::Open(const QString& path) {
    Load(path, false);
}

bool FakeMediaPlayer::Ready() const {
    return m_loaded && m_ready && ++m_polls > m_readyAfter;
}

int FakeMediaPlayer::ReadyState() const {
    // A refused file is not opening at all, as the real control reports it.
    if (m_errorCode != 0 && !m_loaded) return 0;
    return Ready() ? media::kReadyComplete : 1;
}

bool FakeMediaPlayer::IsDurationValid() const {
    return Ready();
}

double FakeMediaPlayer::Duration() const {
    return m_loaded ? m_durations.value(m_fileName, m_defaultDuration) : 0.0;
}

void FakeMediaPlayer::ChangeState(int newState) {
    const int old = m_playState;
    if (old == newState) return;
    m_playState = newState;
    QMetaObject::invokeMethod(
        this, [this, old, newState] { emit PlayStateChange(old, newState); }, Qt::QueuedConnection);
}

void FakeMediaPlayer::Play() {
    calls << QStringLiteral("Play");
    if (!m_loaded || m_neverStarts || m_neverStartFiles.contains(m_fileName)) return;
    ChangeState(media::kPlaying);
}

void FakeMediaPlayer::Pause() {
    calls << QStringLiteral("Pause");
    if (m_playState == media::kPlaying) ChangeState(media::kPaused);
}

void FakeMediaPlayer::Stop() {
    calls << QStringLiteral("Stop");
    m_position = 0;
    ChangeState(media::kStopped);
}

void FakeMediaPlayer::SetCurrentPosition(double seconds) {
    calls << QStringLiteral("Position ") + QString::number(seconds);
    m_position = seconds;
    if (seconds >= Duration() && m_playState != media::kStopped) ChangeState(media::kStopped);
}

void FakeMediaPlayer::RaiseError(std::int32_t code, const QString& description) {
    m_errorCode = code;
    m_errorDescription = description;
    QMetaObject::invokeMethod(
        this, [this] { emit Error(); }, Qt::QueuedConnection);
}

void FakeMediaPlayer::Finish() {
    if (m_playState != media::kPlaying) return;
    m_position = Duration();
    ChangeState(media::kStopped);
}

}  // namespace sonavel
