#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace sonavel::fuzz {

void EnsureApplication(bool gui) {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "sonavel-fuzz";
    static char* argv[] = {name, nullptr};
    // Leaked on purpose: the application object lives as long as the process,
    // and libFuzzer ends it with exit() from inside the run.
    if (gui) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv);
    } else {
        new QCoreApplication(argc, argv);
    }
}

QString ScratchFolder() {
    static QTemporaryDir* folder = [] {
        auto* dir = new QTemporaryDir;
        if (!dir->isValid()) Fail("no scratch folder", dir->errorString());
        std::atexit([] { delete folder; });
        return dir;
    }();
    return folder->path();
}

QString WriteScratchFile(const QString& name, const QByteArray& bytes) {
    QString path = ScratchFolder() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Fail("cannot write a scratch file", path);
    return path;
}

MsgResult AcceptingDialogs::Message(const MessageRequest& request) {
    ++messages;
    switch (request.buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgResult::Yes;
        case MsgButtons::AbortRetryIgnore:
            return MsgResult::Ignore;
        case MsgButtons::RetryCancel:
            return MsgResult::Cancel;
        case MsgButtons::OK:
        case MsgButtons::OKCancel:
            break;
    }
    return MsgResult::OK;
}

QDateTime StillClock::Now() const {
    return QDateTime(QDate(2026, 12, 7), QTime(10, 30, 0));
}

}  // namespace sonavel::fuzz
