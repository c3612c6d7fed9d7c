#pragma once

#include "Dialogs.h"
#include "Session.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QLabel;
class QUrl;
class QPushButton;

namespace sonavel {

// The person and machine a copy is licensed to, as the system knows them.
struct Licensee {
    QString Name;
    QString Organization;
};

// The first field of a passwd GECOS entry, with "&" standing for the login
// name capitalised as finger(1) has always read it; the login name when the
// field is empty.
QString FullNameFromGecos(const QString& gecos, const QString& login);

// The current user's full name, and the machine's host name in place of an
// organisation.
Licensee CurrentLicensee();

// Desktop system-information programs, most informative first.
QStringList DefaultSystemInfoPrograms();

// The About window of both programs. As a window it has OK and System Info...;
// as a splash it shows the same face without frame or buttons and goes away
// by itself. Either way closing deletes it.
// Opens the programs' help pages (index; where HelpIndexPath finds them for
// the running program when empty) through open, the desktop's launcher by
// default. When they are not there, or no launcher opens them (a system
// without xdg-utils), a box says so and names the page.
void OpenHelpTopics(Dialogs& dialogs, const QString& index = {},
                    const std::function<bool(const QUrl&)>& open = {});

class AboutForm final : public QDialog {
    Q_OBJECT
  public:
    // fallbackVersion is shown when the application object carries no
    // version. The first installed of systemInfoPrograms is the one System
    // Info... starts; with none installed the button stays greyed.
    AboutForm(Product product, const QString& fallbackVersion, QWidget* parent = nullptr,
              const QStringList& systemInfoPrograms = DefaultSystemInfoPrograms());

    // Shows the splash centred and returns at once; the window closes itself
    // after displayMs. The pointer is only for watching it go.
    static AboutForm* ShowSplash(Product product, const QString& fallbackVersion,
                                 QWidget* parent = nullptr, int displayMs = 2000);

    // The program's About window, owned by its main window: made on first
    // use and brought to the front after that.
    static void ShowFor(QPointer<AboutForm>& about, Product product, QWidget* owner);

    // Full path of the utility System Info... starts; empty when none is installed.
    const QString& SystemInfoProgram() const { return m_systemInfoProgram; }

  private:
    void MakeSplash();
    void commandSystemInfo_Click();

    QString m_systemInfoProgram;
    QPushButton* m_ok = nullptr;
    QPushButton* m_systemInfo = nullptr;
    QWidget* m_buttons = nullptr;
};

}  // namespace sonavel
