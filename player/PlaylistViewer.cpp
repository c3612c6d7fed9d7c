#include "PlaylistViewer.h"

#include "PrintModule.h"

namespace sonavel {

void PrintPlaylist(Session& session, const PlaylistView& shown, const QString& shownText) {
    PrintInstance instance;
    instance.procedure = QStringLiteral("PrintPlaylist");
    instance.variable = QStringLiteral("PlaylistName");
    instance.variableData = shown.name;
    instance.guard = [shownText] { return shownText; };
    instance.bodyLines = [elements = shown.elements] { return elements; };
    instance.caption = QStringLiteral("Now Printing Playlist");
    instance.title = QStringLiteral("Sonavel Playlist");
    instance.secondLine = shown.name;
    PrintText(session, instance);
}

}  // namespace sonavel
