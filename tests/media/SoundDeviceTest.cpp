#include "AudioEngine.h"
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
    EXPECT_GE(cards->At("Card B").output, 0) << "opened ahead of its element";
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
