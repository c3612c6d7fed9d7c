#include "LoudnessGain.h"

#include "ErrorModule.h"
#include "RuntimeError.h"
#include "Session.h"

#include <QElapsedTimer>
#include <QHash>
#include <algorithm>
#include <cmath>

namespace sonavel {

namespace {

const QString kSource = QStringLiteral("Loudness");

}  // namespace

double LoudnessGainDb(const LoudnessSettings& settings, const LoudnessMeasure& measure,
                      bool* capped) {
    const double wanted = settings.Target - measure.integrated;
    const double gain =
        std::min({wanted, settings.MaximumGain, settings.TruePeakLimit - measure.truePeak});
    if (capped) *capped = gain < wanted;
    return gain;
}

std::unique_ptr<LoudnessCache> OpenLoudnessCache(Session& session) {
    const QString path = LoudnessCache::FileIn(session.ProgramFolder());
    return std::make_unique<LoudnessCache>(
        session.ProgramFolder(), session.Time(), [&session, path](const QString& text) {
            LogError(session, 0, kSource, text, QStringLiteral("LoudnessCache"),
                     QStringLiteral("File"), path);
        });
}

void ReportUnmeasurable(Session& session, LoudnessCache& cache, const FileKey& key,
                        const LoudnessMeasure& measure) {
    if (measure.Measured()) return;
    // A program that keeps no error log leaves the naming to one that does.
    if (!session.ErrorLoggingEnabled) return;
    LogError(session, 0, kSource,
             QStringLiteral("Cannot measure the loudness of %1: %2. It plays at its own level.")
                 .arg(key.path, measure.problem),
             QStringLiteral("LoudnessGain"), QStringLiteral("File"), key.path);
    cache.MarkReported(key);
}

MeasureRun MeasureFiles(
    LoudnessCache& cache, const QStringList& paths,
    const std::function<void(int done, int total, const MeasuredFile* file)>& progress,
    const std::function<void()>& serve, LoudnessWorker::Measure measure) {
    QElapsedTimer timer;
    timer.start();
    MeasureRun run;
    QHash<QString, std::size_t> byPath;
    std::vector<std::size_t> missing;
    for (const QString& path : paths) {
        MeasuredFile file{path, FileKey::Of(path), {}, false};
        const QString id = file.key ? file.key->path : path;
        if (byPath.contains(id)) continue;
        byPath.insert(id, run.files.size());
        if (!file.key) {
            file.measure.problem = QStringLiteral("the file does not exist");
        } else if (const std::optional<CachedLoudness> cached = cache.Find(*file.key)) {
            file.measure = cached->measure;
            file.known = true;
        } else {
            missing.push_back(run.files.size());
        }
        run.files.push_back(file);
    }
    if (!missing.empty()) {
        std::vector<bool> answered(run.files.size(), false);
        LoudnessWorker worker(std::move(measure));
        for (const std::size_t index : missing)
            worker.Add(*run.files[index].key);
        const int total = static_cast<int>(missing.size());
        if (progress) progress(0, total, nullptr);
        for (;;) {
            if (serve) serve();
            // Idle before the results are taken: then every result is among them.
            const bool idle = worker.Idle();
            for (LoudnessWorker::Done& done : worker.Take()) {
                const std::size_t index = byPath.value(done.key.path);
                MeasuredFile& file = run.files[index];
                answered[index] = true;
                file.measure = done.measure;
                cache.Store(done.key, done.measure);
                ++run.measured;
                run.soundSeconds += done.measure.seconds;
                if (!done.measure.Measured()) ++run.problems;
                if (progress) progress(run.measured, total, &file);
            }
            if (idle) break;
            worker.Wait(serve ? 10 : 1000);
        }
        // What changed while it was read waits for a measure another time.
        for (const std::size_t index : missing) {
            if (!answered[index])
                run.files[index].measure.problem =
                    QStringLiteral("it changed while it was measured");
        }
    }
    run.elapsedSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return run;
}

// ---------------------------------------------------------------------------

LoudnessGain::LoudnessGain(Session& session, LoudnessWorker::Measure measure)
    : m_session(session), m_measure(std::move(measure)) {}

LoudnessGain::~LoudnessGain() {
    // What was measured before the end is kept for the next run.
    Store();
}

std::optional<LoudnessSettings> LoudnessGain::Settings() {
    try {
        const LoudnessSettings settings = ReadLoudnessSettings(m_session);
        if (settings.Enabled) return settings;
    } catch (const RuntimeError& error) {
        // Nothing is evened out rather than something wrongly: said once.
        if (!m_settingsReported) {
            m_settingsReported = true;
            LogError(m_session, error.Number(), kSource,
                     QStringLiteral("The loudness settings cannot be read (%1): every file plays "
                                    "at its own level.")
                         .arg(error.Description()),
                     QStringLiteral("LoudnessGain"), QStringLiteral("Section"),
                     QString::fromLatin1(kLoudnessSection));
        }
    }
    return std::nullopt;
}

LoudnessCache& LoudnessGain::Cache() {
    if (!m_cache) m_cache = OpenLoudnessCache(m_session);
    return *m_cache;
}

LoudnessWorker& LoudnessGain::Worker() {
    if (!m_worker) m_worker = std::make_unique<LoudnessWorker>(m_measure);
    return *m_worker;
}

bool LoudnessGain::Idle() const {
    return !m_worker || m_worker->Idle();
}

void LoudnessGain::TakeMeasures() {
    if (!m_worker) return;
    for (LoudnessWorker::Done& done : m_worker->Take())
        m_unstored.push_back(std::move(done));
}

void LoudnessGain::Store() {
    TakeMeasures();
    if (m_unstored.empty() && m_unreported.empty()) return;
    for (const LoudnessWorker::Done& done : m_unstored) {
        Cache().Store(done.key, done.measure);
        ReportUnmeasurable(m_session, Cache(), done.key, done.measure);
    }
    m_unstored.clear();
    for (const FileKey& key : m_unreported) {
        const std::optional<CachedLoudness> cached = Cache().Find(key);
        if (cached && !cached->problemReported)
            ReportUnmeasurable(m_session, Cache(), key, cached->measure);
    }
    m_unreported.clear();
}

std::optional<CachedLoudness> LoudnessGain::Known(const FileKey& key) {
    for (auto done = m_unstored.rbegin(); done != m_unstored.rend(); ++done) {
        if (done->key == key) return CachedLoudness{done->measure, false};
    }
    return Cache().Find(key);
}

void LoudnessGain::Prepare(const QString& path) {
    if (!Settings()) return;
    // Opening is the players' quiet moment: what was measured is written now.
    Store();
    const std::optional<FileKey> key = FileKey::Of(path);
    if (!key || Known(*key)) return;
    // The file about to play goes before any left over from earlier.
    Worker().Add(*key, true);
}

float LoudnessGain::GainFor(const QString& path) {
    // Asked in the middle of an element switch: reads only, so another
    // program writing the cache never holds the start up.
    const std::optional<LoudnessSettings> settings = Settings();
    if (!settings) return 1.0f;
    TakeMeasures();
    const std::optional<FileKey> key = FileKey::Of(path);
    if (!key) return 1.0f;
    const std::optional<CachedLoudness> known = Known(*key);
    if (!known) {
        LogEvent(
            m_session,
            QStringLiteral("Loudness not measured in time, playing at its own level: ") + path);
        // Measured still, for the next time it plays.
        Worker().Add(*key, true);
        return 1.0f;
    }
    if (!known->measure.Measured()) {
        if (!known->problemReported) m_unreported.push_back(*key);
        return 1.0f;
    }
    const double gainDb = LoudnessGainDb(*settings, known->measure);
    return static_cast<float>(std::pow(10.0, gainDb / 20.0));
}

}  // namespace sonavel
