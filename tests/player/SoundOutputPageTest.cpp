#include "AudioEngine.h"
#include "FakeSoundDevices.h"
#include "SoundOutputPage.h"
#include "SoundOutputSettings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QTest>

using namespace sonavel;

namespace {

class SoundOutputPageTest : public TempFolderTest {
  protected:
    SoundOutputPageTest() : session(MakeSession(Product::Player)) {
        cards->Add(QStringLiteral("Card A"), true);
        cards->Add(QStringLiteral("Card B"));
    }
    QString Stored() {
        return m_store->GetSetting(kAppName, kSoundOutputSection, QStringLiteral("Device"));
    }

    Session& session;
    std::shared_ptr<FakeSoundDevices> cards = std::make_shared<FakeSoundDevices>();
    AudioEngine engine{EngineConfig{OutputKind::Device, 300, {}, {}, cards}};
};

// A stored card that is unplugged stays chosen; the operator's keys change
// the choice, and only Apply stores it and moves the engine.
TEST_F(SoundOutputPageTest, ListsTheDevicesAndAppliesTheOperatorsChoice) {
    m_store->SaveSetting(kAppName, kSoundOutputSection, QStringLiteral("Device"),
                         QStringLiteral("Gone Card"));
    SoundOutputPage page(session, nullptr, &engine);
    auto* combo = page.findChild<QComboBox*>(QStringLiteral("comboSoundDevice"));
    ASSERT_NE(combo, nullptr);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    EXPECT_EQ(items, (QStringList{"Default device (Card A)", "Card A (Fake, 2 channels)",
                                  "Card B (Fake, 2 channels)", "Gone Card (not available)"}));
    EXPECT_EQ(page.Choice(), "Gone Card");

    int changed = 0;
    QObject::connect(&page, &SoundOutputPage::changed, [&] { ++changed; });
    page.show();
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Up);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(page.Choice(), "Card B");
    EXPECT_EQ(Stored(), "Gone Card") << "nothing is stored before Apply";
    page.Apply();
    EXPECT_EQ(Stored(), "Card B");
    EXPECT_EQ(engine.Device(), "Card B");

    QTest::keyClick(combo, Qt::Key_Home);
    EXPECT_EQ(changed, 2);
    page.Apply();
    EXPECT_EQ(Stored(), "");
    EXPECT_EQ(engine.Device(), "");
}

}  // namespace
