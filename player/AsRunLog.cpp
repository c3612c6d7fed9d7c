#include "AsRunLog.h"

#include "DurableFile.h"
#include "ErrorModule.h"
#include "RuntimeError.h"
#include "Session.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstdlib>
#include <map>

namespace sonavel::asrun {

namespace {

const QString kPrefix = QStringLiteral("AsRun-");
const QString kSuffix = QStringLiteral(".csv");
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

}  // namespace

QString EndingText(Ending ending) {
    switch (ending) {
        case Ending::Complete:
            return QStringLiteral("complete");
        case Ending::PausedThenResumed:
            return QStringLiteral("paused then resumed");
        case Ending::Skipped:
            return QStringLiteral("skipped");
        case Ending::Failed:
            return QStringLiteral("failed");
        case Ending::Stopped:
            return QStringLiteral("stopped");
    }
    return {};
}

QString Header() {
    return QStringLiteral("start,end,seconds,ended,element,file,playlist");
}

QString Field(const QString& text) {
    static const QRegularExpression needsQuotes(QStringLiteral("[,\"\r\n]"));
    if (!text.contains(needsQuotes)) return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString Timestamp(const QDateTime& when) {
    // A local time is written with the offset it had then, so a report
    // across a change to or from summer time still orders and adds up. The
    // offset is always numeric, "+00:00" rather than "Z", so the column
    // reads alike on every station.
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString Record(const Line& line) {
    return QStringList{
        Timestamp(line.start),  Timestamp(line.end), QString::number(line.seconds, 'f', 3),
        EndingText(line.ended), Field(line.element), Field(line.file),
        Field(line.playlist)}
        .join(u',');
}

QString Folder(const QString& programFolder) {
    return programFolder + QStringLiteral("/Logs");
}

QString FileName(const QString& programFolder, const QDate& day) {
    return Folder(programFolder) + u'/' + kPrefix + day.toString(Qt::ISODate) + kSuffix;
}

bool Append(const QString& programFolder, const Line& line) {
    // A folder that cannot be made shows in the append's own failure.
    QDir().mkpath(Folder(programFolder));
    const QString path = FileName(programFolder, line.end.date());
    const FileWriteResult written =
        AppendToFile(path, Record(line).toUtf8() + kLineEnd, Header().toUtf8() + kLineEnd);
    // Standard error hears of the first failure of a run of them, with the
    // system's reason; the recorder tells the program log.
    static bool failing = false;
    if (written.Ok()) {
        failing = false;
    } else if (!failing) {
        failing = true;
        TellStandardError(QStringLiteral("As-run log could not be written: ") + path +
                          QStringLiteral(" (") + written.Reason() + QStringLiteral(")"));
    }
    return written.Ok();
}

QByteArray Read(const QString& programFolder, const QDate& from, const QDate& to,
                QStringList* unreadable) {
    static const QRegularExpression dayName(QStringLiteral("^AsRun-(\\d{4}-\\d\\d-\\d\\d)\\.csv$"),
                                            QRegularExpression::CaseInsensitiveOption);
    std::map<QDate, QString> days;
    const QDir folder(Folder(programFolder));
    // Pipes and devices are listed too, so that one standing where a day's
    // file should be is reported rather than passed over in silence.
    for (const QString& name : folder.entryList(QDir::Files | QDir::System)) {
        const QRegularExpressionMatch match = dayName.match(name);
        if (!match.hasMatch()) continue;
        const QDate day = QDate::fromString(match.captured(1), Qt::ISODate);
        if (day.isValid() && day >= from && day <= to) days[day] = folder.filePath(name);
    }
    const QByteArray header = Header().toUtf8();
    QByteArray records;
    for (const auto& [day, path] : days) {
        QByteArray bytes;
        try {
            bytes = textfile::ReadBytes(path);
        } catch (const RuntimeError&) {
            // The other days still count.
            if (unreadable) *unreadable << path;
            continue;
        }
        if (bytes.startsWith(header)) {
            const qsizetype end = bytes.indexOf('\n');
            bytes.remove(0, end < 0 ? bytes.size() : end + 1);
        }
        // A file cut short by a full disk still ends its last record, so the
        // next day's first line is not glued to it.
        if (!bytes.isEmpty() && !bytes.endsWith('\n')) bytes += kLineEnd;
        records += bytes;
    }
    return records;
}

void Recorder::Started(int player, const QString& element, const QString& file,
                       const QString& playlist) {
    if (OnAir(player)) Close(player, Ending::Stopped);
    Record record;
    record.line.start = m_session.Time().Now();
    record.line.element = element;
    record.line.file = file;
    record.line.playlist = playlist;
    m_records.at(player - 1) = std::move(record);
}

void Recorder::Paused(int player) {
    std::optional<Record>& record = m_records.at(player - 1);
    if (record && record->pausedSince.isNull()) record->pausedSince = m_session.Time().Now();
}

void Recorder::Resumed(int player) {
    std::optional<Record>& record = m_records.at(player - 1);
    if (!record || record->pausedSince.isNull()) return;
    record->pausedMs += std::max<qint64>(0, record->pausedSince.msecsTo(m_session.Time().Now()));
    record->pausedSince = {};
    record->resumed = true;
}

void Recorder::Mark(int player, Ending ending) {
    std::optional<Record>& record = m_records.at(player - 1);
    if (record && !record->mark) record->mark = ending;
}

void Recorder::Ended(int player) {
    Close(player, std::nullopt);
}

void Recorder::StopAll() {
    for (int player = 1; player <= 2; ++player)
        Close(player, Ending::Stopped);
}

void Recorder::Close(int player, std::optional<Ending> ending) {
    std::optional<Record>& record = m_records.at(player - 1);
    if (!record) return;
    Record closing = std::move(*record);
    record.reset();
    Line& line = closing.line;
    line.end = m_session.Time().Now();
    qint64 pausedMs = closing.pausedMs;
    if (!closing.pausedSince.isNull())
        pausedMs += std::max<qint64>(0, closing.pausedSince.msecsTo(line.end));
    // A clock set back while the element played must not give it negative time.
    line.seconds = std::max<qint64>(0, line.start.msecsTo(line.end) - pausedMs) / 1000.0;
    if (closing.mark) {
        line.ended = *closing.mark;
    } else if (ending) {
        line.ended = *ending;
    } else {
        line.ended = closing.resumed ? Ending::PausedThenResumed : Ending::Complete;
    }
    if (Append(m_session.ProgramFolder(), line)) {
        m_failing = false;
        return;
    }
    if (m_failing) return;
    m_failing = true;
    LogEvent(m_session, QStringLiteral("As-run log could not be written: ") +
                            FileName(m_session.ProgramFolder(), line.end.date()));
}

}  // namespace sonavel::asrun
