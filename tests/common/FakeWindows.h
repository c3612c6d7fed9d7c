#pragma once

#include "Windows.h"

#include <QString>
#include <utility>
#include <vector>

namespace sonavel {

// Records what the common code does to its windows.
class FakeSettingsViewer final : public SettingsViewer {
  public:
    void Load() override { ++loads; }
    void ClearText() override { pieces.clear(); }
    void SetProgramChoice(const QString& section) override { choice = section; }
    void AppendText(const QString& text, TextColor color) override {
        pieces.emplace_back(text, color);
    }
    void MoveCaretToTop() override { caretAtTop = true; }

    QString Text() const {
        QString all;
        for (const auto& piece : pieces)
            all += piece.first;
        return all;
    }

    int loads = 0;
    QString choice;
    bool caretAtTop = false;
    std::vector<std::pair<QString, TextColor>> pieces;
};

class FakeLogViewer final : public LogViewer {
  public:
    void Load() override { loaded = true; }
    void SetText(const QString& value) override { text = value; }
    void SetCaption(const QString& value) override { caption = value; }
    void MoveCaretToTop() override { caretAtTop = true; }
    void Unload() override {
        loaded = false;
        ++unloads;
    }

    bool loaded = false;
    int unloads = 0;
    bool caretAtTop = false;
    QString text;
    QString caption;
};

class FakeWindows final : public Windows {
  public:
    SettingsViewer& InfoForm() override { return info; }
    LogViewer& ErrorLogForm() override { return errorLog; }
    LogViewer& ProgramLogForm() override { return programLog; }

    FakeSettingsViewer info;
    FakeLogViewer errorLog;
    FakeLogViewer programLog;
};

}  // namespace sonavel
