#include "SoundOutputPage.h"

#include "AudioEngine.h"
#include "ErrorModule.h"
#include "LoudnessSettings.h"
#include "PlayerSoundOutput.h"
#include "Session.h"
#include "SoundDevices.h"
#include "SoundOutputSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
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
    BuildLoudness(layout);
    layout->addStretch();
}

void SoundOutputPage::BuildLoudness(QLayout* layout) {
    LoudnessSettings stored;
    try {
        stored = ReadLoudnessSettings(m_session);
    } catch (const RuntimeError&) {
        // A value that is not a number shows as its default, and is stored
        // as shown once the operator changes anything here.
    }
    auto* frame = new QGroupBox(QStringLiteral("Loudness"), this);
    frame->setObjectName(QStringLiteral("frameLoudness"));
    auto* form = new QFormLayout(frame);
    m_loudnessEnabled = new QCheckBox(QStringLiteral("&Even out loudness (EBU R128)"), frame);
    m_loudnessEnabled->setObjectName(QStringLiteral("checkLoudnessEnabled"));
    m_loudnessEnabled->setChecked(stored.Enabled);
    form->addRow(m_loudnessEnabled);
    const auto spin = [&](const char* name, const QString& caption, double low, double high,
                          const QString& unit, double value) {
        auto* box = new QDoubleSpinBox(frame);
        box->setObjectName(QString::fromLatin1(name));
        box->setRange(low, high);
        box->setDecimals(1);
        box->setSingleStep(0.5);
        box->setSuffix(QLatin1Char(' ') + unit);
        box->setValue(value);
        form->addRow(caption, box);
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] {
            m_loudnessChanged = true;
            emit changed();
        });
        return box;
    };
    m_target = spin("spinLoudnessTarget", QStringLiteral("&Target:"), -40, -5,
                    QStringLiteral("LUFS"), stored.Target);
    m_truePeakLimit = spin("spinTruePeakLimit", QStringLiteral("True &Peak Limit:"), -12, 0,
                           QStringLiteral("dBTP"), stored.TruePeakLimit);
    m_maximumGain = spin("spinMaximumGain", QStringLiteral("&Maximum Gain:"), 0, 30,
                         QStringLiteral("dB"), stored.MaximumGain);
    auto* note = new QLabel(
        QStringLiteral("Each element plays at the target loudness, turned down where its true "
                       "peak would pass the limit and turned up by no more than the maximum gain. "
                       "Files are measured when the playlists are created, by 'sonavel loudness', "
                       "or while the element before them plays; one not measured yet plays at "
                       "its own level."),
        frame);
    note->setObjectName(QStringLiteral("labelLoudnessNote"));
    note->setWordWrap(true);
    form->addRow(note);
    const auto enable = [this](bool on) {
        for (QDoubleSpinBox* box : {m_target, m_truePeakLimit, m_maximumGain})
            box->setEnabled(on);
    };
    enable(stored.Enabled);
    connect(m_loudnessEnabled, &QCheckBox::toggled, this, [this, enable](bool on) {
        enable(on);
        m_loudnessChanged = true;
        emit changed();
    });
    layout->addWidget(frame);
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
    if (!m_loudnessChanged) return;
    LoudnessSettings settings;
    settings.Enabled = m_loudnessEnabled->isChecked();
    settings.Target = m_target->value();
    settings.TruePeakLimit = m_truePeakLimit->value();
    settings.MaximumGain = m_maximumGain->value();
    ErrorTrap loudness(m_session, QStringLiteral("SoundOutputPage.Apply"),
                       QStringLiteral("Loudness"));
    loudness.Run([&] {
        loudness([&] {
            WriteLoudnessSettings(m_session, settings);
            m_loudnessChanged = false;
        });
    });
}

}  // namespace sonavel
