#include "PlaylistForm.h"

#include "DialogKeys.h"
#include "PrintModule.h"
#include "Twips.h"

#include <QMenuBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace sonavel {

namespace {
constexpr double kPlaylistMinWidthTwips = 6495;
constexpr double kPlaylistMinHeightTwips = 6585;
constexpr double kTextSideMarginTwips = 60;
// Wide enough for a full element path at first; the operator may narrow it.
constexpr double kStartWidthTwips = 10500;
constexpr double kStartHeightTwips = 7200;

QAction* Entry(QMenu* menu, const QString& caption, const QString& name) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}
}  // namespace

PlaylistForm::PlaylistForm(Session& session, QWidget* parent)
    : QMainWindow(parent, parent != nullptr ? Qt::Window : Qt::WindowFlags()), m_session(session) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("PlaylistForm"));
    setWindowTitle(QStringLiteral("Current Playlist"));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    connect(Entry(file, QStringLiteral("E&xit"), QStringLiteral("menuExit")), &QAction::triggered,
            this, &QWidget::close);
    QMenu* print = menuBar()->addMenu(QStringLiteral("&Print"));
    print->setObjectName(QStringLiteral("menuPrint"));
    connect(Entry(print, QStringLiteral("&Print Playlist"), QStringLiteral("menuPrintPlaylist")),
            &QAction::triggered, this, &PlaylistForm::menuPrintPlaylist_Click);
    connect(Entry(print, QStringLiteral("Print &Setup"), QStringLiteral("menuPrintSetup")),
            &QAction::triggered, this, [this] { PrintSetup(m_session); });

    auto* inner = new QWidget(this);
    auto* layout = new QVBoxLayout(inner);
    const int side = TwipsToPixels(kTextSideMarginTwips, this);
    layout->setContentsMargins(side, 0, side, 0);
    m_textPlaylist = new QTextEdit(inner);
    m_textPlaylist->setObjectName(QStringLiteral("textPlaylist"));
    m_textPlaylist->setReadOnly(true);
    m_textPlaylist->setLineWrapMode(QTextEdit::NoWrap);
    // Read-only, the text would take no keys: the operator scrolls a long
    // list with the keyboard.
    m_textPlaylist->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                            Qt::TextSelectableByKeyboard);
    QFont font = m_textPlaylist->font();
    font.setFamily(QStringLiteral("Arial"));
    m_textPlaylist->setFont(font);
    layout->addWidget(m_textPlaylist);
    setCentralWidget(inner);
    setFocusProxy(m_textPlaylist);
    // Escape closes the viewer wherever the focus is, as it closes a dialog.
    UseDialogKeys(this, [this] { close(); });

    // Qt applies no minimum to a minimised window, as the rule wants.
    setMinimumSize(TwipsToPixels(kPlaylistMinWidthTwips, kPlaylistMinHeightTwips, this));
    resize(TwipsToPixels(kStartWidthTwips, kStartHeightTwips, this));
}

void PlaylistForm::Show(const PlaylistView& view) {
    if (m_filled && view == m_shown) return;
    m_shown = view;
    m_filled = true;
    m_textPlaylist->clear();
    if (view.name.isEmpty() && view.elements.isEmpty()) return;

    QTextCharFormat heading;
    heading.setFontWeight(QFont::Bold);
    const QTextCharFormat line;
    QTextCursor cursor(m_textPlaylist->document());
    // One edit: a long list is laid out once, not once per line.
    cursor.beginEditBlock();
    cursor.insertText(view.name, heading);
    for (const QString& element : view.elements) {
        cursor.insertBlock();
        cursor.insertText(element, line);
    }
    cursor.endEditBlock();
    m_textPlaylist->moveCursor(QTextCursor::Start);
}

QString PlaylistForm::Text() const {
    return m_textPlaylist->toPlainText();
}

void PlaylistForm::menuPrintPlaylist_Click() {
    PrintPlaylist(m_session, m_shown, Text());
}

}  // namespace sonavel
