#include "CreatorOptionsForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sonavel {

namespace {

QGroupBox* Frame(const char* name, const char* caption, QWidget* parent) {
    auto* frame = new QGroupBox(QString::fromLatin1(caption), parent);
    frame->setObjectName(QString::fromLatin1(name));
    return frame;
}

QLabel* Label(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    return label;
}

QPushButton* Button(const char* name, const char* caption, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace

CreatorOptionsForm::CreatorOptionsForm(Session& session, KeywordModule& keywords,
                                       EditorWindow& editor, CreatorOptions::Hooks hooks,
                                       QWidget* owner)
    : QDialog(owner), m_options(session, keywords, editor, *this, std::move(hooks)) {
    setObjectName(QStringLiteral("CreatorOptionsForm"));
    setWindowTitle(QStringLiteral("Sonavel Creator Options"));
    setModal(false);
    Build();
    m_options.Open();
}

void CreatorOptionsForm::Build() {
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tapOptions"));
    m_tabs->addTab(BuildGeneralTab(), QStringLiteral("General"));
    m_tabs->addTab(BuildFolderTab(), QStringLiteral("Folder"));
    m_tabs->addTab(BuildPlaylistTab(), QStringLiteral("Playlist"));
    m_tabs->addTab(BuildKeywordTab(), QStringLiteral("Keyword"));
    m_tabs->addTab(BuildAdvancedTab(), QStringLiteral("Advanced"));

    QPushButton* ok = Button("commandOK", "OK", this);
    // Return is OK wherever the focus is, unless it is on another button.
    ok->setDefault(true);
    ok->setToolTip(QStringLiteral("Click this button to save changes and exit this screen."));
    QPushButton* cancel = Button("commandCancel", "&Cancel", this);
    cancel->setToolTip(
        QStringLiteral("Click this button to cancel most changes and exit this screen."));
    m_apply = Button("commandApply", "&Apply", this);
    m_apply->setToolTip(
        QStringLiteral("Click this button to save changes without leaving this "
                       "screen."));
    connect(ok, &QPushButton::clicked, this, &CreatorOptionsForm::commandOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(m_apply, &QPushButton::clicked, this, [this] { m_options.Apply(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(m_apply);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);
}

QCheckBox* CreatorOptionsForm::SwitchBox(CreatorSwitch which, const char* name, const char* caption,
                                         QWidget* parent) {
    auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    // clicked comes from the operator only, never from the window filling itself.
    connect(box, &QCheckBox::clicked, this,
            [this, which](bool checked) { m_options.SwitchClicked(which, checked); });
    m_switches[static_cast<std::size_t>(which)] = box;
    return box;
}

QWidget* CreatorOptionsForm::BuildGeneralTab() {
    auto* tab = new QWidget(this);
    QGroupBox* operation = Frame("frameGeneral1", "Operation", tab);
    auto* operationLayout = new QVBoxLayout(operation);
    operationLayout->addWidget(SwitchBox(CreatorSwitch::BackupSavedFiles, "checkBackupSavedFiles",
                                         "Make &Backup Copy (*.bak) When Saving Files", operation));
    operationLayout->addWidget(
        SwitchBox(CreatorSwitch::EstimateTime, "checkEstimateTime",
                  "Automatically &Estimate Time of Clocks Upon Load or Change", operation));
    operationLayout->addWidget(SwitchBox(CreatorSwitch::DisplaySplash, "checkDisplaySplash",
                                         "&Display Splash Screen", operation));
    QGroupBox* settings = Frame("frameGeneral2", "Settings", tab);
    auto* settingsLayout = new QVBoxLayout(settings);
    settingsLayout->addWidget(SwitchBox(CreatorSwitch::SaveSettingsOnExit,
                                        "checkSaveSettingsOnExit", "&Save Settings on Exit",
                                        settings));
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(operation);
    layout->addWidget(settings);
    layout->addStretch();
    return tab;
}

QWidget* CreatorOptionsForm::BuildFolderTab() {
    auto* tab = new QWidget(this);
    auto* layout = new QVBoxLayout(tab);
    auto folderFrame = [&](OptionsFolder which, const char* frameName, const char* caption,
                           const char* textName, const char* browseName, const char* browseCaption,
                           const char* labelName, const char* labelText) {
        QGroupBox* frame = Frame(frameName, caption, tab);
        auto* text = new QLineEdit(frame);
        text->setObjectName(QString::fromLatin1(textName));
        // textEdited leaves out the window's own filling and browsing.
        connect(text, &QLineEdit::textEdited, this,
                [this, which](const QString& typed) { m_options.FolderEdited(which, typed); });
        QPushButton* browse = Button(browseName, browseCaption, frame);
        connect(browse, &QPushButton::clicked, this, [this, which] { m_options.Browse(which); });
        auto* grid = new QGridLayout(frame);
        grid->addWidget(text, 0, 0);
        grid->addWidget(browse, 0, 1);
        grid->addWidget(Label(labelName, QString::fromLatin1(labelText), frame), 1, 0, 1, 2);
        layout->addWidget(frame);
        return text;
    };
    m_playlistFolder = folderFrame(
        OptionsFolder::Playlist, "framePlaylistFolder", "Playlist Folder", "textPlaylistFolder",
        "commandBrowsePlaylistFolder", "B&rowse", "labelPlaylistFolder",
        "The Playlist Folder is used to store Playlists. The current location is shown above. "
        "This folder must be set properly before creating Playlists.");
    m_clockFolder = folderFrame(
        OptionsFolder::Clock, "frameClockFolder", "Clock Folder", "textClockFolder",
        "commandBrowseClockFolder", "&Browse", "labelClockFolder",
        "The Clock Folder is used to store Hourly Clocks. The current location is show above. "
        "This folder must be set properly before creating Playlists.");
    layout->addStretch();
    return tab;
}

QWidget* CreatorOptionsForm::BuildPlaylistTab() {
    auto* tab = new QWidget(this);
    QGroupBox* format = Frame("framePlaylistFormat", "Format", tab);
    m_winAmpFormat = new QRadioButton(
        QStringLiteral("Create Playlists in &WinAMP Format Using '.m3u' File Extension"), format);
    m_winAmpFormat->setObjectName(QStringLiteral("optionWinAMPFormat"));
    m_sonavelFormat = new QRadioButton(
        QStringLiteral("Create Playlists in &Sonavel Format Using '.lst' File Extension"), format);
    m_sonavelFormat->setObjectName(QStringLiteral("optionSonavelFormat"));
    connect(m_winAmpFormat, &QRadioButton::clicked, this,
            [this] { m_options.FormatClicked(true); });
    connect(m_sonavelFormat, &QRadioButton::clicked, this,
            [this] { m_options.FormatClicked(false); });
    auto* formatLayout = new QVBoxLayout(format);
    formatLayout->addWidget(m_winAmpFormat);
    formatLayout->addWidget(m_sonavelFormat);

    QGroupBox* options = Frame("frameIncludeComments", "Options", tab);
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(SwitchBox(CreatorSwitch::IncludeComments, "checkIncludeComments",
                                       "&Include Comments in Playlists (Sonavel Format Only)",
                                       options));
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(format);
    layout->addWidget(options);
    layout->addStretch();
    return tab;
}

QWidget* CreatorOptionsForm::BuildKeywordTab() {
    auto* tab = new QWidget(this);
    auto* layout = new QVBoxLayout(tab);
    auto keywordFrame = [&](const char* frameName, const char* caption, const char* buttonName,
                            const char* buttonCaption, const char* labelName, const char* labelText,
                            const char* noteName, const QString& note) {
        QGroupBox* frame = Frame(frameName, caption, tab);
        QPushButton* button = Button(buttonName, buttonCaption, frame);
        auto* grid = new QGridLayout(frame);
        grid->addWidget(button, 0, 0);
        grid->addWidget(Label(labelName, QString::fromLatin1(labelText), frame), 0, 1);
        grid->addWidget(Label(noteName, note, frame), 1, 0, 1, 2);
        grid->setColumnStretch(1, 1);
        layout->addWidget(frame);
        return button;
    };
    QPushButton* open = keywordFrame(
        "frameImportKeywords", "Import", "commandOpenKeywords", "&Open", "labelImportKeywords",
        "Import keyword list from a disk file", "labelImportKeywordsNote",
        QStringLiteral("This option is used to import a list of Keywords previously saved by "
                       "Sonavel and store them in the Registry for immediate use."));
    QPushButton* save = keywordFrame(
        "frameExportKeywords", "Export", "commandSaveKeywords", "&Save", "labelExportKeywords",
        "Export keyword list to a disk file", "labelExportKeywordsNote",
        QStringLiteral("This option is used to export the current list of Keywords to a file. "
                       "The file may used for backup and later imported if necessary."));
    connect(open, &QPushButton::clicked, this, [this] { m_options.ImportKeywords(); });
    connect(save, &QPushButton::clicked, this, [this] { m_options.ExportKeywords(); });
    layout->addStretch();
    return tab;
}

QWidget* CreatorOptionsForm::BuildAdvancedTab() {
    auto* tab = new QWidget(this);
    QGroupBox* registry = Frame("frameRegistry", "Advanced Registry Settings", tab);
    auto* grid = new QGridLayout(registry);
    struct Row {
        const char* name;
        const char* caption;
        const char* labelName;
        const char* text;
        void (CreatorOptions::*action)();
    };
    const Row rows[] = {
        {"commandDeleteSettings", "&Delete", "labelDeleteSettings",
         "Delete all settings for Sonavel in Registry. CAUTION: Permanent and Immediate!",
         &CreatorOptions::Delete},
        {"commandLoadSavedSettings", "&Load", "labelLoadSavedSettings",
         "Load settings saved in Registry. Settings are normally saved when you click 'Apply' or "
         "upon exit, if so configured. Use if 'Apply' is not grayed.",
         &CreatorOptions::Load},
        {"commandViewCurrentSettings", "&View", "labelViewCurrentSettings",
         "View all settings for Sonavel in Registry. This is read-only and safe.",
         &CreatorOptions::ViewSettings},
    };
    int line = 0;
    for (const Row& row : rows) {
        QPushButton* button = Button(row.name, row.caption, registry);
        connect(button, &QPushButton::clicked, this,
                [this, action = row.action] { (m_options.*action)(); });
        grid->addWidget(button, line, 0, Qt::AlignTop);
        grid->addWidget(Label(row.labelName, QString::fromLatin1(row.text), registry), line, 1);
        ++line;
    }
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(registry);
    layout->addWidget(Label(
        "labelCaution",
        QStringLiteral("CAUTION: Improper use of settings on this page can result in an "
                       "inoperative program and/or loss of settings or data. Use only at your own "
                       "risk or under the direction of Sonavel technical support."),
        tab));
    layout->addStretch();
    return tab;
}

void CreatorOptionsForm::commandOK_Click() {
    // A refused Apply keeps the window, and its changes, open.
    if (m_options.Apply()) close();
}

void CreatorOptionsForm::done(int result) {
    // OK, Cancel, Escape, the title bar and the reset all end here.
    if (m_closed) return;
    m_closed = true;
    QDialog::done(result);
    emit Closed();
    deleteLater();
}

// ---------------------------------------------------------------------------
// CreatorOptionsView

void CreatorOptionsForm::ShowFields(const CreatorOptionsFields& fields) {
    for (std::size_t i = 0; i < kCreatorSwitchCount; ++i)
        m_switches[i]->setChecked(fields.switches[i]);
    ShowIncludeComments(fields.switches[static_cast<std::size_t>(CreatorSwitch::IncludeComments)],
                        fields.includeCommentsEnabled);
    m_clockFolder->setText(fields.clockFolder);
    m_playlistFolder->setText(fields.playlistFolder);
    (fields.m3u ? m_winAmpFormat : m_sonavelFormat)->setChecked(true);
}

void CreatorOptionsForm::ShowFolder(OptionsFolder folder, const QString& text) {
    (folder == OptionsFolder::Clock ? m_clockFolder : m_playlistFolder)->setText(text);
}

void CreatorOptionsForm::ShowIncludeComments(bool checked, bool enabled) {
    QCheckBox* box = m_switches[static_cast<std::size_t>(CreatorSwitch::IncludeComments)];
    box->setChecked(checked);
    box->setEnabled(enabled);
}

void CreatorOptionsForm::SetApplyEnabled(bool enabled) {
    m_apply->setEnabled(enabled);
}

}  // namespace sonavel
