#pragma once

#include <QString>

namespace sonavel {

struct TextColor {
    int Red = 0;
    int Green = 0;
    int Blue = 0;
    friend bool operator==(const TextColor&, const TextColor&) = default;
};

// The settings viewer as the common code drives it.
class SettingsViewer {
  public:
    virtual ~SettingsViewer() = default;
    virtual void Load() = 0;  // create if needed and show
    virtual void ClearText() = 0;
    virtual void SetProgramChoice(const QString& section) = 0;
    // Inserts text at the caret in the given colour.
    virtual void AppendText(const QString& text, TextColor color) = 0;
    virtual void MoveCaretToTop() = 0;
};

// A log viewer window as the common code drives it.
class LogViewer {
  public:
    virtual ~LogViewer() = default;
    virtual void Load() = 0;  // create if needed and show
    virtual void SetText(const QString& text) = 0;
    virtual void SetCaption(const QString& caption) = 0;
    virtual void MoveCaretToTop() = 0;
    virtual void Unload() = 0;
};

// The windows the common procedures open; each program's composition root
// supplies them, tests supply fakes.
class Windows {
  public:
    virtual ~Windows() = default;
    virtual SettingsViewer& InfoForm() = 0;
    virtual LogViewer& ErrorLogForm() = 0;
    virtual LogViewer& ProgramLogForm() = 0;
};

}  // namespace sonavel
