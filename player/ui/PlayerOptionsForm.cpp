#include "PlayerOptionsForm.h"

#include "CommonModule.h"
#include "DialogKeys.h"
#include "ErrorModule.h"
#include "PlayerModule.h"
#include "Session.h"
#include "SoundOutputPage.h"
#include "StreamingPage.h"
#include "Windows.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace sonavel {

namespace {

using Box = PlayerOptions::Box;
using Folder = PlayerOptions::Folder;

QGroupBox* Frame(QWidget* page, const char* name, const QString& caption) {
    auto* frame = new QGroupBox(caption, page);
    frame->setObjectName(QString::fromLatin1(name));
    new QVBoxLayout(frame);
    page->layout()->addWidget(frame);
    return frame;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    parent->layout()->addWidget(label);
    return label;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption,
                    const QString& tip = {}) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(tip);
    return button;
}

QWidget* Page(QTabWidget* tabs, const QString& caption) {
    auto* page = new QWidget(tabs);
    new QVBoxLayout(page);
    tabs->addTab(page, caption);
    return page;
}

// A text box with its button beside it, on one line of the frame.
QLineEdit* TextWithButton(QGroupBox* frame, const char* textName, QPushButton* button) {
    auto* row = new QHBoxLayout;
    auto* text = new QLineEdit(frame);
    text->setObjectName(QString::fromLatin1(textName));
    row->addWidget(text, 1);
    row->addWidget(button);
    static_cast<QVBoxLayout*>(frame->layout())->addLayout(row);
    return text;
}

void Finish(QWidget* page) {
    static_cast<QVBoxLayout*>(page->layout())->addStretch(1);
}

}  // namespace

PlayerOptionsForm::PlayerOptionsForm(Session& session, PlayerEngine& engine, MainWindow& mainWindow,
                                     QWidget* parent, AudioEngine* audio, Streaming* streaming)
    : QWidget(parent, Qt::Window),
      m_session(session),
      m_engine(engine),
      m_audio(audio),
      m_streaming(streaming),
      m_mainWindow(mainWindow),
      m_options(session, engine) {
    setObjectName(QStringLiteral("PlayerOptionsForm"));
    setWindowTitle(QStringLiteral("Sonavel Player Options"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tapOptions"));
    layout->addWidget(m_tabs, 1);
    BuildGeneral();
    BuildFolder();
    BuildLogFiles();
    BuildMediaPlayer();
    BuildAdvanced();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* ok =
        Button(this, "commandOK", QStringLiteral("OK"),
               QStringLiteral("Click this button to save changes and close this screen."));
    QPushButton* cancel =
        Button(this, "commandCancel", QStringLiteral("&Cancel"),
               QStringLiteral("Click this button to cancel most changes and close this screen."));
    m_commandApply =
        Button(this, "commandApply", QStringLiteral("&Apply"),
               QStringLiteral(
                   "Click this button to apply setting immediately without closing this screen."));
    ok->setDefault(true);
    for (QPushButton* b : {ok, cancel, m_commandApply})
        buttons->addWidget(b);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { commandOK_Click(); });
    connect(cancel, &QPushButton::clicked, this, [this] { commandCancel_Click(); });
    connect(m_commandApply, &QPushButton::clicked, this, [this] { commandApply_Click(); });

    for (QLineEdit* text :
         {m_textPlaylistFolder, m_textTimeCheckFolder, m_textProgramLogFile, m_textErrorLogFile}) {
        connect(text, &QLineEdit::textChanged, this, [this] {
            if (!m_showing) EnableApply();
        });
    }

    UseDialogKeys(this, cancel);

    AddExtraPages();
    Show(m_options.Open());
    m_commandApply->setEnabled(false);
    // The mode box shows the mode Player runs in, whoever changed it.
    m_engine.WatchMode(this, [this] { m_checkMode->setChecked(m_options.FollowRunningMode()); });
}

void PlayerOptionsForm::AddExtraPages() {
    AddPage(new SoundOutputPage(m_session, this, m_audio), QStringLiteral("Sound Output"));
    AddPage(new StreamingPage(m_session, this, m_streaming), QStringLiteral("Streaming"));
}

void PlayerOptionsForm::AddPage(QWidget* page, const QString& caption,
                                std::function<void()> apply) {
    // The added pages hold more than the window's fixed pages; on a small
    // screen or a large font they scroll rather than lose their last lines.
    auto* scroll = new QScrollArea(m_tabs);
    scroll->setObjectName(page->objectName() + QStringLiteral("Scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(page);
    // Whole where the screen allows it (wrapped notes take more lines in the
    // page than its hint says): a page scrolls only past this height.
    scroll->setMinimumHeight(std::min(page->sizeHint().height() + 48, 600));
    m_tabs->addTab(scroll, caption);
    if (apply) m_pageApplies.push_back(std::move(apply));
}

QCheckBox* PlayerOptionsForm::Check(QWidget* parent, const char* name, const QString& caption,
                                    Box box, const QString& tip) {
    auto* check = new QCheckBox(caption, parent);
    check->setObjectName(QString::fromLatin1(name));
    check->setToolTip(tip);
    parent->layout()->addWidget(check);
    // Only the operator's clicks are changes; the window filling itself is not.
    connect(check, &QCheckBox::clicked, this, [this, box](bool checked) {
        m_options.Click(box, checked);
        EnableApply();
    });
    return check;
}

void PlayerOptionsForm::BuildGeneral() {
    QWidget* page = Page(m_tabs, QStringLiteral("General"));
    QGroupBox* operation = Frame(page, "frameGeneral1", QStringLiteral("Operation"));
    m_checkMode =
        Check(operation, "checkMode", QStringLiteral("&Automatic Playlist Selection"), Box::Mode,
              QStringLiteral("This box is used to switch between Manual and Automatic "
                             "Playlist modes. Change will take effect when you click "
                             "'OK' or 'Apply'"));
    m_checkDisplaySplash = Check(operation, "checkDisplaySplash",
                                 QStringLiteral("&Display Splash Screen"), Box::DisplaySplash);
    QGroupBox* settings = Frame(page, "frameGeneral2", QStringLiteral("Settings"));
    m_checkSaveSettingsOnExit = Check(
        settings, "checkSaveSettingsOnExit", QStringLiteral("&Save Settings on Exit"),
        Box::SaveSettingsOnExit,
        QStringLiteral(
            "Normally you should check this box so that setting are saved between sessions."));
    QGroupBox* logging = Frame(page, "Frame1", QStringLiteral("Logging"));
    m_checkEnableErrorLogging =
        Check(logging, "checkEnableErrorLogging", QStringLiteral("Enable &Error Logging"),
              Box::ErrorLogging,
              QStringLiteral(
                  "You must set a Error Log File and click 'Apply' before checking this box."));
    m_checkEnableProgramLogging =
        Check(logging, "checkEnableProgramLogging", QStringLiteral("Enable &Program Logging"),
              Box::ProgramLogging,
              QStringLiteral(
                  "You must set a Program Log File and click 'Apply' before checking this box."));
    Finish(page);
}

void PlayerOptionsForm::BuildFolder() {
    QWidget* page = Page(m_tabs, QStringLiteral("Folder"));
    QGroupBox* playlists = Frame(page, "framePlaylistFolder", QStringLiteral("Playlist Folder"));
    QPushButton* browsePlaylists =
        Button(playlists, "commandBrowsePlaylistFolder", QStringLiteral("B&rowse"));
    m_textPlaylistFolder = TextWithButton(playlists, "textPlaylistFolder", browsePlaylists);
    Label(playlists, "labelPlaylistFolder",
          QStringLiteral("The Playlist Folder is used to store Playlists. The current location is "
                         "shown above. This folder must be set properly before using Automatic "
                         "Mode."));
    QGroupBox* time = Frame(page, "frameTimeCheckFolder", QStringLiteral("Time Check Folder"));
    QPushButton* browseTime =
        Button(time, "commandBrowseTimeCheckFolder", QStringLiteral("&Browse"));
    m_textTimeCheckFolder = TextWithButton(time, "textTimeCheckFolder", browseTime);
    Label(time, "labelTimeCheckFolder",
          QStringLiteral("The Time Check Folder is used to store optional Time Check files. The "
                         "current location is shown above. This folder must be set properly "
                         "before using the :TimeCheck keyword in playlists."));
    connect(browsePlaylists, &QPushButton::clicked, this,
            [this] { commandBrowse_Click(Folder::Playlist); });
    connect(browseTime, &QPushButton::clicked, this,
            [this] { commandBrowse_Click(Folder::TimeCheck); });
    Finish(page);
}

void PlayerOptionsForm::BuildLogFiles() {
    QWidget* page = Page(m_tabs, QStringLiteral("Log Files"));
    QGroupBox* program = Frame(page, "frameProgramLogFile", QStringLiteral("Program Log File"));
    QPushButton* setProgram = Button(program, "commandSetProgramLog", QStringLiteral("&Set"));
    m_textProgramLogFile = TextWithButton(program, "textProgramLogFile", setProgram);
    Label(program, "labelProgramLog",
          QStringLiteral("The Program Log records every on-air event. You must set this file "
                         "before enabling Program Logging."));
    QGroupBox* error = Frame(page, "frameErrorLogFile", QStringLiteral("Error Log File"));
    QPushButton* setError = Button(error, "commandSetErrorLogFile", QStringLiteral("&Set"));
    m_textErrorLogFile = TextWithButton(error, "textErrorLogFile", setError);
    Label(error, "labelErrorLog",
          QStringLiteral("The Error Log records problems encountered in playing sound files. You "
                         "must set this file before enabling Error Logging."));
    connect(setProgram, &QPushButton::clicked, this, [this] { commandSetProgramLog_Click(); });
    connect(setError, &QPushButton::clicked, this, [this] { commandSetErrorLogFile_Click(); });
    Finish(page);
}

void PlayerOptionsForm::BuildMediaPlayer() {
    QWidget* page = Page(m_tabs, QStringLiteral("Media Player"));
    QGroupBox* frame =
        Frame(page, "frameMediaPlayerOperation", QStringLiteral("Media Player Operation"));
    m_checkSynchronousOperation = Check(
        frame, "checkSynchronousOperation", QStringLiteral("&Synchronous Operation"),
        Box::Synchronous,
        QStringLiteral("With this box checked, Sound Files are one at a time; with it checked, "
                       "multiple sound files are loaded at once."));
    Label(frame, "labelMediaPlayerWarning1",
          QStringLiteral("Default operation of the Media Player Control, which Sonavel uses to "
                         "play sound files, in this version is Asynchronous. This means that a "
                         "separate thread or process is used to open sound files. This can result "
                         "in faster sequencing of sound files."));
    Label(frame, "labelMediaPlayerWarning2",
          QStringLiteral("Depending upon the speed of your computer, you may achieve better "
                         "performance in playing compressed audio files by checking the box "
                         "above. If you experience skipping or thumping sounds, then you should "
                         "check the box. If you get the same results with the box checked or "
                         "unchecked, then leave it unchecked."));
    Finish(page);
}

void PlayerOptionsForm::BuildAdvanced() {
    QWidget* page = Page(m_tabs, QStringLiteral("Advanced"));
    Label(page, "Label1",
          QStringLiteral("CAUTION: Improper use of settings on this page can result in an "
                         "inoperative program and/or loss of settings or data. Use only at your "
                         "own risk or under the direction of Sonavel technical support."));
    QGroupBox* frame = Frame(page, "frameRegistry", QStringLiteral("Advanced Registry Settings"));
    const auto row = [frame](QPushButton* button, const char* labelName, const QString& text) {
        auto* line = new QHBoxLayout;
        line->addWidget(button);
        auto* label = new QLabel(text, frame);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setWordWrap(true);
        line->addWidget(label, 1);
        static_cast<QVBoxLayout*>(frame->layout())->addLayout(line);
    };
    QPushButton* del = Button(frame, "commandDeleteSettings", QStringLiteral("&Delete"));
    row(del, "labelDeleteSettings",
        QStringLiteral("Delete all settings for Sonavel in Registry. CAUTION: Permanent and "
                       "Immediate!"));
    QPushButton* view = Button(frame, "commandViewCurrentSettings", QStringLiteral("&View"));
    row(view, "labelViewSettings",
        QStringLiteral("View all settings for Sonavel in Registry. This is read-only and safe."));
    connect(del, &QPushButton::clicked, this, [this] { commandDeleteSettings_Click(); });
    connect(view, &QPushButton::clicked, this, [this] { commandViewCurrentSettings_Click(); });
    Finish(page);
}

void PlayerOptionsForm::Show(const PlayerOptions::View& view) {
    m_showing = true;
    m_checkDisplaySplash->setChecked(view.Checked(Box::DisplaySplash));
    m_checkSaveSettingsOnExit->setChecked(view.Checked(Box::SaveSettingsOnExit));
    m_checkSynchronousOperation->setChecked(view.Checked(Box::Synchronous));
    m_checkMode->setChecked(view.Checked(Box::Mode));
    m_checkEnableProgramLogging->setChecked(view.Checked(Box::ProgramLogging));
    m_checkEnableProgramLogging->setEnabled(view.programLoggingAvailable);
    m_checkEnableErrorLogging->setChecked(view.Checked(Box::ErrorLogging));
    m_checkEnableErrorLogging->setEnabled(view.errorLoggingAvailable);
    m_textPlaylistFolder->setText(view.playlistFolder);
    m_textTimeCheckFolder->setText(view.timeCheckFolder);
    m_textProgramLogFile->setText(view.programLogFileName);
    m_textErrorLogFile->setText(view.errorLogFileName);
    m_showing = false;
}

void PlayerOptionsForm::EnableApply() {
    m_commandApply->setEnabled(true);
}

void PlayerOptionsForm::commandApply_Click() {
    if (!m_commandApply->isEnabled()) return;
    const PlayerOptions::View view =
        m_options.Apply({m_textPlaylistFolder->text(), m_textTimeCheckFolder->text(),
                         m_textProgramLogFile->text(), m_textErrorLogFile->text()},
                        [this] {
                            for (const auto& apply : m_pageApplies)
                                apply();
                        });
    // The boxes stay as the operator left them, except the mode box, which
    // shows the mode Player runs in now (the switch may have fallen back, or
    // wait for the element change), and a log that has no file any more: it
    // is off, and cannot be switched on until one is set.
    m_checkMode->setChecked(view.Checked(Box::Mode));
    for (auto [check, available] :
         {std::pair{m_checkEnableProgramLogging, view.programLoggingAvailable},
          std::pair{m_checkEnableErrorLogging, view.errorLoggingAvailable}}) {
        if (!available) check->setChecked(false);
        check->setEnabled(available);
    }
    m_commandApply->setEnabled(false);
}

void PlayerOptionsForm::commandOK_Click() {
    commandApply_Click();
    close();
}

void PlayerOptionsForm::commandCancel_Click() {
    close();
}

void PlayerOptionsForm::closeEvent(QCloseEvent* event) {
    m_mainWindow.ShowMain();
    event->accept();
}

void PlayerOptionsForm::commandBrowse_Click(Folder folder) {
    const QString chosen = m_options.Browse(folder);
    (folder == Folder::Playlist ? m_textPlaylistFolder : m_textTimeCheckFolder)->setText(chosen);
    EnableApply();
}

void PlayerOptionsForm::commandSetProgramLog_Click() {
    SetProgramLog(m_session);
    m_textProgramLogFile->setText(m_session.ProgramLogFileName);
}

void PlayerOptionsForm::commandSetErrorLogFile_Click() {
    SetErrorLog(m_session);
    m_textErrorLogFile->setText(m_session.ErrorLogFileName);
}

void PlayerOptionsForm::commandViewCurrentSettings_Click() {
    DisplayCurrentSettings(m_session);
}

void PlayerOptionsForm::commandDeleteSettings_Click() {
    if (!ConfirmDeleteAllSettings(m_session)) return;
    ResetHooks hooks;
    hooks.readSettings = [this] { return RereadPlayerSettings(m_session, m_engine); };
    // The defaults are set: this window's values are stale, and it goes.
    hooks.afterDefaults = [this] { close(); };
    DeleteRegistry(m_session, hooks);
    EnableApply();
}

}  // namespace sonavel
