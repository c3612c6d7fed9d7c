#include "HourlyClocks.h"

#include "ClockModule.h"
#include "CommonModule.h"
#include "Events.h"
#include "FormatModule.h"
#include "RuntimeError.h"
#include "TextFile.h"

#include <QFileInfo>

namespace sonavel {

QString HourlyClocks::DayToken(int day) {
    // The grid starts its week on Monday; the weekday tokens on Sunday.
    return WeekdayToken((day + 1) % kGridDays + 1);
}

std::vector<HourlySlot> HourlyClocks::SaveOrder(const SlotGrid& ticked) {
    std::vector<HourlySlot> order;
    for (int hour = 0; hour < kGridHours; ++hour) {
        for (int day = 0; day < kGridDays; ++day) {
            if (ticked[day][hour]) order.push_back({day, hour});
        }
    }
    return order;
}

QString HourlyClocks::ClockFolder() {
    QString& folder = m_session.Creator.ClockFolder;
    // An empty setting would put the clocks at the root of the file system.
    if (folder.isEmpty()) folder = m_session.ProgramFolder() + QStringLiteral("/Clocks");
    return folder;
}

QString HourlyClocks::SlotPath(HourlySlot slot) {
    return ClockFolder() + QLatin1Char('/') + DayToken(slot.day) +
           HourName(static_cast<std::int16_t>(slot.hour)) + QStringLiteral(".clk");
}

SlotGrid HourlyClocks::ExistingClocks() {
    SlotGrid existing{};
    for (int day = 0; day < kGridDays; ++day) {
        for (int hour = 0; hour < kGridHours; ++hour) {
            existing[day][hour] = QFileInfo(SlotPath({day, hour})).isFile();
        }
    }
    return existing;
}

HourlyClocks::SaveOutcome HourlyClocks::SaveHourlyClocks(
    const SlotGrid& ticked, const std::function<void(int, int)>& progress) {
    const std::vector<HourlySlot> order = SaveOrder(ticked);
    if (order.empty()) {
        ShowInformation(m_session, QStringLiteral("You must first select hourly clock(s) to save."),
                        QStringLiteral("No Hourly Clocks Selected"));
        return SaveOutcome::NothingSelected;
    }
    // An hourly clock overrides the default clock: an empty one would take
    // its hours off the air.
    const QString text = m_window.EditText();
    if (text.trimmed().isEmpty()) {
        ShowInformation(m_session,
                        QStringLiteral("The edit window is empty.") + kCrLf +
                            QStringLiteral("An empty hourly clock would leave its hours silent, "
                                           "so nothing has been saved."),
                        QStringLiteral("Save as Hourly Clock"));
        return SaveOutcome::EmptyClock;
    }
    // Hourly clocks are always plain lines, whatever fonts the pane shows,
    // and every slot gets the same text even while the window serves events.
    const QByteArray content = ClockModule::PlainClockContent(text);
    const int count = static_cast<int>(order.size());
    int value = 0;
    for (const HourlySlot& slot : order) {
        if (progress) progress(++value, count);
        const QString path = SlotPath(slot);
        try {
            ClockModule::WriteClockFile(path, content, m_session.Creator.BackupSavedFiles);
        } catch (const RuntimeError&) {
            m_session.Dlg().MsgBox(
                path + QStringLiteral(" could not be saved.") + kCrLf + kCrLf +
                    QStringLiteral("Check Clock Folder setting, read-only "
                                   "attribute or hard drive") +
                    kCrLf + kCrLf + QStringLiteral("Save as Hourly Clock aborted."),
                MsgButtons::OKCancel, MsgIcon::Critical, QStringLiteral("File Save Error"));
            return SaveOutcome::Failed;
        }
        m_editor.NamePaneFile(path);
        const ClockDisplayName name = ClockModule::PrettyPrintFileName(path);
        m_window.SetEditHeader(QStringLiteral("Edit: ") + name.text);
        m_window.SetNeighbourButtons(name.hourly);
        m_window.SetFileNamePanel(path);
        if (m_session.Creator.EstimateTime) {
            m_window.SetPreviewHeader(QStringLiteral("Preview: ") + name.text);
        } else {
            m_window.SetPreviewHeader(QStringLiteral("Preview: Not Enabled"));
            m_window.ClearPreview();
        }
        DoEvents();
    }
    m_editor.Saved = true;
    m_editor.DefaultClockLoaded = false;
    return SaveOutcome::Saved;
}

bool HourlyClocks::SaveChangesFirst() {
    const MsgResult answer = m_editor.FileNotSavedPrompt();
    if (answer == MsgResult::Cancel) return false;
    if (answer == MsgResult::No) return true;
    if (m_editor.CurrentPath().isEmpty()) {
        m_editor.SaveClockAs();
    } else {
        m_editor.SaveClock();
    }
    // A Save As cancelled or a save that failed keeps the edits on screen.
    return m_editor.Saved;
}

HourlyClocks::OpenOutcome HourlyClocks::OpenHourlyClock(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        // Deleted since the dialog looked; the same words as any load of a missing clock.
        ShowInformation(m_session, QStringLiteral("File Not Found"),
                        QStringLiteral("Sonavel Creator"));
        return OpenOutcome::Missing;
    }
    if (!SaveChangesFirst()) return OpenOutcome::Kept;
    m_editor.LoadClockFile(path);
    // The load reports a file that went away after all and names no file.
    if (m_editor.CurrentPath() != path) return OpenOutcome::Missing;
    m_editor.Saved = true;
    m_editor.DefaultClockLoaded = false;
    m_window.SetFileCommandsEnabled(true);
    return OpenOutcome::Opened;
}

}  // namespace sonavel
