#include "CreatorForm.h"

#include "AboutForm.h"
#include "AudioMediaPlayer.h"
#include "BackupForm.h"
#include "CreatorOptionsForm.h"
#include "Events.h"
#include "FormatModule.h"
#include "HourEstimate.h"
#include "HourReportForm.h"
#include "HourlyClockForms.h"
#include "KeywordForm.h"
#include "PrintModule.h"
#include "RecentFiles.h"
#include "RtfCodec.h"
#include "SearchForm.h"
#include "TextFile.h"
#include "Twips.h"
#include "UiColor.h"
#include "UiText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColor>
#include <QDialog>
#include <QFontDialog>
#include <QHash>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace sonavel {

namespace {
constexpr double kCreatorMinWidthTwips = 8490;
constexpr double kCreatorMinHeightTwips = 6405;
constexpr double kPaneBottomMarginTwips = 160;
constexpr double kNeighbourButtonTwips = 285;
constexpr char kRecentListName[] = "Creator";

QColor FromStoredColor(std::int32_t color) {
    return ToQColor(Color::FromStored(color));
}
}  // namespace

CreatorForm::CreatorForm(Session& session, KeywordModule& keywords, ClockModule& clocks,
                         AudioEngine& audio, QWidget* parent)
    : QMainWindow(parent),
      m_session(session),
      m_keywords(keywords),
      m_editor(session, keywords, clocks, *this),
      m_backup(session, keywords, clocks),
      m_audio(audio) {
    setObjectName(QStringLiteral("CreatorForm"));
    setWindowTitle(QStringLiteral("Sonavel Creator"));

    BuildMenus();
    BuildToolbar();
    BuildPanes();
    BuildStatusBar();

    // A minimum size is never applied to a minimised window, as the rule wants.
    setMinimumSize(TwipsToPixels(kCreatorMinWidthTwips, kCreatorMinHeightTwips, this));

    m_keywords.SetPane(&m_pane);
    DisplayKeywordPane();
    m_runDisplay.onHourReport = [this] { commandHourReport_Click(); };
}

CreatorForm::~CreatorForm() {
    // They work on members of this window, which are gone before its children.
    delete m_optionsForm;
    delete m_searchForm;
    delete m_backupForm;
    delete m_hourReportForm;
    delete m_saveHourlyForm;
    delete m_openHourlyForm;
    m_keywords.SetPane(nullptr);
    SetScheduler(nullptr);
}

void CreatorForm::SetScheduler(SchedulerModule* scheduler) {
    if (m_scheduler) {
        m_scheduler->SetEditor(nullptr);
        m_scheduler->SetDisplay(nullptr);
    }
    m_scheduler = scheduler;
    if (m_scheduler) {
        m_scheduler->SetEditor(&m_editor);
        m_scheduler->SetDisplay(&m_runDisplay);
    }
}

void CreatorForm::menuCreatePlaylists_Click() {
    // The run serves events while it writes, so the menu and the toolbar
    // stay clickable; a click then must not start a second run.
    if (!m_scheduler || m_scheduler->Running()) return;
    const MsgResult answer = m_session.Dlg().MsgBox(
        QStringLiteral("Do you want to create Playlists?"), MsgButtons::YesNo, MsgIcon::Question,
        QStringLiteral("Create Playlists"), 2);
    if (answer == MsgResult::Yes) m_scheduler->CreatePlaylists();
}

// ---------------------------------------------------------------------------
// Building the window

QAction* CreatorForm::MenuEntry(QMenu* menu, const QString& caption, const QString& name,
                                void (CreatorForm::*handler)(), const QKeySequence& shortcut) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void CreatorForm::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    MenuEntry(file, QStringLiteral("&New"), QStringLiteral("menuNew"), &CreatorForm::menuNew_Click);
    MenuEntry(file, QStringLiteral("&Open..."), QStringLiteral("menuOpen"),
              &CreatorForm::menuOpen_Click);
    MenuEntry(file, QStringLiteral("Open &Default Clock"), QStringLiteral("menuOpenDefaultClock"),
              &CreatorForm::menuOpenDefaultClock_Click);
    MenuEntry(file, QStringLiteral("Open &Hourly Clock"), QStringLiteral("menuOpenHourlyClock"),
              &CreatorForm::menuOpenHourlyClock_Click);
    MenuEntry(file, QStringLiteral("&Save"), QStringLiteral("menuSave"),
              &CreatorForm::menuSave_Click)
        ->setEnabled(false);
    MenuEntry(file, QStringLiteral("Save &As..."), QStringLiteral("menuSaveAs"),
              &CreatorForm::menuSaveAs_Click)
        ->setEnabled(false);
    MenuEntry(file, QStringLiteral("Save As D&efault Clock"),
              QStringLiteral("menuSaveAsDefaultClock"), &CreatorForm::menuSaveAsDefaultClock_Click)
        ->setEnabled(false);
    MenuEntry(file, QStringLiteral("Save As H&ourly Clock"),
              QStringLiteral("menuSaveAsHourlyClock"), &CreatorForm::menuSaveAsHourlyClock_Click)
        ->setEnabled(false);
    file->addSeparator();
    MenuEntry(file, QStringLiteral("Print Se&tup..."), QStringLiteral("menuPrintSetup"),
              &CreatorForm::menuPrintSetup_Click);
    MenuEntry(file, QStringLiteral("&Print"), QStringLiteral("menuPrint"),
              &CreatorForm::menuPrint_Click);
    const RecentFileActions recent = AddRecentFileEntries(*file, {}, [this] {
        ClearRecentFiles(m_session, QString::fromLatin1(kRecentListName), m_entries);
    });
    // The editor wants the whole caption, as the entry shows it.
    for (std::size_t k = 1; k < recent.menuRecentFile.size(); ++k) {
        QAction* entry = recent.menuRecentFile[k];
        connect(entry, &QAction::triggered, this,
                [this, entry] { m_editor.OpenRecentFile(entry->text()); });
    }
    file->addSeparator();
    MenuEntry(file, QStringLiteral("E&xit"), QStringLiteral("menuExit"),
              &CreatorForm::menuExit_Click);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("menuEdit"));
    MenuEntry(edit, QStringLiteral("Cu&t"), QStringLiteral("menuCut"), &CreatorForm::menuCut_Click,
              QKeySequence(Qt::CTRL | Qt::Key_X))
        ->setEnabled(false);
    MenuEntry(edit, QStringLiteral("&Copy"), QStringLiteral("menuCopy"),
              &CreatorForm::menuCopy_Click, QKeySequence(Qt::CTRL | Qt::Key_C))
        ->setEnabled(false);
    MenuEntry(edit, QStringLiteral("&Paste"), QStringLiteral("menuPaste"),
              &CreatorForm::menuPaste_Click, QKeySequence(Qt::CTRL | Qt::Key_V));
    MenuEntry(edit, QStringLiteral("Cle&ar"), QStringLiteral("menuClear"),
              &CreatorForm::menuClear_Click, QKeySequence(Qt::Key_Delete))
        ->setEnabled(false);
    MenuEntry(edit, QStringLiteral("Select A&ll"), QStringLiteral("menuSelectAll"),
              &CreatorForm::menuSelectAll_Click, QKeySequence(Qt::CTRL | Qt::Key_A))
        ->setEnabled(false);
    edit->addSeparator();
    MenuEntry(edit, QStringLiteral("&Find..."), QStringLiteral("menuFind"),
              &CreatorForm::menuFind_Click, QKeySequence(Qt::CTRL | Qt::Key_F))
        ->setEnabled(false);
    MenuEntry(edit, QStringLiteral("Find &Next"), QStringLiteral("menuFindNext"),
              &CreatorForm::menuFindNext_Click, QKeySequence(Qt::Key_F3))
        ->setEnabled(false);
    MenuEntry(edit, QStringLiteral("R&eplace"), QStringLiteral("menuReplace"),
              &CreatorForm::menuReplace_Click, QKeySequence(Qt::CTRL | Qt::Key_H))
        ->setEnabled(false);
    edit->addSeparator();
    MenuEntry(edit, QStringLiteral("Set &Font..."), QStringLiteral("menuSetFont"),
              &CreatorForm::menuSetFont_Click);

    // Commands on the menu bar itself.
    struct BarCommand {
        const char* caption;
        const char* name;
        void (CreatorForm::*handler)();
    };
    for (const BarCommand& command :
         {BarCommand{"&Keyword Maintenance", "menuKeywordMaintenance",
                     &CreatorForm::menuKeywordMaintenance_Click},
          BarCommand{"&Create Playlists", "menuCreatePlaylists",
                     &CreatorForm::menuCreatePlaylists_Click},
          BarCommand{"&Options", "menuOptions", &CreatorForm::menuOptions_Click},
          BarCommand{"&Backup", "menuBackup", &CreatorForm::menuBackup_Click}}) {
        QAction* action = menuBar()->addAction(QString::fromLatin1(command.caption));
        action->setObjectName(QString::fromLatin1(command.name));
        connect(action, &QAction::triggered, this, command.handler);
    }

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    MenuEntry(help, QStringLiteral("&Help Topics"), QStringLiteral("menuHelpTopics"),
              &CreatorForm::menuHelpTopics_Click, QKeySequence(Qt::Key_F1));
    help->addSeparator();
    MenuEntry(help, QStringLiteral("&About"), QStringLiteral("menuAbout"),
              &CreatorForm::menuAbout_Click);
    MenuEntry(help, QStringLiteral("About &Media Player Control"),
              QStringLiteral("menuAboutMediaPlayerControl"),
              &CreatorForm::menuAboutMediaPlayerControl_Click);
}

void CreatorForm::BuildToolbar() {
    m_toolbar = addToolBar(QStringLiteral("Toolbar"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    // Sixteen buttons in a window that opens at its minimum width: at the
    // style's toolbar size the last ones would be hidden behind the
    // overflow. Small icons keep them all in sight.
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_toolbar);
    m_toolbar->setIconSize(QSize(icon, icon));

    struct Button {
        const char* key;
        QStyle::StandardPixmap icon;
        void (CreatorForm::*handler)();
        bool enabled;
    };
    using P = QStyle::StandardPixmap;
    using F = CreatorForm;
    // Groups are divided by a null key.
    const Button buttons[] = {
        {"New", P::SP_FileIcon, &F::menuNew_Click, true},
        {nullptr, {}, nullptr, false},
        {"Open", P::SP_DialogOpenButton, &F::menuOpen_Click, true},
        {"Open Default Clock", P::SP_DirHomeIcon, &F::menuOpenDefaultClock_Click, true},
        {"Open Hourly Clock", P::SP_FileDialogDetailedView, &F::menuOpenHourlyClock_Click, true},
        {nullptr, {}, nullptr, false},
        {"Save", P::SP_DialogSaveButton, &F::menuSave_Click, false},
        {"Save as Default Clock", P::SP_DriveHDIcon, &F::menuSaveAsDefaultClock_Click, false},
        {"Save as Hourly Clock", P::SP_FileDialogListView, &F::menuSaveAsHourlyClock_Click, false},
        {nullptr, {}, nullptr, false},
        {"Print", P::SP_FileDialogContentsView, &F::menuPrint_Click, true},
        {nullptr, {}, nullptr, false},
        {"Find", P::SP_FileDialogInfoView, &F::menuFind_Click, false},
        {nullptr, {}, nullptr, false},
        {"Cut", P::SP_DialogDiscardButton, &F::menuCut_Click, false},
        {"Copy", P::SP_FileLinkIcon, &F::menuCopy_Click, false},
        {"Paste", P::SP_DialogApplyButton, &F::menuPaste_Click, true},
        {nullptr, {}, nullptr, false},
        {"Keyword Maintenance", P::SP_DirIcon, &F::menuKeywordMaintenance_Click, true},
        {nullptr, {}, nullptr, false},
        {"Create Playlists", P::SP_MediaPlay, &F::menuCreatePlaylists_Click, true},
        {nullptr, {}, nullptr, false},
        {"Backup", P::SP_DriveFDIcon, &F::menuBackup_Click, true},
        {nullptr, {}, nullptr, false},
        {"Estimate Time", P::SP_BrowserReload, &F::EstimateTime_Click, true},
    };
    // The desktop's own icons by their freedesktop names where one fits; the
    // style's icons where the theme has none.
    const QHash<QString, QString> themeIcons = {
        {QStringLiteral("New"), QStringLiteral("document-new")},
        {QStringLiteral("Open"), QStringLiteral("document-open")},
        {QStringLiteral("Open Default Clock"), QStringLiteral("go-home")},
        {QStringLiteral("Open Hourly Clock"), QStringLiteral("document-open-recent")},
        {QStringLiteral("Save"), QStringLiteral("document-save")},
        {QStringLiteral("Save as Default Clock"), QStringLiteral("document-save-as")},
        {QStringLiteral("Print"), QStringLiteral("document-print")},
        {QStringLiteral("Find"), QStringLiteral("edit-find")},
        {QStringLiteral("Cut"), QStringLiteral("edit-cut")},
        {QStringLiteral("Copy"), QStringLiteral("edit-copy")},
        {QStringLiteral("Paste"), QStringLiteral("edit-paste")},
        {QStringLiteral("Keyword Maintenance"), QStringLiteral("accessories-dictionary")},
        {QStringLiteral("Create Playlists"), QStringLiteral("system-run")},
        {QStringLiteral("Backup"), QStringLiteral("drive-removable-media")},
        {QStringLiteral("Estimate Time"), QStringLiteral("view-refresh")},
    };
    for (const Button& button : buttons) {
        if (button.key == nullptr) {
            m_toolbar->addSeparator();
            continue;
        }
        const QString key = QString::fromLatin1(button.key);
        QAction* action = m_toolbar->addAction(
            QIcon::fromTheme(themeIcons.value(key), style()->standardIcon(button.icon)), key);
        action->setObjectName(key);
        action->setToolTip(key);
        connect(action, &QAction::triggered, this, button.handler);
        action->setEnabled(button.enabled);
    }
}

void CreatorForm::BuildPanes() {
    m_inner = new QWidget(this);
    m_inner->setObjectName(QStringLiteral("inner"));

    auto header = [this](const char* name, const char* text) {
        auto* line = new QLineEdit(QString::fromLatin1(text), m_inner);
        line->setObjectName(QString::fromLatin1(name));
        line->setReadOnly(true);
        line->setFocusPolicy(Qt::NoFocus);
        return line;
    };
    m_keywordHeader = header("textKeywordHeader", "Keywords");
    m_editHeader = header("textEditHeader", "Edit: No File is Loaded");
    m_previewHeader = header("textPreviewHeader", "Preview: No File is Loaded");

    auto neighbour = [this](const char* name, const char* tip, Qt::ArrowType arrow) {
        auto* button = new QToolButton(m_inner);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(QString::fromLatin1(tip));
        button->setArrowType(arrow);
        button->setEnabled(false);
        return button;
    };
    m_previous =
        neighbour("commandPrevious", "Move to Previous Existing Hourly Clock", Qt::LeftArrow);
    m_next = neighbour("commandNext", "Move to Next Existing Hourly Clock", Qt::RightArrow);
    connect(m_previous, &QToolButton::clicked, this, [this] { m_editor.PreviousClock(); });
    connect(m_next, &QToolButton::clicked, this, [this] { m_editor.NextClock(); });

    auto pane = [this](const char* name, const char* tip, bool readOnly) {
        auto* text = new QTextEdit(m_inner);
        text->setObjectName(QString::fromLatin1(name));
        text->setToolTip(QString::fromLatin1(tip));
        text->setReadOnly(readOnly);
        // Clock lines are never wrapped: a wrapped line would read as two.
        text->setLineWrapMode(QTextEdit::NoWrap);
        return text;
    };
    m_keywordPane = pane("textKeyword", "Keyword Window", true);
    m_editPane = pane("textEdit", "Edit Window", false);
    m_previewPane = pane("textPreview", "Preview Window", true);
    // Pasted or dropped text arrives as plain lines; fonts come from Set Font only.
    m_editPane->setAcceptRichText(false);
    m_searchPane = std::make_unique<TextEditSearchPane>(*m_editPane);

    m_keywordPane->viewport()->installEventFilter(this);
    connect(m_editPane, &QTextEdit::textChanged, this, [this] { m_editor.EditChanged(); });
    connect(m_editPane, &QTextEdit::selectionChanged, this, &CreatorForm::textEdit_SelChange);

    m_inner->installEventFilter(this);
    setCentralWidget(m_inner);
}

void CreatorForm::BuildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(bar);

    auto panel = [bar](const char* name, const QString& text, const char* tip, int stretch) {
        return AddStatusPanel(bar, name, text, tip, stretch);
    };
    m_fileNamePanel =
        panel("FileName", QString(), "Name and Path of file currently being edited", 1);
    m_estimatedTimePanel =
        panel("Estimated Time", QStringLiteral("00:00"), "Estimated time of this format clock", 0);
    // The keyboard panels name their keys; Qt gives no portable way to read
    // the lock states, so they are not greyed with them.
    panel("CAPS", QStringLiteral("CAPS"), nullptr, 0);
    panel("NUM", QStringLiteral("NUM"), nullptr, 0);
    panel("INS", QStringLiteral("INS"), nullptr, 0);
}

void CreatorForm::PlaceControls() {
    // The panes keep their places while minimised, so restoring shows them as they were.
    if (isMinimized()) return;
    const int width = m_inner->width();
    const int headerHeight = m_editHeader->sizeHint().height();
    const int paneHeight =
        std::max(0, m_inner->height() - headerHeight - TwipsToPixels(kPaneBottomMarginTwips, this));
    const int keywordWidth = width * 30 / 100;
    const int editWidth = width * 35 / 100;
    const int previewWidth = width * 35 / 100;
    const int editLeft = keywordWidth;
    const int previewLeft = keywordWidth + editWidth;
    const int button = TwipsToPixels(kNeighbourButtonTwips, this);

    m_keywordHeader->setGeometry(0, 0, keywordWidth, headerHeight);
    m_previous->setGeometry(editLeft, 0, button, headerHeight);
    m_editHeader->setGeometry(editLeft + button, 0, std::max(0, editWidth - 2 * button),
                              headerHeight);
    m_next->setGeometry(editLeft + editWidth - button, 0, button, headerHeight);
    m_previewHeader->setGeometry(previewLeft, 0, previewWidth, headerHeight);

    m_keywordPane->setGeometry(0, headerHeight, keywordWidth, paneHeight);
    m_editPane->setGeometry(editLeft, headerHeight, editWidth, paneHeight);
    m_previewPane->setGeometry(previewLeft, headerHeight, previewWidth, paneHeight);
}

// ---------------------------------------------------------------------------
// Command states

void CreatorForm::SetCommandEnabled(QAction* action, bool enabled) {
    if (action == nullptr) return;
    action->setEnabled(enabled);
}

QAction* CreatorForm::Command(const QString& name) const {
    return findChild<QAction*>(name);
}

void CreatorForm::SetFileCommandsEnabled(bool enabled) {
    for (const char* name :
         {"menuSave", "menuSaveAs", "menuSaveAsDefaultClock", "menuSaveAsHourlyClock",
          "menuSelectAll", "menuFind", "menuFindNext", "menuReplace", "menuPrint", "Save",
          "Save as Default Clock", "Save as Hourly Clock", "Find", "Print"}) {
        SetCommandEnabled(Command(QString::fromLatin1(name)), enabled);
    }
}

void CreatorForm::SetSaveEnabled(bool enabled) {
    SetCommandEnabled(Command(QStringLiteral("menuSave")), enabled);
    SetCommandEnabled(Command(QStringLiteral("Save")), enabled);
}

void CreatorForm::textEdit_SelChange() {
    const bool selected = m_editPane->textCursor().hasSelection();
    for (const char* name : {"menuCut", "menuCopy", "menuClear", "Cut", "Copy"}) {
        SetCommandEnabled(Command(QString::fromLatin1(name)), selected);
    }
}

// ---------------------------------------------------------------------------
// The panes as the editor drives them

QString CreatorForm::EditText() const {
    QString text = m_editPane->toPlainText();
    text.replace(QLatin1Char('\n'), kCrLf);
    return text;
}

void CreatorForm::SetEditText(const QString& text) {
    m_editPane->setPlainText(WithLineFeeds(text));
}

QByteArray CreatorForm::EditRichText() const {
    return ToRtf(*m_editPane->document());
}

bool CreatorForm::SetEditRichText(const QByteArray& rtf) {
    return FromRtf(rtf, *m_editPane->document());
}

void CreatorForm::CaretToStart() {
    m_editPane->moveCursor(QTextCursor::Start);
}

void CreatorForm::ClearPreview() {
    m_previewPane->clear();
    m_shownPreview = nullptr;
}

void CreatorForm::SetEditHeader(const QString& text) {
    m_editHeader->setText(text);
}

void CreatorForm::SetPreviewHeader(const QString& text) {
    m_previewHeader->setText(text);
}

void CreatorForm::SetNeighbourButtons(bool enabled) {
    m_previous->setEnabled(enabled);
    m_next->setEnabled(enabled);
}

void CreatorForm::SetFileNamePanel(const QString& text) {
    m_fileNamePanel->setText(text);
}

void CreatorForm::SetEstimatedTimePanel(const QString& text, bool enabled) {
    m_estimatedTimePanel->setText(text);
    m_estimatedTimePanel->setEnabled(enabled);
}

void CreatorForm::ShowPreview(const std::vector<PreviewRun>& runs) {
    // Most keystrokes leave the preview as it was (a word half typed names
    // no keyword yet); laying out a long preview again is what costs.
    const bool same = m_previewPane->document() == m_shownPreview &&
                      std::equal(runs.begin(), runs.end(), m_previewRuns.begin(),
                                 m_previewRuns.end(), [](const PreviewRun& a, const PreviewRun& b) {
                                     return a.color == b.color && a.text == b.text;
                                 });
    if (same) return;
    // Built aside and swapped in whole: the pane lays out and repaints once,
    // which keeps typing in a long clock smooth.
    auto* document = new QTextDocument(m_previewPane);
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(m_previewPane->document()->defaultFont());
    QTextCursor cursor(document);
    QTextCharFormat format;
    for (const PreviewRun& run : runs) {
        format.setForeground(FromStoredColor(run.color));
        cursor.insertText(WithLineFeeds(run.text), format);
    }
    // The pane deletes the document it replaces, which is its own child.
    m_previewPane->setDocument(document);
    m_shownPreview = document;
    m_previewRuns = runs;
}

QString CreatorForm::EditHeader() const {
    return m_editHeader->text();
}

void CreatorForm::EstimateClockTime(EstimateStart start) {
    m_estimate.EstimateClockTime(start);
}

void CreatorForm::EstimateTime_Click() {
    m_estimate.EstimateClockTime(EstimateStart::Command);
}

// ---------------------------------------------------------------------------
// The keyword pane

void CreatorForm::Pane::Clear() {
    m_form.m_keywordPane->clear();
}

void CreatorForm::Pane::Refill() {
    m_form.DisplayKeywordPane();
}

void CreatorForm::DisplayKeywordPane() {
    m_keywordPane->clear();
    if (!m_keywords.GetKeywordDefinitions()) return;
    QTextCursor cursor(m_keywordPane->document());
    QTextCharFormat format;
    for (const KeywordPaneLine& line : m_keywords.KeywordPaneLines()) {
        format.setForeground(Qt::black);
        cursor.insertText(line.time + QStringLiteral("  "), format);
        format.setForeground(FromStoredColor(line.color));
        cursor.insertText(line.keyword + QLatin1Char('\n'), format);
    }
    m_keywordPane->moveCursor(QTextCursor::Start);
}

void CreatorForm::textKeyword_MouseDown() {
    PickedKeyword.clear();
}

void CreatorForm::textKeyword_MouseUp() {
    QTextCursor cursor = m_keywordPane->textCursor();
    const QString picked = KeywordModule::PaneLineKeyword(cursor.block().text());
    if (!picked.isEmpty()) PickedKeyword = picked;
    cursor.movePosition(QTextCursor::StartOfBlock);
    m_keywordPane->setTextCursor(cursor);
}

void CreatorForm::textKeyword_DblClick() {
    if (PickedKeyword.isEmpty()) return;
    QTextCursor cursor = m_editPane->textCursor();
    cursor.insertText(WithLineFeeds(PickedKeyword));
    m_editPane->setTextCursor(cursor);
}

bool CreatorForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_inner && event->type() == QEvent::Resize) {
        PlaceControls();
    } else if (watched == m_keywordPane->viewport()) {
        const bool left = (event->type() == QEvent::MouseButtonPress ||
                           event->type() == QEvent::MouseButtonRelease ||
                           event->type() == QEvent::MouseButtonDblClick) &&
                          static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        if (left && event->type() == QEvent::MouseButtonPress) {
            textKeyword_MouseDown();
        } else if (left && event->type() == QEvent::MouseButtonRelease) {
            // The press has already put the caret on the line clicked.
            textKeyword_MouseUp();
        } else if (left && event->type() == QEvent::MouseButtonDblClick) {
            textKeyword_DblClick();
            // The pane's own word selection would only flicker before the release.
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CreatorForm::closeEvent(QCloseEvent* event) {
    if (onClose && !onClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CreatorForm::EndOnSignal() {
    if (m_endedBySignal) return;
    m_endedBySignal = true;
    // A wait under way returns at once rather than at its bound.
    AbandonWaits();
    // A box left open would hold the end until the system kills the
    // program. Each one closed returns to whoever opened it, which then
    // gives up as on Cancel; the close below does the rest.
    for (int boxes = 0; boxes < 10; ++boxes) {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || box == this) break;
        if (!box->close()) {
            auto* dialog = qobject_cast<QDialog*>(box);
            if (!dialog) break;
            dialog->reject();
        }
    }
    // From the event loop, once the boxes' own loops have returned.
    QTimer::singleShot(0, this, [this] { close(); });
}

void CreatorForm::keyPressEvent(QKeyEvent* event) {
    // Escape reaches here from every control that does not use it itself.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// Commands

void CreatorForm::menuNew_Click() {
    m_editor.NewClock();
}

void CreatorForm::menuOpen_Click() {
    m_editor.OpenClockCommand();
}

void CreatorForm::menuOpenDefaultClock_Click() {
    m_editor.OpenDefaultClockCommand();
}

void CreatorForm::menuSave_Click() {
    m_editor.SaveClock();
}

void CreatorForm::menuSaveAs_Click() {
    m_editor.SaveClockAs();
}

void CreatorForm::menuSaveAsDefaultClock_Click() {
    m_editor.SaveAsDefaultClockCommand();
}

void CreatorForm::menuPrintSetup_Click() {
    PrintSetup(m_session);
}

void CreatorForm::menuPrint_Click() {
    m_editor.PrintFile();
}

void CreatorForm::menuExit_Click() {
    close();
}

void CreatorForm::menuCut_Click() {
    QTextCursor cursor = m_editPane->textCursor();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(cursor.selection().toPlainText());
    cursor.removeSelectedText();
    m_editPane->setTextCursor(cursor);
}

void CreatorForm::menuCopy_Click() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_editPane->textCursor().selection().toPlainText());
}

void CreatorForm::menuPaste_Click() {
    QTextCursor cursor = m_editPane->textCursor();
    cursor.insertText(WithLineFeeds(QGuiApplication::clipboard()->text()));
    m_editPane->setTextCursor(cursor);
}

void CreatorForm::menuClear_Click() {
    // Clear goes with Cut and Copy, so operators expect it to delete the
    // selection as the Del key does, without touching the clipboard.
    QTextCursor cursor = m_editPane->textCursor();
    cursor.removeSelectedText();
    m_editPane->setTextCursor(cursor);
}

void CreatorForm::menuSelectAll_Click() {
    m_editPane->selectAll();
}

void CreatorForm::menuSetFont_Click() {
    // The font dialog offers no text colour; the colour stays as it is.
    bool chosen = false;
    const QFont font =
        QFontDialog::getFont(&chosen, m_editPane->currentFont(), this, QStringLiteral("Font"));
    if (!chosen) return;
    QTextCharFormat format;
    format.setFontFamilies({font.family()});
    if (font.pointSizeF() > 0) format.setFontPointSize(font.pointSizeF());
    format.setFontWeight(font.bold() ? QFont::Bold : QFont::Normal);
    format.setFontItalic(font.italic());
    format.setFontUnderline(font.underline());
    format.setFontStrikeOut(font.strikeOut());
    m_editPane->mergeCurrentCharFormat(format);
}

void CreatorForm::menuHelpTopics_Click() {
    OpenHelpTopics(m_session.Dlg());
}

void CreatorForm::menuAbout_Click() {
    AboutForm::ShowFor(m_about, Product::Creator, this);
}

void CreatorForm::menuKeywordMaintenance_Click() {
    // One window for the whole run; each showing loads the list afresh.
    if (!m_keywordForm) {
        m_keywordForm = new KeywordForm(m_session, m_keywords, MediaPlayer1(), this);
        connect(m_keywordForm, &KeywordForm::AllKeywordsDeleted, this,
                [this] { m_keywordPane->clear(); });
        connect(m_keywordForm, &KeywordForm::Closed, this, &CreatorForm::KeywordForm_Unload);
    }
    m_keywordForm->show();
    m_keywordForm->raise();
    m_keywordForm->activateWindow();
}

// One window of each kind at a time; asking again brings it forward.
template <class Form, class... Args>
static Form* ShowOwned(QPointer<Form>& form, QWidget* owner, Args&... args) {
    if (!form) form = new Form(args..., owner);
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

void CreatorForm::menuOpenHourlyClock_Click() {
    ShowOwned(m_openHourlyForm, this, m_hourly);
}

void CreatorForm::menuSaveAsHourlyClock_Click() {
    ShowOwned(m_saveHourlyForm, this, m_hourly);
}

void CreatorForm::menuFind_Click() {
    if (!m_searchForm) m_searchForm = new SearchForm(m_search, *m_searchPane, this);
    m_searchForm->Open(false);
}

void CreatorForm::menuReplace_Click() {
    if (!m_searchForm) m_searchForm = new SearchForm(m_search, *m_searchPane, this);
    m_searchForm->Open(true);
}

void CreatorForm::menuBackup_Click() {
    ShowOwned(m_backupForm, this, m_session, m_backup);
}

void CreatorForm::commandHourReport_Click() {
    // Every file of the week is measured: a moment on a large station.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    hours::Report report = hours::CreatorWeekReport(m_session);
    QApplication::restoreOverrideCursor();
    delete m_hourReportForm;
    m_hourReportForm = new HourReportForm(m_session, std::move(report), this);
    m_hourReportForm->show();
    m_hourReportForm->raise();
    m_hourReportForm->activateWindow();
}

HourReportForm* CreatorForm::HourReportWindow() const {
    return m_hourReportForm;
}

void CreatorForm::menuFindNext_Click() {
    m_search.FindNextFromMenu(*m_searchPane);
}

void CreatorForm::KeywordForm_Unload() {
    DisplayKeywordPane();
    showNormal();
}

void CreatorForm::menuOptions_Click() {
    if (!m_optionsForm) {
        CreatorOptions::Hooks hooks;
        hooks.runInProgress = [this] { return m_scheduler && m_scheduler->Running(); };
        // The keyword window would otherwise go on showing, and writing
        // into, keywords that are gone.
        hooks.clearKeywordPanes = [this] {
            m_keywordPane->clear();
            if (m_keywordForm && m_keywordForm->isVisible()) m_keywordForm->Form_Load();
        };
        hooks.closeWindow = [this] {
            if (m_optionsForm) m_optionsForm->close();
        };
        m_optionsForm =
            new CreatorOptionsForm(m_session, m_keywords, *this, std::move(hooks), this);
        connect(m_optionsForm, &CreatorOptionsForm::Closed, this, [this] {
            if (isMinimized()) showNormal();
            show();
            raise();
            activateWindow();
        });
    }
    m_optionsForm->show();
    m_optionsForm->raise();
    m_optionsForm->activateWindow();
}

CreatorOptionsForm* CreatorForm::OptionsWindow() const {
    return m_optionsForm;
}

KeywordForm* CreatorForm::KeywordWindow() const {
    return m_keywordForm;
}

QWidget* CreatorForm::AboutWindow() const {
    return m_about;
}

void CreatorForm::menuAboutMediaPlayerControl_Click() {
    MediaPlayer1().AboutBox(m_session.Dlg());
}

MediaPlayer& CreatorForm::MediaPlayer1() {
    if (m_mediaPlayer == nullptr) {
        m_mediaPlayer = new AudioMediaPlayer(m_audio, this);
        m_mediaPlayer->setObjectName(QStringLiteral("MediaPlayer1"));
        connect(m_mediaPlayer, &MediaPlayer::Error, this, &CreatorForm::MediaPlayer1_Error);
    }
    return *m_mediaPlayer;
}

void CreatorForm::MediaPlayer1_Error() {
    const QString crlf = kCrLf;
    m_session.Dlg().MsgBox(
        QStringLiteral("Sonavel Creator has encountered a corrupt or unrecognized sound file.") +
            crlf + crlf + QStringLiteral("Problem Description: ") +
            m_mediaPlayer->ErrorDescription() + crlf + crlf + QStringLiteral("FileName: ") +
            m_mediaPlayer->FileName() + crlf + crlf +
            QStringLiteral("Please delete or remove this file from it's folder."),
        MsgButtons::OK, MsgIcon::Exclamation, QStringLiteral("Corrupt or Unrecognized Sound File"));
}

}  // namespace sonavel
