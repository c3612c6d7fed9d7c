#pragma once

#include "KeywordModule.h"
#include "Session.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sonavel {

class MediaPlayer;
class ProgressForm;

// The window in which keywords are created, edited and deleted. Every field
// edit goes to the keyword store at once; there is no save step.
class KeywordForm final : public QDialog {
    Q_OBJECT
  public:
    // player measures the sound files of a keyword's folder.
    KeywordForm(Session& session, KeywordModule& keywords, MediaPlayer& player,
                QWidget* owner = nullptr);
    ~KeywordForm() override;

    // Fills the list afresh; run each time the window is shown.
    void Form_Load();

    void DisplayKeyword(const QString& name);
    void ClearKeywordFields();
    void EnableKeywordControls();
    void DisableKeywordControls();

    void AddKeyword();
    void BrowseForNewKeyword();
    void DeleteKeyword();
    void DeleteAllKeywords();
    void BrowseFolder();
    void SelectColor();
    void Calculate();
    // The estimate in whole seconds, as text; "1" when it cannot be measured.
    QString EstimateKeywordTime(const QString& folder);

    // The progress window of the last estimate, while it exists.
    ProgressForm* Progress() const { return m_progress; }

  signals:
    // Every keyword is gone: the main window's keyword pane must be emptied.
    void AllKeywordsDeleted();
    // The window closed by any means.
    void Closed();

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    class ListView;

    void Build();
    QString SelectedKeyword() const;
    void SelectKeyword(const QString& name);
    void listKeyword_Click();
    // Stores a field the operator changed, for the selected keyword.
    void Store(const KeywordField& field, const QString& value);
    void textFolder_Change();
    // Trims the folder and drops one final separator once the operator is
    // done with the field.
    void textFolder_EditingFinished();
    void ShowColor(std::int32_t color);
    void SetFieldsLook(bool enabled, const QColor& text);

    Session& m_session;
    KeywordModule& m_keywords;
    MediaPlayer& m_player;
    std::unique_ptr<ListView> m_view;
    // Set while the window itself fills the fields, so that showing a value
    // never writes it back.
    bool m_filling = false;
    // The folder field holds typing that is not normalised yet.
    bool m_folderEdited = false;
    bool m_closed = false;
    std::int32_t m_lastColor = 0;

    QListWidget* m_list = nullptr;
    QLabel* m_keywordDisplay = nullptr;
    QLineEdit* m_description = nullptr;
    QLineEdit* m_folder = nullptr;
    QLabel* m_estimatedTime = nullptr;
    QLabel* m_color = nullptr;
    QLabel* m_colorText = nullptr;
    QLineEdit* m_notes = nullptr;
    QPushButton* m_browseFolder = nullptr;
    QPushButton* m_calculate = nullptr;
    QPushButton* m_selectColor = nullptr;
    QPushButton* m_addKeyword = nullptr;
    QPushButton* m_browseKeyword = nullptr;
    QPushButton* m_deleteKeyword = nullptr;
    QPushButton* m_deleteAll = nullptr;
    QPushButton* m_close = nullptr;
    QGroupBox* m_selectionMethod = nullptr;
    QGroupBox* m_artistRepeat = nullptr;
    QPointer<ProgressForm> m_progress;
};

}  // namespace sonavel
