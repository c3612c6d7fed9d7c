#pragma once

#include "GainSource.h"
#include "Loudness.h"
#include "LoudnessCache.h"
#include "LoudnessSettings.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sonavel {

class Session;

// The gain that brings a measured file to the target: target minus its
// loudness, lowered so that its true peak stays at or below the limit and
// the gain at or below the largest allowed. capped tells whether a limit
// decided it.
double LoudnessGainDb(const LoudnessSettings& settings, const LoudnessMeasure& measure,
                      bool* capped = nullptr);

// The station's loudness cache, its notices written to the session's error log.
std::unique_ptr<LoudnessCache> OpenLoudnessCache(Session& session);

// Names a file that cannot be measured in the session's error log, once:
// the cache remembers that it was named.
void ReportUnmeasurable(Session& session, LoudnessCache& cache, const FileKey& key,
                        const LoudnessMeasure& measure);

// What MeasureFiles found for one file.
struct MeasuredFile {
    QString path;
    std::optional<FileKey> key;  // none when the file is not there
    LoudnessMeasure measure;
    bool known = false;  // it was in the cache already
};

struct MeasureRun {
    std::vector<MeasuredFile> files;  // in the order given, each once
    int measured = 0;                 // measured now, problems included
    int problems = 0;                 // of those measured now, the ones without a measure
    double soundSeconds = 0;          // of sound measured now
    double elapsedSeconds = 0;
};

// Measures the files the cache lacks, one after another on a worker
// thread, and keeps the results. progress hears how many there are to
// measure (no file yet), then each as it is done; serve runs while the
// worker works (a window's events).
MeasureRun MeasureFiles(
    LoudnessCache& cache, const QStringList& paths,
    const std::function<void(int done, int total, const MeasuredFile* file)>& progress = {},
    const std::function<void()>& serve = {}, LoudnessWorker::Measure measure = {});

// The players' gain source while the station evens out loudness: each file
// plays at the gain its measure calls for. A file the cache lacks is measured
// while the element before it plays; one still unmeasured when it starts
// plays at its own level, and the program log says so. A start only reads:
// results are written, and problems named in the error log, as files are
// opened. The settings are read as each file is opened and started, so a
// change made in the options window holds from the next element on; with
// "Enabled" off nothing is measured, opened or changed, and every file plays
// as it is.
class LoudnessGain final : public GainSource {
  public:
    explicit LoudnessGain(Session& session, LoudnessWorker::Measure measure = {});
    ~LoudnessGain() override;
    LoudnessGain(const LoudnessGain&) = delete;
    LoudnessGain& operator=(const LoudnessGain&) = delete;

    void Prepare(const QString& path) override;
    float GainFor(const QString& path) override;

    // Every measure asked for is done (tests, the benchmark).
    bool Idle() const;

  private:
    std::optional<LoudnessSettings> Settings();
    LoudnessCache& Cache();
    LoudnessWorker& Worker();
    // The worker's results, kept in memory until they can be written.
    void TakeMeasures();
    // Those results into the cache, and problems into the error log.
    void Store();
    // What is known of the file: measured lately or in the cache.
    std::optional<CachedLoudness> Known(const FileKey& key);

    Session& m_session;
    LoudnessWorker::Measure m_measure;
    std::unique_ptr<LoudnessCache> m_cache;
    std::unique_ptr<LoudnessWorker> m_worker;
    std::vector<LoudnessWorker::Done> m_unstored;
    std::vector<FileKey> m_unreported;  // known problems still to be named
    bool m_settingsReported = false;
};

}  // namespace sonavel
