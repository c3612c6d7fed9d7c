#pragma once

#include "SettingsStore.h"

#include <QString>
#include <cstdint>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace sonavel {

class Session;

// Text encodings of stored values.
QString FlagText(bool value);
// False only for exactly "False"; anything else, the empty text included, is true.
bool ReadFlag(const QString& text);
// "True"/"False" in any letter case, or a number (true unless zero).
bool ReadBoolean(const QString& text);
// Conversions that fail (type mismatch, overflow) on empty or non-numeric text:
// that failure is what sends a fresh system into first-time use. Ties go to
// the even neighbour, as the platform's integer conversion does.
std::int16_t ReadInt16(const QString& text);
std::int32_t ReadInt32(const QString& text);
// A single-precision value as its shortest text, "2992.5" or "3435".
QString SingleText(float value);

// How a stored text becomes the value in memory, and back. Every value is
// stored as text; the kind says how that text converts.
enum class SettingKind {
    Text,      // any text, as it stands
    Flag,      // "True" or "False"; off only for exactly "False", so a missing key reads as on
    OnlyTrue,  // "True" or "False"; on only for exactly "True", so a missing key reads as off
    Boolean,   // "True"/"False" in any letter case, or a number; any other text fails
    Int16,     // a number, rounded half to even; other text, or one out of range, fails
    Int32,
    Number,  // a number with decimals (levels in dB); other text fails
};

using SettingValue = std::variant<QString, bool, std::int16_t, std::int32_t, double>;

// The value a stored text converts to. Raises RuntimeError type mismatch or
// overflow for a Boolean or number that does not convert: at start-up that
// failure is what sends a fresh system into first-time use.
SettingValue ReadSettingText(SettingKind kind, const QString& text);
// Whether the text converts for its kind; only Boolean and numbers can fail.
bool SettingConverts(SettingKind kind, const QString& text);
// The text a value is stored as: flags as "True"/"False", numbers in digits.
QString SettingText(const SettingValue& value);

// Where a key's default comes from.
struct SettingDefault {
    enum class From { Text, ProgramFolder, CentredLeft, CentredTop };
    From from = From::Text;
    const char* text = "";  // the default, or what follows the program folder
    float windowTwips = 0;  // the width or height of the window being centred
};
constexpr SettingDefault Fixed(const char* text) {
    return {SettingDefault::From::Text, text, 0};
}
constexpr SettingDefault InProgramFolder(const char* rest = "") {
    return {SettingDefault::From::ProgramFolder, rest, 0};
}
// Centred on the screen in single precision, so a half twip can remain.
constexpr SettingDefault CentredLeft(float windowWidth) {
    return {SettingDefault::From::CentredLeft, "", windowWidth};
}
constexpr SettingDefault CentredTop(float windowHeight) {
    return {SettingDefault::From::CentredTop, "", windowHeight};
}
QString DefaultText(const SettingDefault& byDefault, const Session& session);

// What the program does with a key besides writing its default.
enum class SettingUse {
    ReadAndWritten,  // read into memory and written back from it
    WrittenOnly,     // written back from memory; the program never reads it
    DefaultOnly,     // written with the defaults only; nothing in memory
};

// The in-memory value a key fills, reached through a settings object.
template <typename Target>
struct SettingMember {
    SettingValue (*get)(const Target&) = nullptr;
    void (*set)(Target&, const SettingValue&) = nullptr;
};

// A member named by a lambda without captures that returns it by reference,
// `[](auto& s) -> auto& { return s.Player.Manual; }`; its type decides the
// value's alternative.
template <typename Target, typename Ref>
constexpr SettingMember<Target> Bind(Ref) {
    using T = std::remove_cvref_t<decltype(Ref{}(std::declval<Target&>()))>;
    return {[](const Target& target) { return SettingValue(std::in_place_type<T>, Ref{}(target)); },
            [](Target& target, const SettingValue& value) { Ref{}(target) = std::get<T>(value); }};
}

// One key of a section: its name, how its text converts, its default and
// the member it fills. A section's table lists its keys in the order they
// are stored, which is the order the settings viewer shows them.
template <typename Target>
struct SettingField {
    const char* key;
    SettingKind kind;
    SettingDefault byDefault;
    SettingMember<Target> member;
    SettingUse use = SettingUse::ReadAndWritten;

    QString Key() const { return QString::fromLatin1(key); }
    bool InMemory() const { return use != SettingUse::DefaultOnly; }
    bool Read() const { return use == SettingUse::ReadAndWritten; }
    // The member's value.
    SettingValue Get(const Target& target) const { return member.get(target); }
    void Set(Target& target, const SettingValue& value) const { member.set(target, value); }
    // The member's value as it is stored.
    QString StoredText(const Target& target) const { return SettingText(Get(target)); }
};

template <typename Target>
using SettingFields = std::span<const SettingField<Target>* const>;

// Reads the fields that are read back, all or nothing: the first text that
// does not convert raises its RuntimeError before any member has changed.
template <typename Target>
void ReadSettingFields(SettingsStore& store, const QString& app, const QString& section,
                       SettingFields<Target> fields, Target& target) {
    std::vector<std::pair<const SettingField<Target>*, SettingValue>> values;
    values.reserve(fields.size());
    for (const SettingField<Target>* field : fields) {
        if (!field->Read()) continue;
        values.emplace_back(
            field, ReadSettingText(field->kind, store.GetSetting(app, section, field->Key())));
    }
    for (const auto& [field, value] : values)
        field->Set(target, value);
}

// The keys that are kept in memory with the texts they are stored as, in
// table order.
template <typename Target>
QList<SettingRow> StoredRows(SettingFields<Target> fields, const Target& target) {
    QList<SettingRow> rows;
    for (const SettingField<Target>* field : fields) {
        if (field->InMemory()) rows.append({field->Key(), field->StoredText(target)});
    }
    return rows;
}

}  // namespace sonavel
