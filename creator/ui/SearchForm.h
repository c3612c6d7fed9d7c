#pragma once

#include "SearchModule.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace sonavel {

// The clock edit pane as find and replace work on it.
class TextEditSearchPane final : public SearchPane {
  public:
    explicit TextEditSearchPane(QTextEdit& edit) : m_edit(edit) {}
    QString DocumentText() const override;
    qsizetype SelectionStart() const override;
    void Select(qsizetype start, qsizetype length) override;
    void ReplaceSelection(const QString& text) override;
    void ReplaceStretches(const std::vector<Stretch>& stretches, const QString& text) override;
    // The selection as the search field's first offer.
    QString SelectedText() const;

  private:
    QTextEdit& m_edit;
};

// The search window of Find and Replace: a field for the text, one for the
// replacement when opened by Replace, and the two options. It stays on top
// of the other windows while it is open.
class SearchForm final : public QWidget {
    Q_OBJECT
  public:
    SearchForm(SearchModule& search, TextEditSearchPane& pane, QWidget* owner);
    ~SearchForm() override;

    // Opened by Find (replace controls hidden) or by Replace.
    void Open(bool replace);

  private:
    void commandFind_Click();
    void commandFindNext_Click();
    void commandReplace_Click();
    void commandReplaceAll_Click();
    int Options() const;
    void SetOnTop(bool onTop);
    void SetFindEnabled(bool enabled);

    SearchModule& m_search;
    TextEditSearchPane& m_pane;
    QLabel* m_labelReplace = nullptr;
    QLineEdit* m_find = nullptr;
    QLineEdit* m_replace = nullptr;
    QCheckBox* m_wholeWord = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QPushButton* m_commandFind = nullptr;
    QPushButton* m_commandFindNext = nullptr;
    QPushButton* m_commandReplace = nullptr;
    QPushButton* m_commandReplaceAll = nullptr;
};

}  // namespace sonavel
