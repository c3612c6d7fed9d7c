#pragma once

#include "ClockEditor.h"
#include "EditorWindow.h"
#include "Session.h"

#include <QString>
#include <array>
#include <functional>
#include <vector>

namespace sonavel {

// One box of the week's grid: a column Monday (0) to Sunday (6) and an hour.
struct HourlySlot {
    int day = 0;
    int hour = 0;
    bool operator==(const HourlySlot&) const = default;
};

inline constexpr int kGridDays = 7;
inline constexpr int kGridHours = 24;
// Which slots of the grid hold something, indexed [day][hour].
using SlotGrid = std::array<std::array<bool, kGridHours>, kGridDays>;

// The hourly clocks as the two grid dialogs use them: which slots exist,
// writing the edit pane into many slots at once, and opening one slot.
class HourlyClocks {
  public:
    HourlyClocks(Session& session, ClockEditor& editor, EditorWindow& window)
        : m_session(session), m_editor(editor), m_window(window) {}

    // "Mon" .. "Sun" for the grid's columns.
    static QString DayToken(int day);
    // The ticked slots in the order they are written: hour by hour, within
    // an hour Monday to Sunday.
    static std::vector<HourlySlot> SaveOrder(const SlotGrid& ticked);

    // The setting, or the program folder's "Clocks" while the setting is
    // empty, as the creation run reads them.
    QString ClockFolder();
    QString SlotPath(HourlySlot slot);
    // The slots whose clock file exists.
    SlotGrid ExistingClocks();

    enum class SaveOutcome { NothingSelected, EmptyClock, Failed, Saved };
    // Writes the edit pane's plain text into every ticked slot, in save
    // order; progress(value, maximum) follows each slot. Stops at the first
    // file that cannot be written.
    SaveOutcome SaveHourlyClocks(const SlotGrid& ticked,
                                 const std::function<void(int value, int maximum)>& progress);

    enum class OpenOutcome { Opened, Kept, Missing };
    // Loads the slot's clock into the edit pane after offering to save
    // unsaved changes. Kept: the operator cancelled, or the changes could not
    // be saved, and nothing changed. Missing: the file has gone meanwhile.
    OpenOutcome OpenHourlyClock(const QString& path);

  private:
    bool SaveChangesFirst();

    Session& m_session;
    ClockEditor& m_editor;
    EditorWindow& m_window;
};

}  // namespace sonavel
