#pragma once

#include "Session.h"
#include "Windows.h"

#include <QMainWindow>

class QComboBox;
class QPushButton;
class QTextEdit;

namespace sonavel {

// The read-only listing of the settings store: one section or all of them.
// Closing deletes the window; the next display builds a fresh one.
class InfoForm final : public QMainWindow, public SettingsViewer {
    Q_OBJECT
  public:
    explicit InfoForm(Session& session, QWidget* parent = nullptr);

    void Load() override;
    void ClearText() override;
    void SetProgramChoice(const QString& section) override;
    void AppendText(const QString& text, Color color) override;
    void MoveCaretToTop() override;

    // True once closed; the window is then only waiting to be deleted.
    bool IsUnloaded() const { return m_unloaded; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void comboSelectProgram_Click(int index);
    void PlaceControls();

    Session& m_session;
    QWidget* m_inner = nullptr;
    QComboBox* m_combo = nullptr;
    QPushButton* m_close = nullptr;
    QTextEdit* m_text = nullptr;
    bool m_unloaded = false;
};

}  // namespace sonavel
