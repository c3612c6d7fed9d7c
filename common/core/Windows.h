#pragma once

#include "Color.h"

#include <QString>

namespace sonavel {

struct WindowPlacement;

// The settings viewer as the common code drives it.
class SettingsViewer {
  public:
    virtual ~SettingsViewer() = default;
    virtual void Load() = 0;  // create if needed and show
    virtual void ClearText() = 0;
    virtual void SetProgramChoice(const QString& section) = 0;
    // Inserts text at the caret in the given colour.
    virtual void AppendText(const QString& text, Color color) = 0;
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
    // What the viewer shows now; printing refuses an empty viewer.
    virtual QString Text() const = 0;
};

// The small window that stays up while a text is printed.
class PrintingWindow {
  public:
    virtual ~PrintingWindow() = default;
    virtual void Load() = 0;                              // create if needed and show
    virtual void SetCaption(const QString& caption) = 0;  // the caption of labelPrinting
    virtual void Unload() = 0;
};

// The program's printer as the printing procedures drive it: whole lines from
// the top of the page down, one job at a time. Failures raise RuntimeError.
class TextPrinter {
  public:
    virtual ~TextPrinter() = default;
    virtual void BeginJob(const QString& fontName, double fontSize) = 0;
    // One line at the left margin, then down one line; a text of line breaks
    // alone gives one blank line.
    virtual void PrintLine(const QString& text) = 0;
    virtual void NewPage() = 0;
    // Hands the job to the printer.
    virtual void EndJob() = 0;
};

// A program's main window as its start-up places and shows it.
class MainWindow {
  public:
    virtual ~MainWindow() = default;
    // Where the window is now, in twips, and its state.
    virtual WindowPlacement Placement() const = 0;
    // Size, place and state as given.
    virtual void Place(const WindowPlacement& placement) = 0;
    // The About window as a splash screen over the main window; it closes itself.
    virtual void ShowSplash() = 0;
    // On screen in the state it was placed in.
    virtual void ShowMain() = 0;
};

// The windows the common procedures open, and the printer; each program's
// composition root supplies them, tests supply fakes.
class Windows {
  public:
    virtual ~Windows() = default;
    virtual SettingsViewer& InfoForm() = 0;
    virtual LogViewer& ErrorLogForm() = 0;
    virtual LogViewer& ProgramLogForm() = 0;
    virtual PrintingWindow& PrintingForm() = 0;
    virtual TextPrinter& Printer() = 0;
};

}  // namespace sonavel
