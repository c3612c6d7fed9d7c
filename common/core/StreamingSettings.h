#pragma once

#include "SettingsSchema.h"

#include <QString>
#include <array>
#include <cstdint>

namespace sonavel {

class Session;

// The stream to listeners, in a section of its own beside "Sound Output".
inline constexpr char kStreamingSection[] = "Streaming";

// The formats the stream is sent in, as they are stored.
inline constexpr char kFormatOggVorbis[] = "Ogg Vorbis";
inline constexpr char kFormatOggOpus[] = "Ogg Opus";
inline constexpr char kFormatMp3[] = "MP3";

struct StreamingSettings {
    bool Enabled = false;
    QString Server;
    std::int32_t Port = 8000;
    QString Mount = QStringLiteral("/sonavel.ogg");
    QString User = QStringLiteral("source");
    QString Password;
    QString Format = QString::fromLatin1(kFormatOggVorbis);
    std::int32_t Bitrate = 128;  // kbit/s
    QString Name;
    QString Description;
    QString Genre;
    bool Public = false;
};

namespace streamfield {
template <typename Ref>
constexpr SettingMember<StreamingSettings> Member(Ref ref) {
    return Bind<StreamingSettings>(ref);
}
inline constexpr SettingField<StreamingSettings> Enabled{
    "Enabled", SettingKind::Boolean, Fixed("False"),
    Member([](auto& s) -> auto& { return s.Enabled; })};
inline constexpr SettingField<StreamingSettings> Server{
    "Server", SettingKind::Text, Fixed(""), Member([](auto& s) -> auto& { return s.Server; })};
inline constexpr SettingField<StreamingSettings> Port{
    "Port", SettingKind::Int32, Fixed("8000"), Member([](auto& s) -> auto& { return s.Port; })};
inline constexpr SettingField<StreamingSettings> Mount{
    "Mount", SettingKind::Text, Fixed("/sonavel.ogg"),
    Member([](auto& s) -> auto& { return s.Mount; })};
inline constexpr SettingField<StreamingSettings> User{
    "User", SettingKind::Text, Fixed("source"), Member([](auto& s) -> auto& { return s.User; })};
inline constexpr SettingField<StreamingSettings> Password{
    "Password", SettingKind::Text, Fixed(""), Member([](auto& s) -> auto& { return s.Password; })};
inline constexpr SettingField<StreamingSettings> Format{
    "Format", SettingKind::Text, Fixed("Ogg Vorbis"),
    Member([](auto& s) -> auto& { return s.Format; })};
inline constexpr SettingField<StreamingSettings> Bitrate{
    "Bitrate", SettingKind::Int32, Fixed("128"),
    Member([](auto& s) -> auto& { return s.Bitrate; })};
inline constexpr SettingField<StreamingSettings> Name{
    "Name", SettingKind::Text, Fixed(""), Member([](auto& s) -> auto& { return s.Name; })};
inline constexpr SettingField<StreamingSettings> Description{
    "Description", SettingKind::Text, Fixed(""),
    Member([](auto& s) -> auto& { return s.Description; })};
inline constexpr SettingField<StreamingSettings> Genre{
    "Genre", SettingKind::Text, Fixed(""), Member([](auto& s) -> auto& { return s.Genre; })};
inline constexpr SettingField<StreamingSettings> Public{
    "Public", SettingKind::Boolean, Fixed("False"),
    Member([](auto& s) -> auto& { return s.Public; })};
}  // namespace streamfield

// In the order they are stored.
inline constexpr std::array<const SettingField<StreamingSettings>*, 12> kStreamingFields{
    &streamfield::Enabled, &streamfield::Server,      &streamfield::Port,   &streamfield::Mount,
    &streamfield::User,    &streamfield::Password,    &streamfield::Format, &streamfield::Bitrate,
    &streamfield::Name,    &streamfield::Description, &streamfield::Genre,  &streamfield::Public};

// The stored stream. A key that is missing, or whose text does not convert,
// reads as its default: a station that never set up a stream has none, and a
// damaged number must not keep the programme off air. Failures of the store
// itself raise StoreFailure.
StreamingSettings ReadStreamingSettings(Session& session);
// Stores every key of the section in one go.
void WriteStreamingSettings(Session& session, const StreamingSettings& settings);

}  // namespace sonavel
