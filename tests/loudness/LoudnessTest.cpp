#include "Events.h"
#include "LoudnessCache.h"
#include "LoudnessGain.h"
#include "LoudnessSettings.h"
#include "LoudnessSounds.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <condition_variable>
#include <mutex>

using namespace sonavel;
namespace ts = sonavel::testsounds;

namespace {

constexpr int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

class LoudnessTest : public TempFolderTest {
  protected:
    QString Sound(const QString& name, const std::vector<float>& samples, int rate = 48000,
                  int format = kFloatWav, int channels = 2) {
        QString path = Path(name);
        EXPECT_TRUE(ts::Write(path, samples, channels, rate, format)) << name.toStdString();
        return path;
    }
    LoudnessMeasure Measure(const QString& path) {
        const std::optional<LoudnessMeasure> measure = MeasureLoudness(path);
        EXPECT_TRUE(measure.has_value());
        return measure.value_or(LoudnessMeasure{});
    }
};

// The EBU's own test signals, in the formats a station's files come in, each
// through the decoder that plays it: a 1 kHz stereo sine reads its peak
// level in LUFS, and, a sine's crest lying on its samples, in dBTP too.
TEST_F(LoudnessTest, ReadsTheEbuSinesThroughEveryDecoder) {
    const struct {
        const char* name;
        double dbfs;
        int rate;
        int format;
        int channels;
        double peakTolerance;
    } cases[] = {
        {"float48.wav", -23, 48000, kFloatWav, 2, 0.1},
        {"pcm24-48.wav", -33, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 0.1},
        // Another rate is converted as the players convert it.
        {"pcm16-44.wav", -23, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 0.1},
        {"cd.flac", -33, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 0.1},
        // The encoder's ripple reaches past the sine's crest.
        {"song.mp3", -23, 44100, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 0.5},
        // Mono plays in both channels, so it reads as the stereo sine.
        {"mono.wav", -23, 48000, kFloatWav, 1, 0.1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Sound(c.name, ts::Sine(20, c.rate, c.dbfs, 1000, c.channels), c.rate,
                                   c.format, c.channels);
        const LoudnessMeasure measure = Measure(path);
        ASSERT_TRUE(measure.Measured()) << measure.problem.toStdString();
        EXPECT_NEAR(measure.integrated, c.dbfs, 0.1);
        EXPECT_NEAR(measure.truePeak, c.dbfs, c.peakTolerance);
        EXPECT_NEAR(measure.seconds, 20.0, 0.1);
    }
}

// A quarter of the rate sampled 45 degrees off its crests: every sample is
// 3 dB below the peak the converter will reach between them.
TEST_F(LoudnessTest, TruePeakFindsTheCrestBetweenSamples) {
    const QString path = Sound("between.wav", ts::Sine(5, 48000, -6, 12000, 2, M_PI / 4));
    float samplePeak = 0;
    for (float s : ts::ReadAll(path))
        samplePeak = std::max(samplePeak, std::fabs(s));
    EXPECT_NEAR(20 * std::log10(samplePeak), -9.0, 0.05);
    const LoudnessMeasure measure = Measure(path);
    ASSERT_TRUE(measure.Measured());
    EXPECT_NEAR(measure.truePeak, -6.0, 0.3);
}

TEST_F(LoudnessTest, FilesWithoutAMeasureSayWhy) {
    QFile text(Path("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("These are the presenter's notes, not a sound.\n");
    text.close();
    const struct {
        QString path;
        const char* problem;
    } cases[] = {
        {Path("notes.wav"), "its data is not in a sound format this player can decode"},
        {Path("missing.wav"), "the file does not exist"},
        {Sound("blip.wav", ts::Sine(0.3, 48000, -10)),
         "it is too short for a gated measure (0.30 s; at least 0.4 s)"},
        {Sound("silence.wav", std::vector<float>(std::size_t{48000} * 6, 0.0f)), "it is silent"},
        // Below the absolute gate of -70 LUFS is silence to the measure.
        {Sound("hum.wav", ts::Sine(6, 48000, -80)), "it is silent"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const LoudnessMeasure measure = Measure(c.path);
        EXPECT_FALSE(measure.Measured());
        EXPECT_TRUE(measure.problem.startsWith(QString::fromLatin1(c.problem)))
            << measure.problem.toStdString();
    }
}

// The gain is the distance to the target, lowered by whichever limit comes
// first: the true peak after the gain, or the largest gain allowed.
TEST(LoudnessGainDbTest, CapsTheGainAtTheTruePeakLimitAndTheMaximumGain) {
    LoudnessSettings settings;  // -23 LUFS, -1 dBTP, 12 dB
    const struct {
        double integrated, truePeak, gain;
        bool capped;
    } cases[] = {
        {-30, -20, 7, false},   {-10, -0.5, -13, false},  // a hot master comes down
        {-40, -30, 12, true},                             // quiet: raised only as far as allowed
        {-30, -3, 2, true},                               // its peaks would pass the limit
        {-23, 0.5, -1.5, true},  // on target, yet its peak is over the limit
        {-20, 1.0, -3, false},   // coming down brings its peak under the limit anyway
    };
    for (const auto& c : cases) {
        LoudnessMeasure measure;
        measure.integrated = c.integrated;
        measure.truePeak = c.truePeak;
        bool capped = false;
        EXPECT_DOUBLE_EQ(LoudnessGainDb(settings, measure, &capped), c.gain) << c.integrated;
        EXPECT_EQ(capped, c.capped) << c.integrated;
        EXPECT_LE(measure.truePeak + c.gain, settings.TruePeakLimit + 1e-9);
    }
    settings.Target = -16;
    settings.MaximumGain = 6;
    LoudnessMeasure quiet;
    quiet.integrated = -30;
    quiet.truePeak = -18;
    EXPECT_DOUBLE_EQ(LoudnessGainDb(settings, quiet), 6);
}

class LoudnessCacheTest : public LoudnessTest {
  protected:
    LoudnessCache& Cache() {
        if (!m_cache) {
            m_cache = std::make_unique<LoudnessCache>(
                ProgramFolder(), m_clock, [this](const QString& text) { notices << text; });
        }
        return *m_cache;
    }
    QString CacheFile() const { return ProgramFolder() + "/Loudness.db"; }
    static LoudnessMeasure Measured(double integrated, double truePeak) {
        LoudnessMeasure measure;
        measure.integrated = integrated;
        measure.truePeak = truePeak;
        measure.seconds = 20;
        return measure;
    }
    void WriteBytes(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    std::unique_ptr<LoudnessCache> m_cache;
    QStringList notices;
};

// Path, size and time: a file rewritten, or merely touched, is measured again.
TEST_F(LoudnessCacheTest, KnowsAFileUntilItChanges) {
    const QString path = Sound("song.wav", ts::Sine(2, 48000, -20));
    const FileKey key = *FileKey::Of(path);
    EXPECT_FALSE(Cache().Find(key).has_value());
    Cache().Store(key, Measured(-20.04, -19.9));
    LoudnessMeasure bad;
    bad.problem = QStringLiteral("it is silent");
    const QString other = Sound("quiet.wav", std::vector<float>(96000, 0.0f));
    Cache().Store(*FileKey::Of(other), bad, true);

    // Another program, or the next run, finds them in the file.
    m_cache.reset();
    ASSERT_TRUE(QFile::exists(CacheFile()));
    const std::optional<CachedLoudness> found = Cache().Find(key);
    ASSERT_TRUE(found.has_value());
    EXPECT_DOUBLE_EQ(found->measure.integrated, -20.04);
    EXPECT_DOUBLE_EQ(found->measure.truePeak, -19.9);
    EXPECT_TRUE(found->measure.Measured());
    const std::optional<CachedLoudness> problem = Cache().Find(*FileKey::Of(other));
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->measure.problem, "it is silent");
    EXPECT_TRUE(problem->problemReported);

    // Touched: same size, another time.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QFileInfo(path).lastModified().addSecs(60),
                                 QFileDevice::FileModificationTime));
    file.close();
    EXPECT_FALSE(Cache().Find(*FileKey::Of(path)).has_value());
    // Rewritten at another length, with the old time put back.
    const QDateTime time = QFileInfo(other).lastModified();
    Sound("quiet.wav", std::vector<float>(96002, 0.0f));
    QFile again(other);
    ASSERT_TRUE(again.open(QIODevice::ReadWrite));
    ASSERT_TRUE(again.setFileTime(time, QFileDevice::FileModificationTime));
    again.close();
    EXPECT_FALSE(Cache().Find(*FileKey::Of(other)).has_value());
    // The same name elsewhere is another file.
    QDir().mkpath(Path("copy"));
    ASSERT_TRUE(QFile::copy(path, Path("copy/song.wav")));
    EXPECT_FALSE(Cache().Find(*FileKey::Of(Path("copy/song.wav"))).has_value());
    EXPECT_TRUE(notices.isEmpty());
}

// Whatever the file holds, the station plays on: a damaged cache is put
// aside under the day's date, once, and a new one takes its place.
TEST_F(LoudnessCacheTest, ADamagedCacheIsSetAsideWithTheDateAndBuiltAgain) {
    const FileKey key = *FileKey::Of(Sound("song.wav", ts::Sine(2, 48000, -20)));
    const QByteArray garbage = QByteArray("Not a database at all. ").repeated(300);
    WriteBytes(CacheFile(), garbage);
    EXPECT_FALSE(Cache().Find(key).has_value());
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith("The loudness cache " + CacheFile() + " was damaged ("))
        << notices[0].toStdString();
    EXPECT_TRUE(notices[0].endsWith(
        "It was set aside as Loudness.db.damaged-2026-12-05 and is built again as files are "
        "measured."))
        << notices[0].toStdString();
    QFile aside(CacheFile() + ".damaged-2026-12-05");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), garbage);
    Cache().Store(key, Measured(-20, -20));
    EXPECT_TRUE(Cache().Find(key).has_value());
    EXPECT_EQ(notices.size(), 1);

    // A table of its name in another shape (another version, a tool) is as
    // unusable; the same day's second is set aside beside the first.
    m_cache.reset();
    ASSERT_TRUE(QFile::remove(CacheFile()));
    QFile::remove(CacheFile() + "-wal");
    QFile::remove(CacheFile() + "-shm");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(CacheFile()).constData(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "CREATE TABLE loudness(path TEXT, lufs REAL)", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    notices.clear();
    EXPECT_FALSE(Cache().Find(key).has_value());
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains("set aside as Loudness.db.damaged-2026-12-05-2 "))
        << notices[0].toStdString();
    EXPECT_TRUE(QFile::exists(CacheFile() + ".damaged-2026-12-05"));
    Cache().Store(key, Measured(-20, -20));
    EXPECT_TRUE(Cache().Find(key).has_value());
}

// Where no file can be made the measures live until the program ends.
TEST_F(LoudnessCacheTest, AFolderThatCannotHoldTheCacheKeepsMeasuresForTheRun) {
    const FileKey key = *FileKey::Of(Sound("song.wav", ts::Sine(2, 48000, -20)));
    // Root may write anywhere; a file where the folder should be stops anyone.
    WriteBytes(Path("blocked"), "a file, not a folder");
    LoudnessCache cache(Path("blocked/Sonavel"), m_clock,
                        [this](const QString& text) { notices << text; });
    EXPECT_FALSE(cache.Find(key).has_value());
    cache.Store(key, Measured(-18, -3));
    ASSERT_TRUE(cache.Find(key).has_value());
    EXPECT_DOUBLE_EQ(cache.Find(key)->measure.integrated, -18);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith("The loudness cache " + Path("blocked/Sonavel/Loudness.db") +
                                      " cannot be used ("));
    EXPECT_TRUE(notices[0].endsWith("Measures are kept only until the program ends."));
}

// The players' side: what each file starts at, and what the logs say.
class LoudnessGainTest : public LoudnessTest {
  protected:
    LoudnessGainTest() : session(MakeSession(Product::Player)) { UseStationFolders(session); }

    void Enable(bool on = true) {
        m_store->SaveSetting(kAppName, kLoudnessSection, "Enabled", on ? "True" : "False");
    }
    QStringList ProgramLog() const {
        QStringList lines;
        for (const QString& line : textfile::ReadLines(Path("program.log")))
            lines << line.section(QStringLiteral("  "), 1);
        return lines;
    }
    int ErrorLogMentions(const QString& text) const {
        return static_cast<int>(textfile::ReadAll(Path("error.log")).count(text));
    }
    static void Settle(LoudnessGain& gain) {
        ASSERT_TRUE(WaitUntil([&] { return gain.Idle(); }));
    }

    Session& session;
};

TEST_F(LoudnessGainTest, OffEveryFilePlaysAsItIsAndNothingIsMeasured) {
    const QString path = Sound("loud.wav", ts::Sine(3, 48000, -6));
    int measured = 0;
    LoudnessGain gain(session, [&](const QString& file, const std::atomic<bool>& cancel) {
        ++measured;
        return MeasureLoudness(file, &cancel);
    });
    for (bool stored : {false, true}) {
        if (stored) Enable(false);
        gain.Prepare(path);
        EXPECT_EQ(gain.GainFor(path), 1.0f);
    }
    EXPECT_TRUE(gain.Idle());
    EXPECT_EQ(measured, 0);
    EXPECT_FALSE(QFile::exists(ProgramFolder() + "/Loudness.db"));
    EXPECT_FALSE(QFile::exists(Path("program.log")));
}

// Measured while the element before it plays: it starts at its gain. The
// settings are read as each file starts, so a change holds from the next.
TEST_F(LoudnessGainTest, AFileMeasuredAheadStartsAtTheGainTheTargetCallsFor) {
    const QString quiet = Sound("quiet.wav", ts::Sine(5, 48000, -33));
    const QString hot =
        Sound("hot.wav", ts::Sine(5, 44100, -8), 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    Enable();
    LoudnessGain gain(session);
    gain.Prepare(quiet);
    gain.Prepare(hot);
    Settle(gain);
    EXPECT_NEAR(20 * std::log10(gain.GainFor(quiet)), 10.0, 0.1);
    EXPECT_NEAR(20 * std::log10(gain.GainFor(hot)), -15.0, 0.1);
    m_store->SaveSetting(kAppName, kLoudnessSection, "Target", "-16");
    EXPECT_NEAR(20 * std::log10(gain.GainFor(quiet)), 12.0, 0.01) << "the maximum gain holds";
    EXPECT_NEAR(20 * std::log10(gain.GainFor(hot)), -8.0, 0.1);
    EXPECT_FALSE(QFile::exists(Path("program.log")));
    EXPECT_FALSE(QFile::exists(Path("error.log")));
}

// The switch never waits for a measure: late, the file plays as it is and
// the program log says so; measured meanwhile, its next play is even.
TEST_F(LoudnessGainTest, AMeasureNotReadyWhenTheElementStartsLeavesItAtItsOwnLevel) {
    const QString path = Sound("promo.wav", ts::Sine(4, 48000, -13));
    Enable();
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    LoudnessGain gain(session, [&](const QString& file, const std::atomic<bool>& cancel) {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
        return MeasureLoudness(file, &cancel);
    });
    gain.Prepare(path);
    EXPECT_EQ(gain.GainFor(path), 1.0f);
    EXPECT_EQ(ProgramLog(),
              QStringList{"Loudness not measured in time, playing at its own level: " + path});
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    Settle(gain);
    EXPECT_NEAR(20 * std::log10(gain.GainFor(path)), -10.0, 0.1);
    EXPECT_EQ(ProgramLog().size(), 1);
}

// Named in the error log once: not at every play, nor in the next run.
TEST_F(LoudnessGainTest, AFileThatCannotBeMeasuredPlaysAsItIsAndIsNamedOnce) {
    const QString silent = Sound("silent.wav", std::vector<float>(std::size_t{48000} * 4, 0.0f));
    Enable();
    for (int run = 0; run < 2; ++run) {
        LoudnessGain gain(session);
        gain.Prepare(silent);
        Settle(gain);
        for (int play = 0; play < 3; ++play)
            EXPECT_EQ(gain.GainFor(silent), 1.0f);
    }
    EXPECT_EQ(ErrorLogMentions("Cannot measure the loudness of " + silent +
                               ": it is silent. It plays at its own level."),
              1);
    EXPECT_EQ(ErrorLogMentions("Variable Data: " + silent), 1);
}

TEST_F(LoudnessGainTest, SettingsThatCannotBeReadLeaveEveryFileAsItIs) {
    const QString path = Sound("song.wav", ts::Sine(3, 48000, -30));
    Enable();
    m_store->SaveSetting(kAppName, kLoudnessSection, "Maximum Gain", "lots");
    LoudnessGain gain(session);
    gain.Prepare(path);
    EXPECT_EQ(gain.GainFor(path), 1.0f);
    EXPECT_EQ(gain.GainFor(path), 1.0f);
    EXPECT_EQ(ErrorLogMentions("The loudness settings cannot be read ("), 1);
    EXPECT_FALSE(QFile::exists(ProgramFolder() + "/Loudness.db"));
}

}  // namespace
