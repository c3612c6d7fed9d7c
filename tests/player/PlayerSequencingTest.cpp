#include "PlayerModule.h"

#include "ErrorModule.h"
#include "Events.h"
#include "FakeMediaPlayer.h"
#include "NamedEntries.h"
#include "PlayerSeqTest.h"
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <functional>
#include <map>

namespace sonavel {
namespace {

const QString kAutoEnd =
    QStringLiteral("Error: Last program element reached before end of hour in automatic mode.");
const QString kManualEnd =
    QStringLiteral("Error: Last program element reached before end of hour in manual mode.");

QString Started(const QString& name) {
    return QStringLiteral("Program Element: ") + name;
}

TEST_F(PlayerSeqTest, OneElementPlaylistRestartsInAutomaticModeAndEndsInManualMode) {
    WritePlaylist(QStringLiteral("Mon1000.lst"), {Snd("a")});
    ASSERT_TRUE(engine.GetCurrentHourPlaylist());
    engine.StartPlaylist();
    Serve();
    EXPECT_EQ(Sounding(), 1);
    const PanelLook& second = engine.Display().panels[1];
    EXPECT_FALSE(second.frameEnabled);
    EXPECT_FALSE(second.textEnabled);
    EXPECT_EQ(second.textBack, playercolor::kGrey);
    EXPECT_TRUE(player2.calls.isEmpty()) << "nothing may be preloaded past the end";

    FinishPlaying();
    EXPECT_EQ(ProgramLog(), (QStringList{Started("a"), kAutoEnd, Started("a")}));
    EXPECT_EQ(Sounding(), 1);
    EXPECT_TRUE(engine.PlayerRunning);
    EXPECT_EQ(engine.CurrentElement, 1);

    Manual();
    FinishPlaying();
    EXPECT_EQ(ProgramLog().last(), kManualEnd);
    EXPECT_EQ(Sounding(), 0);
    EXPECT_FALSE(engine.PlayerRunning);
    EXPECT_EQ(engine.Display().playlist, QStringLiteral("No Playlist is Loaded"));
}

TEST_F(PlayerSeqTest, HourChangeComesAtTheFirstEndInTheNewHourAndNeverCutsAnElement) {
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 59, 50)));
    WritePlaylist(QStringLiteral("Mon1000.lst"), {Snd("a"), Snd("b"), Snd("c")});
    WritePlaylist(QStringLiteral("Mon1100.lst"), {Snd("x"), Snd("y"), Snd("z")});
    WritePlaylist(QStringLiteral("Mon1200.lst"), {Snd("n")});
    ASSERT_TRUE(engine.GetCurrentHourPlaylist());
    engine.StartPlaylist();
    Serve();

    // The ticks land around the top of the hour and skip 11:00:00 itself.
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 59, 59, 900)));
    engine.UpdateDisplay();
    EXPECT_FALSE(engine.HourChangePending);
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(11, 0, 1, 150)));
    engine.UpdateDisplay();
    EXPECT_TRUE(engine.HourChangePending);
    EXPECT_EQ(Starts().last(), Started("a")) << "the tick must not cut the element";
    engine.UpdateDisplay();
    FinishPlaying();
    EXPECT_EQ(Starts(), (QStringList{Started("a"), Started("x")}));
    EXPECT_EQ(engine.PlaylistStartHour, 11);
    EXPECT_EQ(engine.HourEndSeconds, 12 * 3600);
    EXPECT_FALSE(engine.HourChangePending);
    EXPECT_EQ(engine.CurrentElement, 1);
    EXPECT_EQ(player2.FileName(), Snd("y"));

    // A flag left over from before the new list started must not drop it.
    engine.HourChangePending = true;
    FinishPlaying();
    EXPECT_EQ(Starts().last(), Started("y"));

    // No tick at all in the new hour (a blocked window, a suspend): the end
    // itself notices, and the new hour starts at once.
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(12, 0, 0, 300)));
    FinishPlaying();
    EXPECT_EQ(Starts().last(), Started("n"));
    EXPECT_EQ(engine.PlaylistStartHour, 12);
}

TEST_F(PlayerSeqTest, TopOfHourPassesUnnoticedWhileNoPlaylistRuns) {
    WritePlaylist(QStringLiteral("Mon1100.lst"), {Snd("x")});
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(11, 0, 0)));
    for (int i = 0; i < 4; ++i)
        engine.UpdateDisplay();
    Serve();
    EXPECT_FALSE(engine.HourChangePending);
    EXPECT_FALSE(engine.PlayerRunning);
    EXPECT_TRUE(player1.calls.isEmpty());
}

TEST_F(PlayerSeqTest, PauseIsNeverAnEndAndResumeGoesOn) {
    // Nothing playing: nothing to pause, nothing logged.
    engine.PauseNow();
    EXPECT_FALSE(engine.Paused);
    EXPECT_TRUE(ProgramLog().isEmpty());

    StartList({Snd("a"), Snd("b")});
    engine.PauseNow();
    Serve();
    EXPECT_EQ(player1.PlayState(), media::kPaused);
    EXPECT_EQ(engine.CurrentElement, 1);
    EXPECT_EQ(ProgramLog(), (QStringList{Started("a"), QStringLiteral("Playlist paused")}));
    const PlayerDisplay& d = engine.Display();
    EXPECT_TRUE(d.Command(PlayerCommand::Resume).enabled);
    for (PlayerCommand c : {PlayerCommand::PauseNow, PlayerCommand::PauseNext,
                            PlayerCommand::SkipNow, PlayerCommand::SkipNext})
        EXPECT_FALSE(d.Command(c).enabled) << static_cast<int>(c);
    // Exit Next stays available while paused, and going through it must not
    // offer a skip or a pause of an element that is not going to come.
    EXPECT_TRUE(d.Command(PlayerCommand::ExitNext).enabled);
    engine.Operate(PlayerCommand::ExitNext);
    EXPECT_TRUE(engine.ExitNextPending);
    engine.Operate(PlayerCommand::ExitNext);
    EXPECT_FALSE(engine.ExitNextPending);
    for (PlayerCommand c : {PlayerCommand::PauseNext, PlayerCommand::SkipNext}) {
        EXPECT_FALSE(d.Command(c).enabled) << static_cast<int>(c);
        EXPECT_FALSE(window.shown.Command(c).enabled) << static_cast<int>(c);
    }

    engine.Resume();
    Serve();
    EXPECT_EQ(Sounding(), 1);
    EXPECT_FALSE(engine.Paused);
    EXPECT_FALSE(d.Command(PlayerCommand::Resume).enabled);
    EXPECT_TRUE(d.Command(PlayerCommand::SkipNow).enabled);
    FinishPlaying();
    EXPECT_EQ(Starts().last(), Started("b"));
}

TEST_F(PlayerSeqTest, ElementsThatFailAreSkippedAndTheNextIsPreloaded) {
    Manual();
    Missing(Snd("a"));
    Missing(Snd("c"));
    NeverStarts(Snd("e"));
    StartList({Snd("a"), Snd("b"), Snd("c"), Snd("d"), Snd("e"), Snd("f")});

    // The first element is missing: logged, and the list starts with b.
    EXPECT_TRUE(ProgramLog().contains(QStringLiteral("Program Element Not Found: ") + Snd("a")));
    EXPECT_EQ(Sounding(), 1);
    // c could not be preloaded: d waits in player 2 instead, silently.
    EXPECT_EQ(player2.FileName(), Snd("d"));
    EXPECT_FALSE(ProgramLog().contains(QStringLiteral("Program Element Not Found: ") + Snd("c")));

    FinishPlaying();
    EXPECT_EQ(Sounding(), 2);
    EXPECT_EQ(engine.CurrentElement, 4);
    EXPECT_EQ(player1.FileName(), Snd("e"));

    // e opens but never starts: the error log names it and f follows on the
    // same control; nothing is left to preload.
    FinishPlaying();
    EXPECT_TRUE(ErrorLog().contains(QStringLiteral("Sound file not found: e")));
    EXPECT_EQ(Sounding(), 1);
    EXPECT_EQ(player1.FileName(), Snd("f"));
    EXPECT_EQ(engine.CurrentElement, 6);
    EXPECT_FALSE(engine.Display().panels[1].frameEnabled);
    EXPECT_EQ(Starts(), (QStringList{Started("b"), Started("d"), Started("e"), Started("f")}));
}

TEST_F(PlayerSeqTest, ListThatCannotPlayStopsInsteadOfLooping) {
    // No elements at all: not started, and the log says why.
    StartList({});
    EXPECT_FALSE(engine.PlayerRunning);
    EXPECT_TRUE(ProgramLog().last().startsWith(QStringLiteral("Playlist not started")));

    // Every element fails: the list stops rather than restarting for ever.
    NeverStarts(Snd("n1"));
    NeverStarts(Snd("n2"));
    Missing(Snd("m"));
    WritePlaylist(QStringLiteral("Mon1000.lst"), {Snd("n1"), Snd("m"), Snd("n2")});
    ASSERT_TRUE(engine.GetCurrentHourPlaylist());
    engine.StartPlaylist();
    Serve();
    EXPECT_FALSE(engine.PlayerRunning);
    EXPECT_EQ(Sounding(), 0);
    EXPECT_TRUE(ProgramLog().last().startsWith(QStringLiteral("Playlist stopped")));

    // The rest of the hour fails after a good element: the hour's list starts
    // again from its top, once.
    WritePlaylist(QStringLiteral("Mon1000.lst"), {Snd("a"), Snd("n1"), Snd("n2")});
    ASSERT_TRUE(engine.GetCurrentHourPlaylist());
    engine.StartPlaylist();
    Serve();
    const qsizetype before = ProgramLog().size();
    FinishPlaying();
    EXPECT_EQ(ProgramLog().mid(before),
              (QStringList{Started("n1"), Started("n2"), kAutoEnd, Started("a")}));
    EXPECT_EQ(engine.CurrentElement, 1);
    EXPECT_EQ(Sounding(), 1);
}

TEST_F(PlayerSeqTest, NextCommandsAreTogglesThatExcludeEachOther) {
    StartList({Snd("a"), Snd("b"), Snd("c")});
    const PlayerDisplay& d = engine.Display();
    engine.SkipNext();
    EXPECT_TRUE(d.Command(PlayerCommand::SkipNext).checked);
    EXPECT_FALSE(d.Command(PlayerCommand::PauseNext).enabled);
    EXPECT_FALSE(d.Command(PlayerCommand::ExitNext).enabled);
    engine.PauseNext();
    engine.ExitNext();
    EXPECT_FALSE(engine.PauseNextPending);
    EXPECT_FALSE(engine.ExitNextPending);

    engine.SkipNext();
    EXPECT_FALSE(engine.SkipNextPending);
    for (PlayerCommand c :
         {PlayerCommand::SkipNext, PlayerCommand::PauseNext, PlayerCommand::ExitNext}) {
        EXPECT_TRUE(d.Command(c).enabled);
        EXPECT_FALSE(d.Command(c).checked);
    }
    FinishPlaying();
    EXPECT_EQ(Starts().last(), Started("b")) << "SkipNext chosen twice skips nothing";
    // The window was told, not only the engine's copy.
    EXPECT_TRUE(window.shown.Command(PlayerCommand::ExitNext).enabled);
    EXPECT_FALSE(window.shown.Command(PlayerCommand::SkipNext).checked);
}

TEST_F(PlayerSeqTest, SkipNextPassesOneElementButNeverTheLastTwo) {
    Manual();
    StartList({Snd("a"), Snd("b"), Snd("c"), Snd("d")});
    engine.SkipNext();
    FinishPlaying();
    EXPECT_EQ(Starts(), (QStringList{Started("a"), Started("c")}));
    EXPECT_EQ(player1.FileName(), Snd("d"));
    EXPECT_FALSE(engine.SkipNextPending);
    EXPECT_FALSE(engine.Display().Command(PlayerCommand::SkipNext).checked);

    // d is the last: the command is cancelled and changes nothing.
    engine.SkipNext();
    FinishPlaying();
    EXPECT_EQ(Starts().last(), Started("d"));
    EXPECT_FALSE(engine.SkipNextPending);
    EXPECT_EQ(engine.CurrentElement, 4);
}

TEST_F(PlayerSeqTest, SkipNowEndsTheElementButOnlyLogsDuringASwitch) {
    StartList({Snd("a"), Snd("b"), Snd("c"), Snd("d")});
    engine.SkipNow();
    Serve();
    EXPECT_EQ(ProgramLog(),
              (QStringList{Started("a"), QStringLiteral("Program Element skipped"), Started("b")}));
    EXPECT_EQ(Sounding(), 2);

    // The operator clicks while the next switch is still preloading.
    player1.SetReadyAfterPolls(6);
    player2.SetReadyAfterPolls(6);
    bool clicked = false;
    window.onRender = [&] {
        if (engine.ElementChanging && !clicked) {
            clicked = true;
            QTimer::singleShot(0, [this] { engine.SkipNow(); });
        }
    };
    FinishPlaying();
    window.onRender = {};
    ASSERT_TRUE(clicked);
    Serve();
    EXPECT_EQ(ProgramLog().mid(3),
              (QStringList{Started("c"), QStringLiteral("Program Element skipped")}));
    EXPECT_EQ(Sounding(), 1);
    EXPECT_EQ(engine.CurrentElement, 3);
    EXPECT_EQ(player2.FileName(), Snd("d"));
}

TEST_F(PlayerSeqTest, ElementEndingWhileItsOwnSwitchPreloadsIsFollowedOnce) {
    StartList({Snd("a"), Snd("b"), Snd("c"), Snd("d")});
    player1.SetReadyAfterPolls(6);
    player2.SetReadyAfterPolls(6);
    // b is over before c has finished loading into player 1.
    bool ended = false;
    window.onRender = [&] {
        if (engine.ElementChanging && !ended && player2.PlayState() == media::kPlaying) {
            ended = true;
            QTimer::singleShot(0, [this] { player2.Finish(); });
        }
    };
    FinishPlaying();
    window.onRender = {};
    ASSERT_TRUE(ended);
    EXPECT_TRUE(WaitUntil([this] { return Starts().size() == 3; }, 200));
    Serve();
    EXPECT_EQ(Starts(), (QStringList{Started("a"), Started("b"), Started("c")}));
    EXPECT_EQ(Sounding(), 1);
    EXPECT_EQ(player1.FileName(), Snd("c"));
    EXPECT_EQ(player2.FileName(), Snd("d"));
    EXPECT_EQ(engine.CurrentElement, 3);
    EXPECT_FALSE(engine.ElementChanging);
}

TEST_F(PlayerSeqTest, ExitNextLetsTheElementFinishAndStartsNothing) {
    StartList({Snd("a"), Snd("b")});
    engine.ExitNext();
    EXPECT_EQ(Sounding(), 1);
    EXPECT_EQ(window.unloads, 0);
    FinishPlaying();
    EXPECT_EQ(Sounding(), 0);
    EXPECT_TRUE(engine.ExitRequested);
    EXPECT_EQ(Starts(), QStringList{Started("a")});
    EXPECT_FALSE(engine.ElementChanging);
    engine.UpdateDisplay();
    EXPECT_EQ(window.unloads, 1);
    EXPECT_FALSE(engine.ExitRequested);

    // The operator stays: the exit is withdrawn and the due element plays,
    // rather than leaving the station silent.
    engine.ExitDeclined();
    EXPECT_FALSE(engine.ExitNextPending);
    EXPECT_EQ(Sounding(), 2);
    EXPECT_EQ(Starts(), (QStringList{Started("a"), Started("b")}));
    engine.ExitDeclined();
    EXPECT_EQ(Starts().size(), 2);

    engine.ExitNow();
    EXPECT_EQ(window.unloads, 2);
}

TEST_F(PlayerSeqTest, PauseNextPausesTheNextElementAsItStarts) {
    StartList({Snd("a"), Snd("b"), Snd("c")});
    engine.PauseNext();
    FinishPlaying();
    EXPECT_EQ(player2.PlayState(), media::kPaused);
    EXPECT_TRUE(engine.Paused);
    EXPECT_EQ(ProgramLog().mid(1), (QStringList{Started("b"), QStringLiteral("Playlist paused")}));
    engine.Resume();
    Serve();
    EXPECT_EQ(Sounding(), 2);
    EXPECT_FALSE(engine.PauseNextPending);
    FinishPlaying();
    EXPECT_EQ(Sounding(), 1) << "only the element after PauseNext is paused";
}

TEST_F(PlayerSeqTest, TimeChecksAnnounceTheMinuteTheyStartIn) {
    Manual();
    for (const char* hhmm : {"1015", "1016", "2359"})
        WriteAnnouncement(QString::fromLatin1(hhmm));
    const QString time = session.Player.TimeCheckFolder + QLatin1Char('/');

    // First element: nothing is loaded for it until player 1 starts.
    StartList({QStringLiteral(":TimeCheck"), Snd("a"), QStringLiteral(":timecheck"),
               QStringLiteral(":TIMECHECK"), Snd("b"), QStringLiteral(":TimeCheck"), Snd("c")});
    EXPECT_EQ(player1.calls.first(), QStringLiteral("Open ") + time + QStringLiteral("1015.wav"));
    EXPECT_EQ(Sounding(), 1);
    EXPECT_EQ(engine.Display().panels[0].text, QStringLiteral("Time Check"));
    EXPECT_EQ(player2.FileName(), Snd("a"));

    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 16, 10)));
    FinishPlaying();
    // The preloaded time check left player 1 as it was.
    EXPECT_EQ(player1.FileName(), time + QStringLiteral("1015.wav"));
    FinishPlaying();
    EXPECT_EQ(player1.FileName(), time + QStringLiteral("1016.wav"));
    EXPECT_EQ(Sounding(), 1);
    // Two in a row, the second started at 23:59:58 though preloaded earlier.
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 58)));
    FinishPlaying();
    EXPECT_EQ(player2.FileName(), time + QStringLiteral("2359.wav"));
    EXPECT_EQ(Sounding(), 2);
    EXPECT_EQ(Starts(), (QStringList{Started("Time Check"), Started("a"), Started("Time Check"),
                                     Started("Time Check")}));

    // No announcement for 00:00: the error log says so and c follows at once.
    FinishPlaying();
    m_clock.Set(QDateTime(QDate(2026, 12, 8), QTime(0, 0, 5)));
    FinishPlaying();
    EXPECT_TRUE(ErrorLog().contains(QStringLiteral("Time Check file not found in ") +
                                    session.Player.TimeCheckFolder));
    EXPECT_EQ(Starts().mid(4), (QStringList{Started("b"), Started("Time Check"), Started("c")}));
    EXPECT_EQ(Sounding(), 2);
}

TEST_F(PlayerSeqTest, AnnouncementThatNeverGetsReadyIsPassedOver) {
    Manual();
    WriteAnnouncement(QStringLiteral("1015"));
    const QString file = session.Player.TimeCheckFolder + QStringLiteral("/1015.wav");
    player1.SetNeverReady(file);
    player2.SetNeverReady(file);
    StartList({Snd("a"), QStringLiteral(":TimeCheck"), Snd("b")});
    FinishPlaying();
    EXPECT_EQ(Starts(), (QStringList{Started("a"), Started("Time Check"), Started("b")}));
    EXPECT_EQ(Sounding(), 2);
    EXPECT_FALSE(engine.ElementChanging);
}

TEST_F(PlayerSeqTest, LineMentioningTheCommandInsideAPathNeverReplaysOldAudio) {
    Manual();
    StartList({Snd("a"), Snd("b"), QStringLiteral("/snd/x:timecheck.wav"), Snd("c")});
    FinishPlaying();
    FinishPlaying();
    EXPECT_EQ(Starts(),
              (QStringList{Started("a"), Started("b"), Started("x:timecheck"), Started("c")}));
    EXPECT_EQ(Sounding(), 1);
    EXPECT_EQ(player1.FileName(), Snd("c"));
}

TEST_F(PlayerSeqTest, RefusedFilesEndTheirWaitAtOnceAndLeaveNoSilence) {
    // The real bound, and a control that needs a few polls for a good file:
    // only a wait that ends on the refusal keeps the count of polls low.
    engine.MaxPolls = 10000;
    player1.SetReadyAfterPolls(3);
    player2.SetReadyAfterPolls(3);
    Missing(Snd("m1"));
    Missing(Snd("m2"));
    Missing(Snd("c"));
    for (FakeMediaPlayer* p : {&player1, &player2})
        p->SetFailure(Snd("text"), media::kNotDecodable, QStringLiteral("Not a sound file"));
    StartList({Snd("m1"), Snd("a"), Snd("m2"), Snd("text"), Snd("b"), Snd("c")});
    EXPECT_LT(std::max(watched1.MostPollsForALoad(), watched2.MostPollsForALoad()), 10);
    EXPECT_EQ(Sounding(), 1);
    // The bad elements between a and b were passed over while a played.
    EXPECT_EQ(player2.FileName(), Snd("b"));
    FinishPlaying();
    EXPECT_EQ(Sounding(), 2) << "b follows a without a gap";
    EXPECT_EQ(Starts(), (QStringList{Started("a"), Started("b")}));

    // Every refusal is on record with the file that failed, though the
    // control was given the next file straight after.
    const QStringList log = ProgramLog();
    EXPECT_EQ(log.count(QStringLiteral("Program Element not played (see Error Log).")), 4);
    EXPECT_TRUE(log.contains(QStringLiteral("Program Element Not Found: ") + Snd("m1")));
    const QString errors = ErrorLog();
    EXPECT_TRUE(errors.contains(QStringLiteral("Variable Data: 1 - ") + Snd("m1")));
    EXPECT_TRUE(errors.contains(QStringLiteral("Variable Data: 2 - ") + Snd("m2")));
    EXPECT_TRUE(errors.contains(QStringLiteral("Variable Data: 3 - ") + Snd("text")));
    EXPECT_TRUE(errors.contains(QStringLiteral("Error Description: Not a sound file")));
    // c, the last, is refused too: nothing is left to preload.
    EXPECT_TRUE(errors.contains(QStringLiteral("Variable Data: 5 - ") + Snd("c")));
}

TEST_F(PlayerSeqTest, CommandsDuringASwitchWaitForItToEnd) {
    Manual();
    StartList({Snd("a"), Snd("b"), Snd("c"), Snd("d")});
    player1.SetReadyAfterPolls(6);
    player2.SetReadyAfterPolls(6);
    WritePlaylist(QStringLiteral("other.lst"), {Snd("o1"), Snd("o2")});

    // While a ends and b starts: pause, a skip of the next element, then a
    // recent playlist.
    bool clicked = false;
    bool skipArmed = true;
    bool listRanInSwitch = true;
    window.onRender = [&] {
        if (!engine.ElementChanging || clicked) return;
        clicked = true;
        QTimer::singleShot(0, [&] {
            engine.Operate(PlayerCommand::PauseNow);
            engine.Operate(PlayerCommand::SkipNext);
            engine.RunCommand([&] {
                skipArmed = engine.SkipNextPending;
                listRanInSwitch = engine.ElementChanging;
                engine.LoadRecentPlaylist(session.Player.PlaylistFolder +
                                          QStringLiteral("/other.lst"));
            });
        });
    };
    FinishPlaying();
    window.onRender = {};
    ASSERT_TRUE(clicked);
    Serve();
    // The pause waited and took the element the switch had started; the
    // other list then replaced it whole.
    EXPECT_EQ(ProgramLog(), (QStringList{Started("a"), Started("b"),
                                         QStringLiteral("Playlist paused"), Started("o1")}));
    EXPECT_EQ(Sounding(), 1);
    EXPECT_EQ(player1.FileName(), Snd("o1"));
    EXPECT_EQ(player2.FileName(), Snd("o2"));
    EXPECT_FALSE(skipArmed) << "a skip that comes after the pause is not on offer";
    EXPECT_FALSE(listRanInSwitch) << "the playlist was read in the middle of a switch";
}

TEST_F(PlayerSeqTest, NextCommandClickedDuringTheSwitchThatUsesItDoesWhatItShowed) {
    Manual();
    StartList({Snd("a"), Snd("b"), Snd("c"), Snd("d"), Snd("e")});
    engine.Operate(PlayerCommand::SkipNext);
    ASSERT_TRUE(engine.SkipNextPending);
    // c is being loaded in place of b when the operator, seeing Skip Next
    // still checked, clicks it to cancel.
    player1.SetReadyAfterPolls(6);
    player2.SetReadyAfterPolls(6);
    bool clicked = false;
    watched2.onLoad = [&] {
        if (clicked || player2.FileName() != Snd("b")) return;
        clicked = true;
        QTimer::singleShot(0, [this] {
            EXPECT_TRUE(engine.Display().Command(PlayerCommand::SkipNext).checked);
            engine.Operate(PlayerCommand::SkipNext);
        });
    };
    FinishPlaying();
    watched2.onLoad = {};
    ASSERT_TRUE(clicked);
    Serve();
    EXPECT_EQ(Starts(), (QStringList{Started("a"), Started("c")}));
    EXPECT_FALSE(engine.SkipNextPending) << "the cancel must not arm it again";
    EXPECT_FALSE(engine.Display().Command(PlayerCommand::SkipNext).checked);
    FinishPlaying();
    EXPECT_EQ(Starts().last(), Started("d")) << "only one element is skipped";

    // Arming during a switch arms it for the next one.
    clicked = false;
    window.onRender = [&] {
        if (clicked || !engine.ElementChanging) return;
        clicked = true;
        QTimer::singleShot(0, [this] { engine.Operate(PlayerCommand::ExitNext); });
    };
    FinishPlaying();
    window.onRender = {};
    Serve();
    EXPECT_EQ(Starts().last(), Started("e"));
    EXPECT_TRUE(engine.ExitNextPending);
}

TEST_F(PlayerSeqTest, NothingStartsOnceTheProgramHasEnded) {
    StartList({Snd("a"), Snd("b"), Snd("c")});
    player1.SetReadyAfterPolls(6);
    player2.SetReadyAfterPolls(6);
    NeverStarts(Snd("b"));
    // The end comes while the switch waits on b, which never starts.
    bool ended = false;
    qsizetype loadsAtEnd[2] = {};
    window.onRender = [&] {
        if (ended || !engine.ElementChanging) return;
        ended = true;
        QTimer::singleShot(0, [&] {
            LogEvent(session, QStringLiteral("Program Ended"));
            engine.StopForExit();
            loadsAtEnd[0] = watched1.log.size();
            loadsAtEnd[1] = watched2.log.size();
        });
    };
    FinishPlaying();
    window.onRender = {};
    ASSERT_TRUE(ended);
    Serve();
    EXPECT_EQ(ProgramLog().last(), QStringLiteral("Program Ended"));
    EXPECT_EQ(Sounding(), 0);
    EXPECT_FALSE(engine.ElementChanging);
    EXPECT_EQ(watched1.log.size(), loadsAtEnd[0]) << watched1.log.join(' ').toStdString();
    EXPECT_EQ(watched2.log.size(), loadsAtEnd[1]) << watched2.log.join(' ').toStdString();
    EXPECT_FALSE(ErrorLog().contains(QStringLiteral("Sound file not found")));
    engine.StartPlaylist();
    engine.RunCommand([] { FAIL() << "a command ran after the end"; });
    Serve();
    EXPECT_EQ(Sounding(), 0);
}

TEST_F(PlayerSeqTest, MediaErrorsAreRecordedByTheTable) {
    engine.CurrentElement = 12;
    player1.SetFileName(QStringLiteral("C:\\Sounds\\a.wav"));
    player2.SetFileName(QStringLiteral("/snd/b.wav"));
    const QString notPlayed = QStringLiteral("Program Element not played (see Error Log).");

    player1.RaiseError(media::kFileMissing, QStringLiteral("cannot open :TimeCheck"));
    Serve();
    player1.RaiseError(12345, QStringLiteral("unknown"));
    Serve();
    EXPECT_TRUE(ProgramLog().isEmpty());
    EXPECT_TRUE(ErrorLog().isEmpty());

    player1.RaiseError(media::kFileMissing, QStringLiteral("File not found"));
    Serve();
    EXPECT_EQ(ProgramLog(), QStringList{notPlayed});
    QString log = ErrorLog();
    EXPECT_TRUE(log.contains(QStringLiteral("Error Number:  0\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Error Source: -2147287038 MediaPlayer11\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Error Description: File not found\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Module: MediaPlayer1_Error\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Variable Name: Element/FileName\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Variable Data: 12 - C:\\Sounds\\a.wav\r\n")));

    // Out of memory: error log only. E_FAIL is not spared for a time check.
    player2.RaiseError(media::kOutOfMemory, QStringLiteral("no memory"));
    Serve();
    player2.RaiseError(media::kNotDecodable, QStringLiteral("bad :timecheck"));
    Serve();
    EXPECT_EQ(ProgramLog(), (QStringList{notPlayed, notPlayed}));
    log = ErrorLog();
    EXPECT_TRUE(log.contains(QStringLiteral("Error Source: -2147024882 MediaPlayer21\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Error Source: -2147467259 MediaPlayer21\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Module: MediaPlayer2_Error\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Variable Data: 12 - /snd/b.wav\r\n")));
    EXPECT_EQ(engine.CurrentElement, 12) << "errors change no engine state";
}

}  // namespace
}  // namespace sonavel
