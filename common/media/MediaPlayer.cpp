#include "MediaPlayer.h"

#include "Dialogs.h"

namespace sonavel {

void MediaPlayer::AboutBox(Dialogs& dialogs) {
    dialogs.MsgBox(AboutText(), MsgButtons::OK, MsgIcon::Information,
                   QStringLiteral("About Media Player Control"));
}

}  // namespace sonavel
