#pragma once

#include "NamedEntries.h"
#include "RecentFiles.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace sonavel {

// One stretch of the preview pane's text in one colour (0x00BBGGRR).
struct PreviewRun {
    QString text;  // line breaks as CR LF
    std::int32_t color = 0;
};

// Why the clock time estimate runs. Typing must never raise a box: it would
// take the very key the operator is typing.
enum class EstimateStart { Command, Typing };

// The clock editor's main window as the file commands drive it: the edit
// and preview panes, their headers, the status panels and the commands whose
// state follows the file. CreatorForm implements it; tests use a fake.
class EditorWindow {
  public:
    virtual ~EditorWindow() = default;

    // The edit pane's text, line breaks as CR LF.
    virtual QString EditText() const = 0;
    // Replaces the edit pane's text; the pane's change rule runs as for typing.
    virtual void SetEditText(const QString& text) = 0;
    // The edit pane with its fonts and colours, as a rich-text file.
    virtual QByteArray EditRichText() const = 0;
    // False when the bytes are not rich text.
    virtual bool SetEditRichText(const QByteArray& rtf) = 0;
    virtual void CaretToStart() = 0;
    virtual void ClearPreview() = 0;
    // Replaces the preview pane's contents with the runs, in order.
    virtual void ShowPreview(const std::vector<PreviewRun>& runs) = 0;

    virtual QString EditHeader() const = 0;
    virtual void SetEditHeader(const QString& text) = 0;
    virtual void SetPreviewHeader(const QString& text) = 0;
    // commandPrevious and commandNext.
    virtual void SetNeighbourButtons(bool enabled) = 0;
    virtual void SetFileNamePanel(const QString& text) = 0;
    virtual void SetEstimatedTimePanel(const QString& text, bool enabled) = 0;

    // Save, Save As, Save As Default Clock, Save As Hourly Clock, Select All,
    // Find, Find Next, Replace and Print with their toolbar buttons: enabled by
    // an open file, disabled by New until typing enables them again.
    virtual void SetFileCommandsEnabled(bool enabled) = 0;
    // Menu Save and its toolbar button alone.
    virtual void SetSaveEnabled(bool enabled) = 0;

    // The clock time estimate of the preview pane (ClockEstimate).
    virtual void EstimateClockTime(EstimateStart start) = 0;
    // The window's menu entries reached by name (recent files).
    virtual NamedEntries& Entries() = 0;
};

// The edit pane of a run without windows: it keeps the pane's text, because
// a creation run loads the default clock into it, and ignores the rest.
class HeadlessEditorWindow final : public EditorWindow {
  public:
    QString EditText() const override { return text; }
    void SetEditText(const QString& value) override { text = value; }
    QByteArray EditRichText() const override { return {}; }
    bool SetEditRichText(const QByteArray&) override { return false; }
    void CaretToStart() override {}
    void ClearPreview() override {}
    void ShowPreview(const std::vector<PreviewRun>&) override {}
    QString EditHeader() const override { return {}; }
    void SetEditHeader(const QString&) override {}
    void SetPreviewHeader(const QString&) override {}
    void SetNeighbourButtons(bool) override {}
    void SetFileNamePanel(const QString&) override {}
    void SetEstimatedTimePanel(const QString&, bool) override {}
    void SetFileCommandsEnabled(bool) override {}
    void SetSaveEnabled(bool) override {}
    void EstimateClockTime(EstimateStart) override {}
    NamedEntries& Entries() override { return entries; }

    QString text;
    MemoryEntries entries = RecentFileMenuEntries();
};

}  // namespace sonavel
