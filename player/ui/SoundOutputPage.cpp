#include "SoundOutputPage.h"

#include "AudioEngine.h"
#include "ErrorModule.h"
#include "PlayerSoundOutput.h"
#include "Session.h"
#include "SoundDevices.h"
#include "SoundOutputSettings.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace sonavel {

SoundOutputPage::SoundOutputPage(Session& session, QWidget* parent, AudioEngine* engine)
    : QWidget(parent),
      m_session(session),
      m_engine(engine),
      m_combo(new QComboBox(this)),
      m_note(new QLabel(this)),
      m_silenceSeconds(new QDoubleSpinBox(this)),
      m_silenceCommand(new QLineEdit(this)) {
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
    SilenceAlarm alarm;
    try {
        alarm = ReadSilenceAlarm(session);
    } catch (const RuntimeError&) {
    }
    m_silenceSeconds->setObjectName(QStringLiteral("textSilenceAlarmSeconds"));
    m_silenceSeconds->setRange(0, 3600);
    m_silenceSeconds->setDecimals(0);
    m_silenceSeconds->setSuffix(QStringLiteral(" s"));
    m_silenceSeconds->setSpecialValueText(QStringLiteral("Off"));
    m_silenceSeconds->setValue(alarm.seconds);
    m_silenceCommand->setObjectName(QStringLiteral("textSilenceAlarmCommand"));
    m_silenceCommand->setText(alarm.command);
    m_silenceCommand->setPlaceholderText(QStringLiteral("none"));
    connect(m_silenceSeconds, &QDoubleSpinBox::valueChanged, this, [this] { emit changed(); });
    connect(m_silenceCommand, &QLineEdit::textEdited, this, [this] { emit changed(); });
    auto* silenceLabel = new QLabel(QStringLiteral("&Silence alarm after:"), this);
    silenceLabel->setBuddy(m_silenceSeconds);
    auto* commandLabel = new QLabel(QStringLiteral("Silence alarm &command:"), this);
    commandLabel->setBuddy(m_silenceCommand);
    auto* silenceNote = new QLabel(
        QStringLiteral("Output below -50 dBFS for longer than this is written to the error log; "
                       "the command runs once per silence, with SONAVEL_SILENCE_SECONDS and "
                       "SONAVEL_ELEMENT set."),
        this);
    silenceNote->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_combo);
    layout->addWidget(m_note);
    layout->addSpacing(12);
    layout->addWidget(silenceLabel);
    layout->addWidget(m_silenceSeconds);
    layout->addWidget(commandLabel);
    layout->addWidget(m_silenceCommand);
    layout->addWidget(silenceNote);
    layout->addStretch();
}

QString SoundOutputPage::Choice() const {
    return m_combo->currentData().toString();
}

void SoundOutputPage::Apply() {
    ErrorTrap trap(m_session, QStringLiteral("SoundOutputPage.Apply"), QStringLiteral("Device"),
                   [this] { return Choice(); });
    trap.Run([&] {
        trap([&] { ChooseSoundDevice(m_session, m_engine, Choice()); });
        trap([&] {
            const SilenceAlarm alarm{m_silenceSeconds->value(), m_silenceCommand->text()};
            WriteSilenceAlarm(m_session, alarm);
            if (m_engine) m_engine->SetSilenceAlarm(alarm.seconds);
        });
    });
}

}  // namespace sonavel
