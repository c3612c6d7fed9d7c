#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace sonavel {

// A file as the cache knows it: a file changed in size or time is another
// file, measured again.
struct FileKey {
    QString path;  // absolute
    std::int64_t size = 0;
    std::int64_t modified = 0;  // milliseconds since the epoch

    // Nothing when the path is not a regular file.
    static std::optional<FileKey> Of(const QString& path);
    bool operator==(const FileKey&) const = default;
};

// What a file measures as the players decode it: its integrated loudness
// (EBU R128, gated) and its true peak, or why it has none.
struct LoudnessMeasure {
    double integrated = 0;  // LUFS
    double truePeak = 0;    // dBTP
    double seconds = 0;     // of sound measured
    // Why the file cannot be measured (damaged, too short for the gate,
    // silent); empty when it was.
    QString problem;

    bool Measured() const { return problem.isEmpty(); }
};

// Shortest sound the gate can measure: one 400 ms block.
inline constexpr double kShortestMeasuredSeconds = 0.4;

// Decodes the file with the engine's decoders, stereo at the engine's rate,
// and measures it. A file that cannot be measured gives a problem, never an
// exception. Nothing when cancel was set on the way.
std::optional<LoudnessMeasure> MeasureLoudness(const QString& path,
                                               const std::atomic<bool>* cancel = nullptr);
// The measuring library and its version.
QString LoudnessLibraryVersion();

// Measures files one after another on a thread of its own, at a lower
// priority than the players' decoders and the output, so a measure never
// costs the programme on air a frame. Results wait until taken.
class LoudnessWorker {
  public:
    using Measure = std::function<std::optional<LoudnessMeasure>(const QString& path,
                                                                 const std::atomic<bool>& cancel)>;
    struct Done {
        FileKey key;
        LoudnessMeasure measure;
    };

    // MeasureLoudness unless another measure is given (tests).
    explicit LoudnessWorker(Measure measure = {});
    // Gives up the measure in progress.
    ~LoudnessWorker();
    LoudnessWorker(const LoudnessWorker&) = delete;
    LoudnessWorker& operator=(const LoudnessWorker&) = delete;

    // Queues the file unless it is queued or being measured already. First
    // goes before everything queued: the file a player is about to need.
    void Add(const FileKey& key, bool first = false);
    // The measures finished since the last call. A file that changed while
    // it was measured is left out; it is measured again when asked for.
    std::vector<Done> Take();
    // Waits up to the time given for a result to take, or for the worker
    // to have nothing left to do; true when a result is there.
    bool Wait(int milliseconds);
    // Nothing queued, nothing being measured.
    bool Idle() const;
    bool Pending(const QString& path) const;

  private:
    void Run();

    Measure m_measure;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    std::deque<FileKey> m_queue;
    std::optional<FileKey> m_current;
    std::vector<Done> m_done;
    std::atomic<bool> m_cancel{false};
    bool m_quit = false;
    std::thread m_thread;
};

}  // namespace sonavel
