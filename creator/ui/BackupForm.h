#pragma once

#include "BackupModule.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace sonavel {

// "Sonavel Creator Backup": where to back up to, and the copy with its
// progress. Modeless, owned by the main window, unloaded when closed. The
// location it shows and changes is the program's "Backup Location".
class BackupForm final : public QWidget {
    Q_OBJECT
  public:
    BackupForm(Session& session, BackupModule& backup, QWidget* owner);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The controls as they stand for the current location, between backups.
    void ShowIdle();
    void checkFloppyA_Click(bool ticked);
    void checkOther_Click(bool ticked);
    void textOtherLocation_Change(const QString& text);
    void commandBrowse_Click();
    void commandBackup_Click();
    void commandClose_Click();
    void SetLocationControls(bool enabled);

    Session& m_session;
    BackupModule& m_backup;
    QCheckBox* m_floppy = nullptr;
    QCheckBox* m_other = nullptr;
    QLabel* m_locationLabel = nullptr;
    QLineEdit* m_location = nullptr;
    QPushButton* m_browse = nullptr;
    QCheckBox* m_overwrite = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_backupButton = nullptr;
    QPushButton* m_close = nullptr;
    // Closed while copying: the window goes once the copy has stopped, not
    // from under it.
    bool m_closeWhenStopped = false;
};

}  // namespace sonavel
