#include "CommonModule.h"
#include "FakeClock.h"
#include "IcecastServer.h"
#include "Listener.h"
#include "ScriptedDialogs.h"
#include "Session.h"
#include "SettingsStore.h"
#include "StreamDecode.h"
#include "TestSounds.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

using namespace sonavel;
using namespace sonavel::icetest;
namespace ts = sonavel::testsounds;

namespace {

constexpr char kPassword[] = "Pw-9f3k";
const std::vector<int> kTones{440, 880, 1320};
const QStringList kNames{"tone-a", "tone-b", "tone-c"};
constexpr std::int64_t kElementFrames = 96000;

// `sonavel air` on a station whose every hour plays three tones of two
// seconds in turn, with the logs on, beside a real Icecast server.
class AirStationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (IcecastServer::Program().isEmpty())
            GTEST_SKIP() << "icecast2 is not installed (scripts/install-deps installs it)";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", m_dir.filePath("run"));
        QDir().mkpath(m_dir.filePath("run"));
        QFile::setPermissions(m_dir.filePath("run"), QFileDevice::ReadOwner |
                                                         QFileDevice::WriteOwner |
                                                         QFileDevice::ExeOwner);
        m_air.setProcessEnvironment(env);
        m_air.setProgram(QStringLiteral(SONAVEL_PROGRAM));

        const QString program = m_dir.filePath("data/Sonavel");
        QDir().mkpath(program + "/Logs");
        QDir().mkpath(program + "/Playlists");
        QDir().mkpath(m_dir.filePath("config/Sonavel"));
        {
            SettingsStore store(m_dir.filePath("config/Sonavel/settings.db"));
            ScriptedDialogs dialogs;
            FakeClock clock;
            Session session(Product::Player, program, store, dialogs, clock);
            SetRegistryDefaults(session);
            store.SaveSetting(kAppName, kPlayerSection, "Program Logging Enabled", "True");
            store.SaveSetting(kAppName, kPlayerSection, "Error Logging Enabled", "True");
        }
        QStringList elements;
        for (std::size_t i = 0; i < kTones.size(); ++i) {
            const QString file = m_dir.filePath(kNames[static_cast<qsizetype>(i)] + ".wav");
            // Off its zero crossings, so a silent frame in the air check is a gap.
            std::vector<float> samples(kElementFrames * 2);
            for (std::int64_t f = 0; f < kElementFrames; ++f) {
                samples[static_cast<std::size_t>(f) * 2] =
                    samples[static_cast<std::size_t>(f) * 2 + 1] =
                        0.3f *
                        static_cast<float>(std::sin(2 * M_PI * kTones[i] * f / 48000.0 + 0.3));
            }
            ASSERT_TRUE(ts::Write(file, samples, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
            elements << file;
        }
        QStringList list;
        for (int n = 0; n < 40; ++n)
            list += elements;
        for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
            for (int hour = 0; hour < 24; ++hour)
                textfile::WriteLines(program + QStringLiteral("/Playlists/%1%2.lst")
                                                   .arg(day)
                                                   .arg(hour * 100, 4, 10, QLatin1Char('0')),
                                     list);
        m_server = std::make_unique<IcecastServer>(m_dir.filePath("server"), kPassword);
    }
    void TearDown() override {
        if (m_air.state() != QProcess::NotRunning) {
            m_air.kill();
            m_air.waitForFinished(5000);
        }
    }

    // Reads the program's output until the condition holds, at most `ms`.
    bool Until(const std::function<bool()>& condition, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > ms) return false;
            m_air.waitForReadyRead(20);
            m_out += QString::fromUtf8(m_air.readAllStandardOutput());
            m_err += QString::fromUtf8(m_air.readAllStandardError());
        }
        return true;
    }
    QString Url(const QString& mount, const QString& password = kPassword) const {
        return QStringLiteral("icecast://source:%1@127.0.0.1:%2%3")
            .arg(password)
            .arg(m_server->Port())
            .arg(mount);
    }
    QString Logs() const {
        QString text;
        QDirIterator it(m_dir.filePath("data/Sonavel/Logs"), QDir::Files);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly)) text += QString::fromUtf8(file.readAll());
        }
        return text;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<IcecastServer> m_server;
    QProcess m_air;
    QString m_out;
    QString m_err;
};

class IcecastStreamTest : public AirStationTest,
                          public ::testing::WithParamInterface<const char*> {};

// What a listener received: the tones in the order they were played, as long
// as they were played, each under its own title.
void CheckProgramme(const QByteArray& audio, const std::vector<Listener::Title>& icyTitles,
                    bool mp3) {
    const Decoded decoded = mp3 ? DecodeMp3(audio) : DecodeOgg(audio);
    std::vector<ToneRun> runs = Tones(decoded, kTones);
    // A decoder's start and a stream's end may be silent; the first and the
    // last tones were cut by the listener's coming and going.
    while (!runs.empty() && runs.front().hz == 0)
        runs.erase(runs.begin());
    while (!runs.empty() && runs.back().hz == 0)
        runs.pop_back();
    ASSERT_GE(runs.size(), 4u) << "received " << decoded.Frames() << " frames";
    runs = std::vector<ToneRun>(runs.begin() + 1, runs.end() - 1);
    std::int64_t frames = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_GT(runs[i].hz, 0) << "silence or a stranger sound at frame " << runs[i].start;
        if (i > 0) {
            const auto at = [](int hz) { return std::find(kTones.begin(), kTones.end(), hz); };
            EXPECT_EQ((at(runs[i - 1].hz) - kTones.begin() + 1) % 3,
                      at(runs[i].hz) - kTones.begin());
        }
        frames += runs[i].frames;
        const QString name =
            kNames[std::find(kTones.begin(), kTones.end(), runs[i].hz) - kTones.begin()];
        const std::int64_t middle = runs[i].start + runs[i].frames / 2;
        QString title;
        std::int64_t titleFrame = -1;
        if (mp3) {
            // 128 kbit/s: 16000 bytes a second.
            for (const Listener::Title& t : icyTitles) {
                const auto frame = static_cast<std::int64_t>(t.audioBytes) * 3;
                if (frame <= middle) {
                    title = t.title;
                    titleFrame = frame;
                }
            }
        } else {
            for (const Decoded::Chain& chain : decoded.chains) {
                if (chain.startFrame <= middle) {
                    title = chain.title;
                    titleFrame = chain.startFrame;
                }
            }
        }
        EXPECT_EQ(title, name);
        // Within a second of the element's start.
        if (titleFrame > 0) {
            EXPECT_LT(std::abs(titleFrame - runs[i].start), 48000);
        }
    }
    const auto played = static_cast<double>(runs.size() * kElementFrames);
    std::string seen;
    for (const ToneRun& run : Tones(decoded, kTones))
        seen += std::to_string(run.hz) + "@" + std::to_string(run.start) + "+" +
                std::to_string(run.frames) + " ";
    EXPECT_NEAR(static_cast<double>(frames), played, played * 0.01) << seen;
}

TEST_P(IcecastStreamTest, ListenersHearTheProgrammeWithItsTitlesAcrossARestartOfTheServer) {
    const QString mount = QStringLiteral("/sonavel.") + GetParam();
    const bool mp3 = mount.endsWith(".mp3");
    ASSERT_TRUE(m_server->Start()) << m_server->Output().toStdString();
    m_air.setArguments(
        {"air", "--for", "26", "--capture", m_dir.filePath("air.wav"), "--stream", Url(mount)});
    m_air.start();
    ASSERT_TRUE(m_air.waitForStarted());
    ASSERT_TRUE(Until([&] { return m_out.contains("Stream connected: "); }, 15000))
        << m_out.toStdString() << m_err.toStdString();
    EXPECT_TRUE(m_out.contains(
        "Stream connected: http://127.0.0.1:" + QString::number(m_server->Port()) + mount));

    auto first = std::make_unique<Listener>(m_server->Port(), mount, mp3);
    // Five elements start while it listens: four whole ones reach it, however
    // far the stream is behind the air.
    const qsizetype started = m_out.count("Program Element: ");
    ASSERT_TRUE(Until([&] { return m_out.count("Program Element: ") >= started + 5; }, 20000));
    EXPECT_TRUE(first->Streaming());
    // The server shows the title too; its Opus reader leaves the comments to the listeners.
    if (!mount.endsWith(".opus")) {
        const QString status = QString::fromUtf8(m_server->Get("/status-json.xsl"));
        EXPECT_TRUE(status.contains("\"title\":\"tone-")) << status.toStdString();
    }

    // The server goes away and comes back: the air plays on, the stream returns.
    m_server->Kill();
    ASSERT_TRUE(Until([&] { return m_out.contains("Stream lost: "); }, 10000))
        << m_out.toStdString();
    ASSERT_TRUE(Until([&] { return first->Ended(); }, 5000));
    ASSERT_TRUE(m_server->Start());
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(Until([&] { return m_out.count("Stream connected: ") == 2; }, 10000))
        << m_out.toStdString();
    EXPECT_LT(back.elapsed(), 5000);
    Listener second(m_server->Port(), mount, mp3);
    ASSERT_TRUE(Until([&] { return m_air.state() == QProcess::NotRunning; }, 40000));
    m_out += QString::fromUtf8(m_air.readAllStandardOutput());
    m_err += QString::fromUtf8(m_air.readAllStandardError());
    EXPECT_EQ(m_air.exitCode(), 0) << m_err.toStdString();
    ASSERT_TRUE(Until([&] { return second.Ended(); }, 5000));

    {
        SCOPED_TRACE("before the restart");
        CheckProgramme(first->Audio(), first->Titles(), mp3);
    }
    {
        SCOPED_TRACE("after the restart");
        CheckProgramme(second.Audio(), second.Titles(), mp3);
    }
    // The air check never missed a frame.
    const std::vector<float> air = ts::ReadAll(m_dir.filePath("air.wav"));
    EXPECT_GT(air.size(), 10u * 48000 * 2);
    EXPECT_TRUE(ts::SilentRuns(air).empty());
    EXPECT_TRUE(m_out.contains("underruns 0 frames")) << m_out.toStdString();

    // One line for each change, in the program log as on the terminal.
    const QString logs = Logs();
    EXPECT_EQ(m_out.count("Stream lost: "), 1) << m_out.toStdString();
    EXPECT_EQ(logs.count("Stream lost: "), 1) << logs.toStdString();
    EXPECT_EQ(logs.count("Stream connected: http://127.0.0.1:"), 2) << logs.toStdString();
    // The password reaches no log and no output.
    for (const QString& text : {m_out, m_err, logs})
        EXPECT_FALSE(text.contains(kPassword)) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Formats, IcecastStreamTest, ::testing::Values("ogg", "opus", "mp3"));

class IcecastLoginTest : public AirStationTest {};

TEST_F(IcecastLoginTest, AWrongPasswordIsLoggedOnceAndTriedAgain) {
    ASSERT_TRUE(m_server->Start());
    m_air.setArguments({"air", "--for", "4", "--stream", Url("/sonavel.ogg", "not-it")});
    m_air.start();
    ASSERT_TRUE(Until([&] { return m_air.state() == QProcess::NotRunning; }, 30000));
    m_out += QString::fromUtf8(m_air.readAllStandardOutput());
    m_err += QString::fromUtf8(m_air.readAllStandardError());
    EXPECT_EQ(m_air.exitCode(), 0);
    EXPECT_EQ(m_out.count("Stream lost: the server refused the login"), 1)
        << m_out.toStdString() << m_server->AccessLog().toStdString();
    EXPECT_FALSE(m_out.contains("Stream connected")) << m_out.toStdString();
    // Tried at once, after one second and after three more: every try refused.
    const QRegularExpression attempts(QStringLiteral("0 connections in (\\d+) attempts"));
    const QRegularExpressionMatch match = attempts.match(m_out);
    ASSERT_TRUE(match.hasMatch()) << m_out.toStdString();
    EXPECT_GE(match.captured(1).toInt(), 2);
    const QStringList errors =
        textfile::ReadLines(m_dir.filePath("data/Sonavel/Logs/Error.log")).filter("refused");
    EXPECT_EQ(errors.size(), 1) << errors.join('\n').toStdString();
    EXPECT_GE(m_server->AccessLog().count("SOURCE /sonavel.ogg"), 2);
    for (const QString& text : {m_out, m_err, Logs()})
        EXPECT_FALSE(text.contains("not-it")) << text.toStdString();
}

// An hour without a playlist is silence on air, and the listeners must hear
// that silence: a source that sends nothing is dropped by the server, and a
// stream that never started could not notice the server going away.
TEST_F(IcecastLoginTest, AnHourWithoutAPlaylistStreamsItsSilence) {
    ASSERT_TRUE(m_server->Start());
    QDir playlists(m_dir.filePath("data/Sonavel/Playlists"));
    for (const QString& name : playlists.entryList(QDir::Files))
        ASSERT_TRUE(playlists.remove(name));
    m_air.setArguments({"air", "--for", "3", "--stream", Url("/sonavel.ogg")});
    m_air.start();
    ASSERT_TRUE(Until([&] { return m_air.state() == QProcess::NotRunning; }, 30000));
    m_out += QString::fromUtf8(m_air.readAllStandardOutput());
    EXPECT_EQ(m_air.exitCode(), 0);
    EXPECT_TRUE(m_out.contains("Stream connected")) << m_out.toStdString();
    const QRegularExpression sent(QStringLiteral("sonavel.ogg: (\\d+) frames sent"));
    const QRegularExpressionMatch match = sent.match(m_out);
    ASSERT_TRUE(match.hasMatch()) << m_out.toStdString();
    // Three seconds paced in real time; a busy machine may lose some of the last.
    EXPECT_GE(match.captured(1).toLongLong(), 48000 * 2) << m_out.toStdString();
}

}  // namespace
