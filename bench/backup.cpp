// Measures a backup of a station with 2,000 clock files and 100 keywords: a
// first copy into an empty folder, a second beside it under new names, and
// a third that overwrites, with the longest wait between two progress steps
// (how long the window could go without serving events).
#include "AnswerOk.h"
#include "BackupModule.h"
#include "Clock.h"
#include "ClockModule.h"
#include "KeywordModule.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace sonavel;

namespace {

constexpr int kClocks = 2000;
constexpr int kKeywords = 100;

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
    QDir().mkpath(program);
    QDir().mkpath(clocks);

    SettingsStore store(dir.filePath(QStringLiteral("settings.db")));
    AnswerOk dialogs;
    SystemClock clock;
    Session session(Product::Creator, program, store, dialogs, clock);
    session.Creator.ClockFolder = clocks;
    QList<SectionRows> sections;
    QList<SettingRow> list;
    for (int k = 0; k < kKeywords; ++k) {
        const QString name = QStringLiteral("Keyword%1").arg(k);
        sections.append({name,
                         {{QStringLiteral("Description"), name},
                          {QStringLiteral("Folder"), QStringLiteral("/srv/sound/") + name},
                          {QStringLiteral("Estimated Time"), QStringLiteral("180")},
                          {QStringLiteral("Color"), QStringLiteral("255")},
                          {QStringLiteral("Notes"), QStringLiteral("None")}}});
        list.append({KeywordModule::KeywordKey(k), name});
    }
    sections.append({QString::fromLatin1(kKeywordListSection), list});
    store.ReplaceApplication(QString::fromLatin1(kKeywordApp), sections);

    // A clock of twenty lines, about 200 bytes, as stations write them.
    QByteArray text;
    for (int line = 0; line < 20; ++line)
        text += "Keyword" + QByteArray::number(line * 5) + "\r\n";
    auto put = [&](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    put(program + QStringLiteral("/Default.clk"));
    for (int i = 0; i < kClocks; ++i) {
        if (!put(clocks + QStringLiteral("/Clock%1.clk").arg(i, 4, 10, QLatin1Char('0')))) {
            std::fprintf(stderr, "cannot write the clocks\n");
            return 1;
        }
    }

    KeywordModule keywords(session);
    ClockModule clockModule(session, keywords);
    BackupModule backup(session, keywords, clockModule);
    const QString target = dir.filePath(QStringLiteral("Backup"));
    const char* const runs[] = {"first", "new_names", "overwrite"};
    for (int run = 0; run < 3; ++run) {
        BackupModule::Options options;
        options.overwrite = run == 2;
        QElapsedTimer total;
        QElapsedTimer step;
        qint64 longestStepUs = 0;
        total.start();
        step.start();
        const BackupModule::Outcome outcome = backup.Backup(target, options, [&](int, int) {
            longestStepUs = std::max(longestStepUs, step.nsecsElapsed() / 1000);
            step.restart();
        });
        const qint64 ms = total.elapsed();
        if (outcome != BackupModule::Outcome::Done) {
            std::fprintf(stderr, "%s backup failed\n", runs[run]);
            return 1;
        }
        std::printf("%s: files=%d ms=%lld longest_step_us=%lld\n", runs[run], backup.FilesCopied(),
                    static_cast<long long>(ms), static_cast<long long>(longestStepUs));
    }
    std::printf("files_in_target_clocks=%lld messages=%d\n",
                static_cast<long long>(
                    QDir(target + QStringLiteral("/Clocks")).entryList(QDir::Files).size()),
                dialogs.shown);
    return 0;
}
