#pragma once

#include "PlaylistViewer.h"
#include "Session.h"

#include <QMainWindow>

class QTextEdit;

namespace sonavel {

// "Current Playlist": the list on air, one element line to a line under the
// list's name, and the command to print it. The main window keeps it in step
// with the engine; closing it (E&xit, Escape, the close button) deletes it.
class PlaylistForm final : public QMainWindow {
    Q_OBJECT
  public:
    explicit PlaylistForm(Session& session, QWidget* parent = nullptr);

    // Shows the list; the same list again leaves the text, and where the
    // operator has scrolled to, alone.
    void Show(const PlaylistView& view);
    const PlaylistView& Shown() const { return m_shown; }
    QString Text() const;

  private:
    void menuPrintPlaylist_Click();

    Session& m_session;
    QTextEdit* m_textPlaylist = nullptr;
    PlaylistView m_shown;
    bool m_filled = false;
};

}  // namespace sonavel
