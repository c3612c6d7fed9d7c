#include "SearchForm.h"

#include "DialogKeys.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWindow>

namespace sonavel {

// ---------------------------------------------------------------------------
// The edit pane

QString TextEditSearchPane::DocumentText() const {
    // One character per line break, as the cursor counts positions.
    return m_edit.document()->toPlainText();
}

qsizetype TextEditSearchPane::SelectionStart() const {
    return m_edit.textCursor().selectionStart();
}

void TextEditSearchPane::Select(qsizetype start, qsizetype length) {
    QTextCursor cursor(m_edit.document());
    cursor.setPosition(static_cast<int>(start));
    cursor.setPosition(static_cast<int>(start + length), QTextCursor::KeepAnchor);
    m_edit.setTextCursor(cursor);
}

void TextEditSearchPane::ReplaceSelection(const QString& text) {
    QTextCursor cursor = m_edit.textCursor();
    cursor.insertText(text);
    m_edit.setTextCursor(cursor);
}

void TextEditSearchPane::ReplaceStretches(const std::vector<Stretch>& stretches,
                                          const QString& text) {
    QTextCursor cursor(m_edit.document());
    cursor.beginEditBlock();
    for (const Stretch& stretch : stretches) {
        cursor.setPosition(static_cast<int>(stretch.start));
        cursor.setPosition(static_cast<int>(stretch.start + stretch.length),
                           QTextCursor::KeepAnchor);
        cursor.insertText(text);
    }
    cursor.endEditBlock();
    m_edit.setTextCursor(cursor);
}

QString TextEditSearchPane::SelectedText() const {
    return m_edit.textCursor().selection().toPlainText();
}

// ---------------------------------------------------------------------------
// The window

SearchForm::SearchForm(SearchModule& search, TextEditSearchPane& pane, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint), m_search(search), m_pane(pane) {
    setObjectName(QStringLiteral("SearchForm"));
    setWindowTitle(QStringLiteral("Replace"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto label = [this](const char* name, const char* caption) {
        auto* l = new QLabel(QString::fromLatin1(caption), this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto field = [this](const char* name) {
        auto* f = new QLineEdit(this);
        f->setObjectName(QString::fromLatin1(name));
        return f;
    };
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    QLabel* labelFind = label("labelFind", "Fi&nd what:");
    m_labelReplace = label("labelReplace", "Re&place with:");
    m_find = field("textFind");
    m_replace = field("textReplace");
    labelFind->setBuddy(m_find);
    m_labelReplace->setBuddy(m_replace);
    m_wholeWord = new QCheckBox(QStringLiteral("&Whole word only"), this);
    m_wholeWord->setObjectName(QStringLiteral("checkWholeWord"));
    m_matchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    m_matchCase->setObjectName(QStringLiteral("checkMatchCase"));
    m_commandFind = button("commandFind", "&Find");
    m_commandFindNext = button("commandFindNext", "Find &Next");
    m_commandReplace = button("commandReplace", "&Replace");
    m_commandReplaceAll = button("commandReplaceAll", "Replace &All");
    QPushButton* cancel = button("commandCancel", "&Cancel");

    connect(m_commandFind, &QPushButton::clicked, this, &SearchForm::commandFind_Click);
    connect(m_commandFindNext, &QPushButton::clicked, this, &SearchForm::commandFindNext_Click);
    connect(m_commandReplace, &QPushButton::clicked, this, &SearchForm::commandReplace_Click);
    connect(m_commandReplaceAll, &QPushButton::clicked, this, &SearchForm::commandReplaceAll_Click);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    auto* layout = new QGridLayout(this);
    layout->addWidget(labelFind, 0, 0);
    layout->addWidget(m_find, 0, 1);
    layout->addWidget(m_labelReplace, 1, 0);
    layout->addWidget(m_replace, 1, 1);
    layout->addWidget(m_wholeWord, 2, 0, 1, 2);
    layout->addWidget(m_matchCase, 3, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b :
         {m_commandFind, m_commandFindNext, m_commandReplace, m_commandReplaceAll, cancel})
        buttons->addWidget(b);
    buttons->addStretch();
    layout->addLayout(buttons, 0, 2, 5, 1);
    layout->setRowStretch(4, 1);

    m_search.keepOnTop = [this](bool onTop) { SetOnTop(onTop); };
    UseDialogKeys(this, cancel);
}

SearchForm::~SearchForm() {
    m_search.keepOnTop = nullptr;
}

void SearchForm::Open(bool replace) {
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Find"));
    SetFindEnabled(true);
    for (QWidget* control :
         {static_cast<QWidget*>(m_labelReplace), static_cast<QWidget*>(m_replace),
          static_cast<QWidget*>(m_commandReplace), static_cast<QWidget*>(m_commandReplaceAll)}) {
        control->setVisible(replace);
        control->setEnabled(replace);
    }
    m_find->setText(SearchModule::SearchTextFromSelection(m_pane.SelectedText()));
    adjustSize();
    show();
    raise();
    activateWindow();
    m_find->setFocus();
    m_find->selectAll();
}

int SearchForm::Options() const {
    return (m_wholeWord->isChecked() ? searchflag::kWholeWord : 0) |
           (m_matchCase->isChecked() ? searchflag::kMatchCase : 0);
}

void SearchForm::SetOnTop(bool onTop) {
    // Changed on the shown window in place: setting the widget's flags
    // would hide and show it again.
    if (QWindow* window = windowHandle(); window && isVisible()) {
        window->setFlag(Qt::WindowStaysOnTopHint, onTop);
    } else {
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    }
}

void SearchForm::SetFindEnabled(bool enabled) {
    m_commandFind->setEnabled(enabled);
    // Return goes on with the search: Find first, then Find Next.
    m_commandFind->setDefault(enabled);
    m_commandFindNext->setDefault(!enabled);
}

void SearchForm::commandFind_Click() {
    // Found: the search goes on with Find Next.
    if (m_search.Find(m_pane, m_find->text(), Options())) SetFindEnabled(false);
}

void SearchForm::commandFindNext_Click() {
    m_search.FindNext(m_pane, m_find->text(), Options());
}

void SearchForm::commandReplace_Click() {
    m_search.Replace(m_pane, m_find->text(), m_replace->text(), Options());
}

void SearchForm::commandReplaceAll_Click() {
    m_search.ReplaceAll(m_pane, m_find->text(), m_replace->text(), Options());
}

}  // namespace sonavel
