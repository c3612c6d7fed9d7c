#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "Events.h"
#include "FakeMediaPlayer.h"
#include "GainSource.h"
#include "QtPrinters.h"
#include "TestSounds.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <limits>
#include <map>
#include <memory>

using namespace sonavel;
namespace ts = sonavel::testsounds;

namespace {

using StateChanges = std::vector<std::pair<int, int>>;

// Records the state changes of one player.
struct Watch {
    explicit Watch(MediaPlayer& player) {
        QObject::connect(&player, &MediaPlayer::PlayStateChange,
                         [this](int from, int to) { changes.emplace_back(from, to); });
        QObject::connect(&player, &MediaPlayer::Error, [this] { ++errors; });
    }
    StateChanges changes;
    int errors = 0;
};

class AudioEngineTest : public ::testing::Test {
  protected:
    AudioEngineTest() : engine(EngineConfig{OutputKind::Virtual, 300, CapturePath()}) {}

    QString CapturePath() const { return m_dir.filePath("capture.wav"); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // A 48 kHz float stereo file whose frames the capture must reproduce.
    QString Wav(const QString& name, long frames, unsigned seed,
                std::vector<float>* samples = nullptr) {
        const std::vector<float> signal = ts::Signal(frames, 2, seed);
        EXPECT_TRUE(ts::Write(Path(name), signal, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        if (samples) *samples = signal;
        return Path(name);
    }

    // Renders in output periods of 480 frames, serving events between them,
    // until the condition holds (or a minute of audio has gone by). The
    // events of a period are queued by the time RenderVirtual returns.
    bool RenderUntil(const std::function<bool()>& condition, std::int64_t period = 480) {
        for (int i = 0; i < 6000; ++i) {
            DoEvents();
            if (condition()) return true;
            engine.RenderVirtual(period);
        }
        DoEvents();
        return condition();
    }
    void Render(std::int64_t frames) {
        std::int64_t done = -480;
        RenderUntil([&] { return (done += 480) >= frames; });
    }

    std::vector<float> Capture() {
        engine.Finish();
        return ts::ReadAll(CapturePath());
    }

    QTemporaryDir m_dir;
    AudioEngine engine;
};

// Index of the first frame whose left sample is not silent, from a frame on.
long FirstSound(const std::vector<float>& capture, long from = 0) {
    for (long f = from; f < static_cast<long>(capture.size() / 2); ++f) {
        if (capture[static_cast<std::size_t>(f) * 2] != 0.0f) return f;
    }
    return -1;
}

TEST_F(AudioEngineTest, PlaysAFileExactlyAndReportsEveryChange) {
    std::vector<float> samples;
    const long frames = 48000 + 123;  // not a multiple of any period
    const QString path = Wav("one.wav", frames, 7, &samples);

    AudioMediaPlayer player(engine);
    Watch watch(player);
    player.SetFileName(path);
    EXPECT_EQ(player.ReadyState(), media::kReadyComplete);
    ASSERT_TRUE(player.IsDurationValid());
    EXPECT_DOUBLE_EQ(player.Duration(), static_cast<double>(frames) / 48000);
    EXPECT_EQ(player.FileName(), path);

    player.Play();
    EXPECT_EQ(player.PlayState(), media::kPlaying);
    ASSERT_TRUE(RenderUntil([&] { return !watch.changes.empty(); }));
    EXPECT_EQ(watch.changes, (StateChanges{{0, 2}}));

    // Pause holds the position and never ends the element.
    player.Pause();
    ASSERT_TRUE(RenderUntil([&] { return watch.changes.size() == 2; }));
    const double held = player.CurrentPosition();
    Render(std::int64_t{48000} * 3);
    EXPECT_EQ(watch.changes, (StateChanges{{0, 2}, {2, 1}}));
    EXPECT_DOUBLE_EQ(player.CurrentPosition(), held);

    player.Play();
    ASSERT_TRUE(RenderUntil([&] { return watch.changes.size() == 4; }));
    EXPECT_EQ(watch.changes, (StateChanges{{0, 2}, {2, 1}, {1, 2}, {2, 0}}));
    EXPECT_EQ(player.PlayState(), media::kStopped);
    EXPECT_EQ(watch.errors, 0);
}

TEST_F(AudioEngineTest, SameRateFloatPathIsBitExact) {
    std::vector<float> samples;
    const long frames = 30011;
    const QString path = Wav("exact.wav", frames, 11, &samples);
    {
        AudioMediaPlayer player(engine);
        Watch watch(player);
        player.SetFileName(path);
        player.Play();
        ASSERT_TRUE(RenderUntil([&] { return watch.changes.size() == 2; }));
        Render(48000);  // the tail sounds out after the end was reported
    }
    const std::vector<float> capture = Capture();
    const long start = FirstSound(capture);
    ASSERT_GE(start, 0);
    ASSERT_GE(capture.size(), static_cast<std::size_t>(start + frames) * 2);
    for (long i = 0; i < frames * 2; ++i) {
        ASSERT_EQ(capture[static_cast<std::size_t>(start * 2 + i)],
                  samples[static_cast<std::size_t>(i)])
            << "sample " << i;
    }
    EXPECT_EQ(capture[static_cast<std::size_t>(start + frames) * 2], 0.0f)
        << "nothing after the end";
}

// Two players take turns as on air: the end of one starts the other, which
// must follow the last frame without a gap, however late the answer comes
// within the tail.
TEST_F(AudioEngineTest, AlternatingPlayersLeaveNoGap) {
    std::vector<float> a, b, c;
    const QString first = Wav("a.wav", 20000 + 17, 1, &a);
    const QString second = Wav("b.wav", 15000 + 3, 2, &b);
    const QString third = Wav("c.wav", 9000 + 1, 3, &c);
    {
        AudioMediaPlayer one(engine), two(engine);
        Watch w1(one), w2(two);
        one.SetFileName(first);
        two.SetFileName(second);
        one.Play();
        ASSERT_TRUE(RenderUntil([&] { return w1.changes.size() == 2; }));  // 0→2, 2→0 early
        Render(4800);  // the operator's machine answers 100 ms late
        two.Play();
        one.Open(third);
        // The decoder thread opens it while nothing renders: the virtual
        // output stands still until the test moves it.
        ASSERT_TRUE(WaitUntil([&] { return one.ReadyState() == media::kReadyComplete; }));
        ASSERT_TRUE(RenderUntil([&] { return w2.changes.size() == 2; }));
        one.Play();
        ASSERT_TRUE(RenderUntil([&] { return w1.changes.size() == 4; }));
        Render(48000);
        EXPECT_EQ(engine.Stats().gaps, 0u);
    }
    std::vector<float> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    const std::vector<float> capture = Capture();
    const long start = FirstSound(capture);
    ASSERT_GE(start, 0);
    ASSERT_GE(capture.size(), static_cast<std::size_t>(start) * 2 + expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(capture[static_cast<std::size_t>(start) * 2 + i], expected[i])
            << "frame " << i / 2;
    }
}

// Levels as a program's composition root decides them: asked for as each
// file opens and as it starts, kept while it plays.
class FixedGains final : public GainSource {
  public:
    void Prepare(const QString& path) override { prepared << path; }
    float GainFor(const QString& path) override {
        asked << path;
        return gains.count(path) ? gains[path] : 1.0f;
    }
    std::map<QString, float> gains;
    QStringList prepared, asked;
};

TEST_F(AudioEngineTest, EachElementSoundsAtTheGainItStartedWith) {
    std::vector<float> a, b;
    const QString first = Wav("a.wav", 20000 + 17, 1, &a);
    const QString second = Wav("b.wav", 15000 + 3, 2, &b);
    FixedGains levels;
    // Powers of two: the products are exact, so every frame can be checked.
    levels.gains = {{first, 0.5f}, {second, 0.25f}};
    {
        AudioMediaPlayer one(engine), two(engine);
        one.SetGainSource(&levels);
        two.SetGainSource(&levels);
        Watch w1(one), w2(two);
        one.SetFileName(first);
        two.Open(second);
        EXPECT_EQ(levels.prepared, (QStringList{first, second}));
        EXPECT_TRUE(levels.asked.isEmpty()) << "a level is decided when the element starts";
        one.Play();
        EXPECT_EQ(levels.asked, QStringList{first});
        ASSERT_TRUE(RenderUntil([&] { return w1.changes.size() == 2; }));
        ASSERT_TRUE(WaitUntil([&] { return two.ReadyState() == media::kReadyComplete; }));
        two.Play();
        ASSERT_TRUE(RenderUntil([&] { return w2.changes.size() == 2; }));
        Render(48000);
        EXPECT_EQ(engine.Stats().gaps, 0u);
        // A move within an element reopens its file at the level it started with.
        one.SetFileName(first);
        one.Play();
        Render(4800);
        one.SetCurrentPosition(0.2);
        one.SetCurrentPosition(0.1);
        EXPECT_EQ(levels.asked, (QStringList{first, second, first}));
        one.Stop();
        Render(4800);
    }
    std::vector<float> expected;
    expected.reserve(a.size() + b.size());
    for (float s : a)
        expected.push_back(s * 0.5f);
    for (float s : b)
        expected.push_back(s * 0.25f);
    const std::vector<float> capture = Capture();
    const long start = FirstSound(capture);
    ASSERT_GE(start, 0);
    ASSERT_GE(capture.size(), static_cast<std::size_t>(start) * 2 + expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(capture[static_cast<std::size_t>(start) * 2 + i], expected[i])
            << "frame " << i / 2;
    }
    // What followed, moves and fades included, never rose above the level.
    float loudest = 0;
    for (std::size_t i = static_cast<std::size_t>(start) * 2 + expected.size(); i < capture.size();
         ++i)
        loudest = std::max(loudest, std::fabs(capture[i]));
    EXPECT_GT(loudest, 0.0f);
    EXPECT_LE(loudest, 0.45f * 0.5f * 2);
}

TEST_F(AudioEngineTest, MovingToTheEndEndsAtOnceAndTheNextFollowsTheFade) {
    const QString first = Wav("long.wav", 48000L * 5, 4);
    const QString second = Wav("next.wav", 4800, 5);
    AudioMediaPlayer one(engine), two(engine);
    Watch w1(one), w2(two);
    one.SetFileName(first);
    two.SetFileName(second);
    one.Play();
    Render(9600);
    const std::int64_t skippedAt = engine.Frame();
    one.SetCurrentPosition(one.Duration());
    EXPECT_EQ(one.PlayState(), media::kStopped);
    two.Play();
    ASSERT_TRUE(RenderUntil([&] { return w1.changes.size() == 2 && w2.changes.size() == 1; }));
    EXPECT_EQ(w1.changes, (StateChanges{{0, 2}, {2, 0}}));
    // The next element started within one output period of the skip.
    ASSERT_TRUE(RenderUntil([&] { return two.CurrentPosition() > 0; }));
    const double startedAfter =
        static_cast<double>(engine.Frame() - skippedAt) / 48000 - two.CurrentPosition();
    EXPECT_LE(startedAfter, 480.0 / 48000 + 1e-9);

    two.Stop();
    ASSERT_TRUE(RenderUntil([&] { return w2.changes.size() == 2; }));
    EXPECT_EQ(w2.changes.back(), (std::pair<int, int>{2, 0}));
}

TEST_F(AudioEngineTest, BadFilesRaiseErrorsAndNeverStallTheOtherPlayer) {
    QFile text(Path("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a sound file\n");
    text.close();
    QFile empty(Path("empty.wav"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();

    AudioMediaPlayer onAir(engine), broken(engine);
    Watch air(onAir), bad(broken);
    onAir.SetFileName(Wav("music.wav", 48000L * 3, 9));
    onAir.Play();

    struct Case {
        QString path;
        std::int32_t code;
        QString mentions;
    };
    const Case cases[] = {
        {Path("missing.wav"), media::kFileMissing, "missing.wav"},
        {Path("notes.wav"), media::kNotDecodable, "notes.wav"},
        {Path("empty.wav"), media::kNotDecodable, "empty.wav"},
        {Path("song.mid"), media::kNotDecodable, "song.mid"},
        {Path("cut.mp3"), media::kNotDecodable, "cut.mp3"},
        {QString(), media::kBadPath, ""},
    };
    if (QFile f(Path("song.mid")); f.open(QIODevice::WriteOnly)) f.write("MThd");
    // An MP3 broken off inside its first frame of sound.
    ASSERT_TRUE(ts::Write(Path("full.mp3"), ts::Signal(48000, 2, 4), 2, 48000,
                          SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III));
    if (QFile full(Path("full.mp3")), cut(Path("cut.mp3"));
        full.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly))
        cut.write(full.read(600));
    int expectedErrors = 0;
    for (const Case& c : cases) {
        broken.Open(c.path);
        ++expectedErrors;
        // The refusal shows in the properties as soon as the decoder thread
        // has tried the file, before any event is served, so a caller's
        // poll ends at its next look; the Error signal follows.
        QElapsedTimer tried;
        tried.start();
        while (broken.ErrorCode() == 0 && tried.elapsed() < 5000) {
            EXPECT_NE(broken.ReadyState(), media::kReadyComplete);
            QThread::usleep(100);
        }
        EXPECT_EQ(bad.errors, expectedErrors - 1);
        ASSERT_TRUE(WaitUntil([&] { return bad.errors == expectedErrors; }))
            << c.path.toStdString();
        EXPECT_EQ(broken.ErrorCode(), c.code) << c.path.toStdString();
        EXPECT_TRUE(broken.ErrorDescription().contains(c.mentions))
            << broken.ErrorDescription().toStdString();
        EXPECT_NE(broken.ReadyState(), media::kReadyComplete);
        broken.Play();  // nothing to play: nothing happens
        EXPECT_EQ(broken.PlayState(), media::kStopped);
        Render(4800);
    }
    EXPECT_TRUE(onAir.CurrentPosition() > 0);
    EXPECT_EQ(onAir.PlayState(), media::kPlaying);
    EXPECT_EQ(air.errors, 0);
    ASSERT_TRUE(RenderUntil([&] { return air.changes.size() == 2; }));
    EXPECT_EQ(engine.Stats().underrunFrames, 0u);
}

// A damaged float file puts NaN, infinities and huge values into its
// samples; two loud elements overlap. What reaches the output and the
// recording is a number within full scale, and silence where there was none.
TEST_F(AudioEngineTest, DamagedSamplesBecomeSilenceAndTheMixStaysWithinFullScale) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> damaged = {0.5f,  -0.25f, std::nanf(""), 0.5f,  inf,  -inf,
                                        1e30f, -1e30f, -5.0f,         0.75f, 0.5f, 0.5f};
    ASSERT_TRUE(ts::Write(Path("damaged.wav"), damaged, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const std::vector<float> loud(std::size_t{4800} * 2, 0.8f);
    ASSERT_TRUE(ts::Write(Path("loud1.wav"), loud, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(ts::Write(Path("loud2.wav"), loud, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    {
        AudioMediaPlayer player(engine);
        Watch watch(player);
        player.SetFileName(Path("damaged.wav"));
        player.Play();
        ASSERT_TRUE(RenderUntil([&] { return watch.changes.size() == 2; }));
        Render(4800);
        AudioMediaPlayer one(engine), two(engine);
        one.SetFileName(Path("loud1.wav"));
        two.SetFileName(Path("loud2.wav"));
        one.Play();
        two.Play();
        Render(9600);
    }
    const std::vector<float> capture = Capture();
    const long start = FirstSound(capture);
    ASSERT_GE(start, 0);
    const std::vector<float> expected = {0.5f, -0.25f, 0.0f,  0.5f,  0.0f, 0.0f,
                                         1.0f, -1.0f,  -1.0f, 0.75f, 0.5f, 0.5f};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(capture[static_cast<std::size_t>(start) * 2 + i], expected[i]) << i;
    int overlapping = 0;
    for (float sample : capture) {
        ASSERT_TRUE(std::isfinite(sample));
        ASSERT_LE(std::fabs(sample), 1.0f);
        if (sample == 1.0f) ++overlapping;
    }
    EXPECT_EQ(overlapping, 4800 * 2 + 1);  // both loud elements at once, and the 1e30
}

// The virtual output moves only when the test renders: an element never ends
// while nobody renders, however long the test waits, and the end it reaches
// is delivered by the next serving of events after RenderVirtual returns.
TEST_F(AudioEngineTest, AnElementEndsWhenTheTestRendersItsLastFrames) {
    const long frames = 48000 / 2;
    AudioMediaPlayer player(engine);
    Watch watch(player);
    player.SetFileName(Wav("half.wav", frames, 3));
    player.Play();
    EXPECT_FALSE(WaitUntil([&] { return watch.changes.size() > 1; }, 200));  // served, not rendered
    EXPECT_EQ(watch.changes, (StateChanges{{0, 2}}));
    const std::int64_t tail = engine.TailFrames();
    engine.RenderVirtual(frames - tail - 480);
    WaitUntil([] { return false; }, 50);
    EXPECT_EQ(watch.changes.size(), 1u);
    engine.RenderVirtual(480);
    DoEvents();
    EXPECT_EQ(watch.changes, (StateChanges{{0, 2}, {2, 0}}));
}

// A recording that cannot be made is known before anything is played, and
// the output still runs without it.
TEST(AudioEngineCaptureTest, ARecordingThatCannotBeCreatedIsKnownAtOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath("no such folder/air.wav");
    AudioEngine engine(EngineConfig{OutputKind::Virtual, 300, path});
    EXPECT_TRUE(engine.CaptureError().contains(path)) << engine.CaptureError().toStdString();
    engine.RenderVirtual(4800);
    engine.Finish();
    EXPECT_EQ(engine.Stats().framesRendered, 4800u);
    EXPECT_FALSE(engine.Stats().captureError.isEmpty());
    EXPECT_FALSE(QFile::exists(path));

    AudioEngine fine(EngineConfig{OutputKind::Virtual, 300, dir.filePath("air.wav")});
    fine.RenderVirtual(4800);
    fine.Finish();
    EXPECT_TRUE(fine.Stats().captureError.isEmpty());
    EXPECT_EQ(ts::ReadAll(dir.filePath("air.wav")).size(), 4800u * 2);
}

// The test double of the control refuses a file the way the real one does,
// so engine tests on it meet what a station meets.
TEST_F(AudioEngineTest, TheFakeControlRefusesAFileAsTheRealOneDoes) {
    const QString path = Path("gone.wav");
    AudioMediaPlayer real(engine);
    FakeMediaPlayer fake;
    fake.SetMissing(path);
    Watch realWatch(real), fakeWatch(fake);
    for (MediaPlayer* control :
         {static_cast<MediaPlayer*>(&real), static_cast<MediaPlayer*>(&fake)})
        control->Open(path);
    ASSERT_TRUE(WaitUntil([&] { return real.ErrorCode() != 0; }));
    EXPECT_EQ(fake.ErrorCode(), real.ErrorCode());
    EXPECT_EQ(fake.ErrorDescription(), real.ErrorDescription());
    for (MediaPlayer* control :
         {static_cast<MediaPlayer*>(&real), static_cast<MediaPlayer*>(&fake)}) {
        EXPECT_EQ(control->ReadyState(), 0);
        EXPECT_FALSE(control->IsDurationValid());
        control->Play();
        EXPECT_EQ(control->PlayState(), media::kStopped);
    }
    ASSERT_TRUE(WaitUntil([&] { return realWatch.errors == 1 && fakeWatch.errors == 1; }));
    EXPECT_TRUE(realWatch.changes.empty());
    EXPECT_TRUE(fakeWatch.changes.empty());
}

// After an element has reported its end, the Player opens the next ones into
// the same control while the end still sounds; a refused file among them must
// not take the voice of that end and cut it short.
TEST_F(AudioEngineTest, OpensAfterARefusedOneLeaveTheLastElementsEndSounding) {
    std::vector<float> a;
    const QString first = Wav("a.wav", 24000 + 5, 1, &a);
    const QString next = Wav("next.wav", 4800, 2);
    {
        AudioMediaPlayer one(engine);
        Watch watch(one);
        one.SetFileName(first);
        one.Play();
        ASSERT_TRUE(RenderUntil([&] { return watch.changes.size() == 2; }));
        for (const QString& path : {Path("missing.wav"), Path("other missing.wav")}) {
            one.Open(path);
            ASSERT_TRUE(WaitUntil([&] { return one.ErrorCode() != 0; }));
        }
        one.SetFileName(next);
        EXPECT_EQ(one.ReadyState(), media::kReadyComplete);
        Render(48000);
    }
    const std::vector<float> capture = Capture();
    const long start = FirstSound(capture);
    ASSERT_GE(start, 0);
    ASSERT_GE(capture.size(), static_cast<std::size_t>(start) * 2 + a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(capture[static_cast<std::size_t>(start) * 2 + i], a[i]) << "frame " << i / 2;
    EXPECT_EQ(FirstSound(capture, start + static_cast<long>(a.size() / 2)), -1);
}

TEST_F(AudioEngineTest, FileDeletedWhilePlayingPlaysToItsEnd) {
    const QString path = Path("gone soon ünï.wav");
    ASSERT_TRUE(
        ts::Write(path, ts::Signal(48000L * 6, 1, 3), 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    AudioMediaPlayer player(engine);
    Watch watch(player);
    player.SetFileName(path);
    EXPECT_DOUBLE_EQ(player.Duration(), 48000.0 * 6 / 44100);
    player.Play();
    Render(4800);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(RenderUntil([&] { return watch.changes.size() == 2; }));
    EXPECT_EQ(watch.changes.back(), (std::pair<int, int>{2, 0}));
    EXPECT_EQ(watch.errors, 0);
    EXPECT_NEAR(player.CurrentPosition(), player.Duration(), 0.31);
}

}  // namespace

namespace {

// A machine without a sound card still plays, on the paced output, without
// a word on the terminal beyond what the about box says.
TEST(AudioEngineDeviceTest, WithoutASoundCardThePacedOutputTakesOverQuietly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("short.wav");
    ASSERT_TRUE(
        ts::Write(path, ts::Signal(9600, 2, 5), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    testing::internal::CaptureStderr();
    {
        AudioEngine engine(EngineConfig{OutputKind::Device, 300, {}});
        AudioMediaPlayer player(engine);
        Watch watch(player);
        player.SetFileName(path);
        player.Play();
        EXPECT_TRUE(WaitUntil([&] { return watch.changes.size() == 2; }, 5000));
        const QString about = player.AboutText();
        EXPECT_TRUE(about.contains("Output: ")) << about.toStdString();
    }
    const std::string noise = testing::internal::GetCapturedStderr();
    EXPECT_EQ(noise.find("ALSA"), std::string::npos) << noise;
    EXPECT_EQ(noise.find("jack"), std::string::npos) << noise;
    EXPECT_EQ(noise.find("JACK"), std::string::npos) << noise;
}

}  // namespace
