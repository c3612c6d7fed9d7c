#include "../loudness/LoudnessSounds.h"
#include "AirCommand.h"
#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "CapturedConsole.h"
#include "CommonModule.h"
#include "Decoder.h"
#include "Events.h"
#include "LoudnessGain.h"
#include "LoudnessSettings.h"
#include "Session.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <numbers>

using namespace sonavel;
namespace ts = sonavel::testsounds;

namespace {

// The station on air as 'sonavel air' puts it there, on the real engine and
// players, its output virtual so the test decides when each frame sounds.
class LoudnessAirTest : public TempFolderTest {
  protected:
    struct Element {
        QString path;
        std::int64_t frames = 0;  // at the engine's rate, as it plays
    };

    LoudnessAirTest() : session(MakeSession(Product::Player)) {
        SetRegistryDefaults(session);
        const auto set = [this](const char* key, const QString& value) {
            m_store->SaveSetting(kAppName, kPlayerSection, QString::fromLatin1(key), value);
        };
        set("Program Logging Enabled", "True");
        set("Program Log File Name", Path("program.log"));
        set("Error Logging Enabled", "True");
        set("Error Log File Name", Path("error.log"));
        set("Playlist Folder", Path("lists"));
        set("Time Check Folder", Path("Time"));
        QDir().mkpath(Path("lists"));
        QDir().mkpath(Path("Time"));
        QDir().mkpath(Path("sounds"));
        m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(9, 0, 5)));  // a Monday

        // A station's files as they come: a hot jingle at CD rate, a time
        // check at telephone quality, a quiet bed, one quieter than the
        // largest gain can lift, and a quiet voice with clicks at full
        // scale that leave no room above it.
        jingle = Write("sounds/jingle.wav", ts::Sine(3, 44100, -8, 880), 44100,
                       SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        timeCheck = Write("Time/0900.wav", ts::Sine(2.5, 8000, -18, 700, 1), 8000,
                          SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1);
        bed = Write("sounds/bed.wav", ts::Sine(6, 48000, -30, 220));
        quiet = Write("sounds/quiet.wav", ts::Sine(4, 48000, -40));
        std::vector<float> clicks = ts::Sine(4, 48000, -32, 500);
        for (std::size_t k = 48000; k + 1 < clicks.size(); k += 48000)
            clicks[k] = clicks[k + 1] = 0.98f;
        spiky = Write("sounds/spiky.wav", clicks);
        textfile::WriteLines(Path("lists/Mon0900.lst"),
                             {jingle.path, ":TimeCheck", bed.path, quiet.path, spiky.path});
    }

    Element Write(const QString& name, std::vector<float> samples, int rate = 48000,
                  int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT, int channels = 2) {
        // Starting on a crest, not at zero, so the recording shows where
        // the first element began.
        for (int c = 0; c < channels; ++c)
            samples[static_cast<std::size_t>(c)] = 0.01f;
        const QString path = Path(name);
        EXPECT_TRUE(ts::Write(path, samples, channels, rate, format));
        // As long as the engine plays it: converted to its rate.
        std::int64_t frames = 0;
        std::vector<float> block(8192);
        const std::unique_ptr<Decoder> decoder = Decoder::Open(path, AudioEngine::kRate);
        for (std::int64_t got; (got = decoder->Read(block.data(), 4096)) > 0;)
            frames += got;
        return {path, frames};
    }

    void Enable(bool on) {
        m_store->SaveSetting(kAppName, kLoudnessSection, "Enabled", on ? "True" : "False");
    }
    QString Capture() const { return Path("aircheck.wav"); }

    // Plays the list from its start for the frames given. Loudness evens
    // out when a gain source is given; the measure of `held` waits until the
    // first element has started, as a slow disk would keep it.
    void PutOnAir(bool withGainSource, std::int64_t frames, const QString& held = {}) {
        std::mutex mutex;
        std::condition_variable released;
        bool release = held.isEmpty();
        AudioEngine engine(EngineConfig{OutputKind::Virtual, 300, Capture()});
        std::optional<LoudnessGain> loudness;
        if (withGainSource) {
            loudness.emplace(session, [&](const QString& path, const std::atomic<bool>& cancel) {
                if (path == held) {
                    std::unique_lock lock(mutex);
                    released.wait(lock, [&] { return release; });
                }
                return MeasureLoudness(path, &cancel);
            });
        }
        {
            AudioMediaPlayer player1(engine);
            AudioMediaPlayer player2(engine);
            if (loudness) {
                player1.SetGainSource(&*loudness);
                player2.SetGainSource(&*loudness);
            }
            AirSession air(session, player1, player2);
            int status = -1;
            ASSERT_TRUE(air.Start(status));
            {
                std::lock_guard lock(mutex);
                release = true;
            }
            released.notify_all();
            while (engine.Frame() < frames) {
                DoEvents();
                // Each measure done before the next frames sound: the test
                // stands for a machine that measures faster than real time.
                ASSERT_TRUE(WaitUntil([&] { return !loudness || loudness->Idle(); }));
                engine.RenderVirtual(480);
            }
            air.Stop();
        }
        engine.Finish();
        EXPECT_EQ(engine.Stats().gaps, 0u);
        EXPECT_TRUE(engine.CaptureError().isEmpty()) << engine.CaptureError().toStdString();
    }

    // The loudness and true peak of each element of the recording, which
    // follow one another from its first sound.
    std::vector<LoudnessMeasure> OnAir(const std::vector<Element>& elements) {
        const std::vector<float> capture = ts::ReadAll(Capture());
        std::size_t at = 0;
        while (at < capture.size() && capture[at] == 0.0f)
            at += 2;
        std::vector<LoudnessMeasure> measures;
        for (const Element& element : elements) {
            const auto length = static_cast<std::size_t>(element.frames) * 2;
            EXPECT_LE(at + length, capture.size());
            if (at + length > capture.size()) break;
            const std::vector<float> part(
                capture.begin() + static_cast<std::ptrdiff_t>(at),
                capture.begin() + static_cast<std::ptrdiff_t>(at + length));
            const QString path = Path("part.wav");
            EXPECT_TRUE(ts::Write(path, part, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
            measures.push_back(MeasureLoudness(path).value_or(LoudnessMeasure{}));
            at += length;
        }
        return measures;
    }

    QStringList ProgramLog() const {
        QStringList lines;
        for (const QString& line : textfile::ReadLines(Path("program.log")))
            lines << line.section(QStringLiteral("  "), 1);
        return lines;
    }

    Session& session;
    Element jingle, timeCheck, bed, quiet, spiky;
};

// On: every element airs at the target, time checks too, except where a
// limit holds it back, and then exactly at that limit. The one element
// whose measure was not ready airs as it is, logged, and evenly next time.
TEST_F(LoudnessAirTest, EachElementAirsAtTheTargetOrAtItsCap) {
    Enable(true);
    // The creation run measured the time checks; the rest is measured on air.
    {
        const std::unique_ptr<LoudnessCache> cache = OpenLoudnessCache(session);
        MeasureFiles(*cache, {timeCheck.path});
    }
    const std::vector<Element> programme{jingle, timeCheck, bed, quiet, spiky, jingle};
    std::int64_t frames = 0;
    for (const Element& element : programme)
        frames += element.frames;
    PutOnAir(true, frames + 4800, jingle.path);

    const LoudnessSettings settings;  // -23 LUFS, -1 dBTP, 12 dB
    const std::vector<LoudnessMeasure> aired = OnAir(programme);
    ASSERT_EQ(aired.size(), programme.size());
    for (std::size_t i = 0; i < programme.size(); ++i) {
        SCOPED_TRACE(programme[i].path.toStdString() + " #" + std::to_string(i));
        ASSERT_TRUE(aired[i].Measured()) << aired[i].problem.toStdString();
        const LoudnessMeasure own = *MeasureLoudness(programme[i].path);
        if (i == 0) {
            EXPECT_NEAR(aired[i].integrated, own.integrated, 0.1) << "at its own level";
            continue;
        }
        bool capped = false;
        const double gain = LoudnessGainDb(settings, own, &capped);
        const bool cappedHere = programme[i].path == quiet.path || programme[i].path == spiky.path;
        EXPECT_EQ(capped, cappedHere);
        EXPECT_NEAR(aired[i].integrated, cappedHere ? own.integrated + gain : settings.Target, 0.5);
        EXPECT_NEAR(aired[i].integrated, own.integrated + gain, 0.1);
        EXPECT_LE(aired[i].truePeak, settings.TruePeakLimit + 0.1);
    }
    EXPECT_NEAR(aired[3].integrated, -40 + 12, 0.2) << "the quiet one at the maximum gain";
    EXPECT_NEAR(aired[4].truePeak, -1.0, 0.2) << "the clicks at the true-peak limit";

    const QStringList log = ProgramLog();
    EXPECT_EQ(log.filter("Loudness").size(), 1);
    EXPECT_TRUE(
        log.contains("Loudness not measured in time, playing at its own level: " + jingle.path))
        << log.join('\n').toStdString();
    EXPECT_FALSE(QFile::exists(Path("error.log")));
}

// Off, the air check is the one made without evened loudness, to the last
// bit of every sample (its header carries the moment it was written).
TEST_F(LoudnessAirTest, OffTheAirCheckIsBitForBitTheOneWithoutIt) {
    std::int64_t frames = 0;
    for (const Element& element : {jingle, timeCheck, bed, quiet, spiky})
        frames += element.frames;
    PutOnAir(false, frames);
    const std::vector<float> without = ts::ReadAll(Capture());
    ASSERT_GE(without.size(), static_cast<std::size_t>(frames) * 2);

    for (bool stored : {false, true}) {
        SCOPED_TRACE(stored ? "Enabled False" : "no Loudness section");
        if (stored) Enable(false);
        PutOnAir(true, frames);
        const std::vector<float> off = ts::ReadAll(Capture());
        ASSERT_EQ(off.size(), without.size());
        EXPECT_EQ(std::memcmp(off.data(), without.data(), off.size() * sizeof(float)), 0);
    }
    EXPECT_FALSE(QFile::exists(ProgramFolder() + "/Loudness.db"));
    EXPECT_TRUE(ProgramLog().filter("Loudness").isEmpty());
}

}  // namespace
