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
    void AppendText(const QString& text, Color color) override { pieces.emplace_back(text, color); }
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
    std::vector<std::pair<QString, Color>> pieces;
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
    QString Text() const override { return text; }

    bool loaded = false;
    int unloads = 0;
    bool caretAtTop = false;
    QString text;
    QString caption;
};

class FakePrintingWindow final : public PrintingWindow {
  public:
    void Load() override { loaded = true; }
    void SetCaption(const QString& value) override { caption = value; }
    void Unload() override { loaded = false; }

    bool loaded = false;
    QString caption;
};

// Keeps the lines of the last job, page by page.
class FakeTextPrinter final : public TextPrinter {
  public:
    void BeginJob(const QString& fontName, double fontSize) override {
        font = fontName;
        size = fontSize;
        open = true;
        pages = {{}};
    }
    void PrintLine(const QString& text) override { pages.back().push_back(text); }
    void NewPage() override { pages.emplace_back(); }
    void EndJob() override {
        open = false;
        ++jobs;
    }

    QString font;
    double size = 0;
    bool open = false;
    int jobs = 0;
    std::vector<std::vector<QString>> pages;
};

class FakeWindows final : public Windows {
  public:
    SettingsViewer& InfoForm() override { return info; }
    LogViewer& ErrorLogForm() override { return errorLog; }
    LogViewer& ProgramLogForm() override { return programLog; }
    PrintingWindow& PrintingForm() override { return printing; }
    TextPrinter& Printer() override { return printer; }

    FakeSettingsViewer info;
    FakeLogViewer errorLog;
    FakeLogViewer programLog;
    FakePrintingWindow printing;
    FakeTextPrinter printer;
};

}  // namespace sonavel
