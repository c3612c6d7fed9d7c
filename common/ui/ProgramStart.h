#pragma once

#include "Clock.h"
#include "RunningCopy.h"
#include "Session.h"
#include "SettingsStore.h"
#include "Windows.h"

#include <memory>

class QIcon;
class QWidget;

namespace sonavel {

class QtDialogs;
class QtTextPrinter;
class QtWindows;

// The services of one running program, built once by its composition root.
class ProgramServices {
  public:
    ~ProgramServices();

    Session& GetSession() { return *m_session; }
    QtWindows& GetWindows() { return *m_windows; }

    // Refuses a second copy, opens the store and builds the session. Returns
    // nothing when the program must end, with the exit code to end with (1
    // when the store cannot be used); the reason has been shown.
    static std::unique_ptr<ProgramServices> Start(Product product, int& exitCode);

  private:
    ProgramServices() = default;

    std::unique_ptr<RunningCopyLock> m_lock;
    std::unique_ptr<QtTextPrinter> m_printer;
    std::unique_ptr<QtDialogs> m_dialogs;
    SystemClock m_clock;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<QtWindows> m_windows;
};

// The program's icon: the one installed in the icon theme
// (org.sonavel.Player, org.sonavel.Creator), so the window, its entry and the
// tray show the same; the copy built into the program where the theme has none.
QIcon ProgramIcon(Product product);

// A main window of the widget library as start-up places and shows it.
class WidgetMainWindow final : public MainWindow {
  public:
    WidgetMainWindow(QWidget& window, Product product) : m_window(window), m_product(product) {}
    WindowPlacement Placement() const override;
    void Place(const WindowPlacement& placement) override;
    void ShowSplash() override;
    void ShowMain() override;

  private:
    QWidget& m_window;
    Product m_product;
};

}  // namespace sonavel
