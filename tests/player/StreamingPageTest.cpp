#include "AudioEngine.h"
#include "ErrorModule.h"
#include "Streaming.h"
#include "StreamingPage.h"
#include "StreamingSettings.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>

using namespace sonavel;

namespace {

class StreamingPageTest : public TempFolderTest {
  protected:
    StreamingPageTest() : session(MakeSession(Product::Player)) { UseStationFolders(session); }
    template <typename T>
    T* Get(QWidget& page, const char* name) {
        T* widget = page.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Stored(const char* key) {
        return m_store->GetSetting(kAppName, kStreamingSection, QString::fromLatin1(key));
    }

    Session& session;
};

// The operator fills the page with the keyboard; nothing is stored before
// Apply, and the password is never shown.
TEST_F(StreamingPageTest, TheOperatorsEntriesAreStoredOnApply) {
    StreamingPage page(session);
    page.show();
    auto* enabled = Get<QCheckBox>(page, "checkStreamingEnabled");
    auto* server = Get<QLineEdit>(page, "textStreamingServer");
    auto* port = Get<QSpinBox>(page, "spinStreamingPort");
    auto* mount = Get<QLineEdit>(page, "textStreamingMount");
    auto* password = Get<QLineEdit>(page, "textStreamingPassword");
    auto* format = Get<QComboBox>(page, "comboStreamingFormat");
    auto* bitrate = Get<QSpinBox>(page, "spinStreamingBitrate");
    // The defaults of a station that never streamed.
    EXPECT_FALSE(enabled->isChecked());
    EXPECT_EQ(port->value(), 8000);
    EXPECT_EQ(mount->text(), "/sonavel.ogg");
    EXPECT_EQ(Get<QLineEdit>(page, "textStreamingUser")->text(), "source");
    EXPECT_EQ(format->currentText(), "Ogg Vorbis");
    EXPECT_EQ(bitrate->value(), 128);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    int changes = 0;
    QObject::connect(&page, &StreamingPage::changed, [&] { ++changes; });
    QTest::mouseClick(enabled, Qt::LeftButton);
    QTest::keyClicks(server, "stream.example.org");
    port->selectAll();
    QTest::keyClicks(port, "8010");
    mount->selectAll();
    QTest::keyClicks(mount, "/live.mp3");
    QTest::keyClicks(password, "s3cret");
    EXPECT_NE(password->displayText(), "s3cret");
    // The mount's extension chose the format; the operator may still choose another.
    EXPECT_EQ(format->currentText(), "MP3");
    format->setFocus();
    QTest::keyClick(format, Qt::Key_Home);
    EXPECT_EQ(format->currentText(), "Ogg Vorbis");
    QTest::keyClick(format, Qt::Key_End);
    bitrate->selectAll();
    QTest::keyClicks(bitrate, "96");
    QTest::keyClicks(Get<QLineEdit>(page, "textStreamingName"), "Radio Sonavel");
    EXPECT_GT(changes, 5);
    EXPECT_EQ(Stored("Server"), "") << "nothing is stored before Apply";

    page.Apply();
    EXPECT_EQ(Stored("Enabled"), "True");
    EXPECT_EQ(Stored("Server"), "stream.example.org");
    EXPECT_EQ(Stored("Port"), "8010");
    EXPECT_EQ(Stored("Mount"), "/live.mp3");
    EXPECT_EQ(Stored("Password"), "s3cret");
    EXPECT_EQ(Stored("Format"), "MP3");
    EXPECT_EQ(Stored("Bitrate"), "96");
    EXPECT_EQ(Stored("Name"), "Radio Sonavel");
    EXPECT_EQ(Stored("Public"), "False");

    // Opened again, the page shows what was stored.
    StreamingPage again(session);
    EXPECT_TRUE(Get<QCheckBox>(again, "checkStreamingEnabled")->isChecked());
    EXPECT_EQ(Get<QComboBox>(again, "comboStreamingFormat")->currentText(), "MP3");
    EXPECT_EQ(Get<QLineEdit>(again, "textStreamingPassword")->text(), "s3cret");
}

// Apply puts the stream into effect at once: a server that is not there is
// tried, the state line says so, and the program log has one line for it.
TEST_F(StreamingPageTest, ApplyStartsTheStreamAndTheStateLineFollowsIt) {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 nobody = closed.serverPort();
    closed.close();

    AudioEngine engine{EngineConfig{OutputKind::Virtual, 300, {}}};
    Streaming streaming(session, engine);
    StreamingPage page(session, nullptr, &streaming);
    page.show();
    auto* state = Get<QLabel>(page, "labelStreamingState");
    EXPECT_EQ(state->text(), "Streaming off");

    QTest::mouseClick(Get<QCheckBox>(page, "checkStreamingEnabled"), Qt::LeftButton);
    QTest::keyClicks(Get<QLineEdit>(page, "textStreamingServer"), "127.0.0.1");
    auto* port = Get<QSpinBox>(page, "spinStreamingPort");
    port->selectAll();
    QTest::keyClicks(port, QString::number(nobody));
    QTest::keyClicks(Get<QLineEdit>(page, "textStreamingPassword"), "s3cret");
    page.Apply();
    const QString url = QStringLiteral("http://127.0.0.1:%1/sonavel.ogg").arg(nobody);
    EXPECT_TRUE(state->text() == "Connecting to " + url || state->text().startsWith("Stream lost"))
        << state->text().toStdString();
    QTRY_VERIFY_WITH_TIMEOUT(state->text().startsWith("Stream lost at " + url +
                                                      ": the server "
                                                      "cannot be reached"),
                             5000);
    EXPECT_TRUE(state->text().endsWith("; trying again in 1 s")) << state->text().toStdString();

    // The same settings applied again leave the stream as it is.
    const int attempts = streaming.Outputs().front()->Stats().attempts;
    page.Apply();
    ASSERT_EQ(streaming.Outputs().size(), 1u);
    EXPECT_GE(streaming.Outputs().front()->Stats().attempts, attempts);
    // Off again: the stream stops.
    QTest::mouseClick(Get<QCheckBox>(page, "checkStreamingEnabled"), Qt::LeftButton);
    page.Apply();
    EXPECT_FALSE(streaming.Running());
    EXPECT_EQ(state->text(), "Streaming off");

    const QStringList log = textfile::ReadLines(session.ProgramLogFileName);
    EXPECT_EQ(log.filter("Stream lost: the server cannot be reached").size(), 1)
        << log.join('\n').toStdString();
    for (const QString& line : log)
        EXPECT_FALSE(line.contains("s3cret"));
}

}  // namespace
