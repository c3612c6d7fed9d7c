#include "AudioEngine.h"
#include "FakeSoundDevices.h"
#include "LoudnessSettings.h"
#include "SoundOutputPage.h"
#include "SoundOutputSettings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QKeyEvent>
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

// The loudness settings as an operator meets them: off and at their
// defaults on a station that never set them, typed in, stored by Apply, and
// only when the operator changed one of them.
TEST_F(SoundOutputPageTest, LoudnessIsSwitchedOnAndItsLevelsTypedIn) {
    SoundOutputPage page(session, nullptr, &engine);
    page.show();
    auto* enabled = page.findChild<QCheckBox*>(QStringLiteral("checkLoudnessEnabled"));
    auto* target = page.findChild<QDoubleSpinBox*>(QStringLiteral("spinLoudnessTarget"));
    auto* limit = page.findChild<QDoubleSpinBox*>(QStringLiteral("spinTruePeakLimit"));
    auto* gain = page.findChild<QDoubleSpinBox*>(QStringLiteral("spinMaximumGain"));
    ASSERT_TRUE(enabled && target && limit && gain);
    EXPECT_FALSE(enabled->isChecked());
    EXPECT_EQ(target->value(), -23.0);
    EXPECT_EQ(limit->value(), -1.0);
    EXPECT_EQ(gain->value(), 12.0);
    EXPECT_FALSE(target->isEnabled()) << "the levels wait for the switch";
    page.Apply();
    EXPECT_FALSE(m_store->SectionExists(kAppName, kLoudnessSection)) << "nothing was changed";

    int changed = 0;
    QObject::connect(&page, &SoundOutputPage::changed, [&] { ++changed; });
    enabled->setFocus();
    QTest::keyClick(enabled, Qt::Key_Space);
    EXPECT_TRUE(enabled->isChecked());
    EXPECT_TRUE(target->isEnabled());
    EXPECT_GE(changed, 1);
    const auto type = [](QDoubleSpinBox* box, const char* text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QString::fromLatin1(text));
    };
    type(target, "-16");
    type(limit, "-1.5");
    type(gain, "6");
    EXPECT_EQ(target->value(), -16.0);
    EXPECT_FALSE(m_store->SectionExists(kAppName, kLoudnessSection)) << "nothing before Apply";
    page.Apply();
    const auto stored = [this](const char* key) {
        return m_store->GetSetting(kAppName, kLoudnessSection, QString::fromLatin1(key));
    };
    EXPECT_EQ(stored("Enabled"), "True");
    EXPECT_EQ(stored("Target"), "-16");
    EXPECT_EQ(stored("True Peak Limit"), "-1.5");
    EXPECT_EQ(stored("Maximum Gain"), "6");

    // Shown as stored the next time the window opens.
    SoundOutputPage again(session, nullptr, &engine);
    EXPECT_TRUE(again.findChild<QCheckBox*>(QStringLiteral("checkLoudnessEnabled"))->isChecked());
    EXPECT_EQ(again.findChild<QDoubleSpinBox*>(QStringLiteral("spinTruePeakLimit"))->value(), -1.5);
    const LoudnessSettings read = ReadLoudnessSettings(session);
    EXPECT_TRUE(read.Enabled);
    EXPECT_EQ(read.MaximumGain, 6.0);
}

}  // namespace
