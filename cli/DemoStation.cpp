#include "DemoStation.h"

#include "ClockModule.h"
#include "Color.h"
#include "CommonModule.h"
#include "DemoSounds.h"
#include "FormatModule.h"
#include "KeywordModule.h"
#include "LoudnessSettings.h"
#include "ProgramSettings.h"
#include "RuntimeError.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TextFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace sonavel {

namespace {

using demo::Sound;

// Music at a rate that sounds like music yet keeps the demo small; the time
// checks, 1,440 of them and each as long as a station's, at telephone
// quality (8 kHz mu-law).
constexpr int kMusicRate = 22050;
constexpr int kTimeCheckRate = 8000;

const QString kTimeCheckKeyword = QStringLiteral(":TimeCheck");

struct DemoKeyword {
    QString name;
    QString description;
    Color color;
    QString notes;
};

const DemoKeyword kMusicBedA{QStringLiteral("Music Bed A"), QStringLiteral("Calm chord pads"),
                             Color{30, 90, 200}, QStringLiteral("Pads in four keys, 20 to 40 s")};
const DemoKeyword kMusicBedB{QStringLiteral("Music Bed B"), QStringLiteral("Plucked arpeggios"),
                             Color{30, 150, 60},
                             QStringLiteral("Arpeggios in four keys, 22 to 38 s")};
const DemoKeyword kJingle{QStringLiteral("Jingle"), QStringLiteral("Rising chimes"),
                          Color{230, 130, 0}, QStringLiteral("3 to 6 s")};
const DemoKeyword kStationId{QStringLiteral("Station ID"), QStringLiteral("Station identification"),
                             Color{200, 30, 40}, QStringLiteral("2 to 4 s")};
const DemoKeyword kPromo{QStringLiteral("Promo"), QStringLiteral("Programme promotions"),
                         Color{130, 40, 170}, QStringLiteral("8 to 12 s")};
// A clock's time-check line names a keyword like any other line, and the
// run insists on its folder holding sound files: the announcements' folder
// serves.
const DemoKeyword kTimeCheck{kTimeCheckKeyword, QStringLiteral("Time announcement"),
                             Color{100, 100, 100}, QStringLiteral("The Time Check Folder")};

const QStringList kStationIdTexts = {
    QStringLiteral("You are listening to Sonavel demo radio."),
    QStringLiteral("Sonavel demo radio."),
    QStringLiteral("This is Sonavel demo radio, all day long."),
};
const QStringList kPromoTexts = {
    QStringLiteral("Weekday mornings from six: the breakfast hours on Sonavel demo radio."),
    QStringLiteral("Music, jingles and the time, every hour of the week. Sonavel demo radio."),
    QStringLiteral("Tomorrow morning, wake up with Sonavel demo radio."),
};

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// The spoken time in three pieces, so 85 recordings make up 1,440
// announcements: "Sonavel demo radio.", "It is 9" and "oh 5".
const QString kTimeCheckIntro = QStringLiteral("Sonavel demo radio.");
QString HourText(int hour) {
    return QStringLiteral("It is %1").arg(hour);
}
QString MinuteText(int minute) {
    if (minute == 0) return QStringLiteral("o'clock");
    if (minute < 10) return QStringLiteral("oh %1").arg(minute);
    return QString::number(minute);
}

// The hour's lines, repeated until they fill more than an hour: a playlist
// that runs out before the hour ends starts again and logs an error.
QStringList ClockLines(const QStringList& heading, const QStringList& block, int blocks,
                       int timeCheckEvery) {
    QStringList lines = heading;
    for (int b = 0; b < blocks; ++b) {
        if (b % timeCheckEvery == 0) lines << kTimeCheckKeyword;
        lines << block;
    }
    return lines;
}

class DemoWriter {
  public:
    DemoWriter(Session& session, QTextStream& err) : m_session(session), m_err(err) {}

    void Run(bool speech);
    qint64 Bytes() const { return m_bytes; }
    int Files() const { return m_files; }
    bool Spoken() const { return m_spoken; }

  private:
    QString SoundFolder(const DemoKeyword& keyword) const {
        return m_session.ProgramFolder() + QStringLiteral("/Sounds/") + keyword.name;
    }
    void Write(const QString& path, const Sound& sound,
               demo::WavSamples samples = demo::WavSamples::Pcm16);
    void WriteKeyword(const DemoKeyword& keyword, const QString& folder,
                      const std::vector<std::pair<QString, Sound>>& sounds);
    void StoreKeyword(const DemoKeyword& keyword, const QString& folder, std::int64_t totalSeconds,
                      std::int64_t files);
    void WriteTimeChecks(const Sound& intro, const std::vector<Sound>& hours,
                         const std::vector<Sound>& minutes);
    void WriteClocks();
    void Progress(const QString& line) {
        m_err << line << '\n';
        m_err.flush();
    }

    Session& m_session;
    QTextStream& m_err;
    std::unique_ptr<KeywordModule> m_keywords;
    qint64 m_bytes = 0;
    int m_files = 0;
    bool m_spoken = false;
};

void DemoWriter::Write(const QString& path, const Sound& sound, demo::WavSamples samples) {
    if (const int error = demo::WriteWav(path, sound, samples)) throw FileWriteError(path, error);
    m_bytes += QFileInfo(path).size();
    ++m_files;
}

// A file's length as Keyword Maintenance measures it: whole seconds, halves
// to even. The stored time is the average of these, rounded down, so the
// demo stores what a station's own calculation would.
std::int64_t WholeSeconds(const Sound& sound) {
    return static_cast<std::int64_t>(std::nearbyint(sound.Seconds()));
}

void DemoWriter::WriteKeyword(const DemoKeyword& keyword, const QString& folder,
                              const std::vector<std::pair<QString, Sound>>& sounds) {
    QDir().mkpath(folder);
    std::int64_t seconds = 0;
    for (const auto& [name, sound] : sounds) {
        Write(folder + QLatin1Char('/') + name + QStringLiteral(".wav"), sound);
        seconds += WholeSeconds(sound);
    }
    StoreKeyword(keyword, folder, seconds, static_cast<std::int64_t>(sounds.size()));
}

void DemoWriter::StoreKeyword(const DemoKeyword& keyword, const QString& folder,
                              std::int64_t totalSeconds, std::int64_t files) {
    // The list entry first, then the keyword's own section: a keyword counts
    // once its section holds a colour. A failure has been reported by the
    // store's error box and ends the demo.
    if (!m_keywords->AddKeywordEntry(keyword.name)) {
        throw MakeError(err::kPathFileAccess, m_session.Store().Path());
    }
    ++m_keywords->LastKeywordNumber;
    KeywordDefinition definition = KeywordModule::NewKeyword(keyword.name, folder);
    definition.Description = keyword.description;
    definition.Color = keyword.color.Stored();
    definition.EstimatedTime = static_cast<std::int32_t>(files > 0 ? totalSeconds / files : 0);
    definition.Notes = keyword.notes;
    m_session.Store().ReplaceSection(
        QString::fromLatin1(kKeywordApp), keyword.name,
        StoredRows(SettingFields<KeywordDefinition>(kKeywordFields), definition));
}

void DemoWriter::WriteTimeChecks(const Sound& intro, const std::vector<Sound>& hours,
                                 const std::vector<Sound>& minutes) {
    const QString folder = m_session.Player.TimeCheckFolder;
    QDir().mkpath(folder);
    std::int64_t seconds = 0;
    // The tones repeat every twelve hours and five minutes.
    std::map<std::pair<int, int>, Sound> tones;
    for (int h = 0; h < 24; ++h) {
        for (int m = 0; m < 60; ++m) {
            const bool spoken = !intro.samples.empty() && !hours.empty() &&
                                !hours[h].samples.empty() && !minutes[m].samples.empty();
            Sound sound;
            if (spoken) {
                sound = demo::Join({intro, demo::Join({hours[h], minutes[m]}, 0.06)}, 0.25);
            } else {
                auto [tone, made] = tones.try_emplace({h % 12, m / 5});
                if (made) tone->second = demo::TimeTones(h, m, kTimeCheckRate);
                sound = tone->second;
            }
            Write(folder + QLatin1Char('/') + TwoDigits(h) + TwoDigits(m) + QStringLiteral(".wav"),
                  sound, demo::WavSamples::MuLaw);
            seconds += WholeSeconds(sound);
        }
    }
    StoreKeyword(kTimeCheck, folder, seconds, std::int64_t{24} * 60);
}

void DemoWriter::WriteClocks() {
    ClockModule clocks(m_session, *m_keywords);
    // About 110 s a block, 36 blocks: just over the hour.
    textfile::WriteLines(
        clocks.DefaultClockPath(),
        ClockLines({QStringLiteral("' Sonavel demo station: the default clock, for every hour "
                                   "without a clock of its own."),
                    QStringLiteral("' A block of about two minutes, repeated to fill the hour; "
                                   "the time every third block.")},
                   {kStationId.name, kMusicBedA.name, kJingle.name, kMusicBedB.name, kPromo.name,
                    kMusicBedA.name},
                   36, 3));
    const QStringList morning =
        ClockLines({QStringLiteral("' Sonavel demo station: weekday mornings, with more jingles "
                                   "and the time every other block.")},
                   {kJingle.name, kMusicBedB.name, kStationId.name, kMusicBedB.name, kPromo.name,
                    kJingle.name, kMusicBedA.name},
                   34, 2);
    const QString folder = m_session.Creator.ClockFolder;
    QDir().mkpath(folder);
    for (int day = 2; day <= 6; ++day) {
        for (int hour = 6; hour <= 9; ++hour) {
            textfile::WriteLines(folder + QLatin1Char('/') + WeekdayToken(day) + TwoDigits(hour) +
                                     QStringLiteral("00.clk"),
                                 morning);
        }
    }
}

void DemoWriter::Run(bool speech) {
    m_keywords = std::make_unique<KeywordModule>(m_session);

    std::vector<Sound> spoken;
    if (speech && demo::SpeechAvailable()) {
        Progress(QStringLiteral("Speaking station IDs, promos and time checks with espeak-ng"));
        QStringList texts = kStationIdTexts + kPromoTexts;
        texts << kTimeCheckIntro;
        for (int h = 0; h < 24; ++h)
            texts << HourText(h);
        for (int m = 0; m < 60; ++m)
            texts << MinuteText(m);
        spoken = demo::Speak(texts);
    }
    // espeak-ng may be installed without a voice that works: then the tones stand in.
    m_spoken = std::any_of(spoken.begin(), spoken.end(),
                           [](const Sound& sound) { return !sound.samples.empty(); });
    auto speechAt = [&](qsizetype index) {
        return m_spoken ? spoken[static_cast<std::size_t>(index)] : Sound{};
    };

    Progress(QStringLiteral("Writing music beds, jingles, station IDs and promos"));
    std::vector<std::pair<QString, Sound>> sounds;
    struct Key {
        const char* name;
        int root;
        bool minor;
        double seconds;
    };
    for (const Key& k : {Key{"A major", -12, false, 20}, Key{"D major", -7, false, 26},
                         Key{"E minor", -5, true, 33}, Key{"B minor", -10, true, 40}}) {
        sounds.emplace_back(QStringLiteral("Bed A%1 - %2").arg(sounds.size() + 1).arg(k.name),
                            demo::ChordPad(k.root, k.minor, k.seconds, kMusicRate));
    }
    WriteKeyword(kMusicBedA, SoundFolder(kMusicBedA), sounds);

    sounds.clear();
    int bpm = 90;
    for (const Key& k : {Key{"C major", -9, false, 22}, Key{"G major", -14, false, 28},
                         Key{"A minor", -12, true, 35}, Key{"E-flat major", -6, false, 38}}) {
        sounds.emplace_back(QStringLiteral("Bed B%1 - %2").arg(sounds.size() + 1).arg(k.name),
                            demo::Arpeggio(k.root, k.minor, k.seconds, bpm, kMusicRate));
        bpm += 10;
    }
    WriteKeyword(kMusicBedB, SoundFolder(kMusicBedB), sounds);

    sounds.clear();
    const std::vector<std::vector<int>> jingles = {
        {0, 4, 7, 12}, {-5, -1, 2, 7, 11}, {-3, 0, 4, 9, 12, 16}, {2, 6, 9, 14, 18, 21, 26}};
    for (std::size_t j = 0; j < jingles.size(); ++j) {
        // 3, 4, 5 and 6 seconds: the notes rise, then the last rings out.
        const double noteSeconds = 0.25 + 0.05 * double(j);
        const double ring = 3.0 + double(j) - noteSeconds * double(jingles[j].size() - 1);
        sounds.emplace_back(QStringLiteral("Jingle %1").arg(j + 1),
                            demo::Chime(jingles[j], noteSeconds, ring, kMusicRate));
    }
    WriteKeyword(kJingle, SoundFolder(kJingle), sounds);

    sounds.clear();
    for (qsizetype i = 0; i < kStationIdTexts.size(); ++i) {
        const Sound chime =
            demo::Chime({-2, 3, -2 + 12 * int(i % 2)}, 0.35, 1.3 + 0.6 * i, kMusicRate);
        Sound id = demo::Resampled(speechAt(i), kMusicRate);
        if (id.samples.empty()) {
            id = chime;
        } else {
            demo::MixInto(id, chime, 0.25f);
        }
        sounds.emplace_back(QStringLiteral("Station ID %1").arg(i + 1), id);
    }
    WriteKeyword(kStationId, SoundFolder(kStationId), sounds);

    sounds.clear();
    for (qsizetype i = 0; i < kPromoTexts.size(); ++i) {
        const Sound voice = demo::Resampled(speechAt(kStationIdTexts.size() + i), kMusicRate);
        const double seconds = std::max(8.0 + 2.0 * double(i), voice.Seconds() + 2.5);
        Sound promo = demo::Arpeggio(-9 + 2 * int(i), i == 1, seconds, 120, kMusicRate);
        if (!voice.samples.empty()) {
            // The voice over the music, which steps back while it speaks.
            for (float& s : promo.samples)
                s *= 0.35f;
            demo::MixInto(promo, voice, 0.9f);
        }
        sounds.emplace_back(QStringLiteral("Promo %1").arg(i + 1), promo);
    }
    WriteKeyword(kPromo, SoundFolder(kPromo), sounds);

    Progress(QStringLiteral("Writing the 1,440 time checks"));
    Sound intro;
    std::vector<Sound> hours;
    std::vector<Sound> minutes;
    if (m_spoken) {
        const qsizetype first = kStationIdTexts.size() + kPromoTexts.size();
        intro = demo::Resampled(speechAt(first), kTimeCheckRate);
        for (int h = 0; h < 24; ++h)
            hours.push_back(demo::Resampled(speechAt(first + 1 + h), kTimeCheckRate));
        for (int m = 0; m < 60; ++m)
            minutes.push_back(demo::Resampled(speechAt(first + 25 + m), kTimeCheckRate));
    }
    WriteTimeChecks(intro, hours, minutes);

    Progress(QStringLiteral("Writing the clocks"));
    WriteClocks();
}

// The defaults of both programs, then what makes the demo play by itself.
void WriteDemoSettings(Session& session) {
    SetRegistryDefaults(session);
    for (const auto& [field, on] :
         {std::pair{&playerfield::Automatic, true}, std::pair{&playerfield::Manual, false},
          std::pair{&playerfield::DisplaySplash, false},
          std::pair{&playerfield::ProgramLoggingEnabled, true},
          std::pair{&playerfield::ErrorLoggingEnabled, true}}) {
        WriteSetting(session, kPlayerSettings, *field, on);
    }
    WriteSetting(session, kCreatorSettings, creatorfield::DisplaySplash, false);
    // Its jingles, beds, voices and time checks are made at different levels,
    // as a station's files come: evened out on air, they sound as one station.
    LoudnessSettings loudness;
    loudness.Enabled = true;
    WriteLoudnessSettings(session, loudness);
    // The folders stay at their defaults, where the sounds and clocks go.
    session.Player.TimeCheckFolder = DefaultText(playerfield::TimeCheckFolder, session);
    session.Creator.ClockFolder = DefaultText(creatorfield::ClockFolder, session);
    const QString folder = session.ProgramFolder();
    QDir().mkpath(folder);
    for (const QString& working : WorkingFolders(session))
        QDir().mkpath(working);
}

}  // namespace

StationPaths DemoStationPaths(const QString& dir) {
    const QString root = QFileInfo(dir).absoluteFilePath();
    // No lock of its own: programs reach a demo station through their
    // environment, and Creator's lock stays the user's.
    return {root + QStringLiteral("/config/Sonavel/settings.db"),
            root + QStringLiteral("/data/Sonavel"), QString()};
}

int WriteDemoStation(const QString& dir, const DemoOptions& options, Dialogs& dialogs,
                     QTextStream& out, QTextStream& err) {
    const QFileInfo info(dir);
    const bool usable = !info.exists() ||
                        (info.isDir() && QDir(dir).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                           QDir::Hidden | QDir::System));
    if (!usable) {
        err << "sonavel: demo-station: " << dir
            << " is not an empty folder.\nGive a new or empty folder: a demo station is never "
               "written over existing files.\n";
        err.flush();
        return 1;
    }
    if (!QDir().mkpath(dir)) {
        err << "sonavel: demo-station: cannot create " << dir << '\n';
        err.flush();
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    const StationPaths paths = DemoStationPaths(dir);
    try {
        SettingsStore store(paths.settingsFile);
        SystemClock clock;
        Session session(Product::Creator, paths.programFolder, store, dialogs, clock);
        WriteDemoSettings(session);
        DemoWriter writer(session, err);
        writer.Run(options.speech);
        const QString root = QFileInfo(dir).absoluteFilePath();
        out << "Demo station written to " << root << ": " << writer.Files() << " sound files, "
            << QString::number(double(writer.Bytes()) / 1e6, 'f', 1) << " MB, "
            << (writer.Spoken() ? "spoken by espeak-ng" : "tones") << ", "
            << QString::number(double(timer.elapsed()) / 1000.0, 'f', 1) << " s.\n"
            << "Create its playlists, then start Player on it:\n"
            << "  XDG_CONFIG_HOME=" << root << "/config XDG_DATA_HOME=" << root
            << "/data sonavel create-playlists --yes\n"
            << "  XDG_CONFIG_HOME=" << root << "/config XDG_DATA_HOME=" << root
            << "/data sonavel-player\n";
        out.flush();
        return 0;
    } catch (const StoreError& error) {
        err << "sonavel: demo-station: the settings file cannot be written: " << error.Path()
            << '\n'
            << error.Reason() << '\n';
    } catch (const RuntimeError& error) {
        err << "sonavel: demo-station: " << error.Description() << '\n';
    }
    err.flush();
    return 1;
}

}  // namespace sonavel
