// Measures a creation run's two costly steps on a station of 100 keywords with
// 1,000 files each: the folder scan and the writing of the week's playlists.
#include "AnswerOk.h"
#include "Clock.h"
#include "ClockModule.h"
#include "Dialogs.h"
#include "FormatModule.h"
#include "KeywordModule.h"
#include "SchedulerModule.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TextFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

using namespace sonavel;

namespace {

constexpr int kKeywords = 100;
constexpr int kFilesPerKeyword = 1000;
constexpr int kClockLines = 20;

QStringList ClockText(int offset) {
    QStringList lines;
    for (int i = 0; i < kClockLines - 1; ++i)
        lines << QStringLiteral("Keyword%1").arg((i * 7 + offset) % (kKeywords - 1));
    lines.insert(kClockLines / 2, QStringLiteral(":timecheck"));
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString program = dir.filePath(QStringLiteral("Sonavel"));
    const QString clocks = dir.filePath(QStringLiteral("Clocks"));
    const QString playlists = dir.filePath(QStringLiteral("Playlists"));
    QDir().mkpath(program);
    QDir().mkpath(clocks);
    QDir().mkpath(playlists);

    SettingsStore store(dir.filePath(QStringLiteral("settings.db")));
    AnswerOk dialogs;
    SystemClock clock;
    Session session(Product::Creator, program, store, dialogs, clock);
    session.Creator.ClockFolder = clocks;
    session.Creator.PlaylistFolder = playlists;
    session.Creator.IncludeComments = true;

    KeywordModule keywords(session);
    for (int k = 0; k < kKeywords; ++k) {
        KeywordDefinition definition;
        // The last keyword serves the clocks' time checks, which must be defined.
        definition.Keyword =
            k == kKeywords - 1 ? QStringLiteral(":timecheck") : QStringLiteral("Keyword%1").arg(k);
        definition.Description = QStringLiteral("Description of keyword %1").arg(k);
        definition.Folder = dir.filePath(QStringLiteral("Music/%1").arg(k));
        QDir().mkpath(definition.Folder);
        for (int f = 0; f < kFilesPerKeyword; ++f) {
            QFile file(definition.Folder + QStringLiteral("/Song %1 - Artist.mp3").arg(f));
            file.open(QIODevice::WriteOnly);
        }
        keywords.KeywordDefinitions.push_back(definition);
    }
    ClockModule clockModule(session, keywords);
    textfile::WriteLines(clockModule.DefaultClockPath(), ClockText(0));
    for (int h = 0; h < 24; ++h) {
        textfile::WriteLines(clocks + QStringLiteral("/Mon") +
                                 HourName(static_cast<std::int16_t>(h)) + QStringLiteral("00.clk"),
                             ClockText(h + 1));
    }
    if (!clockModule.ReadDefaultClockLines()) {
        std::fprintf(stderr, "default clock unreadable\n");
        return 1;
    }

    SchedulerModule scheduler(session, keywords, clockModule);
    QElapsedTimer timer;
    timer.start();
    const bool scanned = scheduler.ScanKeywordFolders();
    const qint64 scanMs = timer.elapsed();
    if (!scanned) {
        std::fprintf(stderr, "scan failed\n");
        return 1;
    }
    qsizetype files = 0;
    for (const KeywordDefinition& definition : keywords.KeywordDefinitions)
        files += definition.Files[SchedulerModule::kNameRow].size();

    // As the run does it: the clock is chosen per hour, then the list written.
    timer.restart();
    int hourly = 0;
    for (int day = 1; day <= 7; ++day) {
        for (int h = 0; h < 24; ++h) {
            const QString path = playlists + QLatin1Char('/') + WeekdayToken(day) +
                                 HourName(static_cast<std::int16_t>(h)) + QStringLiteral("00") +
                                 session.Creator.PlaylistExtension;
            const bool own = clockModule.LoadHourlyClock(path);
            hourly += own ? 1 : 0;
            scheduler.WritePlaylist(
                path, own ? clockModule.HourlyClockLines : clockModule.DefaultClockLines);
        }
    }
    const qint64 writeMs = timer.elapsed();
    const qsizetype written = QDir(playlists).entryList(QDir::Files | QDir::NoDotAndDotDot).size();
    std::printf("keywords=%d hourly_clocks_used=%d playlists=%lld messages=%d\n", kKeywords, hourly,
                static_cast<long long>(written), dialogs.shown);
    std::printf("scan_ms=%lld write_168_ms=%lld files=%lld\n", static_cast<long long>(scanMs),
                static_cast<long long>(writeMs), static_cast<long long>(files));
    return 0;
}
