#include "FuzzSupport.h"
#include "KeywordModule.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QFile>

// A keyword definition file replaces every keyword of the station. A file it
// refuses must leave the store exactly as it was, to the byte; a file it
// accepts must give keywords that load, and export to a file that imports to
// the same store again.

using namespace sonavel;
using sonavel::fuzz::Fail;

namespace {

const QString kApp = QString::fromLatin1(kKeywordApp);

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Station {
    Station()
        : storePath(fuzz::ScratchFolder() + QStringLiteral("/settings.db")),
          store(storePath),
          session(Product::Creator, fuzz::ScratchFolder(), store, dialogs, clock),
          keywords(session) {
        const QString seed =
            fuzz::WriteScratchFile(QStringLiteral("seed.key"),
                                   "Music\r\nSongs\r\n/music\r\n210\r\n255\r\nNone\r\n"
                                   "Jingle\r\nNone\r\n/jingles\r\n12\r\n16777215\r\nShort\r\n");
        if (!keywords.ImportKeywordDefinitionsFrom(seed)) Fail("the seed keywords were refused");
        baseline = Content();
    }

    // The bytes the store keeps on disk. The shared-memory index is left out:
    // readers update it without changing anything stored.
    QByteArray DiskBytes() const {
        return FileBytes(storePath) + '\0' + FileBytes(storePath + QStringLiteral("-wal"));
    }

    // Every keyword section as the store lists it.
    QList<SectionRows> Content() {
        QList<SectionRows> sections;
        const QList<SettingRow> list =
            store.GetAllSettings(kApp, QLatin1String(kKeywordListSection));
        sections.append({QLatin1String(kKeywordListSection), list});
        for (const SettingRow& row : list)
            sections.append({row.second, store.GetAllSettings(kApp, row.second)});
        return sections;
    }

    QString storePath;
    fuzz::AcceptingDialogs dialogs;
    fuzz::StillClock clock;
    SettingsStore store;
    Session session;
    KeywordModule keywords;
    QList<SectionRows> baseline;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::EnsureApplication(false);
    static Station* station = new Station;
    Station& s = *station;

    const QString path =
        fuzz::WriteScratchFile(QStringLiteral("import.key"), fuzz::Bytes(data, size));
    const QByteArray before = s.DiskBytes();
    if (!s.keywords.ImportKeywordDefinitionsFrom(path)) {
        if (s.DiskBytes() != before) Fail("a refused import changed the store");
        return 0;
    }

    if (!s.keywords.GetKeywordDefinitions()) Fail("imported keywords do not load");
    const QList<SectionRows> imported = s.Content();
    const QString exported = fuzz::ScratchFolder() + QStringLiteral("/export.key");
    if (!s.keywords.ExportKeywordDefinitionsTo(exported)) Fail("imported keywords do not export");
    if (!s.keywords.ImportKeywordDefinitionsFrom(exported)) Fail("an exported file was refused");
    if (s.Content() != imported) Fail("export and import again changed the keywords");

    // Back to the same keywords for the next input.
    s.store.ReplaceApplication(kApp, s.baseline);
    return 0;
}
