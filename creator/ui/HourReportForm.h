#pragma once

#include "HourReport.h"
#include "Session.h"

#include <QMainWindow>

class QPushButton;
class QTextEdit;

namespace sonavel {

// The hour report, read-only, as a creation run leaves the week: each hour
// against 60:00, the worst first. Printed through the programs' print
// routine. Closing deletes the window; the next report builds a fresh one.
class HourReportForm final : public QMainWindow {
    Q_OBJECT
  public:
    HourReportForm(Session& session, hours::Report report, QWidget* parent = nullptr);

    const hours::Report& Shown() const { return m_report; }

  private:
    void menuPrintSetup_Click();
    void menuPrint_Click();

    Session& m_session;
    hours::Report m_report;
    QTextEdit* m_text = nullptr;
    QPushButton* m_close = nullptr;
};

}  // namespace sonavel
