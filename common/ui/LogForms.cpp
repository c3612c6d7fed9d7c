#include "LogForms.h"

#include "ErrorModule.h"
#include "PrintModule.h"
#include "Twips.h"
#include "UiText.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTextEdit>
#include <QVBoxLayout>

namespace sonavel {

namespace {
constexpr double kLogMinWidthTwips = 6495;
constexpr double kLogMinHeightTwips = 6585;
constexpr double kTextSideMarginTwips = 60;
}  // namespace

LogForm::LogForm(Session& session, const Names& names, QWidget* parent)
    : QMainWindow(parent, parent != nullptr ? Qt::Window : Qt::WindowFlags()), m_session(session) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QString::fromLatin1(names.window));
    setWindowTitle(QString::fromLatin1(names.caption));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("menuExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* log = menuBar()->addMenu(QStringLiteral("&Log"));
    log->setObjectName(QStringLiteral("menuLog"));
    QAction* clear = log->addAction(QString::fromLatin1(names.clearText));
    clear->setObjectName(QString::fromLatin1(names.clearName));
    connect(clear, &QAction::triggered, this, [this, run = names.clear] { run(m_session); });
    QAction* save = log->addAction(QString::fromLatin1(names.saveText));
    save->setObjectName(QString::fromLatin1(names.saveName));
    connect(save, &QAction::triggered, this, [this, run = names.save] { run(m_session); });

    QMenu* print = menuBar()->addMenu(QStringLiteral("&Print"));
    print->setObjectName(QStringLiteral("menuPrint"));
    QAction* printLog = print->addAction(QString::fromLatin1(names.printText));
    printLog->setObjectName(QString::fromLatin1(names.printName));
    connect(printLog, &QAction::triggered, this, [this, run = names.print] { run(m_session); });
    QAction* setup = print->addAction(QStringLiteral("Print &Setup"));
    setup->setObjectName(QStringLiteral("menuPrintSetup"));
    connect(setup, &QAction::triggered, this, [this] { PrintSetup(m_session); });

    auto* inner = new QWidget(this);
    auto* layout = new QVBoxLayout(inner);
    const int side = TwipsToPixels(kTextSideMarginTwips, this);
    layout->setContentsMargins(side, 0, side, 0);
    m_text = new QTextEdit(inner);
    m_text->setObjectName(QStringLiteral("textLogFile"));
    m_text->setReadOnly(true);
    m_text->installEventFilter(this);
    layout->addWidget(m_text);
    setCentralWidget(inner);

    // A minimum size is never applied to a minimised window, as the rule wants.
    setMinimumSize(TwipsToPixels(kLogMinWidthTwips, kLogMinHeightTwips, this));
}

void LogForm::Load() {
    show();
    raise();
    activateWindow();
}

void LogForm::SetText(const QString& text) {
    m_text->setPlainText(WithLineFeeds(text));
}

void LogForm::SetCaption(const QString& caption) {
    setWindowTitle(caption);
}

void LogForm::MoveCaretToTop() {
    m_text->moveCursor(QTextCursor::Start);
    m_text->ensureCursorVisible();
}

void LogForm::Unload() {
    close();
}

QString LogForm::Text() const {
    return m_text->toPlainText();
}

void LogForm::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) m_unloaded = true;
}

bool LogForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

ErrorLogForm::ErrorLogForm(Session& session, QWidget* parent)
    : LogForm(session,
              Names{"ErrorLogForm", "Error Log File", "menuClearErrorLog", "Clear Erro&r Log",
                    "menuSaveErrorLog", "Save Error &Log", "menuPrintErrorLogFile",
                    "Print &Error Log File", ClearErrorLog, SaveErrorLogFile, PrintErrorLogFile},
              parent) {}

ProgramLogForm::ProgramLogForm(Session& session, QWidget* parent)
    : LogForm(session,
              Names{"ProgramLogForm", "Program Log File", "menuClearProgramLog",
                    "&Clear Program Log", "menuSaveProgramLog", "&Save Program Log",
                    "menuPrintProgramLogFile", "&Print Program Log File", ClearProgramLog,
                    SaveProgramLogFile, PrintProgramLogFile},
              parent) {}

}  // namespace sonavel
