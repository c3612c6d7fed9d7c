#pragma once

#include <QString>
#include <QStringList>

namespace sonavel {

class Session;

// The list on air as the playlist viewer shows it: the element lines as they
// stand in the file, under the name the main window gives the list. Empty
// while no list plays.
struct PlaylistView {
    QString name;
    QStringList elements;

    bool operator==(const PlaylistView&) const = default;
};

// Prints the list the viewer shows, taken as it stands when the operator asks:
// the programme moves on while the job runs, and an hour change during it must
// not swap the list under its header. `shownText` is the viewer's text; empty,
// there is nothing to print.
void PrintPlaylist(Session& session, const PlaylistView& shown, const QString& shownText);

}  // namespace sonavel
