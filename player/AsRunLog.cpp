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
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
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

Recorder::~Recorder() {
    // Lines whose last frame never came (the engine went without telling)
    // are closed as well as the clock can.
    while (!m_records.empty())
        CloseByClock(m_records.size() - 1, Ending::Stopped);
}

Recorder::Record* Recorder::Find(int player, quint32 id) {
    for (Record& record : m_records) {
        if (record.player == player && record.id == id) return &record;
    }
    return nullptr;
}

Recorder::Record* Recorder::Latest(int player) {
    for (auto it = m_records.rbegin(); it != m_records.rend(); ++it) {
        if (it->player == player) return &*it;
    }
    return nullptr;
}

bool Recorder::OnAir(int player) const {
    // A record kept after a stop only waits for the output's last word.
    return std::any_of(m_records.begin(), m_records.end(), [player](const Record& record) {
        return record.player == player && !record.stopped;
    });
}

void Recorder::Started(int player, quint32 id, const QString& element, const QString& file,
                       const QString& playlist, qint64 outputFrame) {
    // Without frames a player holds one element at a time, as it reports.
    // With them its previous element may still sound out its tail, and
    // closes when its last frame is known.
    for (std::size_t k = 0; k < m_records.size(); ++k) {
        if (m_records[k].player == player && (!m_records[k].framed || m_records[k].id == id)) {
            CloseByClock(k, Ending::Stopped);
            break;
        }
    }
    Record record;
    record.player = player;
    record.id = id;
    record.framed = outputFrame >= 0;
    record.line.start = m_session.Time().Now();
    record.line.element = element;
    record.line.file = file;
    record.line.playlist = playlist;
    for (auto it = m_pendingMarks.begin(); it != m_pendingMarks.end(); ++it) {
        if (it->first != id) continue;
        record.mark = it->second;
        m_pendingMarks.erase(it);
        break;
    }
    m_records.push_back(std::move(record));
}

QDateTime Recorder::WallTime(qint64 frame, qint64 outputNow, bool boundary) {
    if (frame == m_boundaryFrame && m_boundaryTime.isValid()) return m_boundaryTime;
    // The output is at outputNow at this moment; frame sounded that much earlier.
    const qint64 ago = (std::max<qint64>(0, outputNow - frame) * 1000 + kRate / 2) / kRate;
    QDateTime when = m_session.Time().Now().addMSecs(-ago);
    if (boundary) {
        m_boundaryFrame = frame;
        m_boundaryTime = when;
    }
    return when;
}

QString Recorder::Sounding(int player, quint32 id, qint64 frame, qint64 outputNow) {
    Record* record = Find(player, id);
    if (!record || !record->framed || record->sounded) return {};
    record->sounded = true;
    record->line.start = WallTime(frame, outputNow, true);
    return record->line.element;
}

void Recorder::Quiet(int player, quint32 id, qint64 frame, qint64 frames, bool over,
                     qint64 outputNow) {
    Record* record = Find(player, id);
    if (!record || !record->framed) return;
    const std::size_t index = static_cast<std::size_t>(record - m_records.data());
    if (!over && !record->stopped) {
        record->pausedFrame = frame;
        record->pausedFrames = frames;
        record->pausedTime = WallTime(frame, outputNow, false);
        return;
    }
    if (!over) {
        // Paused as its list was dropped: off the air from here.
        CloseFramed(index, WallTime(frame, outputNow, false), frames);
        return;
    }
    // A paused element cut off later went off the air when it paused.
    if (record->pausedFrame >= 0 && frames <= record->pausedFrames) {
        CloseFramed(index, record->pausedTime, frames);
        return;
    }
    CloseFramed(index, WallTime(frame, outputNow, true), frames);
}

void Recorder::Paused(int player) {
    Record* record = Latest(player);
    if (record && !record->framed && record->pausedSince.isNull())
        record->pausedSince = m_session.Time().Now();
}

void Recorder::Resumed(int player) {
    Record* record = Latest(player);
    if (!record) return;
    record->pausedFrame = -1;
    if (!record->framed) {
        if (record->pausedSince.isNull()) return;
        record->pausedMs +=
            std::max<qint64>(0, record->pausedSince.msecsTo(m_session.Time().Now()));
        record->pausedSince = {};
    }
    record->resumed = true;
}

void Recorder::Mark(int player, quint32 id, Ending ending) {
    Record* record = Find(player, id);
    if (!record) {
        // Reported before its element started: kept for it. A control that
        // does not tell its elements apart (id 0) cannot say which it meant.
        if (id == 0) return;
        const bool known = std::any_of(m_pendingMarks.begin(), m_pendingMarks.end(),
                                       [id](const auto& mark) { return mark.first == id; });
        if (!known) m_pendingMarks.emplace_back(id, ending);
        return;
    }
    if (!record->mark) record->mark = ending;
}

void Recorder::Ended(int player) {
    for (std::size_t k = 0; k < m_records.size(); ++k) {
        if (m_records[k].player == player && !m_records[k].framed) {
            CloseByClock(k, std::nullopt);
            return;
        }
    }
}

void Recorder::StopAll() {
    m_pendingMarks.clear();
    for (std::size_t k = m_records.size(); k-- > 0;) {
        Record& record = m_records[k];
        const bool stoppedBefore = record.stopped;
        record.stopped = true;
        if (!record.framed) {
            CloseByClock(k, Ending::Stopped);
        } else if (!record.sounded) {
            // The output may already have sounded its first frames, with the
            // report still on its way: the record waits for the output's
            // word, which closes it, with no line if nothing sounded. One
            // that waited through an earlier stop never sounded.
            if (stoppedBefore) m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(k));
        } else if (record.pausedFrame >= 0) {
            // Paused before: off the air since its pause.
            const QDateTime end = record.pausedTime;
            const qint64 frames = record.pausedFrames;
            CloseFramed(k, end, frames);
        }
    }
}

void Recorder::CloseFramed(std::size_t index, const QDateTime& end, qint64 frames) {
    Record record = std::move(m_records[index]);
    m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(index));
    // An element that sounded no frame never went to air.
    if (!record.sounded || frames <= 0) return;
    record.line.end = end;
    record.line.seconds = static_cast<double>(frames) / kRate;
    if (record.mark) {
        record.line.ended = *record.mark;
    } else if (record.stopped) {
        record.line.ended = Ending::Stopped;
    } else {
        record.line.ended = record.resumed ? Ending::PausedThenResumed : Ending::Complete;
    }
    Write(record);
}

void Recorder::CloseByClock(std::size_t index, std::optional<Ending> ending) {
    Record record = std::move(m_records[index]);
    m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(index));
    if (record.framed && !record.sounded) return;
    Line& line = record.line;
    line.end = m_session.Time().Now();
    qint64 pausedMs = record.pausedMs;
    if (!record.pausedSince.isNull())
        pausedMs += std::max<qint64>(0, record.pausedSince.msecsTo(line.end));
    // A clock set back while the element played must not give it negative time.
    line.seconds = std::max<qint64>(0, line.start.msecsTo(line.end) - pausedMs) / 1000.0;
    if (record.mark) {
        line.ended = *record.mark;
    } else if (ending) {
        line.ended = *ending;
    } else {
        line.ended = record.resumed ? Ending::PausedThenResumed : Ending::Complete;
    }
    Write(record);
}

void Recorder::Write(Record& record) {
    const Line& line = record.line;
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
