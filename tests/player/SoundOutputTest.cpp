#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "Events.h"
#include "FakeSoundDevices.h"
#include "PlayerSoundOutput.h"
#include "SoundOutputSettings.h"
#include "TempFolder.h"
#include "TestSounds.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace sonavel;
namespace ts = sonavel::testsounds;

namespace {

class SoundOutputTest : public TempFolderTest {
  protected:
    SoundOutputTest() : session(MakeSession(Product::Player)) {
        UseStationFolders(session);
        cards->Add(QStringLiteral("Card A"), true);
        cards->Add(QStringLiteral("Card B"));
    }
    QString ErrorLog() const {
        QFile file(session.ErrorLogFileName);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    Session& session;
    std::shared_ptr<FakeSoundDevices> cards = std::make_shared<FakeSoundDevices>();
    AudioEngine engine{EngineConfig{OutputKind::Device, 300, {}, {}, cards}};
};

// The stored card is not plugged in: the default card plays every element,
// and the error log says so once.
TEST_F(SoundOutputTest, AMissingStoredDeviceFallsBackWithOneErrorLogEntry) {
    m_store->SaveSetting(kAppName, kSoundOutputSection, QStringLiteral("Device"),
                         QStringLiteral("USB Desk"));
    UseSoundDevice(session, engine);
    const QString path = Path(QStringLiteral("element.wav"));
    ASSERT_TRUE(ts::Write(path, ts::Signal(9600, 2, 4), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    AudioMediaPlayer player(engine);
    for (int element = 0; element < 3; ++element) {
        bool ended = false;
        const auto connection = QObject::connect(&player, &MediaPlayer::PlayStateChange,
                                                 [&](int, int to) { ended = to == 0; });
        player.SetFileName(path);
        player.Play();
        for (int i = 0; i < 1000 && !ended; ++i) {
            cards->Pump(480);
            DoEvents();
        }
        QObject::disconnect(connection);
    }
    cards->Pump(48000);
    EXPECT_EQ(cards->SoundingFrames(QStringLiteral("Card A")), 3 * 9600);

    const QString log = ErrorLog();
    EXPECT_EQ(log.count(QStringLiteral("Error Description:")), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral(
        "Error Description: The sound device \"USB Desk\" is not available; playing on "
        "\"Card A\".")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Variable Data: USB Desk"))) << log.toStdString();

    // The operator's new choice is stored in its own section and moves the engine.
    ChooseSoundDevice(session, &engine, QStringLiteral("Card B"));
    EXPECT_EQ(m_store->GetSetting(kAppName, kSoundOutputSection, QStringLiteral("Device")),
              "Card B");
    EXPECT_EQ(engine.Device(), "Card B");
    EXPECT_GE(cards->At(QStringLiteral("Card B")).output, 0);
    EXPECT_EQ(log, ErrorLog());
}

}  // namespace
