#include "KeywordForm.h"

#include "CommonModule.h"
#include "FormatModule.h"
#include "KeywordTime.h"
#include "MediaPlayer.h"
#include "RunForms.h"
#include "UiColor.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace sonavel {

namespace {

const QString kMaintenance = QStringLiteral("Keyword Maintenance");

QColor FromStoredNumber(std::int32_t color) {
    return ToQColor(Color::FromStored(color));
}

std::int32_t StoredNumber(const QString& text) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    return ok ? static_cast<std::int32_t>(value) : 0;
}

void SetRole(QWidget* widget, QPalette::ColorRole role, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, color);
    palette.setColor(QPalette::Inactive, role, color);
    palette.setColor(QPalette::Disabled, role, color);
    widget->setPalette(palette);
}

// The progress window of an estimate, built on the first Show.
class FormProgress final : public EstimateProgress {
  public:
    FormProgress(QWidget* owner, QPointer<ProgressForm>& form) : m_owner(owner), m_form(form) {}
    void Show(const QString& caption) override {
        delete m_form;
        m_form = new ProgressForm(m_owner);
        m_form->setWindowTitle(caption);
        m_form->OkButton()->setEnabled(false);
        m_form->show();
    }
    void SetLabel(const QString& text) override {
        if (m_form) m_form->Label()->setText(text);
    }
    void SetRange(int maximum) override {
        if (!m_form) return;
        m_form->Bar()->setRange(0, maximum);
        m_form->Bar()->setValue(0);
    }
    void SetValue(int value) override {
        if (m_form) m_form->Bar()->setValue(value);
    }
    void EnableOk() override {
        if (m_form) m_form->OkButton()->setEnabled(true);
    }

  private:
    QWidget* m_owner;
    QPointer<ProgressForm>& m_form;
};

}  // namespace

// The list as the keyword module fills it.
class KeywordForm::ListView final : public KeywordListView {
  public:
    explicit ListView(KeywordForm& form) : m_form(form) {}
    QString SelectedKeyword() const override { return m_form.SelectedKeyword(); }
    void ClearList() override { m_form.m_list->clear(); }
    void AddKeyword(const QString& keyword) override { m_form.m_list->addItem(keyword); }
    void SelectKeyword(const QString& keyword) override { m_form.SelectKeyword(keyword); }
    void ClearText() override { m_form.m_list->setCurrentRow(-1); }
    void ClearKeywordFields() override { m_form.ClearKeywordFields(); }
    void ShowFolder(const QString& folder) override {
        m_form.m_filling = true;
        m_form.m_folder->setText(folder);
        m_form.m_filling = false;
    }
    void ShowSelection() override { m_form.listKeyword_Click(); }

  private:
    KeywordForm& m_form;
};

KeywordForm::KeywordForm(Session& session, KeywordModule& keywords, MediaPlayer& player,
                         QWidget* owner)
    : QDialog(owner),
      m_session(session),
      m_keywords(keywords),
      m_player(player),
      m_view(std::make_unique<ListView>(*this)) {
    setObjectName(QStringLiteral("KeywordForm"));
    setWindowTitle(QStringLiteral("Keyword Maintanence"));
    setModal(false);
    Build();
    m_keywords.SetListView(m_view.get());
}

KeywordForm::~KeywordForm() {
    m_keywords.SetListView(nullptr);
}

void KeywordForm::Build() {
    auto button = [this](const char* name, const char* caption, const char* tip) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        if (tip) b->setToolTip(QString::fromLatin1(tip));
        b->setAutoDefault(false);
        return b;
    };
    auto line = [this](const char* name, const char* tip) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setToolTip(QString::fromLatin1(tip));
        return edit;
    };
    auto label = [this](const char* caption, QWidget* buddy) {
        auto* l = new QLabel(QString::fromLatin1(caption), this);
        l->setBuddy(buddy);
        return l;
    };

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("listKeyword"));
    m_list->setToolTip(QStringLiteral("highlighted keyword definition is displayed"));
    m_keywordDisplay = new QLabel(this);
    m_keywordDisplay->setObjectName(QStringLiteral("textKeywordDisplay"));
    m_keywordDisplay->setAutoFillBackground(true);
    m_description = line("textDescription", "description of keyword");
    m_folder =
        line("textFolder", "folder used to store sound files represented by highlighted keyword");
    m_estimatedTime = new QLabel(QStringLiteral("00:00"), this);
    m_estimatedTime->setObjectName(QStringLiteral("textEstimatedTime"));
    m_estimatedTime->setAutoFillBackground(true);
    m_color = new QLabel(this);
    m_color->setObjectName(QStringLiteral("textColor"));
    m_color->setToolTip(QStringLiteral("color used to represent keyword"));
    m_color->setAutoFillBackground(true);
    m_color->setMinimumWidth(40);
    m_colorText = new QLabel(QStringLiteral("Abcd - 1234"), this);
    m_colorText->setObjectName(QStringLiteral("textColorText"));
    m_colorText->setAutoFillBackground(true);
    m_notes = line("textNotes", "notes about highlighted keyword");

    m_browseFolder = button("commandBrowseFolder", "&Browse", "browse for folder");
    m_calculate = button("commandEstimatedTime", "&Calculate",
                         "calculates estimated time based on sound files in folder");
    m_selectColor = button("commandSelectColor", "Selec&t", "select a color to represent keyword");
    m_addKeyword = button("commandAddKeyword", "&Add New Keyword", "add a keyword");
    m_browseKeyword = button("commandBrowseKeyword", "Browse for New &Keyword", "add a keyword");
    m_deleteKeyword = button("commandDeleteKeyword", "Dele&te Keyword", "delete a keyword");
    m_deleteAll = button("commandDeleteAllKeywords", "Delete A&ll Keywords", "delete a keyword");
    m_close = button("commandClose", "&Close", nullptr);

    // The two frames are shown but have never had a function.
    auto frame = [this](const char* name, const char* caption,
                        std::initializer_list<const char*> options) {
        auto* box = new QGroupBox(QString::fromLatin1(caption), this);
        box->setObjectName(QString::fromLatin1(name));
        auto* layout = new QVBoxLayout(box);
        for (const char* option : options) {
            layout->addWidget(new QRadioButton(QString::fromLatin1(option), box));
        }
        box->setEnabled(false);
        return box;
    };
    m_selectionMethod = frame("frameSelectionMethod", "Selection Method",
                              {"&Text File", "D&isk Order", "Al&phabetical", "&Random"});
    m_artistRepeat = frame("frameArtistRepeat", "Artist Repetition Protection",
                           {"&Off", "&8 hours", "&7 hours", "&6 hours", "&5 hours", "&4 hours",
                            "&3 hours", "&2 hours", "&1 hour"});

    auto* fields = new QGridLayout;
    int row = 0;
    fields->addWidget(new QLabel(QStringLiteral("Keyword"), this), row, 0);
    fields->addWidget(m_keywordDisplay, row++, 1, 1, 2);
    fields->addWidget(label("&Description", m_description), row, 0);
    fields->addWidget(m_description, row++, 1, 1, 2);
    fields->addWidget(label("&Folder", m_folder), row, 0);
    fields->addWidget(m_folder, row, 1);
    fields->addWidget(m_browseFolder, row++, 2);
    fields->addWidget(new QLabel(QStringLiteral("Estimated Time"), this), row, 0);
    fields->addWidget(m_estimatedTime, row, 1);
    fields->addWidget(m_calculate, row++, 2);
    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(m_color);
    colorRow->addWidget(m_colorText, 1);
    fields->addWidget(label("&Color", m_color), row, 0);
    fields->addLayout(colorRow, row, 1);
    fields->addWidget(m_selectColor, row++, 2);
    fields->addWidget(label("&Notes", m_notes), row, 0);
    fields->addWidget(m_notes, row++, 1, 1, 2);

    auto* left = new QVBoxLayout;
    left->addWidget(label("Key&words", m_list));
    left->addWidget(m_list, 1);
    auto* frames = new QHBoxLayout;
    frames->addWidget(m_selectionMethod);
    frames->addWidget(m_artistRepeat);
    auto* right = new QVBoxLayout;
    right->addLayout(fields);
    right->addLayout(frames);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_addKeyword, m_browseKeyword, m_deleteKeyword, m_deleteAll, m_close}) {
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    connect(m_list, &QListWidget::currentRowChanged, this, [this] { listKeyword_Click(); });
    connect(m_description, &QLineEdit::textChanged, this,
            [this](const QString& text) { Store(keywordfield::Description, text); });
    connect(m_notes, &QLineEdit::textChanged, this,
            [this](const QString& text) { Store(keywordfield::Notes, text); });
    connect(m_folder, &QLineEdit::textChanged, this, [this] { textFolder_Change(); });
    connect(m_folder, &QLineEdit::editingFinished, this, [this] { textFolder_EditingFinished(); });
    connect(m_browseFolder, &QPushButton::clicked, this, &KeywordForm::BrowseFolder);
    connect(m_calculate, &QPushButton::clicked, this, &KeywordForm::Calculate);
    connect(m_selectColor, &QPushButton::clicked, this, &KeywordForm::SelectColor);
    connect(m_addKeyword, &QPushButton::clicked, this, &KeywordForm::AddKeyword);
    connect(m_browseKeyword, &QPushButton::clicked, this, &KeywordForm::BrowseForNewKeyword);
    connect(m_deleteKeyword, &QPushButton::clicked, this, &KeywordForm::DeleteKeyword);
    connect(m_deleteAll, &QPushButton::clicked, this, &KeywordForm::DeleteAllKeywords);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);

    ClearKeywordFields();
    DisableKeywordControls();
}

// ---------------------------------------------------------------------------
// Loading and selecting

void KeywordForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) Form_Load();
}

void KeywordForm::Form_Load() {
    m_closed = false;
    m_session.Creator.KeywordDefaultFolder = m_session.ProgramFolder();
    m_keywords.RefreshKeywordList();
    // The store's numbering decides: a lone keyword is not preselected.
    if (m_keywords.LastKeywordNumber > 0 && m_list->count() > 0) {
        SelectKeyword(m_list->item(0)->text());
    } else {
        listKeyword_Click();
    }
}

QString KeywordForm::SelectedKeyword() const {
    const QListWidgetItem* item = m_list->currentItem();
    return item ? item->text() : QString();
}

void KeywordForm::SelectKeyword(const QString& name) {
    const QList<QListWidgetItem*> found = m_list->findItems(name, Qt::MatchExactly);
    const int row = found.isEmpty() ? -1 : m_list->row(found.front());
    if (m_list->currentRow() == row) {
        // Selecting again still redraws the fields, as a click does.
        listKeyword_Click();
    } else {
        m_list->setCurrentRow(row);
    }
}

void KeywordForm::listKeyword_Click() {
    const QString name = SelectedKeyword();
    if (!name.isEmpty()) {
        EnableKeywordControls();
        DisplayKeyword(name);
    } else {
        ClearKeywordFields();
        DisableKeywordControls();
    }
}

void KeywordForm::DisplayKeyword(const QString& name) {
    const KeywordTexts values = m_keywords.ReadKeywordTexts(name);
    m_filling = true;
    m_folderEdited = false;
    m_keywordDisplay->setText(name);
    ShowColor(StoredNumber(values.Of(keywordfield::Color)));
    m_description->setText(values.Of(keywordfield::Description));
    m_folder->setText(values.Of(keywordfield::Folder));
    m_notes->setText(values.Of(keywordfield::Notes));
    m_estimatedTime->setText(FormatTime(StoredNumber(values.Of(keywordfield::EstimatedTime))));
    m_filling = false;
}

void KeywordForm::ClearKeywordFields() {
    m_filling = true;
    m_folderEdited = false;
    SetRole(m_color, QPalette::Window, Qt::black);
    const QString blank = QStringLiteral(" ");
    m_keywordDisplay->setText(blank);
    m_description->setText(blank);
    m_folder->setText(blank);
    m_notes->setText(QStringLiteral("None"));
    m_filling = false;
}

void KeywordForm::SetFieldsLook(bool enabled, const QColor& text) {
    const QColor background = enabled ? QColor(255, 255, 255) : QColor(192, 192, 192);
    for (QWidget* field :
         {static_cast<QWidget*>(m_colorText), static_cast<QWidget*>(m_description),
          static_cast<QWidget*>(m_keywordDisplay), static_cast<QWidget*>(m_notes),
          static_cast<QWidget*>(m_folder), static_cast<QWidget*>(m_estimatedTime)}) {
        field->setEnabled(enabled);
        SetRole(field, qobject_cast<QLineEdit*>(field) ? QPalette::Base : QPalette::Window,
                background);
    }
    m_color->setEnabled(enabled);
    SetRole(m_colorText, QPalette::WindowText, text);
    SetRole(m_keywordDisplay, QPalette::WindowText, text);
}

void KeywordForm::EnableKeywordControls() {
    for (QPushButton* b : {m_browseKeyword, m_browseFolder, m_deleteKeyword, m_deleteAll,
                           m_selectColor, m_calculate}) {
        b->setEnabled(true);
    }
    const QString name = SelectedKeyword();
    const QColor text = name.isEmpty()
                            ? QColor(Qt::black)
                            : FromStoredNumber(StoredNumber(
                                  m_keywords.ReadKeywordTexts(name).Of(keywordfield::Color)));
    SetFieldsLook(true, text);
    m_selectionMethod->setEnabled(false);
    m_artistRepeat->setEnabled(false);
}

void KeywordForm::DisableKeywordControls() {
    for (QPushButton* b :
         {m_browseFolder, m_deleteKeyword, m_deleteAll, m_selectColor, m_calculate}) {
        b->setEnabled(false);
    }
    m_addKeyword->setEnabled(true);
    m_browseKeyword->setEnabled(true);
    SetFieldsLook(false, QColor(128, 128, 128));
}

void KeywordForm::ShowColor(std::int32_t color) {
    m_lastColor = color;
    const QColor shown = FromStoredNumber(color);
    SetRole(m_color, QPalette::Window, shown);
    SetRole(m_colorText, QPalette::WindowText, shown);
    SetRole(m_keywordDisplay, QPalette::WindowText, shown);
}

// ---------------------------------------------------------------------------
// The store

void KeywordForm::Store(const KeywordField& field, const QString& value) {
    if (m_filling) return;
    m_keywords.StoreKeywordValue(SelectedKeyword(), field, value);
}

void KeywordForm::textFolder_Change() {
    if (m_filling || m_folder->text().isEmpty()) return;
    // Stored as it stands: while the operator types, the last character is
    // often the blank or separator before the next word.
    m_folderEdited = true;
    Store(keywordfield::Folder, m_folder->text());
}

void KeywordForm::textFolder_EditingFinished() {
    if (!m_folderEdited) return;
    m_folderEdited = false;
    QString folder = m_folder->text().trimmed();
    if (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    if (folder != m_folder->text()) {
        m_filling = true;
        m_folder->setText(folder);
        m_filling = false;
    }
    Store(keywordfield::Folder, folder);
}

// ---------------------------------------------------------------------------
// Commands

void KeywordForm::BrowseFolder() {
    const QString folder = m_session.Dlg().BrowseForFolder(
        QStringLiteral("Browse for Keyword Folder"), m_session.Creator.LastOpenFolder);
    m_keywords.LastKeywordFolder = folder;
    if (folder.isEmpty()) return;
    m_session.Creator.LastOpenFolder = folder;
    m_folder->setText(folder);
    textFolder_EditingFinished();
}

void KeywordForm::SelectColor() {
    const std::optional<std::int32_t> chosen = m_session.Dlg().ColorDialog(m_lastColor);
    if (!chosen) return;
    ShowColor(*chosen);
    Store(keywordfield::Color, QString::number(*chosen));
}

void KeywordForm::AddKeyword() {
    m_keywords.AddNewKeyword(false);
}

void KeywordForm::BrowseForNewKeyword() {
    m_keywords.AddNewKeyword(true);
}

void KeywordForm::DeleteKeyword() {
    const QString name = SelectedKeyword();
    if (name.isEmpty()) return;
    const MsgResult answer =
        m_session.Dlg().MsgBox(QStringLiteral("Are you sure that you want to delete this Keyword?"),
                               MsgButtons::YesNo, MsgIcon::Exclamation, kMaintenance, 2);
    if (answer != MsgResult::Yes) return;
    m_keywords.DeleteKeywordSection(name);
    for (QListWidgetItem* item : m_list->findItems(name, Qt::MatchExactly))
        delete item;
    m_keywords.RefreshKeywordList();
    m_list->setCurrentRow(-1);
    ClearKeywordFields();
    DisableKeywordControls();
    if (m_list->count() > 0) SelectKeyword(m_list->item(0)->text());
}

void KeywordForm::DeleteAllKeywords() {
    if (m_list->count() == 0) return;
    const MsgResult answer =
        m_session.Dlg().MsgBox(QStringLiteral("Are you sure that you want to delete ALL Keywords?"),
                               MsgButtons::YesNo, MsgIcon::Exclamation, kMaintenance, 2);
    if (answer != MsgResult::Yes) return;
    m_list->clear();
    emit AllKeywordsDeleted();
    m_keywords.DeleteAllKeywordDefinitions();
    m_keywords.RefreshKeywordList();
    ClearKeywordFields();
    DisableKeywordControls();
    ShowInformation(m_session, QStringLiteral("ALL Keywords have been deleted."), kMaintenance);
}

void KeywordForm::Calculate() {
    // The list stays usable while the estimate runs, so the keyword is
    // remembered now rather than looked up at the end.
    const QString name = SelectedKeyword();
    if (name.isEmpty()) return;
    const QString estimate = EstimateKeywordTime(m_folder->text());
    if (m_closed) return;
    if (SelectedKeyword() == name) {
        m_estimatedTime->setText(FormatTime(estimate.toDouble()));
    }
    m_keywords.StoreKeywordValue(name, keywordfield::EstimatedTime, estimate);
}

QString KeywordForm::EstimateKeywordTime(const QString& folder) {
    m_calculate->setEnabled(false);
    FormProgress progress(this, m_progress);
    const std::optional<std::int32_t> average =
        AverageSoundFileDuration(m_player, folder, progress, [this] { return m_closed; });
    m_calculate->setEnabled(!SelectedKeyword().isEmpty());
    if (average) return QString::number(*average);

    // A half-finished progress window would only suggest the run goes on.
    delete m_progress;
    if (m_closed) return QStringLiteral("1");
    m_estimatedTime->setText(FormatTime(1));
    ShowInformation(m_session,
                    QStringLiteral("The folder for this Keyword has not been set\r\nor the folder "
                                   "contains no sound files\r\n\r\nDefault Estimated Time value "
                                   "set."),
                    QStringLiteral("Unable to calculate Estimated Time"));
    return QStringLiteral("1");
}

void KeywordForm::done(int result) {
    // Close, the title bar and Escape all end here. A running estimate ends
    // at its next file and stores nothing.
    m_closed = true;
    textFolder_EditingFinished();
    QDialog::done(result);
    emit Closed();
}

}  // namespace sonavel
