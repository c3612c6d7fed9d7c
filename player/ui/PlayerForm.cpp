#include "PlayerForm.h"

#include "AboutForm.h"
#include "AudioMediaPlayer.h"
#include "CommonModule.h"
#include "ErrorModule.h"
#include "Events.h"
#include "MediaPlayer.h"
#include "PlayerOptionsForm.h"
#include "PlaylistForm.h"
#include "ProgramStart.h"
#include "QtDialogs.h"
#include "RecentFiles.h"
#include "Streaming.h"
#include "Twips.h"
#include "UiColor.h"
#include "UiText.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

namespace sonavel {

namespace {
constexpr double kPlayerMinWidthTwips = 9375;
constexpr double kPlayerMinHeightTwips = 6825;
constexpr double kListTopTwips = 720;
constexpr double kListLeftTwips = 3840;
constexpr double kListMarginTwips = 120;
constexpr int kDisplayIntervalMs = 250;
constexpr char kRecentListName[] = "Player";

QColor ToColor(Rgb rgb) {
    return ToQColor(Color::FromRgb(rgb));
}

void SetText(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

void SetText(QLineEdit* box, const QString& text) {
    if (box->text() != text) box->setText(text);
}

void SetColor(QWidget* widget, QPalette::ColorRole role, Rgb rgb) {
    const QColor wanted = ToColor(rgb);
    if (widget->palette().color(QPalette::Active, role) == wanted) return;
    QPalette palette = widget->palette();
    palette.setColor(role, wanted);
    widget->setPalette(palette);
}

void SetEnabled(QWidget* widget, bool enabled) {
    if (widget->isEnabled() != enabled) widget->setEnabled(enabled);
}

void SetBar(QProgressBar* bar, int maximum, int value) {
    // A value beyond the range would make the bar show nothing rather than full.
    maximum = std::max(maximum, 0);
    value = std::clamp(value, 0, maximum);
    if (bar->maximum() != maximum) bar->setMaximum(maximum);
    if (bar->value() != value) bar->setValue(value);
}

void SetTip(QWidget* widget, const char* tip) {
    widget->setToolTip(QString::fromLatin1(tip));
}

// Played elements are greyed, the one on air stands out, the rest wait in black.
QColor ElementColor(int element, int highlighted) {
    if (element < highlighted) return ToColor(playercolor::kDarkGrey);
    if (element == highlighted) return ToColor(playercolor::kDarkRed);
    return ToColor(playercolor::kBlack);
}

// The commands whose state the engine decides, in the order of the Control
// menu and the toolbar: each has a menu entry and a button showing one state.
struct CommandEntry {
    PlayerCommand command;
    const char* menuCaption;
    const char* menuName;
    const char* buttonCaption;
    const char* buttonName;
    const char* tip;
    QStyle::StandardPixmap icon;
};
constexpr CommandEntry kCommandEntries[] = {
    {PlayerCommand::ExitNext, "Exit &Next", "menuExitNext", "Exit Next", "ExitNext",
     "Exit program at end of current element.", QStyle::SP_DialogCloseButton},
    {PlayerCommand::PauseNow, "&Pause Now", "menuPauseNow", " Pause Now ", "PauseNow",
     "Pause the current program element immediately.", QStyle::SP_MediaPause},
    {PlayerCommand::PauseNext, "Pause N&ext", "menuPauseNext", " Pause Next ", "PauseNext",
     "Pause at the end of the current program element.", QStyle::SP_MediaSeekForward},
    {PlayerCommand::Resume, "&Resume Play", "menuResumePlay", "Resume", "Resume",
     "Resume play after pause.", QStyle::SP_MediaPlay},
    {PlayerCommand::SkipNow, "&Skip Now", "menuSkipNow", "Skip Now", "SkipNow",
     "Skip to the next program element immediately.", QStyle::SP_MediaSkipForward},
    {PlayerCommand::SkipNext, "Skip Nex&t", "menuSkipNext", "Skip Next", "SkipNext",
     "Skip the next program element.", QStyle::SP_ArrowForward},
};

QLabel* ArialLabel(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setFamily(QStringLiteral("Arial"));
    label->setFont(font);
    return label;
}
}  // namespace

PlayerForm::PlayerForm(Session& session, MediaPlayer* player1, MediaPlayer* player2,
                       QWidget* parent)
    : QMainWindow(parent), m_session(session), m_player1(player1), m_player2(player2) {
    setObjectName(QStringLiteral("PlayerForm"));
    setWindowTitle(QStringLiteral("Sonavel Player"));

    m_player1->setObjectName(QStringLiteral("MediaPlayer1"));
    m_player2->setObjectName(QStringLiteral("MediaPlayer2"));

    BuildMenus();
    BuildToolbar();
    BuildPanes();
    BuildStatusBar();
    BuildTray();

    // Qt never applies a minimum to a minimised window; a maximised one is the
    // screen's size, which is larger.
    setMinimumSize(TwipsToPixels(kPlayerMinWidthTwips, kPlayerMinHeightTwips, this));

    m_timerDisplay = new QTimer(this);
    m_timerDisplay->setObjectName(QStringLiteral("timerDisplay"));
    m_timerDisplay->setInterval(kDisplayIntervalMs);
    connect(m_timerDisplay, &QTimer::timeout, this, &PlayerForm::timerDisplay_Timer);
    m_timerDisplay->start();

    // The controls start as the engine's idle display says.
    const PlayerDisplay idle;
    m_lastDisplay = idle;
    Render(idle);
}

PlayerForm::~PlayerForm() {
    m_timerDisplay->stop();
    m_engine = nullptr;
    SetStreaming(nullptr);
}

void PlayerForm::SetStreaming(Streaming* streaming) {
    if (m_streaming) m_streaming->RemoveStateListener(m_streamListener);
    m_streaming = streaming;
    const auto show = [this] {
        // A station that does not stream is not told so on every screen.
        const bool on = m_streaming && m_streaming->Running();
        m_statusStream->setVisible(on);
        if (on) m_statusStream->setText(m_streaming->StateText());
    };
    if (m_streaming) m_streamListener = m_streaming->AddStateListener(show);
    show();
}

void PlayerForm::SetEngine(PlayerEngine* engine) {
    // The engine listens to the players itself, so it runs the same with or
    // without this window.
    m_engine = engine;
}

// ---------------------------------------------------------------------------
// Building the window

QAction* PlayerForm::MenuEntry(QMenu* menu, const QString& caption, const QString& name,
                               void (PlayerForm::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    if (handler != nullptr) connect(action, &QAction::triggered, this, handler);
    return action;
}

void PlayerForm::BuildMenus() {
    using F = PlayerForm;

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    m_menuOpenPlaylist = MenuEntry(file, QStringLiteral("&Open Playlist"),
                                   QStringLiteral("menuOpenPlaylist"), &F::menuOpenPlaylist_Click);
    MenuEntry(file, QStringLiteral("&View Playlist"), QStringLiteral("menuViewPlaylist"),
              &F::menuViewPlaylist_Click);
    AddRecentFileEntries(
        *file,
        [this](const QString& path) {
            if (m_engine)
                m_engine->RunCommand([this, path] { m_engine->LoadRecentPlaylist(path); });
        },
        [this] { ClearRecentFiles(m_session, QString::fromLatin1(kRecentListName), m_entries); });
    file->addSeparator()->setObjectName(QStringLiteral("menuSeparator3"));
    MenuEntry(file, QStringLiteral("E&xit"), QStringLiteral("menuExit"), &F::menuExit_Click);

    m_menuControl = menuBar()->addMenu(QStringLiteral("&Control"));
    m_menuControl->setObjectName(QStringLiteral("menuControl"));
    MenuEntry(m_menuControl, QStringLiteral("&Hide Player"), QStringLiteral("menuHide"),
              &F::menuHide_Click);
    m_menuShow = MenuEntry(m_menuControl, QStringLiteral("&Show Player"),
                           QStringLiteral("menuShow"), &F::menuShow_Click);
    m_menuExitNow = MenuEntry(m_menuControl, QStringLiteral("E&xit Now"),
                              QStringLiteral("menuExitNow"), &F::menuExit_Click);
    for (const CommandEntry& entry : kCommandEntries) {
        QAction* action = MenuEntry(m_menuControl, QString::fromLatin1(entry.menuCaption),
                                    QString::fromLatin1(entry.menuName), nullptr);
        AttachCommand(action, entry.command, 0);
    }

    // The maintenance entries stay out of sight until a technician asks for
    // them; they act on the whole installation.
    m_maintenanceEntries << m_menuControl->addSeparator();
    m_maintenanceEntries.back()->setObjectName(QStringLiteral("menuSeparator8"));
    m_maintenanceEntries << MenuEntry(m_menuControl, QStringLiteral("Display &Current Settings"),
                                      QStringLiteral("menuDisplayCurrentSettings"),
                                      &F::menuDisplayCurrentSettings_Click);
    m_maintenanceEntries << MenuEntry(m_menuControl, QStringLiteral("&Load Settings"),
                                      QStringLiteral("menuLoadSettings"),
                                      &F::menuLoadSettings_Click);
    m_maintenanceEntries << m_menuControl->addSeparator();
    m_maintenanceEntries.back()->setObjectName(QStringLiteral("menuSeparator9"));
    m_maintenanceEntries << MenuEntry(m_menuControl, QStringLiteral("&Delete Registry"),
                                      QStringLiteral("menuDeleteRegistry"),
                                      &F::menuDeleteRegistry_Click);
    m_maintenanceEntries << m_menuControl->addSeparator();
    m_maintenanceEntries.back()->setObjectName(QStringLiteral("menuSeparator10"));
    m_menuSuppressErrorReporting = MenuEntry(
        m_menuControl, QStringLiteral("S&uppress Error Reporting"),
        QStringLiteral("menuSuppressErrorReporting"), &F::menuSuppressErrorReporting_Click);
    m_menuSuppressErrorReporting->setCheckable(true);
    m_maintenanceEntries << m_menuSuppressErrorReporting;
    for (QAction* entry : std::as_const(m_maintenanceEntries))
        entry->setVisible(false);

    QMenu* logs = menuBar()->addMenu(QStringLiteral("&Logs"));
    logs->setObjectName(QStringLiteral("menuLogs"));
    MenuEntry(logs, QStringLiteral("Display &Program Log"), QStringLiteral("menuDisplayProgramLog"),
              &F::menuDisplayProgramLog_Click);
    MenuEntry(logs, QStringLiteral("Display &Error Log"), QStringLiteral("menuDisplayErrorLog"),
              &F::menuDisplayErrorLog_Click);

    QAction* options = menuBar()->addAction(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("menuOptions"));
    connect(options, &QAction::triggered, this, &F::menuOptions_Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    MenuEntry(help, QStringLiteral("&Help Topics"), QStringLiteral("menuHelpTopics"),
              &F::menuHelpTopics_Click)
        ->setShortcut(QKeySequence(Qt::Key_F1));
    help->addSeparator()->setObjectName(QStringLiteral("menuSeparator12"));
    MenuEntry(help, QStringLiteral("&About"), QStringLiteral("menuAbout"), &F::menuAbout_Click);
    MenuEntry(help, QStringLiteral("About &Media Player Control"),
              QStringLiteral("menuAboutMediaPlayerControl"), &F::menuAboutMediaPlayerControl_Click);
}

void PlayerForm::BuildToolbar() {
    m_toolbar = addToolBar(QStringLiteral("Toolbar"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    using F = PlayerForm;
    struct Button {
        const char* caption;
        const char* name;
        const char* tip;
        QStyle::StandardPixmap icon;
        void (PlayerForm::*handler)();
    };
    const Button buttons[] = {
        {"Hide", "Hide", "Hide program from view and minimize to tray icon.",
         QStyle::SP_TitleBarMinButton, &F::menuHide_Click},
        {"Exit Now", "ExitNow", "Exit program immediately.", QStyle::SP_BrowserStop,
         &F::menuExit_Click},
    };
    // The desktop's own icons by their freedesktop names; the style's icons
    // where the theme has none.
    const QHash<QString, QString> themeIcons = {
        {QStringLiteral("Hide"), QStringLiteral("window-minimize")},
        {QStringLiteral("ExitNow"), QStringLiteral("application-exit")},
        {QStringLiteral("ExitNext"), QStringLiteral("window-close")},
        {QStringLiteral("PauseNow"), QStringLiteral("media-playback-pause")},
        {QStringLiteral("PauseNext"), QStringLiteral("media-seek-forward")},
        {QStringLiteral("Resume"), QStringLiteral("media-playback-start")},
        {QStringLiteral("SkipNow"), QStringLiteral("media-skip-forward")},
        {QStringLiteral("SkipNext"), QStringLiteral("go-next")},
    };
    const auto add = [this, &themeIcons](const char* caption, const char* name, const char* tip,
                                         QStyle::StandardPixmap icon) {
        QAction* action =
            m_toolbar->addAction(QIcon::fromTheme(themeIcons.value(QString::fromLatin1(name)),
                                                  style()->standardIcon(icon)),
                                 QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        action->setData(QString::fromLatin1(name));
        action->setToolTip(QString::fromLatin1(tip));
        return action;
    };
    for (const Button& button : buttons) {
        connect(add(button.caption, button.name, button.tip, button.icon), &QAction::triggered,
                this, button.handler);
    }
    for (const CommandEntry& entry : kCommandEntries) {
        AttachCommand(add(entry.buttonCaption, entry.buttonName, entry.tip, entry.icon),
                      entry.command, 1);
    }
}

void PlayerForm::AttachCommand(QAction* action, PlayerCommand command, std::size_t slot) {
    action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
    m_commands[static_cast<std::size_t>(command)][slot] = action;
}

void PlayerForm::BuildPanes() {
    m_inner = new QWidget(this);
    m_inner->setObjectName(QStringLiteral("inner"));
    setCentralWidget(m_inner);

    // The left column: what is on air and the hour's countdown.
    auto* column = new QWidget(m_inner);
    column->setObjectName(QStringLiteral("columnPlayers"));
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(4, 0, 4, 4);
    layout->setSpacing(2);

    m_labelApplication = ArialLabel(QStringLiteral("Player"), "labelApplication", column);
    SetTip(m_labelApplication, "Application product name.");
    QFont big = m_labelApplication->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_labelApplication->setFont(big);
    m_labelApplication->setCursor(Qt::PointingHandCursor);
    m_labelApplication->installEventFilter(this);
    layout->addWidget(m_labelApplication);

    m_labelMode = new QLabel(QStringLiteral("Automatic Playlist Selection Mode"), column);
    m_labelMode->setObjectName(QStringLiteral("labelMode"));
    SetTip(m_labelMode, "Displays playlist selection mode.");
    layout->addWidget(m_labelMode);

    m_textPlaylist = new QLineEdit(QStringLiteral("No Playlist is Loaded"), column);
    m_textPlaylist->setObjectName(QStringLiteral("textPlaylist"));
    m_textPlaylist->setReadOnly(true);
    m_textPlaylist->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_textPlaylist);

    auto timesRow = [](QWidget* parent, QLabel* time, QLabel* remaining) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(time);
        row->addStretch(1);
        row->addWidget(remaining);
        static_cast<QVBoxLayout*>(parent->layout())->addLayout(row);
    };
    auto bar = [](QWidget* parent, const char* name, const char* tip) {
        auto* progress = new QProgressBar(parent);
        progress->setObjectName(QString::fromLatin1(name));
        SetTip(progress, tip);
        progress->setTextVisible(false);
        progress->setMaximumHeight(12);
        progress->setRange(0, 100);
        progress->setValue(0);
        parent->layout()->addWidget(progress);
        return progress;
    };
    auto frame = [](QWidget* parent, const QString& title, const char* name, const char* tip) {
        auto* box = new QGroupBox(title, parent);
        box->setObjectName(QString::fromLatin1(name));
        SetTip(box, tip);
        auto* inside = new QVBoxLayout(box);
        inside->setContentsMargins(6, 2, 6, 4);
        inside->setSpacing(1);
        return box;
    };

    m_framePlaylist = frame(column, QStringLiteral("Playlist Time / Playlist Time Remaining"),
                            "framePlaylist", "Time remaining in the current playlist.");
    m_labelPlaylistTime = ArialLabel(QStringLiteral("60:00"), "labelPlaylistTime", m_framePlaylist);
    m_labelPlaylistTimeRemaining =
        ArialLabel(QString(), "labelPlaylistTimeRemaining", m_framePlaylist);
    for (QLabel* label : {m_labelPlaylistTime, m_labelPlaylistTimeRemaining})
        SetTip(label, "Time remaining for the current playlist.");
    timesRow(m_framePlaylist, m_labelPlaylistTime, m_labelPlaylistTimeRemaining);
    m_barPlaylist = bar(m_framePlaylist, "barPlaylist", "Displays relative time of playlist");
    layout->addWidget(m_framePlaylist);

    for (int i = 0; i < 2; ++i) {
        PanelControls& panel = m_panels[static_cast<std::size_t>(i)];
        const QString number = QString::number(i + 1);
        const QByteArray suffix = "_" + QByteArray::number(i);
        panel.frame =
            frame(column,
                  QStringLiteral("Player ") + number + QStringLiteral(" Time / Player ") + number +
                      QStringLiteral(" Time Remaining"),
                  ("framePlayer" + suffix).constData(), "Time remaining for the current element");
        panel.text = new QLineEdit(panel.frame);
        panel.text->setObjectName(QString::fromLatin1("textPlayer" + suffix));
        panel.text->setReadOnly(true);
        panel.text->setFocusPolicy(Qt::NoFocus);
        panel.frame->layout()->addWidget(panel.text);
        panel.time = ArialLabel(QString(), ("labelPlayerTime" + suffix).constData(), panel.frame);
        panel.remaining =
            ArialLabel(QString(), ("labelPlayerTimeRemaining" + suffix).constData(), panel.frame);
        for (QLabel* label : {panel.time, panel.remaining})
            SetTip(label, "Time remaining for the current element.");
        timesRow(panel.frame, panel.time, panel.remaining);
        panel.bar = bar(panel.frame, ("barPlayer" + suffix).constData(),
                        "Displays relative time of element");
        layout->addWidget(panel.frame);
    }
    layout->addStretch(1);

    m_textCurrentPlaylist = new QTextEdit(m_inner);
    m_textCurrentPlaylist->setObjectName(QStringLiteral("textCurrentPlaylist"));
    m_textCurrentPlaylist->setReadOnly(true);
    m_textCurrentPlaylist->setLineWrapMode(QTextEdit::NoWrap);
    // Read-only text boxes take no keys by default; Escape and the
    // maintenance key must reach the filter.
    m_textCurrentPlaylist->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                                   Qt::TextSelectableByKeyboard);
    m_textCurrentPlaylist->installEventFilter(this);
    m_listViewport = m_textCurrentPlaylist->viewport();
    m_listViewport->installEventFilter(this);
    m_inner->installEventFilter(this);
}

void PlayerForm::BuildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar"));
    setStatusBar(bar);
    m_statusElement = AddStatusPanel(bar, "Element", {}, "Path of current element.", 1);
    m_statusStream = AddStatusPanel(bar, "Stream", {}, "The stream to listeners.", 0);
    m_statusStream->hide();
    m_statusTime = AddStatusPanel(bar, "Time", {}, "Time of day.", 0);
}

void PlayerForm::BuildTray() {
    m_tray = new QSystemTrayIcon(this);
    m_tray->setObjectName(QStringLiteral("cSysTray1"));
    m_tray->setIcon(ProgramIcon(Product::Player));
    m_tray->setToolTip(QStringLiteral("Sonavel Player"));
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                TrayActivated(static_cast<int>(reason));
            });
    // The Control menu is also the tray's popup; Show Player is bold only there.
    connect(m_menuControl, &QMenu::aboutToHide, this, [this] {
        QTimer::singleShot(0, this, [this] { m_menuControl->setDefaultAction(nullptr); });
    });
}

// ---------------------------------------------------------------------------
// Layout and placement

void PlayerForm::PlaceControls() {
    // The list's rule counts from the top of the area below the menus, where
    // the toolbar sits; the central area starts below the toolbar.
    const int toolbar = m_toolbar->isVisible() ? m_toolbar->height() : 0;
    const int top = std::max(TwipsToPixels(kListTopTwips, this) - toolbar, 0);
    const int left = TwipsToPixels(kListLeftTwips, this);
    const int margin = TwipsToPixels(kListMarginTwips, this);
    const int height = std::max(m_inner->height() - top - margin, 0);
    const int width = std::max(m_inner->width() - left - margin, 0);
    m_textCurrentPlaylist->setGeometry(left, top, width, height);
    if (auto* column = m_inner->findChild<QWidget*>(QStringLiteral("columnPlayers"))) {
        column->setGeometry(0, 0, left, m_inner->height());
    }
}

void PlayerForm::StorePlacement() {
    // Only a window on screen has a geometry worth keeping.
    if (!isVisible() || isMinimized()) return;
    const WindowPlacement now = ReadWindowPlacement(*this);
    WindowPlacement& stored = m_session.Player.Window;
    stored.Height = now.Height;
    stored.Width = now.Width;
    stored.PositionTop = now.PositionTop;
    stored.PositionLeft = now.PositionLeft;
}

void PlayerForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    StorePlacement();
}

void PlayerForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    StorePlacement();
}

void PlayerForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || m_unloading) return;
    // Minimising always goes to the tray. The state change is still being
    // delivered, so hiding waits for it to finish.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) HidePlayer();
        });
    }
}

// ---------------------------------------------------------------------------
// Showing and hiding

void PlayerForm::HidePlayer() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Hidden without a tray there would be no way back.
        if (!isMinimized()) showMinimized();
        return;
    }
    hide();
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    m_menuExitNow->setVisible(false);
    m_tray->show();
}

void PlayerForm::ShowPlayer() {
    showNormal();
    raise();
    activateWindow();
    m_menuExitNow->setVisible(true);
    m_tray->hide();
}

void PlayerForm::TrayActivated(int reason) {
    activateWindow();
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
        case QSystemTrayIcon::Trigger:
        case QSystemTrayIcon::DoubleClick:
            ShowPlayer();
            break;
        case QSystemTrayIcon::Context: {
            m_menuControl->setDefaultAction(m_menuShow);
            const QPoint at = QCursor::pos();
            m_menuControl->popup(QPoint(at.x() - m_menuControl->sizeHint().width(), at.y()));
            break;
        }
        default:
            break;
    }
}

void PlayerForm::SetTrayTip(const QString& tip) {
    if (m_tray->toolTip() != tip) m_tray->setToolTip(tip);
}

void PlayerForm::SetApplicationLabel(const QString& text) {
    m_labelApplication->setText(text);
}

WindowPlacement PlayerForm::Placement() const {
    return ReadWindowPlacement(*this);
}

void PlayerForm::Place(const WindowPlacement& placement) {
    ApplyWindowPlacement(*this, placement);
}

void PlayerForm::ShowSplash() {
    AboutForm::ShowSplash(Product::Player, QCoreApplication::applicationVersion(), this);
}

// ---------------------------------------------------------------------------
// What the engine shows

void PlayerForm::Render(const PlayerDisplay& display) {
    m_lastDisplay = display;

    SetText(m_labelMode, display.mode);
    SetText(m_textPlaylist, display.playlist);
    SetColor(m_textPlaylist, QPalette::Base, display.playlistBack);
    SetEnabled(m_framePlaylist, display.playlistPaneEnabled);
    SetText(m_labelPlaylistTime, display.playlistTime);
    SetText(m_labelPlaylistTimeRemaining, display.playlistRemaining);
    SetColor(m_labelPlaylistTimeRemaining, QPalette::WindowText, display.playlistRemainingColor);
    SetBar(m_barPlaylist, display.playlistBarMax, display.playlistBarValue);

    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        const PanelLook& look = display.panels[i];
        const PanelControls& panel = m_panels[i];
        SetEnabled(panel.frame, look.frameEnabled);
        SetText(panel.text, look.text);
        SetEnabled(panel.text, look.textEnabled);
        SetColor(panel.text, QPalette::Base, look.textBack);
        // A waiting panel's frame is disabled, but the name it holds must
        // stay readable: the text colour does not follow the frame.
        SetColor(panel.text, QPalette::Text,
                 look.textEnabled ? playercolor::kBlack : playercolor::kDarkGrey);
        SetText(panel.time, look.time);
        SetColor(panel.time, QPalette::WindowText, look.timeColor);
        SetText(panel.remaining, look.remaining);
        SetColor(panel.remaining, QPalette::WindowText, look.remainingColor);
        SetBar(panel.bar, look.barMax, look.barValue);
    }

    RenderElementList(display.elementNames, display.highlighted);
    if (m_playlistForm) m_playlistForm->Show(display.playingList);

    SetText(m_statusElement, display.statusElement);
    SetText(m_statusTime, display.statusTime);
    SetTrayTip(display.trayTip);
    RenderCommands(display);
    if (m_menuOpenPlaylist->isEnabled() != display.openPlaylistEnabled)
        m_menuOpenPlaylist->setEnabled(display.openPlaylistEnabled);
}

void PlayerForm::RenderCommands(const PlayerDisplay& display) {
    for (std::size_t c = 0; c < m_commands.size(); ++c) {
        const CommandLook& look = display.commands[c];
        for (QAction* action : m_commands[c]) {
            if (action->isEnabled() != look.enabled) action->setEnabled(look.enabled);
            if (action->isChecked() != look.checked) action->setChecked(look.checked);
        }
    }
}

void PlayerForm::RenderElementList(const QStringList& names, int highlighted) {
    const bool refill = names != m_shownElements;
    if (!refill && highlighted == m_shownHighlight) return;

    QTextDocument* document = m_textCurrentPlaylist->document();
    QTextCharFormat format;
    // One edit for the whole change: laid out once, not once per element,
    // which on a list of thousands would hold up the element switch.
    QTextCursor edit(document);
    edit.beginEditBlock();
    if (refill) {
        m_textCurrentPlaylist->clear();
        QTextCursor cursor(document);
        for (int i = 0; i < names.size(); ++i) {
            format.setForeground(ElementColor(i + 1, highlighted));
            cursor.insertText(names[i] + QLatin1Char('\n'), format);
        }
        m_shownElements = names;
    } else {
        // Only the elements whose colour changes are touched, so a long list
        // does not flicker at every element change.
        for (int i = 0; i < names.size(); ++i) {
            const int element = i + 1;
            const QColor before = ElementColor(element, m_shownHighlight);
            const QColor after = ElementColor(element, highlighted);
            if (before == after) continue;
            QTextCursor cursor(document->findBlockByNumber(i));
            cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            format.setForeground(after);
            cursor.mergeCharFormat(format);
        }
    }
    edit.endEditBlock();
    m_shownHighlight = highlighted;

    if (highlighted >= 1 && highlighted <= names.size()) {
        QTextCursor at(document->findBlockByNumber(highlighted - 1));
        m_textCurrentPlaylist->setTextCursor(at);
        m_textCurrentPlaylist->ensureCursorVisible();
    } else {
        m_textCurrentPlaylist->moveCursor(QTextCursor::Start);
    }
}

// ---------------------------------------------------------------------------
// Events of the controls

bool PlayerForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_inner && event->type() == QEvent::Resize) {
        PlaceControls();
    } else if (watched == m_textCurrentPlaylist && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers all = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
        if (key->key() == Qt::Key_Escape) {
            HidePlayer();
            return true;
        }
        if (key->key() == Qt::Key_F12 && (key->modifiers() & all) == all) {
            ToggleMaintenanceEntries();
            return true;
        }
    } else if (watched == m_listViewport && event->type() == QEvent::MouseButtonDblClick) {
        menuViewPlaylist_Click();
        return true;
    } else if (watched == m_labelApplication && event->type() == QEvent::MouseButtonRelease) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) menuAbout_Click();
    }
    return QMainWindow::eventFilter(watched, event);
}

void PlayerForm::ToggleMaintenanceEntries() {
    m_maintenanceShown = !m_maintenanceShown;
    for (QAction* entry : std::as_const(m_maintenanceEntries))
        entry->setVisible(m_maintenanceShown);
    m_menuSuppressErrorReporting->setChecked(m_session.SuppressErrorReporting);
}

void PlayerForm::timerDisplay_Timer() {
    if (m_engine) m_engine->UpdateDisplay();
}

// ---------------------------------------------------------------------------
// Shut-down

void PlayerForm::closeEvent(QCloseEvent* event) {
    if (m_unloading) {
        event->accept();
        return;
    }
    if (m_engine && m_engine->Busy() && !m_closeDue && !m_endWithoutAsking) {
        // Asking now would hold the switch under way for as long as the
        // question stays open; the exit is asked once the switch is over.
        event->ignore();
        m_engine->RunCommand([this] {
            m_closeDue = true;
            close();
            m_closeDue = false;
        });
        return;
    }
    // Commands that come while the question is open wait for its answer.
    std::optional<PlayerEngine::Hold> hold;
    if (m_engine) hold.emplace(*m_engine);
    MsgResult answer = m_endWithoutAsking ? MsgResult::Yes : ConfirmExit(m_session);
    // A signal that came while the question was open has answered it.
    if (m_endWithoutAsking) answer = MsgResult::Yes;
    if (answer == MsgResult::No) {
        event->ignore();
        if (m_engine) m_engine->ExitDeclined();
        return;
    }
    m_unloading = true;
    m_timerDisplay->stop();
    if (!isVisible() || isMinimized()) ShowPlayer();

    WindowPlacement placement = ReadWindowPlacement(*this);
    if (m_endWithoutAsking) {
        // Nobody may be there to answer a box: a save that fails is said on
        // standard error, which is the journal of a session's service.
        const QString failure = SaveSettingsWithoutAsking(m_session, placement);
        if (!failure.isEmpty()) TellStandardError(failure);
    } else {
        SaveSettingsOnExit(m_session, placement);
    }
    LogEvent(m_session, QStringLiteral("Program Ended"));
    m_tray->hide();
    if (m_engine) m_engine->StopForExit();

    // Every other window of the program goes with this one; closing one may
    // open nothing new, but its own events must run before the next.
    for (int pass = 0; pass < 10; ++pass) {
        bool closedAny = false;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window == this || !window->isVisible()) continue;
            window->close();
            closedAny = true;
        }
        QCoreApplication::processEvents();
        if (!closedAny) break;
    }
    event->accept();
    m_unloaded = true;
    emit Unloaded();
}

void PlayerForm::EndOnSignal() {
    m_endWithoutAsking = true;
    if (m_engine) m_engine->EndComing();
    // The waits of a switch under way return at once rather than at their
    // bounds; the programme ends where it stands.
    AbandonWaits();
    // A box left open would hold the shut-down until the system kills the
    // program. Each one closed returns to whoever opened it, the exit
    // question included, which then goes on as if answered Yes.
    CloseModalBoxes(this);
    // A shut-down already under way (a box of its own was open) goes on by
    // itself. Otherwise from the event loop: a close() while the exit
    // question is open would be refused as one already under way.
    if (m_unloading) return;
    QTimer::singleShot(0, this, [this] { close(); });
}

// ---------------------------------------------------------------------------
// Commands

void PlayerForm::menuOpenPlaylist_Click() {
    if (!m_engine) return;
    m_engine->RunCommand([this] {
        if (m_engine->LoadPlaylist()) m_engine->StartPlaylist();
    });
}

void PlayerForm::menuViewPlaylist_Click() {
    // One viewer: asked again, the open one comes to the front.
    if (!m_playlistForm || m_playlistForm->isHidden()) {
        m_playlistForm = new PlaylistForm(m_session, this);
        m_playlistForm->Show(m_lastDisplay.playingList);
        m_playlistForm->move(frameGeometry().center() - m_playlistForm->rect().center());
    }
    m_playlistForm->show();
    m_playlistForm->raise();
    m_playlistForm->activateWindow();
}

void PlayerForm::menuExit_Click() {
    close();
}

void PlayerForm::menuHide_Click() {
    HidePlayer();
}

void PlayerForm::menuShow_Click() {
    ShowPlayer();
}

void PlayerForm::RunCommand(PlayerCommand command) {
    if (m_engine) m_engine->Operate(command);
    // A checkable entry has flipped itself by the time it triggers; what the
    // engine decided is what the entry shows, so that goes back at once.
    RenderCommands(m_lastDisplay);
}

void PlayerForm::menuDisplayProgramLog_Click() {
    DisplayProgramLog(m_session);
}

void PlayerForm::menuDisplayErrorLog_Click() {
    DisplayErrorLog(m_session);
}

void PlayerForm::menuHelpTopics_Click() {
    OpenHelpTopics(m_session.Dlg());
}

void PlayerForm::menuAbout_Click() {
    AboutForm::ShowFor(m_about, Product::Player, this);
}

void PlayerForm::menuAboutMediaPlayerControl_Click() {
    MediaPlayer1().AboutBox(m_session.Dlg());
}

void PlayerForm::menuDisplayCurrentSettings_Click() {
    DisplayCurrentSettings(m_session);
}

void PlayerForm::menuOptions_Click() {
    if (!m_engine) return;
    // One window only: a second click brings the open one forward.
    if (!m_options) {
        // The sound output page moves the engine both players sound through.
        auto* audio = dynamic_cast<AudioMediaPlayer*>(m_player1);
        m_options = new PlayerOptionsForm(m_session, *m_engine, *this, this,
                                          audio ? &audio->Engine() : nullptr, m_streaming);
    }
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
}

void PlayerForm::menuLoadSettings_Click() {
    // Player is on air: settings that cannot be read are not a first start.
    // It keeps what it holds rather than run on blanked folders and names,
    // and the mode it runs in.
    if (m_engine) {
        RereadPlayerSettings(m_session, *m_engine);
    } else {
        ReadPlayerSettings(m_session, SettingsRead::Running);
    }
}

void PlayerForm::menuDeleteRegistry_Click() {
    ResetHooks hooks;
    hooks.readSettings = [this] {
        return m_engine ? RereadPlayerSettings(m_session, *m_engine)
                        : ReadPlayerSettings(m_session, SettingsRead::Running);
    };
    hooks.afterDefaults = [this] { ShowPlayer(); };
    DeleteRegistry(m_session, hooks);
}

void PlayerForm::menuSuppressErrorReporting_Click() {
    m_session.SuppressErrorReporting = !m_session.SuppressErrorReporting;
    m_menuSuppressErrorReporting->setChecked(m_session.SuppressErrorReporting);
}

// ---------------------------------------------------------------------------
// The program's run

int RunPlayer(Session& session, PlayerForm& form, PlayerEngine& engine) {
    // Queued: the shut-down finishes its own work before the loop is left.
    const QMetaObject::Connection quit = QObject::connect(
        &form, &PlayerForm::Unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    int result = 0;
    // A quit asked for before the loop runs is lost by the loop; the start-up
    // knows the program was ended.
    if (StartPlayer(session, engine, form, result)) result = QApplication::exec();
    QObject::disconnect(quit);
    return result;
}

}  // namespace sonavel
