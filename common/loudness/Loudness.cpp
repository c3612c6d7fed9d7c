#include "Loudness.h"

#include "AudioEngine.h"
#include "Decoder.h"

#include <ebur128.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace sonavel {

namespace {

constexpr std::int64_t kBlockFrames = 16384;
// Below the players' decoders and the output: a measure waits for them.
constexpr int kWorkerNice = 10;

struct StateDeleter {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};

// The decoder's refusal says "Cannot play <path>: <why>"; the measure's
// messages name the file themselves.
QString Why(const QString& path, const QString& description) {
    const QString prefix = QStringLiteral("Cannot play %1: ").arg(path);
    return description.startsWith(prefix) ? description.mid(prefix.size()) : description;
}

LoudnessMeasure Problem(const QString& text, double seconds = 0) {
    LoudnessMeasure measure;
    measure.problem = text;
    measure.seconds = seconds;
    return measure;
}

}  // namespace

std::optional<FileKey> FileKey::Of(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    const QFileInfo info(path);
    if (!info.isFile()) return std::nullopt;
    return FileKey{info.absoluteFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

std::optional<LoudnessMeasure> MeasureLoudness(const QString& path,
                                               const std::atomic<bool>* cancel) {
    constexpr int kRate = AudioEngine::kRate;
    std::unique_ptr<Decoder> decoder;
    try {
        decoder = Decoder::Open(path, kRate);
    } catch (const MediaError& error) {
        return Problem(Why(path, error.description));
    }
    std::unique_ptr<ebur128_state, StateDeleter> state(
        ebur128_init(2, kRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM));
    if (!state) return Problem(QStringLiteral("there is not enough memory to measure it"));

    std::int64_t frames = 0;
    try {
        std::vector<float> block(static_cast<std::size_t>(kBlockFrames) * 2);
        for (;;) {
            if (cancel && cancel->load(std::memory_order_relaxed)) return std::nullopt;
            const std::int64_t got = decoder->Read(block.data(), kBlockFrames);
            if (got <= 0) break;
            // As the players do: what is not a number sounds as silence.
            for (std::int64_t k = 0; k < got * 2; ++k) {
                float& sample = block[static_cast<std::size_t>(k)];
                if (!std::isfinite(sample)) sample = 0.0f;
            }
            if (ebur128_add_frames_float(state.get(), block.data(),
                                         static_cast<std::size_t>(got)) != EBUR128_SUCCESS)
                return Problem(QStringLiteral("there is not enough memory to measure it"));
            frames += got;
        }
    } catch (const MediaError& error) {
        return Problem(QStringLiteral("its sound is damaged after %1 s (%2)")
                           .arg(static_cast<double>(frames) / kRate, 0, 'f', 1)
                           .arg(Why(path, error.description)),
                       static_cast<double>(frames) / kRate);
    } catch (const std::bad_alloc&) {
        return Problem(QStringLiteral("there is not enough memory to measure it"));
    }

    const double seconds = static_cast<double>(frames) / kRate;
    if (seconds < kShortestMeasuredSeconds) {
        return Problem(QStringLiteral("it is too short for a gated measure (%1 s; at least 0.4 s)")
                           .arg(seconds, 0, 'f', 2),
                       seconds);
    }
    double integrated = 0;
    if (ebur128_loudness_global(state.get(), &integrated) != EBUR128_SUCCESS ||
        !std::isfinite(integrated)) {
        // Every block fell below the absolute gate of -70 LUFS.
        return Problem(QStringLiteral("it is silent"), seconds);
    }
    double peak = 0;
    for (unsigned channel = 0; channel < 2; ++channel) {
        double channelPeak = 0;
        if (ebur128_true_peak(state.get(), channel, &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    LoudnessMeasure measure;
    measure.integrated = integrated;
    measure.truePeak = peak > 0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
    measure.seconds = seconds;
    return measure;
}

QString LoudnessLibraryVersion() {
    int major = 0, minor = 0, patch = 0;
    ebur128_get_version(&major, &minor, &patch);
    return QStringLiteral("libebur128 %1.%2.%3").arg(major).arg(minor).arg(patch);
}

// ---------------------------------------------------------------------------

LoudnessWorker::LoudnessWorker(Measure measure) : m_measure(std::move(measure)) {
    if (!m_measure) {
        m_measure = [](const QString& path, const std::atomic<bool>& cancel) {
            return MeasureLoudness(path, &cancel);
        };
    }
}

LoudnessWorker::~LoudnessWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_cancel = true;
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void LoudnessWorker::Add(const FileKey& key, bool first) {
    {
        std::lock_guard lock(m_mutex);
        if (m_current && m_current->path == key.path) return;
        const auto queued = std::find_if(m_queue.begin(), m_queue.end(),
                                         [&](const FileKey& k) { return k.path == key.path; });
        if (queued != m_queue.end()) {
            if (!first) return;
            m_queue.erase(queued);
        }
        if (first) {
            m_queue.push_front(key);
        } else {
            m_queue.push_back(key);
        }
        // Started by the first file: a station that never measures runs no thread.
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_all();
}

std::vector<LoudnessWorker::Done> LoudnessWorker::Take() {
    std::lock_guard lock(m_mutex);
    std::vector<Done> done;
    done.swap(m_done);
    return done;
}

bool LoudnessWorker::Wait(int milliseconds) {
    std::unique_lock lock(m_mutex);
    m_finished.wait_for(lock, std::chrono::milliseconds(milliseconds),
                        [this] { return !m_done.empty() || (m_queue.empty() && !m_current); });
    return !m_done.empty();
}

bool LoudnessWorker::Idle() const {
    std::lock_guard lock(m_mutex);
    return m_queue.empty() && !m_current;
}

bool LoudnessWorker::Pending(const QString& path) const {
    std::lock_guard lock(m_mutex);
    if (m_current && m_current->path == path) return true;
    return std::any_of(m_queue.begin(), m_queue.end(),
                       [&](const FileKey& k) { return k.path == path; });
}

void LoudnessWorker::Run() {
    // Linux gives each thread a nice value of its own.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_quit) return;
        const FileKey key = m_queue.front();
        m_queue.pop_front();
        m_current = key;
        lock.unlock();
        std::optional<LoudnessMeasure> measure;
        try {
            measure = m_measure(key.path, m_cancel);
        } catch (const std::bad_alloc&) {
            measure = Problem(QStringLiteral("there is not enough memory to measure it"));
        }
        // A file rewritten while it was read measured neither version.
        const bool unchanged = FileKey::Of(key.path) == std::optional<FileKey>(key);
        lock.lock();
        m_current.reset();
        if (measure && unchanged) m_done.push_back(Done{key, *measure});
        m_finished.notify_all();
    }
}

}  // namespace sonavel
