#include "LoudnessCommand.h"

#include "ConsoleDialogs.h"
#include "FormatModule.h"
#include "KeywordModule.h"
#include "LoudnessGain.h"
#include "ProgramSettings.h"
#include "RuntimeError.h"
#include "SchedulerModule.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

namespace sonavel {

namespace {

QString Decibels(double value) {
    return QString::number(value, 'f', 1).rightJustified(6);
}

void Print(QTextStream& stream, const QString& line) {
    stream << line << '\n';
    stream.flush();
}

// The station's own folders: every keyword's, and the time checks'.
QStringList StationFolders(const StationPaths& station, QTextStream& err) {
    const std::unique_ptr<SettingsStore> store = OpenStationStore(station, err);
    if (!store) return {};
    QString noInput;
    QTextStream in(&noInput, QIODevice::ReadOnly);
    ConsoleDialogs dialogs(in, err, ConsoleDialogs::Answering::Refuse);
    SystemClock clock;
    Session session(Product::Creator, station.programFolder, *store, dialogs, clock);
    QStringList folders;
    KeywordModule keywords(session);
    if (keywords.GetKeywordDefinitions()) {
        for (const KeywordDefinition& keyword : keywords.KeywordDefinitions) {
            if (!keyword.Folder.isEmpty() && !folders.contains(keyword.Folder))
                folders << keyword.Folder;
        }
    }
    QString timeChecks;
    try {
        timeChecks = store->GetSetting(QString::fromLatin1(kAppName), kPlayerSettings.Name(),
                                       playerfield::TimeCheckFolder.Key());
    } catch (const RuntimeError&) {
    }
    if (timeChecks.isEmpty())
        timeChecks = DefaultText(playerfield::TimeCheckFolder.byDefault, session);
    if (QFileInfo(timeChecks).isDir() && !folders.contains(timeChecks)) folders << timeChecks;
    return folders;
}

}  // namespace

int LoudnessRun(const StationPaths& station, const QStringList& folders, QTextStream& out,
                QTextStream& err) {
    int status = 0;
    QStringList measureIn = folders;
    if (measureIn.isEmpty()) {
        measureIn = StationFolders(station, err);
        if (measureIn.isEmpty()) {
            Print(err, QStringLiteral("sonavel: loudness: the station has no keyword folders; "
                                      "name the folders to measure"));
            return 1;
        }
    }
    QStringList files;
    for (const QString& folder : measureIn) {
        const QDir dir(folder);
        if (!QFileInfo(folder).isDir() || !dir.isReadable()) {
            Print(err, QStringLiteral("sonavel: loudness: cannot read the folder %1").arg(folder));
            status = 1;
            continue;
        }
        // The files a keyword's folder offers the creation run: its own, by name.
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            if (IsSoundFile(name)) files << SchedulerModule::ElementPath(folder, name);
        }
    }

    SystemClock clock;
    LoudnessCache cache(station.programFolder, clock, [&err](const QString& text) {
        Print(err, QStringLiteral("sonavel: ") + text);
    });
    const MeasureRun run =
        MeasureFiles(cache, files, [&err](int done, int total, const MeasuredFile* file) {
            if (!file) {
                Print(err, QStringLiteral("Measuring the loudness of %1 %2")
                               .arg(total)
                               .arg(total == 1 ? QStringLiteral("file") : QStringLiteral("files")));
                return;
            }
            Print(err, QStringLiteral("  %1 of %2: %3").arg(done).arg(total).arg(file->path));
        });

    int known = 0;
    int problems = 0;
    for (const MeasuredFile& file : run.files) {
        if (file.known) ++known;
        if (file.measure.Measured()) {
            Print(out, QStringLiteral("%1 LUFS %2 dBTP  %3")
                           .arg(Decibels(file.measure.integrated), Decibels(file.measure.truePeak),
                                file.path));
        } else {
            ++problems;
            Print(out,
                  QStringLiteral("   not measured  %1: %2").arg(file.path, file.measure.problem));
        }
    }
    const auto count = static_cast<int>(run.files.size());
    QString summary = QStringLiteral("%1 %2: %3 measured now, %4 known already")
                          .arg(count)
                          .arg(count == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                          .arg(run.measured)
                          .arg(known);
    if (problems > 0) summary += QStringLiteral(", %1 without a measure").arg(problems);
    if (run.measured > 0 && run.elapsedSeconds > 0) {
        summary += QStringLiteral("; %1 s of sound in %2 s (%3 times real time)")
                       .arg(run.soundSeconds, 0, 'f', 1)
                       .arg(run.elapsedSeconds, 0, 'f', 1)
                       .arg(run.soundSeconds / run.elapsedSeconds, 0, 'f', 0);
    }
    Print(out, summary + QStringLiteral(". Kept in ") + cache.Path());
    return status;
}

}  // namespace sonavel
