#include "PlayerSoundOutput.h"

#include "AudioEngine.h"
#include "ErrorModule.h"
#include "PlayerModule.h"
#include "Session.h"
#include "SoundOutputSettings.h"

namespace sonavel {

void UseSoundDevice(Session& session, AudioEngine& engine, const std::optional<QString>& forThisRun,
                    std::function<void(const QString&)> alsoTell) {
    QString device;
    if (forThisRun) {
        device = *forThisRun;
    } else {
        // An unreadable store must not keep the station off air: the default
        // device plays.
        try {
            device = ReadSoundDevice(session);
        } catch (const RuntimeError&) {
        }
    }
    engine.SetOutputNotice(
        [&session, &engine, alsoTell = std::move(alsoTell)](const QString& text) {
            if (alsoTell) alsoTell(text);
            LogError(session, 0, QStringLiteral("SoundOutput"), text, QStringLiteral("AudioEngine"),
                     QStringLiteral("Device"), engine.Device());
        });
    engine.SetDevice(device);
}

void ReportOutput(Session& session, AudioEngine& audio, PlayerEngine& engine,
                  std::function<void(const QString&)> alsoTell) {
    SilenceAlarm alarm;
    // An unreadable store leaves the alarm as it comes.
    try {
        alarm = ReadSilenceAlarm(session);
    } catch (const RuntimeError&) {
    }
    audio.SetSilenceAlarm(alarm.seconds);
    audio.SetReports([&engine, alsoTell = std::move(alsoTell)](const OutputReport& report) {
        engine.OutputReported(report);
        if (!alsoTell) return;
        if (report.kind == OutputReport::SilenceBegan) {
            alsoTell(QStringLiteral("Silence on air for %1 s").arg(report.seconds, 0, 'f', 0));
        } else if (report.kind == OutputReport::RecordingFailed) {
            alsoTell(QStringLiteral("Air check stopped: ") + report.text);
        }
    });
}

void ChooseSoundDevice(Session& session, AudioEngine* engine, const QString& device) {
    WriteSoundDevice(session, device);
    if (engine) engine->SetDevice(device);
}

}  // namespace sonavel
