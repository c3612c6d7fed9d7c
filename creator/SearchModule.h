#pragma once

#include "Session.h"

#include <QString>
#include <functional>
#include <vector>

namespace sonavel {

// The edit pane as find and replace see it. Positions count characters of
// the document, where a line break is one character; never the CR LF text
// the clock files carry.
class SearchPane {
  public:
    virtual ~SearchPane() = default;
    virtual QString DocumentText() const = 0;
    // The caret: where the selection starts.
    virtual qsizetype SelectionStart() const = 0;
    virtual void Select(qsizetype start, qsizetype length) = 0;
    // The caret ends behind the inserted text.
    virtual void ReplaceSelection(const QString& text) = 0;
    // Replaces each stretch, in order, positions as the text stands when
    // that stretch is replaced, as one edit: one undo step, one change.
    struct Stretch {
        qsizetype start;
        qsizetype length;
    };
    virtual void ReplaceStretches(const std::vector<Stretch>& stretches, const QString& text) = 0;
};

// Option bits of a search, as the options are stored.
namespace searchflag {
constexpr int kWholeWord = 2;
constexpr int kMatchCase = 4;
}  // namespace searchflag

// Find, Find Next and Replace in the edit pane. Holds the last search, which
// Find Next from the menu repeats without the search window.
class SearchModule {
  public:
    explicit SearchModule(Session& session) : m_session(session) {}

    // The first match of what in text[start, end), or -1. An empty search
    // text matches nothing.
    static qsizetype FindText(const QString& text, const QString& what, qsizetype start,
                              qsizetype end, int options);
    // What a selection offers as the search text: its first line.
    static QString SearchTextFromSelection(const QString& selected);

    // The search window's buttons; true when a match was found (and selected
    // or replaced).
    bool Find(SearchPane& pane, const QString& what, int options);
    bool FindNext(SearchPane& pane, const QString& what, int options);
    bool Replace(SearchPane& pane, const QString& what, const QString& with, int options);
    // Returns how many were replaced.
    int ReplaceAll(SearchPane& pane, const QString& what, const QString& with, int options);
    // Find Next of the Edit menu: the last search again. Does nothing before
    // the first search.
    void FindNextFromMenu(SearchPane& pane);

    QString SearchText;
    QString ReplacementText;
    int SearchOptions = 0;
    // Set while the search window is open: it stays on top of every window,
    // so it steps down while a box is shown and the box is not hidden.
    std::function<void(bool onTop)> keepOnTop;

  private:
    bool FindFrom(SearchPane& pane, qsizetype start, const QString& title);
    void Tell(const QString& prompt, const QString& title);

    Session& m_session;
};

}  // namespace sonavel
