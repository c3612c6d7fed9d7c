#pragma once

#include "EditorWindow.h"
#include "KeywordModule.h"
#include "Session.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace sonavel {

// What an estimate of one clock text comes to.
struct ClockTimeEstimate {
    enum class Problem { None, NoKeywords, NoClock, InvalidTime };
    Problem problem = Problem::None;
    QString invalidKeyword;        // the keyword whose estimated time is out of range
    std::vector<PreviewRun> runs;  // the preview: start times in black, keywords in colour
    std::int32_t total = 0;        // seconds
};

// How long the clock in the edit pane plays: the keywords its lines name,
// each with its start within the hour, and the total in the status panel.
// Runs after every load and every edit while "Estimate Time" is on.
class ClockEstimate {
  public:
    ClockEstimate(Session& session, KeywordModule& keywords, EditorWindow& window)
        : m_session(session), m_keywords(keywords), m_window(window) {}

    // Fills the preview and the "Estimated Time" panel. A problem is reported
    // by a box unless the estimate was started by typing; then the preview
    // simply stays empty and the panel greyed at "00:00".
    void EstimateClockTime(EstimateStart start);

    // The estimate of a clock text (CR LF line breaks) against the keywords,
    // in their table's order; keywords empty means the store holds none.
    static ClockTimeEstimate Estimate(const QString& clockText,
                                      const std::vector<KeywordDefinition>& keywords,
                                      bool haveKeywords);

  private:
    void Report(const ClockTimeEstimate& estimate);

    Session& m_session;
    KeywordModule& m_keywords;
    EditorWindow& m_window;
};

}  // namespace sonavel
