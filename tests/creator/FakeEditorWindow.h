#pragma once

#include "ClockEditor.h"
#include "EditorWindow.h"
#include "FakeEntries.h"

#include <QString>
#include <functional>
#include <vector>

namespace sonavel {

// The window as the file commands see it, with the change rule wired as the
// real window wires it.
class FakeEditorWindow final : public EditorWindow {
  public:
    ClockEditor* editor = nullptr;

    QString EditText() const override { return text; }
    void SetEditText(const QString& value) override {
        text = value;
        if (editor) editor->EditChanged();
    }
    QByteArray EditRichText() const override { return "{\\rtf1 " + text.toUtf8() + "}"; }
    bool SetEditRichText(const QByteArray&) override { return false; }
    void CaretToStart() override {}
    void ClearPreview() override { preview.clear(); }
    void ShowPreview(const std::vector<PreviewRun>& runs) override {
        previewRuns = runs;
        preview.clear();
        for (const PreviewRun& run : runs)
            preview += run.text;
    }
    QString EditHeader() const override { return editHeader; }
    void SetEditHeader(const QString& value) override { editHeader = value; }
    void SetPreviewHeader(const QString& value) override { previewHeader = value; }
    void SetNeighbourButtons(bool enabled) override { neighbours = enabled; }
    void SetFileNamePanel(const QString& value) override { fileNamePanel = value; }
    void SetEstimatedTimePanel(const QString& value, bool enabled) override {
        estimatePanel = value;
        estimatePanelEnabled = enabled;
    }
    void SetFileCommandsEnabled(bool enabled) override { fileCommands = save = enabled; }
    void SetSaveEnabled(bool enabled) override { save = enabled; }
    void EstimateClockTime(EstimateStart start) override {
        ++estimates;
        if (start == EstimateStart::Typing) ++typedEstimates;
        if (estimate) estimate(start);
    }
    NamedEntries& Entries() override { return entries; }

    // Typing into the pane.
    void Type(const QString& value) { SetEditText(text + value); }

    QString text, preview = "old preview", editHeader = "Edit: No File is Loaded",
                  previewHeader = "Preview: No File is Loaded", fileNamePanel, estimatePanel;
    bool neighbours = false, fileCommands = false, save = false, estimatePanelEnabled = false;
    int estimates = 0, typedEstimates = 0;
    std::vector<PreviewRun> previewRuns;
    // The real estimate, when a test wants it run.
    std::function<void(EstimateStart)> estimate;
    FakeEntries entries;
};

}  // namespace sonavel
