#pragma once

#include "Session.h"
#include "Windows.h"

#include <QMainWindow>
#include <functional>

class QTextEdit;

namespace sonavel {

// A log viewer window. Closing it (Unload, "E&xit", Escape in the text, the
// window's close button) deletes it, so the text it showed is gone and the
// next display builds a fresh window.
class LogForm : public QMainWindow, public LogViewer {
    Q_OBJECT
  public:
    void Load() override;
    void SetText(const QString& text) override;
    void SetCaption(const QString& caption) override;
    void MoveCaretToTop() override;
    void Unload() override;
    QString Text() const override;

    // True once closed; the window is then only waiting to be deleted.
    bool IsUnloaded() const { return m_unloaded; }

  protected:
    struct Names {
        const char* window;
        const char* caption;
        const char* clearName;
        const char* clearText;
        const char* saveName;
        const char* saveText;
        const char* printName;
        const char* printText;
        std::function<void(Session&)> clear;
        std::function<void(Session&)> save;
        std::function<void(Session&)> print;
    };
    LogForm(Session& session, const Names& names, QWidget* parent);

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Session& m_session;
    QTextEdit* m_text = nullptr;
    bool m_unloaded = false;
};

class ErrorLogForm final : public LogForm {
    Q_OBJECT
  public:
    explicit ErrorLogForm(Session& session, QWidget* parent = nullptr);
};

class ProgramLogForm final : public LogForm {
    Q_OBJECT
  public:
    explicit ProgramLogForm(Session& session, QWidget* parent = nullptr);
};

}  // namespace sonavel
