#include "AudioMediaPlayer.h"

#include "AudioEngine.h"
#include "GainSource.h"

#include <sys/stat.h>
#include <QFile>
#include <QMetaObject>
#include <chrono>
#include <cmath>
#include <new>

namespace sonavel {

namespace {
constexpr std::size_t kChunkFrames = 4096;
// Ready means the length is known and this much is decoded: enough to start
// without an underrun while the decoder keeps ahead.
constexpr std::int64_t kReadyFrames = AudioEngine::kRate / 2;
constexpr int kSyncOpenWaitMs = 10000;
constexpr int kPlayWaitMs = 2000;
}  // namespace

AudioMediaPlayer::AudioMediaPlayer(AudioEngine& engine, QObject* parent)
    : MediaPlayer(parent), m_engine(engine) {
    for (int slot = 0; slot < 2; ++slot)
        m_voices[static_cast<std::size_t>(slot)] = m_engine.BorrowVoice(this);
    m_thread = std::thread([this] { DecoderLoop(); });
}

AudioMediaPlayer::~AudioMediaPlayer() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
    for (int voice : m_voices)
        m_engine.ReturnVoice(voice);
}

// ---------------------------------------------------------------------------
// Opening

void AudioMediaPlayer::SetFileName(const QString& path) {
    Load(path, true);
}

void AudioMediaPlayer::Open(const QString& path) {
    Load(path, false);
}

int AudioMediaPlayer::FreeSlot() {
    if (m_current < 0) return 0;
    // The current element may still sound as a tail while the next is
    // opened, so it keeps its voice. One that never started (refused, or
    // replaced before its Play) leaves its slot to the next open: taking the
    // other slot then would cut off the tail of the element before it.
    const std::size_t s = static_cast<std::size_t>(m_current);
    const int voice = m_voices[s];
    const bool sounding =
        voice >= 0 && (m_engine.VoiceAt(voice).busy.load() || m_engine.DoneSeq() < m_lastSeq[s]);
    return sounding ? 1 - m_current : m_current;
}

void AudioMediaPlayer::MakeQuiet(int slot) {
    // A voice may be refilled only once the callback has let go of it and
    // has taken every command sent for it.
    const int voice = m_voices[static_cast<std::size_t>(slot)];
    if (voice < 0) return;
    if (m_engine.VoiceAt(voice).busy.load() ||
        m_engine.DoneSeq() < m_lastSeq[static_cast<std::size_t>(slot)]) {
        m_engine.Kill(voice);
        m_engine.Sync();
    }
}

AudioMediaPlayer::Job::Identity AudioMediaPlayer::IdentityOf(const QString& path) {
    Job::Identity identity;
    struct stat info {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0) return identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modifiedNs = qint64{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    return identity;
}

bool AudioMediaPlayer::Changed(const Job& job) {
    const Job::Identity now = IdentityOf(job.path);
    // A file deleted after it was opened is still read whole through the
    // decoder's handle; only one changed in place or put in its stead is
    // not the sound that was opened.
    return now.size >= 0 && now != job.identity;
}

void AudioMediaPlayer::Install(Job& job, std::unique_ptr<Decoder> decoder) {
    const std::size_t slot = static_cast<std::size_t>(&job - m_jobs.data());
    // Taken once the decoder has the file open: a file replaced just before
    // is still read whole through the decoder's own handle.
    job.identity = IdentityOf(job.path);
    if (job.seekTo > 0) decoder->Seek(job.seekTo);
    m_offset[slot] =
        decoder->FileRate() > 0 ? static_cast<double>(job.seekTo) / decoder->FileRate() : 0.0;
    m_duration[slot] = decoder->FileRate() > 0
                           ? static_cast<double>(decoder->FileFrames()) / decoder->FileRate()
                           : 0.0;
    m_durationValid[slot] = true;
    job.decoder = std::move(decoder);
    job.openPending = false;
}

void AudioMediaPlayer::Load(const QString& path, bool wait, std::int64_t seekTo) {
    m_fileName = path;
    m_gain.reset();
    if (m_gains) m_gains->Prepare(path);
    m_errorCode = 0;
    m_errorDescription.clear();
    m_errorCorrection.clear();
    if (m_playState != media::kStopped) {
        // Opening over a playing element ends it, as a new file in the
        // control would.
        const int old = m_playState;
        m_engine.Stop(m_voices[static_cast<std::size_t>(m_current)]);
        m_lastSeq[static_cast<std::size_t>(m_current)] = m_engine.SentSeq();
        m_playState = media::kStopped;
        QMetaObject::invokeMethod(
            this, [this, old] { emit PlayStateChange(old, media::kStopped); },
            Qt::QueuedConnection);
    }

    const int slot = FreeSlot();
    const std::size_t s = static_cast<std::size_t>(slot);
    MakeQuiet(slot);
    const int voiceIndex = m_voices[s];
    const std::uint32_t token = ++m_token;
    {
        std::lock_guard lock(m_mutex);
        Job& job = m_jobs[s];
        job = Job{};
        job.path = path;
        job.token = token;
        job.seekTo = seekTo;
        m_ready[s] = false;
        m_failed[s] = false;
        m_durationValid[s] = false;
        m_duration[s] = 0.0;
        if (voiceIndex >= 0) {
            Voice& voice = m_engine.VoiceAt(voiceIndex);
            voice.ring.Clear();
            voice.decodeEnded = false;
            voice.totalFrames = -1;
            voice.playedFrames = 0;
        }
        job.openPending = !wait;
    }
    m_current = slot;
    m_needsReload = false;
    m_endedEarly = false;

    if (voiceIndex < 0) {
        RaiseError(
            media::kOutOfMemory,
            QStringLiteral("Cannot open %1: every voice of the audio engine is in use").arg(path));
        return;
    }
    if (!wait) {
        m_wake.notify_all();
        return;
    }
    try {
        std::unique_ptr<Decoder> decoder = Decoder::Open(path, AudioEngine::kRate);
        {
            std::lock_guard lock(m_mutex);
            Install(m_jobs[s], std::move(decoder));
        }
        m_wake.notify_all();
        WaitReady(slot, kSyncOpenWaitMs);
    } catch (const MediaError& error) {
        RaiseError(error.code, error.description);
    } catch (const std::bad_alloc&) {
        RaiseError(media::kOutOfMemory, QStringLiteral("Cannot open %1: out of memory").arg(path));
    }
}

bool AudioMediaPlayer::WaitReady(int slot, int milliseconds) {
    std::unique_lock lock(m_mutex);
    const std::size_t s = static_cast<std::size_t>(slot);
    return m_readyChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
        return m_ready[s].load() || (!m_jobs[s].decoder && !m_jobs[s].openPending);
    });
}

QString AudioMediaPlayer::CorrectionFor(std::int32_t code) {
    return code == media::kFileMissing
               ? QStringLiteral("Check that the file exists and the path is right.")
               : QStringLiteral("Check that the file is a sound file this player can decode.");
}

void AudioMediaPlayer::SetError(std::int32_t code, const QString& description) {
    m_errorCode = code;
    m_errorDescription = description;
    m_errorCorrection = CorrectionFor(code);
}

void AudioMediaPlayer::RaiseError(std::int32_t code, const QString& description) {
    SetError(code, description);
    QMetaObject::invokeMethod(
        this, [this] { emit Error(); }, Qt::QueuedConnection);
}

MediaError AudioMediaPlayer::PendingFailure() const {
    if (m_current < 0) return {0, {}};
    const std::size_t s = static_cast<std::size_t>(m_current);
    // The flag spares every poll of a healthy file the lock.
    if (!m_failed[s].load(std::memory_order_acquire)) return {0, {}};
    std::lock_guard lock(m_mutex);
    if (m_jobs[s].token != m_token) return {0, {}};
    return m_jobs[s].failure;
}

std::int32_t AudioMediaPlayer::ErrorCode() const {
    return m_errorCode != 0 ? m_errorCode : PendingFailure().code;
}

QString AudioMediaPlayer::ErrorDescription() const {
    return m_errorCode != 0 ? m_errorDescription : PendingFailure().description;
}

QString AudioMediaPlayer::ErrorCorrection() const {
    if (m_errorCode != 0) return m_errorCorrection;
    const std::int32_t code = PendingFailure().code;
    return code != 0 ? CorrectionFor(code) : QString();
}

// ---------------------------------------------------------------------------
// Decoder thread

void AudioMediaPlayer::DecoderLoop() {
    const auto refillWait = m_engine.Config().output == OutputKind::Virtual
                                ? std::chrono::milliseconds(1)
                                : std::chrono::milliseconds(20);
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        bool worked = false;
        for (int slot = 0; slot < 2; ++slot) {
            Job& job = m_jobs[static_cast<std::size_t>(slot)];
            if (job.openPending) {
                const QString path = job.path;
                const std::uint32_t token = job.token;
                lock.unlock();
                std::unique_ptr<Decoder> decoder;
                MediaError failure{0, {}};
                try {
                    decoder = Decoder::Open(path, AudioEngine::kRate);
                } catch (const MediaError& error) {
                    failure = error;
                } catch (const std::bad_alloc&) {
                    failure = {media::kOutOfMemory,
                               QStringLiteral("Cannot open %1: out of memory").arg(path)};
                }
                lock.lock();
                if (job.token != token || !job.openPending) continue;  // superseded meanwhile
                if (decoder) {
                    Install(job, std::move(decoder));
                } else {
                    // The report is queued before the refusal shows: whoever
                    // sees the refusal and serves the queue then hears of it
                    // while the control still holds the file, before a next
                    // load could take its place and leave the file unnamed.
                    m_mailbox.Post([this, token, failure] {
                        if (token != m_token) return;
                        SetError(failure.code, failure.description);
                        emit Error();
                    });
                    job.openPending = false;
                    job.failure = failure;
                    m_failed[static_cast<std::size_t>(slot)].store(true, std::memory_order_release);
                    m_readyChanged.notify_all();
                }
                worked = true;
            }
            worked = Fill(slot, lock) || worked;
        }
        // A full ring holds seconds of sound: the next chunk is not needed
        // for a good while, and an open or a seek wakes the thread at once.
        // The virtual output drains it as fast as it is asked to render, a
        // few hundred times real time, so there it is looked at every
        // millisecond.
        if (!worked) m_wake.wait_for(lock, refillWait);
    }
}

bool AudioMediaPlayer::Fill(int slot, std::unique_lock<std::mutex>& lock) {
    (void)lock;
    const std::size_t s = static_cast<std::size_t>(slot);
    Job& job = m_jobs[s];
    const int voiceIndex = m_voices[s];
    if (!job.decoder || job.ended || voiceIndex < 0) return false;
    Voice& voice = m_engine.VoiceAt(voiceIndex);
    if (voice.ring.Writable() < kChunkFrames) return false;
    thread_local std::vector<float> buffer(kChunkFrames * 2);
    std::int64_t got = 0;
    QString cut;
    try {
        got = job.decoder->Read(buffer.data(), static_cast<std::int64_t>(kChunkFrames));
    } catch (const MediaError& error) {
        // Damaged data: what could be decoded plays, then the element ends.
        got = 0;
        cut = error.description;
    }
    // Checked after the read: a file rewritten in place before it was read
    // shows a new time or size by then, so what was read is thrown away
    // rather than played as noise. A read that found the end early or bad
    // data is explained by the change too.
    if (Changed(job)) {
        got = 0;
        cut = QStringLiteral("it changed on disk after it was opened");
    }
    if (got > 0) {
        // A damaged file can decode to NaN or infinity; such samples are
        // silence, so they never reach the mix.
        for (std::int64_t k = 0; k < got * 2; ++k) {
            float& sample = buffer[static_cast<std::size_t>(k)];
            if (!std::isfinite(sample)) sample = 0.0f;
        }
        voice.ring.Write(buffer.data(), static_cast<std::size_t>(got));
        job.decoded += got;
    } else {
        EndDecoding(job, voice, cut);
    }
    if (!m_ready[s] && (job.ended || job.decoded >= kReadyFrames)) {
        m_ready[s] = true;
        m_readyChanged.notify_all();
    }
    return true;
}

void AudioMediaPlayer::EndDecoding(Job& job, Voice& voice, const QString& why) {
    job.ended = true;
    voice.totalFrames.store(job.decoded, std::memory_order_release);
    voice.decodeEnded.store(true, std::memory_order_release);
    const int rate = job.decoder->FileRate();
    if (rate <= 0) return;
    const double declared =
        static_cast<double>(job.decoder->DeclaredFrames() - job.seekTo) * AudioEngine::kRate / rate;
    // A few milliseconds either way are the resampler's, not the file's.
    constexpr double kSlack = AudioEngine::kRate / 100.0;
    if (why.isEmpty() && static_cast<double>(job.decoded) + kSlack >= declared) return;
    const auto seconds = [&](double outputFrames) {
        return QString::number(
            static_cast<double>(job.seekTo) / rate + outputFrames / AudioEngine::kRate, 'f', 3);
    };
    const QString where =
        QStringLiteral("%1 stops at %2 s of its %3 s")
            .arg(job.path, seconds(static_cast<double>(job.decoded)), seconds(declared));
    const QString description = why.isEmpty()
                                    ? where + QStringLiteral(": the file is shorter than it says")
                                    : where + QStringLiteral(": ") + why;
    m_mailbox.Post([this, description] { emit Cut(description); });
}

// ---------------------------------------------------------------------------
// Transport

void AudioMediaPlayer::ChangeState(int newState) {
    const int old = m_playState;
    if (old == newState) return;
    m_playState = newState;
    QMetaObject::invokeMethod(
        this, [this, old, newState] { emit PlayStateChange(old, newState); }, Qt::QueuedConnection);
}

void AudioMediaPlayer::Play() {
    if (m_playState == media::kPlaying || m_current < 0 || ErrorCode() != 0) return;
    const std::size_t s = static_cast<std::size_t>(m_current);
    const int voice = m_voices[s];
    if (m_playState == media::kPaused) {
        m_engine.Resume(voice);
        m_lastSeq[s] = m_engine.SentSeq();
        ChangeState(media::kPlaying);
        return;
    }
    if (m_needsReload) {
        Load(m_fileName, true);
        if (m_errorCode != 0) return;
    }
    const std::size_t cur = static_cast<std::size_t>(m_current);
    if (!m_ready[cur]) WaitReady(m_current, kPlayWaitMs);
    // Refused while Play waited for it: there is nothing to start.
    if (ErrorCode() != 0) return;
    StartCurrent();
    ChangeState(media::kPlaying);
}

void AudioMediaPlayer::StartCurrent() {
    const std::size_t cur = static_cast<std::size_t>(m_current);
    if (!m_gain) m_gain = m_gains ? m_gains->GainFor(m_fileName) : 1.0f;
    // Stored before the Start is sent: the callback takes it with the Start.
    m_engine.VoiceAt(m_voices[cur]).gain.store(*m_gain, std::memory_order_relaxed);
    m_engine.Start(m_voices[cur], m_jobs[cur].token);
    m_lastSeq[cur] = m_engine.SentSeq();
}

void AudioMediaPlayer::Pause() {
    if (m_playState != media::kPlaying) return;
    const std::size_t s = static_cast<std::size_t>(m_current);
    m_engine.Pause(m_voices[s]);
    m_lastSeq[s] = m_engine.SentSeq();
    ChangeState(media::kPaused);
}

void AudioMediaPlayer::Stop() {
    if (m_playState == media::kStopped) return;
    const std::size_t s = static_cast<std::size_t>(m_current);
    m_engine.Stop(m_voices[s]);
    m_lastSeq[s] = m_engine.SentSeq();
    m_needsReload = true;
    m_endedEarly = true;
    ChangeState(media::kStopped);
}

void AudioMediaPlayer::SetCurrentPosition(double seconds) {
    if (m_current < 0) return;
    const std::size_t s = static_cast<std::size_t>(m_current);
    const double duration = m_duration[s].load();
    if (seconds >= duration) {
        // To the end: the element ends now, as at its natural end.
        if (m_playState == media::kStopped) return;
        m_engine.EndNow(m_voices[s]);
        m_lastSeq[s] = m_engine.SentSeq();
        m_needsReload = true;
        m_endedEarly = true;
        ChangeState(media::kStopped);
        return;
    }
    // Anywhere else: reopen there and carry on as before.
    const bool wasPlaying = m_playState == media::kPlaying;
    std::int64_t frame = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_jobs[s].decoder)
            frame =
                static_cast<std::int64_t>(std::max(0.0, seconds) * m_jobs[s].decoder->FileRate());
    }
    if (m_playState != media::kStopped) {
        m_engine.Stop(m_voices[s]);
        m_lastSeq[s] = m_engine.SentSeq();
        m_playState = media::kStopped;  // silently: the element goes on
    }
    const std::optional<float> gain = m_gain;
    Load(m_fileName, true, frame);
    m_gain = gain;
    if (wasPlaying && m_errorCode == 0) {
        StartCurrent();
        m_playState = media::kPlaying;
    }
}

void AudioMediaPlayer::OnEngineEvent(int type, int voice, uint token, qint64 frame, qint64 frames) {
    // What sounded is told whichever element it was, the one before a
    // reload included: its token tells it apart.
    if (voice != m_voices[0] && voice != m_voices[1]) return;
    switch (type) {
        case AudioEngine::kEventBegan:
            emit Sounding(token, frame);
            return;
        case AudioEngine::kEventPaused:
            emit Quiet(token, frame, frames, false);
            return;
        case 1:  // finished
        case 2:  // stopped
            emit Quiet(token, frame, frames, true);
            return;
        default:
            break;
    }
    if (m_current < 0) return;
    const std::size_t s = static_cast<std::size_t>(m_current);
    if (voice != m_voices[s] || token != m_jobs[s].token) return;
    if (type == 0 /* early end */ && m_playState == media::kPlaying) {
        m_needsReload = true;
        m_playState = media::kStopped;
        emit PlayStateChange(media::kPlaying, media::kStopped);
    }
}

qint64 AudioMediaPlayer::OutputFrame() const {
    return m_engine.Frame();
}

quint32 AudioMediaPlayer::ElementId() const {
    return m_current < 0 ? 0 : m_jobs[static_cast<std::size_t>(m_current)].token;
}

// ---------------------------------------------------------------------------
// Properties

int AudioMediaPlayer::ReadyState() const {
    if (m_current < 0 || ErrorCode() != 0) return 0;
    return m_ready[static_cast<std::size_t>(m_current)].load() ? media::kReadyComplete : 1;
}

bool AudioMediaPlayer::IsDurationValid() const {
    return m_current >= 0 && ErrorCode() == 0 &&
           m_durationValid[static_cast<std::size_t>(m_current)].load();
}

double AudioMediaPlayer::Duration() const {
    return m_current >= 0 ? m_duration[static_cast<std::size_t>(m_current)].load() : 0.0;
}

double AudioMediaPlayer::CurrentPosition() const {
    if (m_current < 0) return 0.0;
    const std::size_t s = static_cast<std::size_t>(m_current);
    const int voice = m_voices[s];
    const double played =
        voice >= 0
            ? static_cast<double>(m_engine.VoiceAt(voice).playedFrames.load()) / AudioEngine::kRate
            : 0.0;
    return std::min(m_offset[s].load() + played, m_duration[s].load());
}

double AudioMediaPlayer::SecondsToEnd() const {
    if (m_current < 0 || m_endedEarly) return 0.0;
    const int voice = m_voices[static_cast<std::size_t>(m_current)];
    if (voice < 0) return 0.0;
    const Voice& sounding = m_engine.VoiceAt(voice);
    if (!sounding.decodeEnded.load(std::memory_order_acquire)) return 0.0;
    const std::int64_t left = sounding.totalFrames.load(std::memory_order_acquire) -
                              sounding.playedFrames.load(std::memory_order_acquire);
    return static_cast<double>(std::max<std::int64_t>(0, left)) / AudioEngine::kRate;
}

QString AudioMediaPlayer::AboutText() const {
    return m_engine.AboutText();
}

}  // namespace sonavel
