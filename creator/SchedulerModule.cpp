#include "SchedulerModule.h"

#include "Events.h"
#include "FormatModule.h"
#include "TextFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <chrono>
#include <cmath>
#include <random>

namespace sonavel {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kNotUsed = QStringLiteral("No");
const QString kUsed = QStringLiteral("Yes");

// A folder of 100,000 entries must not spend its time in the event loop, yet
// the status window has to stay responsive: serve events a few times a
// second rather than after every entry.
constexpr qint64 kYieldEveryMs = 20;

QString TrimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

}  // namespace

SchedulerModule::SchedulerModule(Session& session, KeywordModule& keywords, ClockModule& clocks,
                                 RandomSource random)
    : m_session(session), m_keywords(keywords), m_clocks(clocks), m_random(std::move(random)) {
    if (!m_random) {
        m_ownRandom = true;
        Randomize();
        m_random = [this] { return std::uniform_real_distribution<double>(0.0, 1.0)(m_engine); };
    }
}

void SchedulerModule::Randomize() {
    if (!m_ownRandom) return;
    // random_device alone may be a fixed sequence on some libraries; the
    // clock's nanoseconds keep two runs apart even then.
    std::random_device device;
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), device(), static_cast<std::uint32_t>(ticks),
                       static_cast<std::uint32_t>(ticks >> 32)};
    m_engine.seed(seed);
}

bool SchedulerModule::ScanKeywordFolders() {
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (KeywordDefinition& keyword : m_keywords.KeywordDefinitions) {
        keyword.Files = {QStringList(), QStringList()};
        // QDir of an empty path is the working folder, which is no keyword's.
        QStringList entries;
        if (!keyword.Folder.isEmpty()) {
            // Files only: folders, symbolic links to folders, hidden entries,
            // devices, sockets and dangling links stay out, so nothing is
            // followed and a link loop is just an entry that is left out.
            entries =
                QDir(keyword.Folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
        }
        if (entries.isEmpty()) {
            ShowInvalidFolder(keyword);
            return false;
        }
        QStringList& names = keyword.Files[kNameRow];
        for (const QString& entry : entries) {
            if (IsSoundFile(entry)) names.append(entry);
            if (sinceYield.elapsed() >= kYieldEveryMs) {
                DoEvents();
                sinceYield.restart();
            }
        }
        if (names.isEmpty()) {
            ShowFolderNotFound(keyword);
            return false;
        }
        keyword.Files[kUsedRow] = QStringList(names.size(), kNotUsed);
    }
    return true;
}

void SchedulerModule::ShowInvalidFolder(const KeywordDefinition& keyword) {
    if (m_hideStatus) m_hideStatus();
    m_session.Dlg().MsgBox(QStringLiteral("Invalid folder: ") + keyword.Folder + kCrLf + kCrLf +
                               QStringLiteral("Keyword: ") + keyword.Keyword + kCrLf + kCrLf +
                               QStringLiteral("Folder not found or folder contains no valid "
                                              "files") +
                               kCrLf + kCrLf + QStringLiteral("Run Keyword Maintenance"),
                           MsgButtons::OK, MsgIcon::Information, QStringLiteral("Invalid Folder"));
}

void SchedulerModule::ShowFolderNotFound(const KeywordDefinition& keyword) {
    if (m_hideStatus) m_hideStatus();
    m_session.Dlg().MsgBox(
        QStringLiteral("Folder not found (or defined) or contains no valid files.") + kCrLf +
            kCrLf + QStringLiteral("Keyword: '") + keyword.Keyword + QStringLiteral("'") + kCrLf +
            kCrLf + QStringLiteral("Run Keyword Maintenance"),
        MsgButtons::OK, MsgIcon::Information, QStringLiteral("Folder Not Found"));
}

void SchedulerModule::WritePlaylist(const QString& playlistPath, const QStringList& lines) {
    // An .m3u list never carries comments, even if the setting was switched
    // on behind the options window's back.
    const bool m3u = playlistPath.endsWith(QStringLiteral(".m3u"), Qt::CaseInsensitive);
    const QString text = PlaylistText(lines, m_session.Creator.IncludeComments && !m3u);
    textfile::WriteAll(playlistPath, text);
}

QString SchedulerModule::PlaylistText(const QStringList& lines, bool includeComments) {
    QString text;
    for (const QString& entry : lines) {
        if (entry.isEmpty()) {
            text += kCrLf;
            continue;
        }
        if (TrimBlanks(entry).toLower() == QStringLiteral(":timecheck")) {
            text += QStringLiteral(":TimeCheck") + kCrLf;
            continue;
        }
        KeywordDefinition* keyword = Lookup(entry);
        // Clocks are checked when read, so only a clock built elsewhere gets here.
        if (!keyword || keyword->Files.size() <= kUsedRow || keyword->Files[kNameRow].isEmpty()) {
            continue;
        }
        if (includeComments) text += QStringLiteral("' ") + keyword->Description + kCrLf;
        const qsizetype chosen = ChooseFile(*keyword);
        text += ElementPath(keyword->Folder, keyword->Files[kNameRow][chosen]) + kCrLf;
    }
    return text;
}

KeywordDefinition* SchedulerModule::Lookup(const QString& name) {
    for (KeywordDefinition& definition : m_keywords.KeywordDefinitions) {
        if (definition.Keyword.compare(name, Qt::CaseInsensitive) == 0) return &definition;
    }
    return nullptr;
}

qsizetype SchedulerModule::Draw(qsizetype count) {
    // Rounding halves to even gives the two end candidates half the weight
    // of the others; that is the rule, kept as it stands.
    const double scaled = m_random() * static_cast<double>(count - 1);
    const double rounded = std::nearbyint(scaled);
    // A source that strays outside [0, 1) must not index outside the table.
    if (!(rounded >= 0)) return 0;
    if (rounded > static_cast<double>(count - 1)) return count - 1;
    return static_cast<qsizetype>(rounded);
}

qsizetype SchedulerModule::ChooseFile(KeywordDefinition& keyword) {
    QStringList& used = keyword.Files[kUsedRow];
    const qsizetype count = used.size();
    qsizetype i = Draw(count);
    qsizetype tries = 0;
    while (used[i] != kNotUsed && tries != count - 1) {
        i = Draw(count);
        ++tries;
    }
    // Out of redraws: the keyword starts afresh, and the last draw stands
    // even when it found a file already used.
    if (tries >= count - 1) {
        for (QString& flag : used) {
            if (flag == kUsed) flag = kNotUsed;
        }
    }
    used[i] = kUsed;
    return i;
}

QString SchedulerModule::ElementPath(const QString& folder, const QString& fileName) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

}  // namespace sonavel
