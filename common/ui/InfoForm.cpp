#include "InfoForm.h"

#include "CommonModule.h"
#include "Twips.h"
#include "UiColor.h"
#include "UiText.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QMenuBar>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>

namespace sonavel {

namespace {
constexpr double kInfoMinWidthTwips = 5280;
constexpr double kInfoMinHeightTwips = 6690;
constexpr double kComboOffsetTwips = 60;
constexpr double kCloseTopTwips = 50;
constexpr double kCloseGapTwips = 340;
constexpr double kTextTopTwips = 600;
constexpr double kTextSideTwips = 60;
constexpr double kTextHeightLossTwips = 660;  // the text's top plus a margin below it

const char kAllSettings[] = "All Settings";
}  // namespace

InfoForm::InfoForm(Session& session, QWidget* parent)
    : QMainWindow(parent, parent != nullptr ? Qt::Window : Qt::WindowFlags()), m_session(session) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("InfoForm"));
    setWindowTitle(QStringLiteral("Current Settings"));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    // The listing is not printed or saved from here; the entries stay in
    // their places but greyed, so nobody takes them for broken.
    for (const auto& [text, name] :
         {std::pair{"Print &Setup", "menuPrintSetup"}, std::pair{"&Print", "menuPrint"},
          std::pair{"Save &As", "menuSaveAs"}}) {
        QAction* entry = file->addAction(QString::fromLatin1(text));
        entry->setObjectName(QString::fromLatin1(name));
        entry->setEnabled(false);
    }
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("menuExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_inner = new QWidget(this);
    m_combo = new QComboBox(m_inner);
    m_combo->setObjectName(QStringLiteral("comboSelectProgram"));
    m_combo->setEditable(false);
    m_combo->addItems({QString::fromLatin1(kPlayerSection), QString::fromLatin1(kCreatorSection),
                       QString::fromLatin1(kGlobalSection), QString::fromLatin1(kAllSettings)});
    // Only the operator's choice lists; the program setting the choice lists by itself.
    connect(m_combo, &QComboBox::activated, this, &InfoForm::comboSelectProgram_Click);

    m_close = new QPushButton(QStringLiteral("Close"), m_inner);
    m_close->setObjectName(QStringLiteral("commandClose"));
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    m_text = new QTextEdit(m_inner);
    m_text->setObjectName(QStringLiteral("textInfo"));
    m_text->setReadOnly(true);

    m_inner->installEventFilter(this);
    setCentralWidget(m_inner);
    setMinimumSize(TwipsToPixels(kInfoMinWidthTwips, kInfoMinHeightTwips, this));
}

void InfoForm::Load() {
    show();
    raise();
    activateWindow();
}

void InfoForm::ClearText() {
    m_text->clear();
}

void InfoForm::SetProgramChoice(const QString& section) {
    const int index = m_combo->findText(section);
    if (index >= 0) m_combo->setCurrentIndex(index);
}

void InfoForm::AppendText(const QString& text, Color color) {
    QTextCursor cursor = m_text->textCursor();
    QTextCharFormat format;
    format.setForeground(ToQColor(color));
    cursor.insertText(WithLineFeeds(text), format);
    m_text->setTextCursor(cursor);
}

void InfoForm::MoveCaretToTop() {
    m_text->moveCursor(QTextCursor::Start);
    m_text->ensureCursorVisible();
}

void InfoForm::comboSelectProgram_Click(int index) {
    ClearText();
    const QString choice = m_combo->itemText(index);
    if (choice == QLatin1String(kAllSettings)) {
        for (const char* section : {kGlobalSection, kPlayerSection, kCreatorSection}) {
            DisplayRegistrySection(m_session, QString::fromLatin1(section));
        }
    } else {
        DisplayRegistrySection(m_session, choice);
    }
}

void InfoForm::PlaceControls() {
    const int width = m_inner->width();
    const int height = m_inner->height();
    const int comboOffset = TwipsToPixels(kComboOffsetTwips, this);
    m_combo->setGeometry(QRect(QPoint(comboOffset, comboOffset), m_combo->sizeHint()));
    m_close->setGeometry(
        QRect(QPoint(m_combo->geometry().right() + 1 + TwipsToPixels(kCloseGapTwips, this),
                     TwipsToPixels(kCloseTopTwips, this)),
              m_close->sizeHint()));
    const int side = TwipsToPixels(kTextSideTwips, this);
    m_text->setGeometry(side, TwipsToPixels(kTextTopTwips, this),
                        std::max(0, width - TwipsToPixels(2 * kTextSideTwips, this)),
                        std::max(0, height - TwipsToPixels(kTextHeightLossTwips, this)));
}

void InfoForm::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) m_unloaded = true;
}

bool InfoForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_inner && event->type() == QEvent::Resize) PlaceControls();
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace sonavel
