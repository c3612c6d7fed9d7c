#include "SettingsSchema.h"

#include "LoudnessSettings.h"
#include "ProgramSettings.h"
#include "RuntimeError.h"
#include "Session.h"
#include "SoundOutputSettings.h"
#include "StreamingSettings.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>

namespace sonavel {

namespace {

double ReadNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok) value = QLocale::system().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value)) throw MakeError(err::kTypeMismatch);
    return value;
}

template <typename T>
T ReadInteger(const QString& text) {
    const double rounded = std::nearbyint(ReadNumber(text));
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max())) {
        throw MakeError(err::kOverflow);
    }
    return static_cast<T>(rounded);
}

}  // namespace

QString FlagText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool ReadFlag(const QString& text) {
    return text != QLatin1String("False");
}

bool ReadBoolean(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    return ReadNumber(trimmed) != 0.0;
}

std::int16_t ReadInt16(const QString& text) {
    return ReadInteger<std::int16_t>(text);
}

std::int32_t ReadInt32(const QString& text) {
    return ReadInteger<std::int32_t>(text);
}

QString SingleText(float value) {
    return QString::number(value, 'g', 7);
}

SettingValue ReadSettingText(SettingKind kind, const QString& text) {
    switch (kind) {
        case SettingKind::Text:
            return text;
        case SettingKind::Flag:
            return ReadFlag(text);
        case SettingKind::OnlyTrue:
            return text == QLatin1String("True");
        case SettingKind::Boolean:
            return ReadBoolean(text);
        case SettingKind::Int16:
            return ReadInt16(text);
        case SettingKind::Int32:
            return ReadInt32(text);
        case SettingKind::Number:
            return ReadNumber(text);
    }
    return text;
}

bool SettingConverts(SettingKind kind, const QString& text) {
    try {
        ReadSettingText(kind, text);
        return true;
    } catch (const RuntimeError& error) {
        if (error.Number() != err::kTypeMismatch && error.Number() != err::kOverflow) throw;
        return false;
    }
}

QString SettingText(const SettingValue& value) {
    struct Text {
        QString operator()(const QString& text) const { return text; }
        QString operator()(bool flag) const { return FlagText(flag); }
        QString operator()(std::int16_t number) const { return QString::number(number); }
        QString operator()(std::int32_t number) const { return QString::number(number); }
        // In the C locale whatever the system's, so another program or
        // locale reads back the same number.
        QString operator()(double number) const { return QString::number(number, 'g', 15); }
    };
    return std::visit(Text{}, value);
}

QString DefaultText(const SettingDefault& byDefault, const Session& session) {
    QString text = QString::fromLatin1(byDefault.text);
    switch (byDefault.from) {
        case SettingDefault::From::Text:
            return text;
        case SettingDefault::From::ProgramFolder:
            return session.ProgramFolder() + text;
        case SettingDefault::From::CentredLeft:
            return SingleText(
                (static_cast<float>(session.ScreenWidthTwips) - byDefault.windowTwips) / 2.0f);
        case SettingDefault::From::CentredTop:
            return SingleText(
                (static_cast<float>(session.ScreenHeightTwips) - byDefault.windowTwips) / 2.0f);
    }
    return text;
}

const ProgramField* ProgramSection::Find(const QString& key) const {
    for (const ProgramField* field : fields) {
        if (field->Key() == key) return field;
    }
    return nullptr;
}

const ProgramSection& OwnSettings(const Session& session) {
    return session.GetProduct() == Product::Player ? kPlayerSettings : kCreatorSettings;
}

void WriteSetting(Session& session, const ProgramSection& section, const ProgramField& field) {
    WriteSetting(session, section, field, field.Get(session));
}

void WriteSetting(Session& session, const ProgramSection& section, const ProgramField& field,
                  const SettingValue& value) {
    session.Store().SaveSetting(QString::fromLatin1(kAppName), section.Name(), field.Key(),
                                SettingText(value));
}

QString ReadSoundDevice(Session& session) {
    SoundOutputSettings settings;
    ReadSettingFields<SoundOutputSettings>(session.Store(), QString::fromLatin1(kAppName),
                                           QString::fromLatin1(kSoundOutputSection),
                                           kSoundOutputFields, settings);
    return settings.Device;
}

void WriteSoundDevice(Session& session, const QString& device) {
    session.Store().SaveSetting(QString::fromLatin1(kAppName),
                                QString::fromLatin1(kSoundOutputSection), soundfield::Device.Key(),
                                SettingText(SettingValue(device)));
}

SilenceAlarm ReadSilenceAlarm(Session& session) {
    SoundOutputSettings settings;
    ReadSettingFields<SoundOutputSettings>(session.Store(), QString::fromLatin1(kAppName),
                                           QString::fromLatin1(kSoundOutputSection),
                                           kSoundOutputFields, settings);
    SilenceAlarm alarm;
    bool number = false;
    const double seconds = settings.SilenceAlarmSeconds.trimmed().toDouble(&number);
    if (number && seconds >= 0) alarm.seconds = seconds;
    alarm.command = settings.SilenceAlarmCommand;
    return alarm;
}

void WriteSilenceAlarm(Session& session, const SilenceAlarm& alarm) {
    const QString app = QString::fromLatin1(kAppName);
    const QString section = QString::fromLatin1(kSoundOutputSection);
    session.Store().SaveSetting(app, section, soundfield::SilenceAlarmSeconds.Key(),
                                QString::number(alarm.seconds));
    session.Store().SaveSetting(app, section, soundfield::SilenceAlarmCommand.Key(), alarm.command);
}

StreamingSettings ReadStreamingSettings(Session& session) {
    const QString app = QString::fromLatin1(kAppName);
    const QString section = QString::fromLatin1(kStreamingSection);
    StreamingSettings settings;
    if (!session.Store().SectionExists(app, section)) return settings;
    const QList<SettingRow> rows = session.Store().GetAllSettings(app, section);
    for (const SettingField<StreamingSettings>* field : kStreamingFields) {
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&](const SettingRow& r) { return r.first == field->Key(); });
        const QString text = row == rows.end() || !SettingConverts(field->kind, row->second)
                                 ? DefaultText(field->byDefault, session)
                                 : row->second;
        field->Set(settings, ReadSettingText(field->kind, text));
    }
    return settings;
}

void WriteStreamingSettings(Session& session, const StreamingSettings& settings) {
    session.Store().ReplaceSection(QString::fromLatin1(kAppName),
                                   QString::fromLatin1(kStreamingSection),
                                   StoredRows<StreamingSettings>(kStreamingFields, settings));
}

LoudnessSettings ReadLoudnessSettings(Session& session) {
    const QString app = QString::fromLatin1(kAppName);
    const QString section = QString::fromLatin1(kLoudnessSection);
    SettingsStore& store = session.Store();
    // A station that never opened the Sound Output tab has no such section:
    // each key it lacks reads as its default, so the feature stays off.
    LoudnessSettings settings;
    std::vector<std::pair<const SettingField<LoudnessSettings>*, SettingValue>> values;
    for (const SettingField<LoudnessSettings>* field : kLoudnessFields) {
        QString text = store.GetSetting(app, section, field->Key());
        if (text.isEmpty()) text = DefaultText(field->byDefault, session);
        values.emplace_back(field, ReadSettingText(field->kind, text));
    }
    for (const auto& [field, value] : values)
        field->Set(settings, value);
    return settings;
}

void WriteLoudnessSettings(Session& session, const LoudnessSettings& settings) {
    session.Store().ReplaceSection(
        QString::fromLatin1(kAppName), QString::fromLatin1(kLoudnessSection),
        StoredRows(SettingFields<LoudnessSettings>(kLoudnessFields), settings));
}

}  // namespace sonavel
