#pragma once

#include "Session.h"
#include "Windows.h"

#include <QStringList>

namespace sonavel {

// A main window that keeps, in order, what start-up did to it: "Place" with
// state, left, top, width and height, "Splash", "Show". A program's own start
// window interface derives from MainWindow; Base is that interface.
template <class Base = MainWindow>
class FakeMainWindow : public Base {
  public:
    WindowPlacement Placement() const override { return now; }
    void Place(const WindowPlacement& p) override {
        now = p;
        journal << QStringLiteral("Place %1 %2 %3 %4 %5")
                       .arg(p.WindowState)
                       .arg(p.PositionLeft)
                       .arg(p.PositionTop)
                       .arg(p.Width)
                       .arg(p.Height);
    }
    void ShowSplash() override { journal << QStringLiteral("Splash"); }
    void ShowMain() override { journal << QStringLiteral("Show"); }

    // Where the window is; a new window sits where the toolkit put it.
    WindowPlacement now{0, 4000, 6000, 300, 200};
    QStringList journal;
};

}  // namespace sonavel
