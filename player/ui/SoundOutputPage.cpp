#include "SoundOutputPage.h"

#include "AudioEngine.h"
#include "ErrorModule.h"
#include "PlayerSoundOutput.h"
#include "Session.h"
#include "SoundDevices.h"
#include "SoundOutputSettings.h"

#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

namespace sonavel {

SoundOutputPage::SoundOutputPage(Session& session, QWidget* parent, AudioEngine* engine)
    : QWidget(parent),
      m_session(session),
      m_engine(engine),
      m_combo(new QComboBox(this)),
      m_note(new QLabel(this)) {
    QString stored = engine ? engine->Device() : QString();
    try {
        stored = ReadSoundDevice(session);
    } catch (const RuntimeError&) {
        // The store's trouble is reported where the store is written; the
        // page shows what the engine plays on.
    }
    const std::vector<SoundDevice> devices =
        engine ? engine->Devices() : SystemSoundDevices()->List();

    m_combo->setObjectName(QStringLiteral("comboSoundDevice"));
    const SoundDevice* byDefault = DefaultSoundDevice(devices);
    m_combo->addItem(byDefault ? QStringLiteral("Default device (%1)").arg(byDefault->name)
                               : QStringLiteral("Default device"),
                     QString());
    for (const SoundDevice& device : devices) {
        m_combo->addItem(QStringLiteral("%1 (%2, %3 channels)")
                             .arg(device.name, device.hostApi)
                             .arg(device.channels),
                         device.name);
    }
    if (!stored.isEmpty()) {
        int at = m_combo->findData(stored);
        // A device that is not plugged in now stays chosen until the
        // operator chooses another: it may come back.
        if (at < 0) {
            m_combo->addItem(QStringLiteral("%1 (not available)").arg(stored), stored);
            at = m_combo->count() - 1;
        }
        m_combo->setCurrentIndex(at);
    }
    connect(m_combo, &QComboBox::activated, this, [this] { emit changed(); });

    auto* label = new QLabel(QStringLiteral("&Play the programme on:"), this);
    label->setBuddy(m_combo);
    m_note->setWordWrap(true);
    m_note->setText(
        devices.empty()
            ? QStringLiteral("No sound device was found: the programme keeps its timeline on a "
                             "silent output paced in real time.")
            : QStringLiteral("A new choice takes over at the start of the next element. A device "
                             "that is missing gives way to the default device."));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_combo);
    layout->addWidget(m_note);
    layout->addStretch();
}

QString SoundOutputPage::Choice() const {
    return m_combo->currentData().toString();
}

void SoundOutputPage::Apply() {
    ErrorTrap trap(m_session, QStringLiteral("SoundOutputPage.Apply"), QStringLiteral("Device"),
                   [this] { return Choice(); });
    trap.Run([&] { trap([&] { ChooseSoundDevice(m_session, m_engine, Choice()); }); });
}

}  // namespace sonavel
