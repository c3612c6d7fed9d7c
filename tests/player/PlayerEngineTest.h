#pragma once

#include "FakeMediaPlayer.h"
#include "FakePlayerWindow.h"
#include "PlayerModule.h"
#include "TempFolder.h"
#include "WatchedPlayer.h"

#include <QDir>

namespace sonavel {

// A Player session on the test's own folders with both logs on, and the
// engine on two fake players and a window that remembers what it was shown.
class PlayerEngineTest : public TempFolderTest {
  protected:
    PlayerEngineTest()
        : session(MakeSession(Product::Player)), engine(session, watched1, watched2, window) {
        UseStationFolders(session);
        engine.MaxPolls = 20;
    }
    ~PlayerEngineTest() override {
        for (const WatchedPlayer* p : {&watched1, &watched2}) {
            EXPECT_EQ(p->loadsIntoPlaying, 0) << "a file was loaded into a playing control";
            EXPECT_EQ(p->startsOverSound, 0) << "an element started while the other sounded";
        }
    }

    Session& session;
    FakeMediaPlayer player1;
    FakeMediaPlayer player2;
    WatchedPlayer watched1{player1, &player2};
    WatchedPlayer watched2{player2, &player1};
    FakePlayerWindow window;
    PlayerEngine engine;
};

}  // namespace sonavel
