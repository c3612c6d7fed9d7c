#include "ClockEditor.h"

#include "CommonModule.h"
#include "FormatModule.h"
#include "PrintModule.h"
#include "RecentFiles.h"
#include "RuntimeError.h"
#include "TextFile.h"

#include <QFile>

namespace sonavel {

namespace {

const QString kClockFilter = QStringLiteral("Clock (Format) Description Files (*.clk)|*.clk");
constexpr int kClockDialogFlags = 0x8804;  // hide read-only, path must exist, no read-only return

bool IsRichTextName(const QString& path) {
    return path.right(4).compare(QLatin1String(".rtf"), Qt::CaseInsensitive) == 0;
}

}  // namespace

QString ClockEditor::CompactEditText(const QString& text) {
    if (text.isEmpty()) return text;
    QString compact;
    for (const QString& line : text.split(kCrLf)) {
        if (line.isEmpty() || line == QLatin1String(" ")) continue;
        compact += line + kCrLf;
    }
    return compact;
}

QString ClockEditor::PreviewHeader(const QString& what) const {
    return m_session.Creator.EstimateTime ? QStringLiteral("Preview: ") + what
                                          : QStringLiteral("Preview: Not Enabled");
}

MsgResult ClockEditor::FileNotSavedPrompt() {
    if (Saved) return MsgResult::No;
    return m_session.Dlg().MsgBox(QStringLiteral("The current file has not been saved.") + kCrLf +
                                      QStringLiteral("Do you want to save it now?"),
                                  MsgButtons::YesNoCancel, MsgIcon::Information,
                                  QStringLiteral("File Not Saved"));
}

bool ClockEditor::OfferToSave() {
    const MsgResult answer = FileNotSavedPrompt();
    if (answer == MsgResult::Cancel) return false;
    return answer != MsgResult::Yes || SaveClockAs();
}

void ClockEditor::EnableFileCommands() {
    m_window.SetFileCommandsEnabled(true);
    m_window.SetSaveEnabled(!m_paneFile.isEmpty());
}

void ClockEditor::EditChanged() {
    Saved = false;
    if (m_window.EditText().isEmpty()) return;
    // Save only ever writes the file the header names, so it is offered
    // exactly while there is one, from the first edit of a new station's
    // first clock on; a pane without a file has Save As.
    EnableFileCommands();
    if (m_session.Creator.EstimateTime) m_window.EstimateClockTime(EstimateStart::Typing);
}

// ---------------------------------------------------------------------------
// Loading

void ClockEditor::LoadIntoPane(const QString& path) {
    m_window.SetEstimatedTimePanel(QStringLiteral("00:00"), false);
    const QByteArray bytes = textfile::ReadBytes(path);

    // The half-loaded text must not be estimated by the pane's change rule.
    const bool estimate = m_session.Creator.EstimateTime;
    m_session.Creator.EstimateTime = false;
    // Rich text keeps its colours and fonts, so it is not compacted into
    // plain lines.
    if (!(IsRichTextName(path) && m_window.SetEditRichText(bytes))) {
        QString text = textfile::Decode(bytes);
        // Bytes that are no text show as the replacement mark rather than
        // vanish: what is in the file must be visible in the pane.
        text.replace(QChar(0), QChar::ReplacementCharacter);
        text.replace(kCrLf, QStringLiteral("\n")).replace(QLatin1Char('\n'), kCrLf);
        if (!text.endsWith(kCrLf)) text += kCrLf;
        m_window.SetEditText(CompactEditText(text));
    }
    m_session.Creator.EstimateTime = estimate;
    if (estimate) m_window.EstimateClockTime(EstimateStart::Command);
}

void ClockEditor::ShowLoaded(const QString& path) {
    const ClockDisplayName name = ClockModule::PrettyPrintFileName(path);
    m_window.SetEditHeader(QStringLiteral("Edit: ") + name.text);
    m_window.SetNeighbourButtons(name.hourly);
    if (!m_session.Creator.EstimateTime) m_window.ClearPreview();
    m_window.SetPreviewHeader(PreviewHeader(name.text));
}

void ClockEditor::FileNotFound() {
    ShowInformation(m_session, QStringLiteral("File Not Found"), QStringLiteral("Sonavel Creator"));
    m_session.Creator.LastFileOpened.clear();
    m_paneFile.clear();
    m_window.SetSaveEnabled(false);
    m_window.SetFileNamePanel(QString());
    m_window.SetEditHeader(QStringLiteral("Edit: No File is Loaded"));
    m_window.SetNeighbourButtons(false);
    m_window.SetPreviewHeader(PreviewHeader(QStringLiteral("No File is Loaded")));
}

void ClockEditor::LoadClockFile(const QString& path) {
    try {
        LoadIntoPane(path);
    } catch (const RuntimeError& error) {
        if (error.Number() == err::kFileNotFound || error.Number() == err::kPathFileAccess ||
            error.Number() == err::kPathNotFound) {
            FileNotFound();
        }
        return;
    }
    m_session.Creator.LastFileOpened = path;
    m_paneFile = path;
    m_window.SetFileNamePanel(path);
    ShowLoaded(path);
    m_window.CaretToStart();
}

bool ClockEditor::OpenDialog(QString& path) {
    FileDialogRequest request;
    request.title = QStringLiteral("Open");
    request.filter = kClockFilter;
    request.initialFolder = m_session.ProgramFolder();
    request.flags = kClockDialogFlags;
    const auto answer = m_session.Dlg().FileDialog(request);
    if (!answer) return false;
    path = *answer;
    return true;
}

// ---------------------------------------------------------------------------
// Commands

void ClockEditor::NewClock() {
    m_window.SetEstimatedTimePanel(QStringLiteral("00:00"), false);
    if (!m_window.EditText().isEmpty() && !OfferToSave()) return;
    m_session.Creator.LastFileOpened.clear();
    m_paneFile.clear();
    m_window.SetEditText(QString());
    m_window.ClearPreview();
    m_window.SetEditHeader(QStringLiteral("Edit: New File"));
    m_window.SetNeighbourButtons(false);
    m_window.SetPreviewHeader(PreviewHeader(QStringLiteral("New File")));
    m_window.SetFileCommandsEnabled(false);
    m_window.SetFileNamePanel(QStringLiteral("New File"));
    Saved = true;
}

bool ClockEditor::LeaveForNoFile() {
    if (!OfferToSave()) return false;
    m_paneFile.clear();
    m_window.SetSaveEnabled(false);
    m_window.SetEditText(QString());
    m_window.SetEditHeader(QStringLiteral("Edit: No File is Loaded"));
    m_window.SetNeighbourButtons(false);
    m_window.ClearPreview();
    m_window.SetPreviewHeader(PreviewHeader(QStringLiteral("No File is Loaded")));
    return true;
}

void ClockEditor::OpenClockCommand() {
    if (!LeaveForNoFile()) return;

    m_window.SetEstimatedTimePanel(QStringLiteral("00:00"), false);
    QString path;
    if (OpenDialog(path)) {
        LoadClockFile(path);
        if (!m_session.Creator.LastFileOpened.isEmpty()) {
            AddRecentFile(m_session, path, QStringLiteral("Creator"), m_window.Entries());
        }
    }
    Saved = true;
    DefaultClockLoaded = false;
    EnableFileCommands();
}

void ClockEditor::OpenClockFile(const QString& path) {
    const MsgResult answer = FileNotSavedPrompt();
    if (answer == MsgResult::Cancel) return;
    if (answer == MsgResult::Yes) {
        // Leaving a clock by Previous or Next saves it as it is, in plain
        // text; a pane without a file can only be saved under a new name. A
        // save that did not happen keeps the edits, and the clock, in the pane.
        if (m_paneFile.isEmpty()) {
            if (!SaveClockAs()) return;
        } else {
            if (!WriteOrSay(m_paneFile, false, m_session.Creator.BackupSavedFiles)) return;
            m_session.Creator.LastFileSaved = m_paneFile;
        }
    }
    LoadClockFile(path);
    Saved = true;
    DefaultClockLoaded = false;
    EnableFileCommands();
}

void ClockEditor::OpenRecentFile(const QString& caption) {
    const QString path = RecentFilePath(caption);
    if (!OfferToSave()) return;
    LoadClockFile(path);
    Saved = true;
    DefaultClockLoaded = false;
    EnableFileCommands();
}

void ClockEditor::Walk(bool forward) {
    const QString found =
        ClockModule::FindNeighbourClock(m_session.Creator.ClockFolder, CurrentPath(), forward);
    if (found.isEmpty()) {
        const QString text = forward ? QStringLiteral("Next Hourly Clock Not Found")
                                     : QStringLiteral("Previous Hourly Clock Not Found");
        ShowInformation(m_session, text, text);
        return;
    }
    OpenClockFile(found);
}

void ClockEditor::PreviousClock() {
    Walk(false);
}
void ClockEditor::NextClock() {
    Walk(true);
}

// ---------------------------------------------------------------------------
// Saving

void ClockEditor::Write(const QString& path, bool richAllowed, bool backup) {
    const QByteArray content = richAllowed && IsRichTextName(path)
                                   ? m_window.EditRichText()
                                   : ClockModule::PlainClockContent(m_window.EditText());
    ClockModule::WriteClockFile(path, content, backup);
}

bool ClockEditor::WriteOrSay(const QString& path, bool richAllowed, bool backup) {
    try {
        Write(path, richAllowed, backup);
        return true;
    } catch (const RuntimeError& error) {
        const auto* write = dynamic_cast<const FileWriteError*>(&error);
        m_session.Dlg().MsgBox(
            path + QStringLiteral(" could not be saved.") + kCrLf + kCrLf +
                (write ? write->Reason() : error.Description()) + QLatin1Char('.') + kCrLf + kCrLf +
                QStringLiteral("The clock stays in the edit window, unsaved."),
            MsgButtons::OK, MsgIcon::Critical, QStringLiteral("File Save Error"));
        return false;
    }
}

void ClockEditor::SaveClock() {
    const QString path = m_paneFile;
    if (path.isEmpty() || !WriteOrSay(path, true, m_session.Creator.BackupSavedFiles)) return;
    Saved = true;
    m_window.SetSaveEnabled(false);
    m_session.Creator.LastFileSaved = path;
}

bool ClockEditor::SaveClockAs() {
    FileDialogRequest request;
    request.save = true;
    request.title = QStringLiteral("Save As...");
    request.filter = kClockFilter;
    request.initialFolder = m_session.ProgramFolder();
    request.flags = kClockDialogFlags;
    const auto answer = m_session.Dlg().FileDialog(request);
    if (!answer || !WriteOrSay(*answer, true, false)) return false;
    m_session.Creator.LastFileOpened = *answer;
    Saved = true;
    m_window.SetFileNamePanel(*answer);
    // The header names the file that Save now writes.
    m_paneFile = *answer;
    ShowLoaded(*answer);
    return true;
}

bool ClockEditor::SaveDefaultClock() {
    const QString path = m_clocks.DefaultClockPath();
    try {
        Write(path, false, m_session.Creator.BackupSavedFiles);
    } catch (const RuntimeError&) {
        m_session.Dlg().MsgBox(QStringLiteral("Error Saving Default Clock File.") + kCrLf +
                                   QStringLiteral("Check File Attributes."),
                               MsgButtons::OK, MsgIcon::None, QStringLiteral("Creator"));
        return false;
    }
    Saved = true;
    m_window.SetSaveEnabled(false);
    m_session.Creator.LastFileOpened = path;
    m_session.Creator.LastFileSaved = path;
    m_paneFile = path;
    m_window.SetEditHeader(QStringLiteral("Edit: Default Clock"));
    m_window.SetNeighbourButtons(false);
    return true;
}

void ClockEditor::SaveAsDefaultClockCommand() {
    const MsgResult answer = m_session.Dlg().MsgBox(
        QStringLiteral("Are you sure that you want to save the currently loaded clock as the "
                       "default clock."),
        MsgButtons::YesNo, MsgIcon::Information, QStringLiteral("Save as Default Clock"));
    if (answer != MsgResult::Yes || !SaveDefaultClock()) return;
    ShowInformation(m_session,
                    QStringLiteral("The currently loaded clock has been saved as the default "
                                   "clock."),
                    QStringLiteral("File Saved as Default Clock"));
    DefaultClockLoaded = true;
    m_window.SetEditHeader(QStringLiteral("Edit: Default Clock"));
    m_window.SetFileNamePanel(m_clocks.DefaultClockPath());
    m_window.SetPreviewHeader(PreviewHeader(QStringLiteral("Default Clock")));
}

// ---------------------------------------------------------------------------
// The default clock

bool ClockEditor::LoadDefaultClock() {
    const QString path = m_clocks.DefaultClockPath();
    try {
        LoadIntoPane(path);
    } catch (const RuntimeError&) {
        return false;
    }
    Saved = true;
    m_session.Creator.LastFileOpened = path;
    m_paneFile = path;
    m_window.SetFileNamePanel(path);
    m_window.SetEditHeader(QStringLiteral("Edit: Default Clock"));
    if (!m_session.Creator.EstimateTime) m_window.ClearPreview();
    m_window.SetPreviewHeader(PreviewHeader(QStringLiteral("Default Clock")));
    m_window.SetNeighbourButtons(false);
    m_window.CaretToStart();
    m_keywords.GetKeywordDefinitions();
    m_clocks.ReadDefaultClockLines();
    return true;
}

void ClockEditor::OpenDefaultClockCommand() {
    if (!LeaveForNoFile()) return;
    DefaultClockLoaded = LoadDefaultClock();
    if (DefaultClockLoaded) {
        m_window.SetFileNamePanel(m_clocks.DefaultClockPath());
        return;
    }
    // The pane was emptied on the way: there is nothing left to save.
    Saved = true;
    ShowInformation(m_session,
                    QStringLiteral("Unable to load Default Clock.") + kCrLf +
                        QStringLiteral("Please create and save Default Clock."),
                    QStringLiteral("No Default Clock Found"));
}

// ---------------------------------------------------------------------------

void ClockEditor::PrintFile() {
    const QString path = CurrentPath();
    PrintInstance instance;
    instance.procedure = QStringLiteral("PrintFile");
    instance.variable = QStringLiteral("FileName");
    instance.variableData = path;
    instance.guard = [this] { return m_window.EditText(); };
    if (path.isEmpty()) {
        // A clock never saved has no file to print; what the operator sees
        // is all there is.
        instance.bodyLines = [this] {
            QStringList lines = m_window.EditText().split(kCrLf);
            if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
            return lines;
        };
        instance.secondLine = QStringLiteral("New File");
    } else {
        // The file as saved, not the pane's unsaved text.
        instance.bodyLines = [path] { return textfile::ReadLines(path); };
        instance.secondLine = path;
    }
    instance.caption = QStringLiteral("Now Printing");
    instance.title = QStringLiteral("Sonavel Creator");
    instance.nothingToPrint = QStringLiteral("Edit Window is blank. There is nothing to print.");
    instance.nothingToPrintTitle = QStringLiteral("Unable to Print");
    PrintText(m_session, instance);
}

}  // namespace sonavel
