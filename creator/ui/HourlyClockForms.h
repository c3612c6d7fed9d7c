#pragma once

#include "HourlyClocks.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace sonavel {

// The week's grid of both hourly dialogs: tabs "AM" and "PM", twelve rows
// each, one box per weekday, Monday to Sunday.
struct HourlyGrid {
    QTabWidget* SSTab1 = nullptr;
    std::array<std::array<QCheckBox*, kGridHours>, kGridDays> days{};
    // The save dialog's row shortcuts; null in the open dialog.
    std::array<QCheckBox*, kGridHours> checkWeekdays{}, checkWeekend{}, checkAll{};

    void Build(QWidget* owner, bool rowShortcuts);
    SlotGrid Ticked() const;
};

// "Save As Hourly Clock": writes the edit pane into any number of slots.
// Modeless, owned by the main window, unloaded when closed.
class SaveHourlyClockForm final : public QWidget {
    Q_OBJECT
  public:
    SaveHourlyClockForm(HourlyClocks& clocks, QWidget* owner);

  private:
    void RowShortcut_Click(int hour, int which);
    void commandSelectAll_Click();
    void commandClear_Click();
    void commandSave_Click();
    void commandClose_Click();
    void SetSelecting(bool enabled);

    HourlyClocks& m_clocks;
    HourlyGrid m_grid;
    QPushButton* m_selectAll = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_close = nullptr;
    QProgressBar* m_progress = nullptr;
};

// "Open Hourly Clock": picks one existing hourly clock into the edit pane.
class OpenHourlyClockForm final : public QWidget {
    Q_OBJECT
  public:
    OpenHourlyClockForm(HourlyClocks& clocks, QWidget* owner);

    // The ticked slot's file, empty while nothing is ticked.
    const QString& SelectedPath() const { return m_selectedPath; }

  protected:
    // The week is read again whenever the dialog is shown or brought
    // forward: clocks may have been saved or deleted meanwhile.
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // The week as it is on disk now. A ticked slot whose file is still there
    // stays picked; otherwise nothing is.
    void RefreshGrid();
    bool EnableExistingClocks();
    void DisableAllClocks();
    void Slot_Click(HourlySlot slot);
    void commandOpen_Click();
    void commandCancel_Click();

    HourlyClocks& m_clocks;
    HourlyGrid m_grid;
    QPushButton* m_open = nullptr;
    QString m_selectedPath;
};

}  // namespace sonavel
