#pragma once

#include "FakeEntries.h"
#include "PlayerModule.h"

#include <functional>

namespace sonavel {

// A window that keeps what the engine last showed and the menu entries it
// touched, so tests read the display as the operator would see it.
class FakePlayerWindow final : public PlayerWindow {
  public:
    void Render(const PlayerDisplay& display) override {
        shown = display;
        ++renders;
        if (onRender) onRender();
    }
    NamedEntries& Entries() override { return entries; }
    void Unload() override { ++unloads; }

    PlayerDisplay shown;
    // Runs inside the engine's work, as a redraw would: tests check there.
    std::function<void()> onRender;
    int renders = 0;
    int unloads = 0;
    FakeEntries entries;
};

}  // namespace sonavel
