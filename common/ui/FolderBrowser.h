#pragma once

#include <QDialog>
#include <QString>

class QFileDialog;
class QLabel;

namespace sonavel {

// The folder browser: the operator's prompt stands inside the window, above
// the folders, where a prompt of two lines ("Set Playlist Folder" and what
// Cancel does) can be read whole; the window itself is titled like any
// folder browser. Used wherever the programs ask for a folder.
class FolderBrowser final : public QDialog {
    Q_OBJECT

  public:
    FolderBrowser(const QString& prompt, const QString& initialFolder, QWidget* parent = nullptr);

    // The chosen folder, or an empty text when the operator cancelled.
    static QString Browse(const QString& prompt, const QString& initialFolder,
                          QWidget* parent = nullptr);
    QString Chosen() const { return m_chosen; }

  private:
    QLabel* m_prompt;
    QFileDialog* m_folders;
    QString m_chosen;
};

}  // namespace sonavel
