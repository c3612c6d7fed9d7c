#include "PlayerModule.h"

#include "Events.h"
#include "FakeMediaPlayer.h"
#include "FormatModule.h"
#include "NamedEntries.h"
#include "PlayerEngineTest.h"
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimeZone>
#include <QTimer>
#include <functional>
#include <map>
#include <random>

namespace sonavel {
namespace {

// A week of automatic operation on a station whose files are not all sound:
// the invariants are checked on every tick and inside every switch.
class PlayerSoakTest : public PlayerEngineTest {
  protected:
    PlayerSoakTest() {
        engine.MaxPolls = 50;
        engine.Unattended = true;
        for (FakeMediaPlayer* p : {&player1, &player2}) {
            p->SetReadyAfterPolls(1);  // every load serves events once
            p->SetDefaultDuration(4);  // the announcements
        }
    }

    static QStringList Lines(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    }
};

TEST_F(PlayerSoakTest, AWeekOfAutomaticPlayKeepsItsPromises) {
    std::mt19937 rng(20261207);
    auto chance = [&rng](double p) { return std::uniform_real_distribution<>(0, 1)(rng) < p; };
    auto between = [&rng](int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(rng); };

    // One playlist per weekday and hour. Some hours run short and restart,
    // others overrun their hour.
    int badElements = 0;
    for (int day = 1; day <= 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            const QString token =
                WeekdayToken(day) + QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0'));
            QStringList lines;
            const int count = between(12, 40);
            for (int n = 1; n <= count; ++n) {
                if (chance(0.05)) {
                    lines << QStringLiteral(":TimeCheck");
                    continue;
                }
                const QString path =
                    QStringLiteral("/snd/") + token + QStringLiteral("_%1.wav").arg(n);
                const double seconds = between(30, 200) + between(0, 3) * 0.25;
                for (FakeMediaPlayer* p : {&player1, &player2}) {
                    p->SetDuration(path, seconds);
                }
                if (chance(0.01)) {
                    for (FakeMediaPlayer* p : {&player1, &player2})
                        p->SetFailure(path, media::kFileMissing,
                                      QStringLiteral("File not found: ") + path);
                    ++badElements;
                } else if (chance(0.01)) {
                    player1.SetNeverStarts(path);
                    player2.SetNeverStarts(path);
                    ++badElements;
                }
                lines << path;
            }
            QFile file(session.Player.PlaylistFolder + QLatin1Char('/') + token +
                       QStringLiteral("00.lst"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
        }
    }
    // Announcements for most minutes of the day.
    for (int minute = 0; minute < 24 * 60; ++minute) {
        if (chance(0.1)) continue;
        QFile file(session.Player.TimeCheckFolder + QStringLiteral("/%1%2.wav")
                                                        .arg(minute / 60, 2, 10, QLatin1Char('0'))
                                                        .arg(minute % 60, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    // Starts as the controls report them, and how long each has sounded.
    QStringList observedStarts;
    std::array<qint64, 2> playedMs{};
    for (int p = 1; p <= 2; ++p) {
        FakeMediaPlayer& fake = p == 1 ? player1 : player2;
        QObject::connect(&fake, &MediaPlayer::PlayStateChange, &fake,
                         [&, p](int OldState, int NewState) {
                             if (OldState != media::kStopped || NewState != media::kPlaying) return;
                             const QString file = (p == 1 ? player1 : player2).FileName();
                             observedStarts << (file.startsWith(session.Player.TimeCheckFolder)
                                                    ? QStringLiteral("Time Check")
                                                    : FormatElementName(file));
                             playedMs[static_cast<std::size_t>(p - 1)] = 0;
                         });
    }

    int violations = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok && ++violations <= 10)
            ADD_FAILURE() << what << " at "
                          << session.Time().Now().toString(Qt::ISODateWithMs).toStdString();
    };
    auto checkState = [&] {
        check(!(player1.PlayState() == media::kPlaying && player2.PlayState() == media::kPlaying),
              "two elements sound at once");
        if (engine.PlayerRunning)
            check(engine.CurrentElement >= 1 && engine.CurrentElement <= engine.LastElement,
                  "CurrentElement left the list");
    };
    int skipsDuringSwitch = 0;
    window.onRender = [&] {
        checkState();
        if (engine.ElementChanging && chance(0.002)) {
            ++skipsDuringSwitch;
            QTimer::singleShot(0, &player1, [&] { engine.SkipNow(); });
        }
    };
    // Keeps events pending so that polls that time out cost no sleeping.
    QTimer busy;
    busy.start(0);

    // Universal time keeps the clock cheap to read, and a week without a
    // daylight-saving change.
    const QDateTime start(QDate(2026, 12, 7), QTime(6, 20, 0), Qt::UTC);
    const QDateTime end = start.addDays(7);
    m_clock.Set(start);
    auto serve = [] {
        for (int i = 0; i < 3; ++i)
            DoEvents();
    };
    auto launch = [&] {
        ASSERT_TRUE(engine.GetCurrentHourPlaylist());
        engine.StartPlaylist();
        serve();
    };
    launch();

    QElapsedTimer wall;
    wall.start();
    qint64 resumeAt = -1;  // ms since start; -1 none
    qint64 cancelExitAt = -1;
    bool waitingForPause = false;
    qint64 heldMs = 0;  // paused or exiting, by the operator's choice
    int ends = 0, hourChanges = 0, skipNows = 0, relaunches = 0, restarts = 0;
    int lastStartHour = engine.PlaylistStartHour;
    for (qint64 t = 0; start.addMSecs(t) < end;) {
        t += 250;
        m_clock.Set(start.addMSecs(t));

        // The element that has had its time ends.
        bool ended = false;
        const bool pendingBefore = engine.HourChangePending;
        for (int p = 1; p <= 2; ++p) {
            FakeMediaPlayer& fake = p == 1 ? player1 : player2;
            if (fake.PlayState() != media::kPlaying) continue;
            qint64& played = playedMs[static_cast<std::size_t>(p - 1)];
            played += 250;
            if (played >= fake.Duration() * 1000) {
                fake.Finish();
                ended = true;
                ++ends;
                serve();
                break;
            }
        }

        // The operator.
        if (resumeAt >= 0 && t >= resumeAt) {
            engine.Resume();
            resumeAt = -1;
            serve();
        }
        if (cancelExitAt >= 0 && t >= cancelExitAt) {
            if (engine.ExitNextPending && !engine.ExitRequested) engine.ExitNext();
            cancelExitAt = -1;
        }
        if (waitingForPause) {
            if (engine.Paused) {
                waitingForPause = false;
                resumeAt = t + between(2, 90) * 1000;
            } else if (!engine.PauseNextPending) {
                waitingForPause = false;  // dropped with its playlist at the hour
            }
        }
        if (resumeAt < 0 && cancelExitAt < 0 && !waitingForPause && !engine.ExitNextPending &&
            chance(1.0 / 4000)) {
            switch (between(0, 5)) {
                case 0:
                case 1:
                    if (!engine.Paused) {
                        engine.SkipNow();
                        ended = true;
                        ++skipNows;
                        serve();
                    }
                    break;
                case 2:
                    engine.SkipNext();
                    if (chance(0.3)) engine.SkipNext();
                    break;
                case 3:
                    engine.PauseNow();
                    resumeAt = t + between(2, 90) * 1000;
                    break;
                case 4:
                    engine.PauseNext();
                    waitingForPause = engine.PauseNextPending;
                    break;
                case 5:
                    engine.ExitNext();
                    cancelExitAt = t + (chance(0.7) ? between(1, 20) : 100000) * 1000;
                    break;
            }
        }

        if (pendingBefore && ended && lastStartHour != m_clock.Now().time().hour()) {
            check(engine.PlaylistStartHour == m_clock.Now().time().hour(),
                  "the new hour's playlist did not start at the first end after the hour");
            check(!engine.HourChangePending, "the hour change was not consumed");
            check(engine.PlaylistFileName.endsWith(m_clock.Now().toString(QStringLiteral("HH")) +
                                                   QStringLiteral("00.lst")),
                  "the wrong hour's playlist was read");
            ++hourChanges;
        } else if (engine.PlaylistStartHour != lastStartHour &&
                   !(ended && engine.PlaylistStartHour == m_clock.Now().time().hour())) {
            // A list that runs out just after the hour restarts as the new hour's.
            check(false, "the playlist changed without an hour change");
        }
        lastStartHour = engine.PlaylistStartHour;

        engine.UpdateDisplay();
        if (window.unloads > 0) {
            // The operator exits and starts Player again.
            check(player1.PlayState() != media::kPlaying && player2.PlayState() != media::kPlaying,
                  "an exit came due while an element was still playing");
            window.unloads = 0;
            cancelExitAt = -1;
            engine.StopForExit();
            engine.SetPlayListNotLoaded();
            launch();
            ++relaunches;
            lastStartHour = engine.PlaylistStartHour;
            continue;
        }

        checkState();
        const bool operatorHolds = engine.Paused || engine.ExitNextPending || engine.ExitRequested;
        if (operatorHolds) heldMs += 250;
        if (!operatorHolds) {
            check(engine.PlayerRunning, "automatic play stopped");
            check(player1.PlayState() == media::kPlaying || player2.PlayState() == media::kPlaying,
                  "nothing is playing");
        }
    }
    const qint64 wallMs = wall.elapsed();

    // Every start the log names either sounded or is in the error log as a
    // failure, in the order the controls started them.
    const QStringList program = Lines(session.ProgramLogFileName);
    QStringList logged;
    for (const QString& line : program) {
        const int at = line.indexOf(QStringLiteral("  Program Element: "));
        if (at >= 0) logged << line.mid(at + 19);
        if (line.contains(QStringLiteral("in automatic mode."))) ++restarts;
    }
    const QString errors = Lines(session.ErrorLogFileName).join(QLatin1Char('\n'));
    const int failed = static_cast<int>(errors.count(QStringLiteral("Sound file not found: ")) +
                                        errors.count(QStringLiteral("Time Check file not found")));
    EXPECT_EQ(logged.size(), observedStarts.size() + failed);
    qsizetype at = 0;
    for (const QString& name : observedStarts) {
        while (at < logged.size() && logged[at] != name)
            ++at;
        ASSERT_LT(at, logged.size()) << "started but not logged: " << name.toStdString();
        ++at;
    }
    EXPECT_EQ(program.filter(QStringLiteral("  Program Element skipped")).size(),
              skipNows + skipsDuringSwitch);
    EXPECT_EQ(violations, 0);

    // The week must really have exercised what it claims to.
    EXPECT_GE(hourChanges, 7 * 24 - relaunches - 2);
    EXPECT_GT(restarts, 20);
    EXPECT_GT(skipsDuringSwitch, 0);
    EXPECT_GT(failed, 20);
    EXPECT_LT(heldMs, 7 * 86400 * 1000 / 50) << "the operator held the air too long to test it";
    std::cout << "[ soak     ] 7 days, " << observedStarts.size() << " elements played, " << ends
              << " natural ends, " << failed << " failed starts, " << badElements << " bad files, "
              << hourChanges << " hour changes, " << restarts << " list restarts, " << skipNows
              << " SkipNow, " << skipsDuringSwitch << " SkipNow in a switch, " << relaunches
              << " exits, " << heldMs / 1000 << " s held by the operator, " << wallMs << " ms\n";
}

}  // namespace
}  // namespace sonavel
