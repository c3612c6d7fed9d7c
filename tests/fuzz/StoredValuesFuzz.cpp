#include "CommonModule.h"
#include "FuzzSupport.h"
#include "RuntimeError.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TextFile.h"

#include <tuple>

// The settings store is a file other tools can edit, and a value in it may be
// any text at all. Whatever is stored comes back exactly; a running program
// that reads a damaged value keeps what it holds; after the missing defaults
// are put back the settings always read; and settings written and read again
// are what was written.
//
// The input is a list of values separated by byte 0x1E; value n goes to the
// n-th key of the Player's section, then of Creator's, the log keys left out.

using namespace sonavel;
using sonavel::fuzz::Fail;

namespace {

const QString kApp = QString::fromLatin1(kAppName);
const QString kPlayer = QString::fromLatin1(kPlayerSection);
const QString kCreator = QString::fromLatin1(kCreatorSection);

struct Station {
    Station()
        : store(fuzz::ScratchFolder() + QStringLiteral("/settings.db")),
          player(Product::Player, fuzz::ScratchFolder(), store, dialogs, clock),
          creator(Product::Creator, fuzz::ScratchFolder(), store, dialogs, clock) {
        SetRegistryDefaults(player);
        defaults = {{kPlayer, store.GetAllSettings(kApp, kPlayer)},
                    {kCreator, store.GetAllSettings(kApp, kCreator)}};
    }
    fuzz::AcceptingDialogs dialogs;
    fuzz::StillClock clock;
    SettingsStore store;
    Session player;
    Session creator;
    QList<SectionRows> defaults;
};

QList<SettingRow> Rows(SettingsStore& store, const QString& section) {
    return store.GetAllSettings(kApp, section);
}

// Reads the program's settings, writes them back and reads them again: the
// second write must find the store as the first left it.
void CheckWriteReadsBack(Session& session, const QString& section,
                         bool (*read)(Session&, SettingsRead)) {
    if (!read(session, SettingsRead::Running)) Fail("repaired settings do not read");
    WriteRegistry(session);
    const QList<SettingRow> written = Rows(session.Store(), section);
    if (!read(session, SettingsRead::Running)) Fail("settings just written do not read");
    WriteRegistry(session);
    if (Rows(session.Store(), section) != written) Fail("settings changed on write and read");
}

void CheckNumbers(const QString& value) {
    try {
        const std::int32_t number = ReadInt32(value);
        if (ReadInt32(QString::number(number)) != number) Fail("a number does not read back");
    } catch (const RuntimeError&) {
    }
    try {
        ReadInt16(value);
    } catch (const RuntimeError&) {
    }
    ReadFlag(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::EnsureApplication(false);
    static Station* station = new Station;
    Station& s = *station;
    for (const SectionRows& section : s.defaults)
        s.store.ReplaceSection(kApp, section.first, section.second);

    const QList<QByteArray> pieces = fuzz::Bytes(data, size).split('\x1e');
    qsizetype next = 0;
    try {
        for (const SectionRows& section : s.defaults) {
            for (const SettingRow& row : section.second) {
                // The log switches and names stay as they are: a fuzzed log
                // name would have the run write files anywhere.
                if (row.first.contains(QLatin1String("Log"))) continue;
                if (next >= pieces.size()) break;
                const QString value = QString::fromUtf8(pieces[next++]);
                CheckNumbers(value);
                s.store.SaveSetting(kApp, section.first, row.first, value);
                const QString back = s.store.GetSetting(kApp, section.first, row.first);
                if (textfile::ReadsBackAsWritten(value) && back != value)
                    Fail("a stored value came back changed", value + " -> " + back);
            }
        }

        // A running program keeps its settings when a value is damaged.
        for (auto [session, section, read] :
             {std::tuple{&s.player, kPlayer, &ReadPlayerSettings},
              std::tuple{&s.creator, kCreator, &ReadCreatorSettings}}) {
            const QList<SettingRow> stored = Rows(s.store, section);
            WriteRegistry(*session);
            const QList<SettingRow> held = Rows(s.store, section);
            s.store.ReplaceSection(kApp, section, stored);
            if (!read(*session, SettingsRead::Running)) {
                WriteRegistry(*session);
                if (Rows(s.store, section) != held)
                    Fail("a refused read changed the settings held");
            }
        }

        // The repair makes every value readable and keeps those that were.
        SetMissingRegistryDefaults(s.player);
        CheckWriteReadsBack(s.player, kPlayer, &ReadPlayerSettings);
        CheckWriteReadsBack(s.creator, kCreator, &ReadCreatorSettings);
    } catch (const RuntimeError& error) {
        Fail("the store failed", error.Description());
    }
    return 0;
}
