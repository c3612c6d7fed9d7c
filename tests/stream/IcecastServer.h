#pragma once

// A real Icecast server on 127.0.0.1 for the stream's tests and benchmark:
// a free port, a configuration written into the test's folder, and the
// server's own logs there. Run as root, it gives up its rights to nobody.

#include <unistd.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <chrono>
#include <csignal>
#include <thread>

namespace sonavel::icetest {

class IcecastServer {
  public:
    // Empty when icecast2 is not installed.
    static QString Program() { return QStandardPaths::findExecutable(QStringLiteral("icecast2")); }

    IcecastServer(const QString& folder, const QString& password) : m_folder(folder) {
        QDir().mkpath(folder);
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        // The server writes its logs as nobody when it was started as root:
        // the test's folder lets it through to its own.
        const QString parent = QFileInfo(folder).absolutePath();
        QFile::setPermissions(parent, QFile::permissions(parent) | QFileDevice::ExeOther);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther);
        const QString owner = geteuid() == 0
                                  ? QStringLiteral(
                                        "<changeowner><user>nobody</user><group>nogroup</group>"
                                        "</changeowner>")
                                  : QString();
        QFile config(Config());
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral(
                         "<icecast><location>test</location><admin>test@localhost</admin>"
                         "<limits><clients>20</clients><sources>8</sources>"
                         "<queue-size>4194304</queue-size><client-timeout>30</client-timeout>"
                         "<header-timeout>15</header-timeout><source-timeout>30</source-timeout>"
                         "<burst-on-connect>0</burst-on-connect><burst-size>0</burst-size></limits>"
                         "<authentication><source-password>%1</source-password>"
                         "<admin-user>admin</admin-user><admin-password>%1</admin-password>"
                         "</authentication><hostname>127.0.0.1</hostname>"
                         "<listen-socket><port>%2</port><bind-address>127.0.0.1</bind-address>"
                         "</listen-socket><fileserve>1</fileserve>"
                         "<paths><basedir>/usr/share/icecast2</basedir><logdir>%3</logdir>"
                         "<webroot>/usr/share/icecast2/web</webroot>"
                         "<adminroot>/usr/share/icecast2/admin</adminroot></paths>"
                         "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
                         "<loglevel>3</loglevel></logging>"
                         "<security><chroot>0</chroot>%4</security>"
                         // Titles a quarter of a second apart in MP3 at 128 kbit/s.
                         "<mount><mount-name>/sonavel.mp3</mount-name>"
                         "<mp3-metadata-interval>4096</mp3-metadata-interval></mount>"
                         "</icecast>\n")
                         .arg(password)
                         .arg(m_port)
                         .arg(folder, owner)
                         .toUtf8());
    }
    ~IcecastServer() { Kill(); }
    IcecastServer(const IcecastServer&) = delete;
    IcecastServer& operator=(const IcecastServer&) = delete;

    int Port() const { return m_port; }
    QString Config() const { return QDir(m_folder).filePath(QStringLiteral("icecast.xml")); }

    // Starts the server and returns once it accepts connections (bounded).
    bool Start() {
        m_process.setProgram(Program());
        m_process.setArguments({QStringLiteral("-c"), Config()});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000)) return false;
        for (int i = 0; i < 500; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
            if (socket.waitForConnected(100)) return true;
            if (m_process.state() != QProcess::Running) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Gone at once, as a crash would take it.
    void Kill() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    void Pause() { ::kill(static_cast<pid_t>(m_process.processId()), SIGSTOP); }
    void Continue() { ::kill(static_cast<pid_t>(m_process.processId()), SIGCONT); }
    QString Output() { return QString::fromUtf8(m_process.readAll()); }

    QByteArray Get(const QString& path) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
        if (!socket.waitForConnected(2000)) return {};
        socket.write(
            QStringLiteral("GET %1 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n").arg(path).toUtf8());
        QByteArray reply;
        while (socket.waitForReadyRead(2000))
            reply += socket.readAll();
        reply += socket.readAll();
        const qsizetype body = reply.indexOf("\r\n\r\n");
        return body < 0 ? QByteArray() : reply.mid(body + 4);
    }
    QString AccessLog() const {
        QFile file(QDir(m_folder).filePath(QStringLiteral("access.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

  private:
    QString m_folder;
    int m_port = 0;
    QProcess m_process;
};

}  // namespace sonavel::icetest
