#include "AirStation.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <functional>

namespace sonavel {
namespace {

// Faults outside the sound files themselves, on the real engine: each must
// leave the programme sounding (or, where nothing can sound, come back by
// itself) and be named in the logs.
struct Fault {
    const char* name;
    std::function<void(AirStation&)> run;
    std::function<void(AirStation&, const std::vector<int>& aired)> check;
};

// The error log cannot be written: a folder stands where it should be.
void BreakErrorLog(AirStation& s) {
    QDir().mkpath(s.session->ErrorLogFileName);
}

std::vector<int> Order(const std::vector<int>& aired) {
    std::vector<int> order;
    for (const auto& [k, frames] : AirStation::Runs(aired))
        order.push_back(k);
    return order;
}

TEST(OnAirFaultTest, FaultsOutsideTheSoundNeverSilenceTheStation) {
    const std::vector<Fault> faults{
        {"error log unwritable, last element missing",
         [](AirStation& s) {
             BreakErrorLog(s);
             s.Playlist("Mon1000",
                        {s.Sound("a", 1, 1.0), s.Sound("b", 2, 1.0), s.Path("snd/missing.wav")});
             s.Start();
             s.Play(5.0);
         },
         [](AirStation& s, const std::vector<int>& aired) {
             EXPECT_EQ(AirStation::Silent(aired), 0);
             EXPECT_GE(aired.size(), std::size_t{4} * AirStation::kRate) << "the list restarted";
             EXPECT_FALSE(s.engine && s.engine->ElementChanging);
         }},
        {"error log unwritable, announcement missing",
         [](AirStation& s) {
             BreakErrorLog(s);
             s.Playlist("Mon1000", {s.Sound("a", 1, 1.0), ":TimeCheck", s.Sound("b", 2, 1.0)});
             s.Start();
             s.Play(2.5);
         },
         [](AirStation&, const std::vector<int>& aired) {
             EXPECT_EQ(AirStation::Silent(aired), 0);
             EXPECT_EQ(Order(aired), (std::vector<int>{1, 2, 1}));
         }},
        {"next hour's playlist a folder, error log unwritable",
         [](AirStation& s) {
             BreakErrorLog(s);
             s.At(QTime(10, 59, 57));
             s.Playlist("Mon1000", {s.Sound("a", 1, 2.0), s.Sound("b", 2, 2.0)});
             QDir().mkpath(s.session->Player.PlaylistFolder + "/Mon1100.lst");
             s.Start();
             s.Play(6.0);
             // Put right a little later: the hour is tried again by itself.
             QDir(s.session->Player.PlaylistFolder).rmdir("Mon1100.lst");
             s.Playlist("Mon1100", {s.Sound("c", 3, 2.0)});
             s.Play(6.0);
         },
         [](AirStation& s, const std::vector<int>& aired) {
             const auto runs = AirStation::Runs(aired);
             ASSERT_GE(runs.size(), 4u);
             EXPECT_EQ(runs[0].first, 1);
             EXPECT_EQ(runs[1].first, 2);
             EXPECT_EQ(runs[2].first, 0);
             EXPECT_EQ(runs[3].first, 3) << "the new hour's list once it could be read";
             EXPECT_LE(runs[2].second, 5.3 * AirStation::kRate) << "tried again within 5 s";
             EXPECT_EQ(s.ProgramLog().filter("Silence ended after").size(), 1);
         }},
        {"element missing in the middle of the list",
         [](AirStation& s) {
             s.Playlist("Mon1000", {s.Sound("a", 1, 1.0), s.Path("snd/gone.wav"),
                                    s.Sound("b", 2, 1.0), s.Sound("c", 3, 1.0)});
             s.Start();
             s.Play(2.5);
         },
         [](AirStation& s, const std::vector<int>& aired) {
             EXPECT_EQ(AirStation::Silent(aired), 0);
             EXPECT_EQ(Order(aired), (std::vector<int>{1, 2, 3}));
             EXPECT_EQ(s.ProgramLog().count("Program Element not played (see Error Log)."), 1);
             EXPECT_TRUE(s.ErrorLog().contains(s.Path("snd/gone.wav")));
         }},
        {"next element rewritten in place while queued",
         [](AirStation& s) {
             // Longer than the decoder keeps ahead, so most of it is read
             // after the change.
             s.Playlist("Mon1000", {s.Sound("a", 1, 1.0), s.Sound("b", 2, 6.0),
                                    s.Sound("c", 3, 1.0), s.Sound("d", 4, 5.0)});
             s.Start();
             s.Play(0.5);
             QFile b(s.Path("snd/b.wav"));
             ASSERT_TRUE(b.open(QIODevice::ReadWrite));
             b.seek(4000);
             b.write(QByteArray(2'000'000, 'x'));
             b.close();
             s.Play(8.0);
         },
         [](AirStation& s, const std::vector<int>& aired) {
             EXPECT_EQ(AirStation::Noise(aired), 0) << "what was rewritten reached the air";
             EXPECT_EQ(AirStation::Silent(aired), 0);
             EXPECT_EQ(Order(aired), (std::vector<int>{1, 2, 3, 4}));
             EXPECT_EQ(s.ProgramLog().count("Program Element ended early (see Error Log)."), 1);
             const QString errors = s.ErrorLog();
             EXPECT_TRUE(errors.contains(s.Path("snd/b.wav") + " stops at "))
                 << errors.toStdString();
             EXPECT_TRUE(errors.contains("changed on disk after it was opened"));
         }},
        {"element ends just after the top of the hour",
         [](AirStation& s) {
             s.At(QTime(10, 59, 58));
             s.Playlist("Mon1000", {s.Sound("a", 1, 2.2), s.Sound("b", 2, 1.0)});
             s.Playlist("Mon1100", {s.Sound("c", 3, 1.0)});
             s.Start();
             s.Play(3.0);
         },
         [](AirStation&, const std::vector<int>& aired) {
             EXPECT_EQ(AirStation::Silent(aired), 0);
             EXPECT_EQ(Order(aired), (std::vector<int>{1, 3}))
                 << "the element playing at the top of the hour is followed by the new hour";
         }},
        {"hour's playlist missing for a few seconds",
         [](AirStation& s) {
             s.Start();
             s.Play(3.0);
             s.Playlist("Mon1000", {s.Sound("a", 1, 2.0)});
             s.Play(5.5);
         },
         [](AirStation& s, const std::vector<int>& aired) {
             EXPECT_FALSE(aired.empty()) << "never came on air";
             const QStringList log = s.ProgramLog();
             EXPECT_EQ(log.filter("cannot be located").size(), 1) << "said once, not at every try";
             EXPECT_EQ(log.filter("Silence ended after 5 s").size(), 1)
                 << log.join('\n').toStdString();
         }},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        AirStation station;
        fault.run(station);
        const bool stuck = station.engine && station.engine->ElementChanging;
        EXPECT_FALSE(stuck) << "a switch was left half made";
        fault.check(station, station.Aired());
    }
}

}  // namespace
}  // namespace sonavel
