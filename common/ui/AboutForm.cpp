#include "AboutForm.h"

#include "Paths.h"
#include "Twips.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <pwd.h>
#include <unistd.h>

namespace sonavel {

namespace {
constexpr double kAboutMinWidthTwips = 5400;
constexpr double kMarginTwips = 240;
constexpr double kLineGapTwips = 30;
constexpr double kBlockGapTwips = 180;
constexpr double kNameIndentTwips = 240;
constexpr double kTitleScale = 1.6;
constexpr int kSplashFrameWidth = 2;

QLabel* AddLabel(QWidget* parent, QVBoxLayout* layout, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    return label;
}
}  // namespace

QString FullNameFromGecos(const QString& gecos, const QString& login) {
    QString name = gecos.section(QLatin1Char(','), 0, 0).trimmed();
    if (name.contains(QLatin1Char('&')) && !login.isEmpty()) {
        name.replace(QLatin1Char('&'), login.left(1).toUpper() + login.mid(1));
    }
    return name.isEmpty() ? login : name;
}

Licensee CurrentLicensee() {
    Licensee licensee;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr) {
        licensee.Name = FullNameFromGecos(QString::fromLocal8Bit(entry->pw_gecos),
                                          QString::fromLocal8Bit(entry->pw_name));
    } else {
        // No passwd entry (a bare container user): the home folder is named
        // after the login almost everywhere.
        licensee.Name = QDir::home().dirName();
    }
    // Linux keeps no organisation for a user: the GECOS fields after the name
    // are room and telephones, and nothing else is standard. Rather than
    // invent a company we name the machine the copy runs on, labelled as such.
    licensee.Organization = QSysInfo::machineHostName();
    return licensee;
}

QStringList DefaultSystemInfoPrograms() {
    return {QStringLiteral("hardinfo"),
            QStringLiteral("gnome-system-monitor"),
            QStringLiteral("plasma-systemmonitor"),
            QStringLiteral("ksysguard"),
            QStringLiteral("xfce4-taskmanager"),
            QStringLiteral("lxtask")};
}

AboutForm::AboutForm(Product product, const QString& fallbackVersion, QWidget* parent,
                     const QStringList& systemInfoPrograms)
    : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("AboutForm"));
    const QString fullName = product == Product::Player ? QStringLiteral("Sonavel Player")
                                                        : QStringLiteral("Sonavel Creator");
    setWindowTitle(QStringLiteral("About ") + fullName);

    for (const QString& program : systemInfoPrograms) {
        m_systemInfoProgram = QStandardPaths::findExecutable(program);
        if (!m_systemInfoProgram.isEmpty()) break;
    }

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    // Fixed to what the texts need, so a long user or host name widens the
    // window rather than being cut.
    outer->setSizeConstraint(QLayout::SetFixedSize);

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("frameAbout"));
    frame->setMinimumWidth(TwipsToPixels(kAboutMinWidthTwips, this));
    outer->addWidget(frame);
    auto* text = new QVBoxLayout(frame);
    const int margin = TwipsToPixels(kMarginTwips, this);
    text->setContentsMargins(margin, margin, margin, margin);
    text->setSpacing(TwipsToPixels(kLineGapTwips, this));

    QLabel* title = AddLabel(frame, text, "labelProductName", fullName);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * kTitleScale);
    title->setFont(titleFont);

    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty()) version = fallbackVersion;
    AddLabel(frame, text, "labelVersion", QStringLiteral("Version ") + version);
    AddLabel(frame, text, "labelDescription",
             QStringLiteral("Radio automation for small stations"));

    text->addSpacing(TwipsToPixels(kBlockGapTwips, this));
    auto* rule = new QFrame(frame);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    text->addWidget(rule);
    text->addSpacing(TwipsToPixels(kBlockGapTwips, this));

    const Licensee licensee = CurrentLicensee();
    AddLabel(frame, text, "labelLicensedTo", QStringLiteral("This product is licensed to:"));
    const int indent = TwipsToPixels(kNameIndentTwips, this);
    QLabel* user = AddLabel(frame, text, "labelUserName", licensee.Name);
    QFont userFont = user->font();
    userFont.setBold(true);
    user->setFont(userFont);
    user->setIndent(indent);
    AddLabel(frame, text, "labelOrganization", QStringLiteral("Computer: ") + licensee.Organization)
        ->setIndent(indent);

    m_buttons = new QWidget(this);
    auto* row = new QHBoxLayout(m_buttons);
    row->setContentsMargins(margin, 0, margin, margin);
    row->addStretch();
    m_systemInfo = new QPushButton(QStringLiteral("&System Info..."), m_buttons);
    m_systemInfo->setObjectName(QStringLiteral("commandSystemInfo"));
    m_systemInfo->setAutoDefault(false);
    m_systemInfo->setEnabled(!m_systemInfoProgram.isEmpty());
    connect(m_systemInfo, &QPushButton::clicked, this, &AboutForm::commandSystemInfo_Click);
    row->addWidget(m_systemInfo);
    m_ok = new QPushButton(QStringLiteral("OK"), m_buttons);
    m_ok->setObjectName(QStringLiteral("commandOK"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(m_ok);
    outer->addWidget(m_buttons);
}

AboutForm* AboutForm::ShowSplash(Product product, const QString& fallbackVersion, QWidget* parent,
                                 int displayMs) {
    // Nothing can be clicked on a splash, so no utility is looked for.
    auto* splash = new AboutForm(product, fallbackVersion, parent, {});
    splash->MakeSplash();
    splash->show();
    QTimer::singleShot(displayMs, splash, &QWidget::close);
    return splash;
}

void AboutForm::MakeSplash() {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    m_buttons->hide();
    // Without a window frame the face needs an edge of its own against the desktop.
    auto* frame = findChild<QFrame*>(QStringLiteral("frameAbout"));
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setLineWidth(kSplashFrameWidth);
    adjustSize();
    const QScreen* screen =
        parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
}

void AboutForm::commandSystemInfo_Click() {
    // A utility that will not start is not offered again in this window.
    if (!QProcess::startDetached(m_systemInfoProgram, {})) m_systemInfo->setEnabled(false);
}

void OpenHelpTopics(Dialogs& dialogs, const QString& index,
                    const std::function<bool(const QUrl&)>& open) {
    const QString help =
        index.isEmpty() ? HelpIndexPath(QCoreApplication::applicationDirPath()) : index;
    const QString title = QStringLiteral("Help Topics");
    if (help.isEmpty() || !QFileInfo(help).isFile()) {
        dialogs.MsgBox(QStringLiteral("The help pages are not installed: they belong in "
                                      "share/sonavel/help beside the program's folder."),
                       MsgButtons::OK, MsgIcon::Information, title);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(help);
    if (open ? open(url) : QDesktopServices::openUrl(url)) return;
    dialogs.MsgBox(QStringLiteral("No program was found to open the help pages (xdg-open, from "
                                  "the package xdg-utils, opens them in your web browser).") +
                       QStringLiteral("\r\n\r\nOpen this page in a web browser:\r\n") + help,
                   MsgButtons::OK, MsgIcon::Information, title);
}

void AboutForm::ShowFor(QPointer<AboutForm>& about, Product product, QWidget* owner) {
    // The running program carries its version; nothing else to fall back on here.
    if (!about) about = new AboutForm(product, QCoreApplication::applicationVersion(), owner);
    about->show();
    about->raise();
    about->activateWindow();
}

}  // namespace sonavel
