#pragma once

#include "Events.h"
#include "PlayerEngineTest.h"

#include <QFile>

namespace sonavel {

inline QString Snd(const QString& name) {
    return QStringLiteral("/snd/") + name + QStringLiteral(".wav");
}

// The engine on air in automatic mode on a Monday morning, with what a test
// of its sequencing needs: playlists and announcements written, the queued
// reports of the controls served, and the logs read back.
class PlayerSeqTest : public PlayerEngineTest {
  protected:
    PlayerSeqTest() {
        engine.Unattended = true;
        // A Monday morning.
        m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 15, 0)));
    }

    void Manual() {
        engine.ManualMode = true;
        engine.AutomaticMode = false;
    }

    // Both controls fail to open the file, as when it is missing.
    void Missing(const QString& path) {
        for (FakeMediaPlayer* p : {&player1, &player2})
            p->SetFailure(path, media::kFileMissing, QStringLiteral("File not found: ") + path);
    }
    void NeverStarts(const QString& path) {
        player1.SetNeverStarts(path);
        player2.SetNeverStarts(path);
    }

    void WritePlaylist(const QString& name, const QStringList& lines) {
        QFile file(session.Player.PlaylistFolder + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    }
    void WriteAnnouncement(const QString& hhmm) {
        QFile file(session.Player.TimeCheckFolder + QLatin1Char('/') + hhmm +
                   QStringLiteral(".wav"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    // A list read by hand, as after the "Load Playlist" dialog.
    void StartList(const QStringList& elements) {
        engine.ProgramElements = elements;
        engine.LastElement = static_cast<std::int16_t>(elements.size());
        engine.PlaylistFileName = Path(QStringLiteral("hand.lst"));
        engine.PlaylistLoaded = true;
        engine.StartPlaylist();
        Serve();
    }

    // Lets the queued reports of the controls arrive.
    void Serve() {
        for (int i = 0; i < 5; ++i)
            DoEvents();
    }

    // 0 when nothing sounds.
    int Sounding() const {
        const bool one = player1.PlayState() == media::kPlaying;
        const bool two = player2.PlayState() == media::kPlaying;
        EXPECT_FALSE(one && two) << "two elements sound at once";
        return one ? 1 : two ? 2 : 0;
    }
    FakeMediaPlayer& Fake(int p) { return p == 1 ? player1 : player2; }

    void FinishPlaying() {
        const int p = Sounding();
        ASSERT_NE(p, 0) << "nothing is playing";
        Fake(p).Finish();
        Serve();
    }

    // The program log's descriptions, without their time stamps.
    QStringList ProgramLog() const {
        QStringList lines;
        QFile file(session.ProgramLogFileName);
        if (!file.open(QIODevice::ReadOnly)) return lines;
        for (const QString& line :
             QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))) {
            const int at = line.indexOf(QStringLiteral("  "));
            if (at >= 0) lines << line.mid(at + 2);
        }
        return lines;
    }
    QStringList Starts() const { return ProgramLog().filter(QStringLiteral("Program Element: ")); }
    QString ErrorLog() const {
        QFile file(session.ErrorLogFileName);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

}  // namespace sonavel
