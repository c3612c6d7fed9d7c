#pragma once

#include "RunDisplay.h"

#include <QDialog>
#include <QPointer>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace sonavel {

// The small window shown while a creation run checks the station.
class StatusForm final : public QDialog {
    Q_OBJECT
  public:
    explicit StatusForm(QWidget* parent = nullptr);
    void SetStatus(const QString& text);

  private:
    QLabel* m_status = nullptr;
};

// The window that follows a creation run through the week's playlists.
class ProgressForm final : public QDialog {
    Q_OBJECT
  public:
    explicit ProgressForm(QWidget* parent = nullptr);

    QLabel* Label() const { return m_label; }
    QProgressBar* Bar() const { return m_bar; }
    QPushButton* OkButton() const { return m_ok; }
    // The loudness measure's line and bar, shown once the measure begins.
    QLabel* MeasureLabel() const { return m_measureLabel; }
    QProgressBar* MeasureBar() const { return m_measureBar; }
    // Offered with OK once the week is written.
    QPushButton* HourReportButton() const { return m_hourReport; }

  private:
    QLabel* m_label = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_measureLabel = nullptr;
    QProgressBar* m_measureBar = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_hourReport = nullptr;
};

// The run's windows, modeless and owned by the main window. Each is built when
// shown and deleted when unloaded, so every run starts from fresh windows.
class QtRunDisplay final : public RunDisplay {
  public:
    explicit QtRunDisplay(QWidget* owner) : m_owner(owner) {}
    ~QtRunDisplay() override;

    void ShowStatus(const QString& text) override;
    void HideStatus() override;
    void ShowProgress(const QString& caption, int maximum) override;
    void SetProgressLabel(const QString& text) override;
    void SetProgressValue(int value) override;
    void EnableOk() override;
    void UnloadProgress() override;
    void SetMeasureProgress(int done, int total, const QString& text) override;

    StatusForm* Status() const { return m_status; }
    ProgressForm* Progress() const { return m_progress; }

    // What the run's end offers besides OK: the hour report of the week written.
    std::function<void()> onHourReport;

  private:
    QWidget* m_owner;
    QPointer<StatusForm> m_status;
    QPointer<ProgressForm> m_progress;
};

}  // namespace sonavel
