#include "ClockEstimate.h"

#include "FormatModule.h"
#include "TextFile.h"

#include <QHash>

namespace sonavel {

namespace {

const QString kTwoBlanks = QStringLiteral("  ");
constexpr std::int32_t kBlack = 0;
// An element shorter than this, or an hour long, is no real estimate: it is
// the default of a keyword whose time was never calculated.
constexpr std::int32_t kShortestTime = 2;
constexpr std::int32_t kLongestTime = 3600;

}  // namespace

ClockTimeEstimate ClockEstimate::Estimate(const QString& clockText,
                                          const std::vector<KeywordDefinition>& keywords,
                                          bool haveKeywords) {
    ClockTimeEstimate estimate;
    using Problem = ClockTimeEstimate::Problem;
    if (!haveKeywords) {
        estimate.problem = Problem::NoKeywords;
        return estimate;
    }
    if (clockText.isEmpty()) {
        estimate.problem = Problem::NoClock;
        return estimate;
    }
    // Every keyword must be sound, used or not: the store is one table.
    for (const KeywordDefinition& keyword : keywords) {
        if (keyword.EstimatedTime < kShortestTime || keyword.EstimatedTime >= kLongestTime) {
            estimate.problem = Problem::InvalidTime;
            estimate.invalidKeyword = keyword.Keyword;
            return estimate;
        }
    }

    // The first keyword of the table wins among those that differ only in
    // case or surrounding blanks.
    QHash<QString, const KeywordDefinition*> byName;
    byName.reserve(static_cast<qsizetype>(keywords.size()));
    for (const KeywordDefinition& keyword : keywords) {
        const QString name = TrimBlanks(keyword.Keyword).toString().toLower();
        if (!name.isEmpty() && !byName.contains(name)) byName.insert(name, &keyword);
    }

    estimate.runs.push_back({FormatEstTime(0) + kTwoBlanks, kBlack});
    QString key;
    const QStringView text(clockText);
    qsizetype from = 0;
    while (from <= text.size()) {
        qsizetype end = text.indexOf(kCrLf, from);
        if (end < 0) end = text.size();
        const QStringView line = text.mid(from, end - from);
        from = end + kCrLf.size();
        // Empty and blank lines are no elements, whatever a keyword is called.
        key = TrimBlanks(line).toString().toLower();
        if (key.isEmpty()) continue;
        const auto found = byName.constFind(key);
        if (found == byName.constEnd()) continue;
        const KeywordDefinition& keyword = **found;
        estimate.runs.push_back({keyword.Keyword + kCrLf, keyword.Color});
        estimate.total += keyword.EstimatedTime;
        estimate.runs.push_back({FormatEstTime(estimate.total) + kTwoBlanks, kBlack});
    }
    return estimate;
}

void ClockEstimate::EstimateClockTime(EstimateStart start) {
    // The preview is emptied only when no estimate follows; otherwise it is
    // replaced at once, so that an unchanged preview need not be redrawn.
    // The preview names the same clock as the edit header, after its "Edit: ".
    m_window.SetPreviewHeader(QStringLiteral("Preview: ") + m_window.EditHeader().mid(6));
    m_window.SetEstimatedTimePanel(QStringLiteral("00:00"), false);

    const bool haveKeywords = m_keywords.GetKeywordDefinitions();
    const ClockTimeEstimate estimate =
        Estimate(m_window.EditText(), m_keywords.KeywordDefinitions, haveKeywords);
    if (estimate.problem != ClockTimeEstimate::Problem::None) {
        m_window.ClearPreview();
        if (start == EstimateStart::Command) Report(estimate);
        return;
    }
    m_window.ShowPreview(estimate.runs);
    m_window.SetEstimatedTimePanel(FormatTime(estimate.total), true);
}

void ClockEstimate::Report(const ClockTimeEstimate& estimate) {
    QString text;
    switch (estimate.problem) {
        case ClockTimeEstimate::Problem::NoKeywords:
            text =
                QStringLiteral("Unable to estimate time since there are no Keyword definitions.") +
                kCrLf +
                QStringLiteral("Please run Keyword Maintenance to create keyword definitions.");
            break;
        case ClockTimeEstimate::Problem::NoClock:
            text = QStringLiteral("Unable to estimate time since no Clock is loaded.") + kCrLf +
                   QStringLiteral("Please load a Clock.");
            break;
        case ClockTimeEstimate::Problem::InvalidTime:
            text = QStringLiteral("Unable to estimate time since Keyword") + kCrLf +
                   QLatin1Char('\'') + estimate.invalidKeyword +
                   QStringLiteral("' has an invalid estimated time.") + kCrLf + kCrLf +
                   QStringLiteral("Please run Keyword Maintenance.");
            break;
        case ClockTimeEstimate::Problem::None:
            return;
    }
    m_session.Dlg().MsgBox(text, MsgButtons::OK, MsgIcon::Information,
                           QStringLiteral("Unable to Estimate Time"));
}

}  // namespace sonavel
