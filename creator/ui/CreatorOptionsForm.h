#pragma once

#include "CreatorOptions.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace sonavel {

// "Sonavel Creator Options": Creator's switches, folders, playlist format,
// keyword file and settings maintenance. Modeless; it deletes itself once closed.
class CreatorOptionsForm final : public QDialog, private CreatorOptionsView {
    Q_OBJECT
  public:
    CreatorOptionsForm(Session& session, KeywordModule& keywords, EditorWindow& editor,
                       CreatorOptions::Hooks hooks, QWidget* owner = nullptr);

    CreatorOptions& Options() { return m_options; }

  signals:
    // The window closed by any means; the main window comes forward.
    void Closed();

  protected:
    void done(int result) override;

  private:
    void Build();
    QWidget* BuildGeneralTab();
    QWidget* BuildFolderTab();
    QWidget* BuildPlaylistTab();
    QWidget* BuildKeywordTab();
    QWidget* BuildAdvancedTab();
    QCheckBox* SwitchBox(CreatorSwitch which, const char* name, const char* caption,
                         QWidget* parent);
    void commandOK_Click();

    // CreatorOptionsView
    void ShowFields(const CreatorOptionsFields& fields) override;
    void ShowFolder(OptionsFolder folder, const QString& text) override;
    void ShowIncludeComments(bool checked, bool enabled) override;
    void SetApplyEnabled(bool enabled) override;

    CreatorOptions m_options;
    bool m_closed = false;
    QTabWidget* m_tabs = nullptr;
    std::array<QCheckBox*, kCreatorSwitchCount> m_switches{};
    QLineEdit* m_clockFolder = nullptr;
    QLineEdit* m_playlistFolder = nullptr;
    QRadioButton* m_winAmpFormat = nullptr;
    QRadioButton* m_sonavelFormat = nullptr;
    QPushButton* m_apply = nullptr;
};

}  // namespace sonavel
