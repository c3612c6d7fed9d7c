#include "HourReport.h"

#include "Decoder.h"
#include "FormatModule.h"
#include "PrintModule.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstdlib>

namespace sonavel::hours {

namespace {

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString CsvField(const QString& text) {
    static const QRegularExpression needsQuotes(QStringLiteral("[,\"\r\n]"));
    if (!text.contains(needsQuotes)) return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString Seconds(std::int64_t frames) {
    return QString::number(static_cast<double>(frames) / kRate, 'f', 3);
}

std::int64_t Overlap(std::int64_t a, std::int64_t b, std::int64_t from, std::int64_t to) {
    return std::max<std::int64_t>(0, std::min(b, to) - std::max(a, from));
}

// Why an hour without a list of its own had none.
QString MissingListWhy(const QString& playlist) {
    const QFileInfo info(playlist);
    if (!info.exists()) return QStringLiteral("no playlist ") + info.fileName();
    if (info.isFile() && info.size() == 0)
        return QStringLiteral("blank playlist ") + info.fileName();
    return QStringLiteral("playlist ") + info.fileName() + QStringLiteral(" cannot be read");
}

QString ElementName(const Timeline& timeline, const Aired& aired) {
    return aired.timeCheck ? QStringLiteral("Time Check")
                           : FormatElementName(timeline.files.value(aired.file)).trimmed();
}

}  // namespace

int Timeline::File(const QString& path) {
    const auto at = std::lower_bound(
        m_index.begin(), m_index.end(), path,
        [](const std::pair<QString, int>& entry, const QString& key) { return entry.first < key; });
    if (at != m_index.end() && at->first == path) return at->second;
    const int id = static_cast<int>(files.size());
    files << path;
    m_index.insert(at, {path, id});
    return id;
}

Length DecodedLengths::operator()(const QString& path) {
    const auto at = std::lower_bound(m_known.begin(), m_known.end(), path,
                                     [](const std::pair<QString, Length>& entry,
                                        const QString& key) { return entry.first < key; });
    if (at != m_known.end() && at->first == path) return at->second;
    Length length;
    try {
        const std::unique_ptr<Decoder> decoder = Decoder::Open(path, static_cast<int>(kRate));
        // What the engine plays: the file's frames at the engine's rate.
        length.frames =
            decoder->FileRate() == kRate
                ? decoder->FileFrames()
                : (decoder->FileFrames() * kRate + decoder->FileRate() / 2) / decoder->FileRate();
        if (length.frames <= 0) length.problem = QStringLiteral("it holds no sound");
    } catch (const MediaError& error) {
        length.problem = error.description;
    }
    m_known.insert(at, {path, length});
    return length;
}

QString PlaylistFor(const QString& folder, const QDateTime& top) {
    return folder + u'/' + WeekdayToken(top.date().dayOfWeek() % 7 + 1) +
           TwoDigits(top.time().hour()) + QStringLiteral("00.lst");
}

QString AnnouncementFor(const QString& folder, const QDateTime& at) {
    return folder + u'/' + TwoDigits(at.time().hour()) + TwoDigits(at.time().minute()) +
           QStringLiteral(".wav");
}

QString HourLabel(const QDateTime& top) {
    return WeekdayToken(top.date().dayOfWeek() % 7 + 1) + u' ' + TwoDigits(top.time().hour());
}

std::vector<HourFacts> Summarise(const Timeline& timeline, const LengthOf& lengthOf) {
    std::vector<HourFacts> report;
    report.reserve(static_cast<std::size_t>(timeline.hours));
    for (int h = 0; h < timeline.hours; ++h) {
        HourFacts f;
        f.hour = h;
        const QDateTime top = timeline.firstTop.addSecs(3600LL * h);
        const std::int64_t topFrame = kHourFrames * h;
        const std::int64_t nextTop = topFrame + kHourFrames;
        f.label = HourLabel(top);
        f.playlist = PlaylistFor(timeline.playlistFolder, top);

        const auto run = std::find_if(timeline.runs.begin(), timeline.runs.end(),
                                      [h](const ListRun& r) { return r.hour == h; });
        if (run == timeline.runs.end()) {
            f.silent = true;
            f.why = MissingListWhy(f.playlist);
        } else {
            f.playlist = timeline.files.value(run->list);
            if (run->aired.empty()) {
                f.silent = true;
                f.why = QStringLiteral("none of its elements could play");
            } else {
                const Aired& first = run->aired.front();
                f.late = first.start - topFrame;
                // Once through the list: what aired is counted as it sounded,
                // the rest at its decoded length from where it would have begun.
                std::int64_t at = first.start;
                for (int line = 1; line <= static_cast<int>(run->elements.size()); ++line) {
                    const auto sounded = std::find_if(
                        run->aired.begin(), run->aired.end(),
                        [line](const Aired& a) { return a.pass == 0 && a.element == line; });
                    std::int64_t frames = 0;
                    if (sounded != run->aired.end()) {
                        frames = sounded->end - sounded->start;
                    } else {
                        const int file = run->elements[static_cast<std::size_t>(line - 1)];
                        const QString path =
                            file == Timeline::kTimeCheckLine
                                ? AnnouncementFor(timeline.timeCheckFolder,
                                                  timeline.firstTop.addMSecs(at * 1000 / kRate))
                                : timeline.files.value(file);
                        const Length length = lengthOf(path);
                        if (length.problem.isEmpty()) frames = length.frames;
                    }
                    at += frames;
                    f.length += frames;
                }
                f.overUnder = f.late + f.length - kHourFrames;
                for (const Aired& a : run->aired)
                    f.restarts = std::max(f.restarts, a.pass);
            }
        }

        // What sounded over the hour, whichever list it came from.
        std::int64_t covered = 0;
        const std::int64_t from = std::max(topFrame, timeline.begin);
        const std::int64_t to = std::min(nextTop, timeline.end);
        for (const ListRun& r : timeline.runs) {
            for (const Aired& a : r.aired) {
                covered += Overlap(a.start, a.end, from, to);
                if (a.start < nextTop && a.end > nextTop) {
                    f.across = ElementName(timeline, a);
                    f.acrossFile = timeline.files.value(a.file);
                    f.delay = a.end - nextTop;
                }
            }
        }
        f.silence = std::max<std::int64_t>(0, to - from - covered);
        for (const Passed& p : timeline.passed) {
            if (p.run >= 0 && p.run < static_cast<int>(timeline.runs.size()) &&
                timeline.runs[static_cast<std::size_t>(p.run)].hour == h) {
                f.passed << p.what + QStringLiteral(" (") + p.why + u')';
            }
        }
        report.push_back(std::move(f));
    }
    return report;
}

std::int64_t Badness(const HourFacts& facts) {
    if (facts.silent) return 2 * kHourFrames;
    return std::abs(facts.overUnder) + facts.silence;
}

std::vector<HourFacts> WorstFirst(std::vector<HourFacts> facts) {
    std::stable_sort(facts.begin(), facts.end(), [](const HourFacts& a, const HourFacts& b) {
        return Badness(a) > Badness(b);
    });
    return facts;
}

QString Minutes(std::int64_t frames) {
    const std::int64_t tenths = (std::abs(frames) * 10 + kRate / 2) / kRate;
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

QString Signed(std::int64_t frames) {
    QString magnitude = Minutes(frames);
    if (magnitude == QLatin1String("0:00.0")) return magnitude;
    return (frames < 0 ? u'-' : u'+') + magnitude;
}

QStringList TableLines(const std::vector<HourFacts>& facts, const QStringList& heading) {
    const QStringList titles = {QStringLiteral("Hour"),           QStringLiteral("Length"),
                                QStringLiteral("Over/under"),     QStringLiteral("Late"),
                                QStringLiteral("Across the top"), QStringLiteral("Delays next"),
                                QStringLiteral("Restarts"),       QStringLiteral("Silent")};
    std::vector<QStringList> rows;
    for (const HourFacts& f : facts) {
        if (f.silent) {
            rows.push_back({f.label, QStringLiteral("-"), QStringLiteral("silent"),
                            QStringLiteral("-"),
                            f.across.isEmpty() ? QStringLiteral("-") : f.across,
                            f.across.isEmpty() ? QStringLiteral("-") : Signed(f.delay),
                            QStringLiteral("-"), Minutes(f.silence)});
            continue;
        }
        rows.push_back({f.label, Minutes(f.length), Signed(f.overUnder), Minutes(f.late),
                        f.across.isEmpty() ? QStringLiteral("-") : f.across,
                        f.across.isEmpty() ? QStringLiteral("-") : Signed(f.delay),
                        QString::number(f.restarts), Minutes(f.silence)});
    }
    std::vector<qsizetype> widths;
    for (const QString& title : titles)
        widths.push_back(title.size());
    for (const QStringList& row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[static_cast<std::size_t>(c)] =
                std::max(widths[static_cast<std::size_t>(c)], row[c].size());
    }
    const auto line = [&widths](const QStringList& cells) {
        QString text;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            text += c + 1 == cells.size()
                        ? cells[c]
                        : cells[c].leftJustified(widths[static_cast<std::size_t>(c)] + 2);
        }
        return text;
    };

    QStringList lines = heading;
    lines << QString() << line(titles);
    for (const QStringList& row : rows)
        lines << line(row);

    int over = 0, under = 0, silent = 0, restarts = 0;
    QStringList notes;
    for (const HourFacts& f : facts) {
        if (f.silent) {
            ++silent;
            notes << f.label + QStringLiteral(": silent, ") + f.why;
        } else if (f.overUnder > 0) {
            ++over;
        } else if (f.overUnder < 0) {
            ++under;
        }
        restarts += f.restarts;
        for (const QString& passed : f.passed)
            notes << f.label + QStringLiteral(": passed over ") + passed;
    }
    const QString again = restarts == 0 ? QStringLiteral("no list started again")
                          : restarts == 1
                              ? QStringLiteral("a list started again once")
                              : QStringLiteral("lists started again %1 times").arg(restarts);
    lines << QString()
          << QStringLiteral("%1 over, %2 under, %3 silent; %4.")
                 .arg(over == 1 ? QStringLiteral("1 hour") : QStringLiteral("%1 hours").arg(over))
                 .arg(under)
                 .arg(silent)
                 .arg(again);
    if (!notes.isEmpty()) lines << QString() << notes;
    return lines;
}

QStringList PrintLines(const Report& report) {
    // The first line of the heading is the pages' own.
    QStringList lines = report.heading.mid(1);
    if (!lines.isEmpty()) lines << QString();
    for (const HourFacts& f : report.facts) {
        QString line = f.label + QStringLiteral(": ");
        if (f.silent) {
            line += QStringLiteral("silent, ") + f.why;
        } else {
            line += QStringLiteral("length %1, %2, late %3, restarts %4")
                        .arg(Minutes(f.length), Signed(f.overUnder), Minutes(f.late))
                        .arg(f.restarts);
        }
        if (!f.across.isEmpty()) {
            line += QStringLiteral("; across the top %1, %2").arg(f.across, Signed(f.delay));
        }
        if (f.silence > 0) line += QStringLiteral("; silence %1").arg(Minutes(f.silence));
        lines << line;
        for (const QString& passed : f.passed)
            lines << QStringLiteral("    passed over ") + passed;
    }
    return lines;
}

void PrintReport(Session& session, const Report& report, const QString& shownText) {
    PrintInstance instance;
    instance.procedure = QStringLiteral("PrintHourReport");
    instance.variable = QStringLiteral("Report");
    instance.variableData = report.heading.value(0);
    instance.guard = [shownText] { return shownText; };
    instance.bodyLines = [report] { return PrintLines(report); };
    instance.caption = QStringLiteral("Now Printing Hour Report");
    instance.title = QStringLiteral("Sonavel Hour Report");
    instance.secondLine = report.heading.value(0);
    PrintText(session, instance);
}

QString CsvHeader() {
    return QStringLiteral(
        "hour,playlist,silent,late_s,length_s,over_under_s,across_top,across_file,delays_next_s,"
        "restarts,silence_s,passed_over");
}

QString Csv(const std::vector<HourFacts>& facts) {
    QString text = CsvHeader() + QStringLiteral("\r\n");
    for (const HourFacts& f : facts) {
        text += QStringList{CsvField(f.label),
                            CsvField(f.playlist),
                            f.silent ? CsvField(f.why) : QString(),
                            Seconds(f.late),
                            Seconds(f.length),
                            Seconds(f.overUnder),
                            CsvField(f.across),
                            CsvField(f.acrossFile),
                            Seconds(f.delay),
                            QString::number(f.restarts),
                            Seconds(f.silence),
                            CsvField(f.passed.join(QStringLiteral("; ")))}
                    .join(u',') +
                QStringLiteral("\r\n");
    }
    return text;
}

}  // namespace sonavel::hours
