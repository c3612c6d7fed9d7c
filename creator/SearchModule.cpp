#include "SearchModule.h"

#include <algorithm>

namespace sonavel {

namespace {

bool IsWordCharacter(const QString& text, qsizetype at) {
    return at >= 0 && at < text.size() && text.at(at).isLetterOrNumber();
}

}  // namespace

qsizetype SearchModule::FindText(const QString& text, const QString& what, qsizetype start,
                                 qsizetype end, int options) {
    end = std::min(end, text.size());
    if (what.isEmpty() || start < 0 || start >= end) return -1;
    const Qt::CaseSensitivity cs =
        (options & searchflag::kMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QStringView range = QStringView(text).left(end);
    for (qsizetype at = range.indexOf(what, start, cs); at >= 0;
         at = range.indexOf(what, at + 1, cs)) {
        if (!(options & searchflag::kWholeWord)) return at;
        if (!IsWordCharacter(text, at - 1) && !IsWordCharacter(text, at + what.size())) return at;
    }
    return -1;
}

QString SearchModule::SearchTextFromSelection(const QString& selected) {
    // A selection over several lines cannot stand in a one-line field.
    qsizetype end = selected.size();
    for (const QChar brk : {QChar(u'\n'), QChar(u'\r'), QChar(QChar::ParagraphSeparator),
                            QChar(QChar::LineSeparator)}) {
        const qsizetype at = selected.indexOf(brk);
        if (at >= 0) end = std::min(end, at);
    }
    return selected.left(end);
}

void SearchModule::Tell(const QString& prompt, const QString& title) {
    if (keepOnTop) keepOnTop(false);
    m_session.Dlg().MsgBox(prompt, MsgButtons::OK, MsgIcon::Information, title);
    if (keepOnTop) keepOnTop(true);
}

bool SearchModule::FindFrom(SearchPane& pane, qsizetype start, const QString& title) {
    const QString text = pane.DocumentText();
    const qsizetype at = FindText(text, SearchText, start, text.size(), SearchOptions);
    if (at < 0) {
        Tell(QStringLiteral("Text Not Found"), title);
        return false;
    }
    pane.Select(at, SearchText.size());
    return true;
}

bool SearchModule::Find(SearchPane& pane, const QString& what, int options) {
    SearchText = what;
    SearchOptions = options;
    return FindFrom(pane, pane.SelectionStart(), QStringLiteral("Find"));
}

bool SearchModule::FindNext(SearchPane& pane, const QString& what, int options) {
    SearchText = what;
    SearchOptions = options;
    return FindFrom(pane, pane.SelectionStart() + 1, QStringLiteral("Find Next"));
}

void SearchModule::FindNextFromMenu(SearchPane& pane) {
    if (SearchText.isEmpty()) return;
    FindFrom(pane, pane.SelectionStart() + 1, QStringLiteral("Find Next"));
}

bool SearchModule::Replace(SearchPane& pane, const QString& what, const QString& with,
                           int options) {
    SearchText = what;
    ReplacementText = with;
    SearchOptions = options;
    const QString text = pane.DocumentText();
    const qsizetype at = FindText(text, what, pane.SelectionStart(), text.size(), options);
    if (at < 0) {
        Tell(QStringLiteral("Text Not Found"), QStringLiteral("Replace"));
        return false;
    }
    pane.Select(at, what.size());
    pane.ReplaceSelection(with);
    return true;
}

int SearchModule::ReplaceAll(SearchPane& pane, const QString& what, const QString& with,
                             int options) {
    SearchText = what;
    ReplacementText = with;
    SearchOptions = options;
    // Worked out on a copy, so that the pane changes once; each search goes
    // on behind the text just put in, so a replacement that contains what
    // it replaces is never searched again.
    QString text = pane.DocumentText();
    qsizetype from = pane.SelectionStart();
    qsizetype end = text.size();
    std::vector<SearchPane::Stretch> stretches;
    for (qsizetype at = FindText(text, what, from, end, options); at >= 0;
         at = FindText(text, what, from, end, options)) {
        stretches.push_back({at, what.size()});
        text.replace(at, what.size(), with);
        // The end of the searched range moves with the text behind it.
        end += with.size() - what.size();
        from = at + with.size();
    }
    if (!stretches.empty()) pane.ReplaceStretches(stretches, with);

    const int count = static_cast<int>(stretches.size());
    QString report;
    if (count > 1) {
        report = QString::number(count) + QStringLiteral(" items were replaced.");
    } else if (count == 1) {
        report = QStringLiteral("1 item was replaced.");
    } else {
        report = QStringLiteral("No items were replaced.");
    }
    Tell(report, QStringLiteral("Replace All"));
    return count;
}

}  // namespace sonavel
