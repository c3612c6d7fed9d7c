#include "AudioEngine.h"
#include "AudioEngineOutputs.h"
#include "AudioMediaPlayer.h"
#include "Events.h"
#include "FakeSoundDevices.h"
#include "QtPrinters.h"
#include "TestSounds.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using namespace sonavel;
namespace ts = sonavel::testsounds;

namespace {

// Two cards on a caller-driven engine: the test decides when every buffer
// is asked for, so where the programme goes is exact.
class SoundDeviceTest : public ::testing::Test {
  protected:
    SoundDeviceTest() {
        cards->Add(QStringLiteral("Card A"), true);
        cards->Add(QStringLiteral("Card B"));
        engine.SetOutputNotice([this](const QString& text) { notices << text; });
    }

    QString Wav(const QString& name, long frames, unsigned seed) {
        QString path = m_dir.filePath(name);
        EXPECT_TRUE(ts::Write(path, ts::Signal(frames, 2, seed), 2, 48000,
                              SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        return path;
    }
    bool PumpUntil(const std::function<bool()>& condition) {
        for (int i = 0; i < 6000; ++i) {
            DoEvents();
            if (condition()) return true;
            cards->Pump(480);
        }
        return false;
    }
    // Plays the file to its last frame.
    void PlayThrough(AudioMediaPlayer& player, const QString& path) {
        bool ended = false;
        const auto connection = QObject::connect(&player, &MediaPlayer::PlayStateChange,
                                                 [&](int, int to) { ended = to == 0; });
        player.SetFileName(path);
        player.Play();
        EXPECT_TRUE(PumpUntil([&] { return ended; }));
        QObject::disconnect(connection);
        cards->Pump(static_cast<std::size_t>(engine.TailFrames()));
    }

    QTemporaryDir m_dir;
    QStringList notices;
    std::shared_ptr<FakeSoundDevices> cards = std::make_shared<FakeSoundDevices>();
    AudioEngine engine{EngineConfig{OutputKind::Device, 300, {}, {}, cards}};
};

// A new choice waits for the element on air to end, then the next element
// starts on the new card at its first frame; nothing is lost or doubled
// between the two cards and no gap is counted.
TEST_F(SoundDeviceTest, AChoiceTakesOverAtTheNextElementWithoutAGap) {
    const QString first = Wav("first.wav", 24000, 1);
    const QString second = Wav("second.wav", 12000, 2);
    AudioMediaPlayer player1(engine);
    AudioMediaPlayer player2(engine);
    bool ended = false;
    QObject::connect(&player1, &MediaPlayer::PlayStateChange,
                     [&](int, int to) { ended = to == 0; });
    player1.SetFileName(first);
    player1.Play();
    cards->Pump(4800);
    engine.SetDevice(QStringLiteral("Card B"));
    EXPECT_GE(cards->At("Card B").output.load(), 0) << "opened ahead of its element";
    ASSERT_TRUE(PumpUntil([&] { return ended; }));  // its tail is still to sound
    PlayThrough(player2, second);

    EXPECT_EQ(cards->SoundingFrames("Card A"), 24000);
    EXPECT_EQ(cards->SoundingFrames("Card B"), 12000);
    const EngineStats stats = engine.Stats();
    EXPECT_EQ(stats.gaps, 0u);
    EXPECT_TRUE(stats.output.contains("\"Card B\"")) << stats.output.toStdString();
    EXPECT_TRUE(notices.isEmpty()) << notices.join(QLatin1Char(10)).toStdString();

    // Chosen again while nothing sounds: it takes over at once.
    engine.SetDevice(QString());
    PlayThrough(player1, second);
    EXPECT_EQ(cards->SoundingFrames("Card A"), 24000 + 12000);
    EXPECT_EQ(cards->SoundingFrames("Card B"), 12000);
}

// A card that goes gives way to the default card, then to paced silence,
// each told once; a missing choice leaves the card on air playing.
TEST_F(SoundDeviceTest, ALostOrMissingCardFallsBackWithOneNoticeEach) {
    const QString sound = Wav("sound.wav", 9600, 3);
    AudioMediaPlayer player(engine);
    engine.SetDevice(QStringLiteral("Card B"));
    PlayThrough(player, sound);
    EXPECT_EQ(cards->SoundingFrames("Card B"), 9600);

    cards->At("Card B").present = false;
    engine.OutputLost(QStringLiteral("stopped answering"));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0], "The sound device \"Card B\" stopped answering; playing on \"Card A\".");
    PlayThrough(player, sound);
    PlayThrough(player, sound);
    EXPECT_EQ(cards->SoundingFrames("Card A"), 2 * 9600);
    EXPECT_EQ(notices.size(), 1) << "one entry, not one per element";

    engine.SetDevice(QStringLiteral("Card C"));
    ASSERT_EQ(notices.size(), 2);
    EXPECT_EQ(notices[1], "The sound device \"Card C\" is not available; playing on \"Card A\".");
    PlayThrough(player, sound);
    EXPECT_EQ(cards->SoundingFrames("Card A"), 3 * 9600);

    cards->At("Card A").present = false;
    engine.OutputLost(QStringLiteral("stopped answering"));
    ASSERT_EQ(notices.size(), 3);
    EXPECT_TRUE(notices[2].endsWith("playing on the silent output paced in real time."))
        << notices[2].toStdString();
    EXPECT_TRUE(engine.Stats().output.startsWith("silent output paced in real time"));
}

// A card that stopped answering is opened again at once; one that fails
// again soon is given up for the default card and tried every few seconds,
// and taken back at the next element once it answers. One notice a change.
TEST_F(SoundDeviceTest, AStoppedCardIsReopenedAndTakenBackOnceItAnswers) {
    const QString sound = Wav("sound.wav", 9600, 4);
    AudioMediaPlayer player(engine);
    engine.SetDevice(QStringLiteral("Card B"));
    PlayThrough(player, sound);

    engine.OutputLost(QStringLiteral("stopped answering"));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0], "The sound device \"Card B\" stopped answering; playing on \"Card B\".");
    PlayThrough(player, sound);
    EXPECT_EQ(cards->SoundingFrames("Card B"), 2 * 9600);

    // Again within the minute: not a card that came back.
    engine.OutputLost(QStringLiteral("stopped answering"));
    ASSERT_EQ(notices.size(), 2);
    EXPECT_EQ(notices[1], "The sound device \"Card B\" stopped answering; playing on \"Card A\".");
    cards->At("Card B").present = false;
    EXPECT_FALSE(engine.RetryChosenDevice()) << "nothing to take back yet";
    PlayThrough(player, sound);
    EXPECT_EQ(cards->SoundingFrames("Card A"), 9600);
    EXPECT_EQ(notices.size(), 2);

    cards->At("Card B").present = true;
    EXPECT_TRUE(engine.RetryChosenDevice());
    ASSERT_EQ(notices.size(), 3);
    EXPECT_EQ(notices[2], "The sound device \"Card B\" answers again; playing on \"Card B\".");
    PlayThrough(player, sound);
    EXPECT_EQ(cards->SoundingFrames("Card B"), 3 * 9600);
    EXPECT_EQ(cards->SoundingFrames("Card A"), 9600);
    EXPECT_TRUE(engine.RetryChosenDevice()) << "on the chosen card: nothing more to do";
    EXPECT_EQ(notices.size(), 3);
}

// The watchdog's judgement: a card silent while the process ran is dead; a
// card silent because the whole process stood still (its own look came late)
// is not, and gets a fresh allowance.
TEST(StallWatchTest, AStoppedProcessIsNotADeadCard) {
    using engine::StallWatch;
    constexpr std::int64_t kMs = 1'000'000;
    StallWatch watch;
    std::int64_t now = 1000 * kMs;
    std::int64_t rendered = now;
    EXPECT_EQ(watch.Check(now, rendered), StallWatch::Verdict::Fine);
    // Looks every 4 ms while the card renders.
    for (int i = 0; i < 100; ++i) {
        now += 4 * kMs;
        rendered = now - 2 * kMs;
        ASSERT_EQ(watch.Check(now, rendered), StallWatch::Verdict::Fine);
    }
    // SIGSTOP for 2 s: the first look after it sees the card 2 s behind.
    now += 2000 * kMs;
    EXPECT_EQ(watch.Check(now, rendered), StallWatch::Verdict::ProcessStalled);
    EXPECT_EQ(watch.StalledNs(), 2000 * kMs);
    rendered = now;  // what the service does with that verdict
    now += 4 * kMs;
    EXPECT_EQ(watch.Check(now, rendered), StallWatch::Verdict::Fine);
    // The card then stops while the process goes on looking.
    for (int i = 0; i < 60; ++i) {
        now += 4 * kMs;
        ASSERT_EQ(watch.Check(now, rendered), StallWatch::Verdict::Fine) << i;
    }
    now += 8 * kMs;
    EXPECT_EQ(watch.Check(now, rendered), StallWatch::Verdict::DeviceSilent);
}

TEST(SoundDeviceChoiceTest, ANameMeansThatDeviceAndNoNameTheDefault) {
    const std::vector<SoundDevice> devices{{"pulse", "ALSA", 32, false},
                                           {"default", "ALSA", 32, true},
                                           {"USB Desk", "ALSA", 2, false}};
    EXPECT_EQ(FindSoundDevice(devices, "USB Desk"), &devices[2]);
    EXPECT_EQ(FindSoundDevice(devices, ""), &devices[1]);
    EXPECT_EQ(FindSoundDevice(devices, "usb desk"), nullptr);
    EXPECT_EQ(DefaultSoundDevice({devices[0], devices[2]}), nullptr);
}

}  // namespace
