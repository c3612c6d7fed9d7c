#include "BackupForm.h"

#include "DialogKeys.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace sonavel {

namespace {

template <class Control>
Control* Named(Control* control, const char* name) {
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

}  // namespace

BackupForm::BackupForm(Session& session, BackupModule& backup, QWidget* owner)
    : QWidget(owner, Qt::Window), m_session(session), m_backup(backup) {
    setObjectName(QStringLiteral("BackupForm"));
    setWindowTitle(QStringLiteral("Sonavel Creator Backup"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_floppy =
        Named(new QCheckBox(QStringLiteral("Backup to Floppy in Drive &A"), this), "checkFloppyA");
    m_other = Named(new QCheckBox(QStringLiteral("Backup to &Other Location"), this), "checkOther");
    m_locationLabel =
        Named(new QLabel(QStringLiteral("Other &Location:"), this), "labelOtherLocation");
    m_location = Named(new QLineEdit(this), "textOtherLocation");
    m_locationLabel->setBuddy(m_location);
    m_browse = Named(new QPushButton(QStringLiteral("&Browse..."), this), "commandBrowse");
    m_overwrite = Named(new QCheckBox(QStringLiteral("&Overwrite Files"), this), "checkOverwrite");
    m_progress = Named(new QProgressBar(this), "progressBackup");
    m_backupButton = Named(new QPushButton(QStringLiteral("&Backup"), this), "commandBackup");
    m_close = Named(new QPushButton(QStringLiteral("&Close"), this), "commandClose");

    // A greyed field looks like the window around it, not like an empty entry.
    QPalette palette = m_location->palette();
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     palette.color(QPalette::Active, QPalette::Button));
    m_location->setPalette(palette);
    m_location->setMinimumWidth(m_location->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
    // The bar appears when the copy starts; the window keeps its size.
    QSizePolicy policy = m_progress->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_progress->setSizePolicy(policy);

    connect(m_floppy, &QCheckBox::clicked, this, &BackupForm::checkFloppyA_Click);
    connect(m_other, &QCheckBox::clicked, this, &BackupForm::checkOther_Click);
    connect(m_location, &QLineEdit::textEdited, this, &BackupForm::textOtherLocation_Change);
    connect(m_browse, &QPushButton::clicked, this, &BackupForm::commandBrowse_Click);
    connect(m_backupButton, &QPushButton::clicked, this, &BackupForm::commandBackup_Click);
    connect(m_close, &QPushButton::clicked, this, &BackupForm::commandClose_Click);
    m_backupButton->setDefault(true);
    // While the copy runs Close is disabled, and so is Escape.
    UseDialogKeys(this, m_close);

    auto* location = new QHBoxLayout;
    location->addSpacing(20);
    location->addWidget(m_locationLabel);
    location->addWidget(m_location, 1);
    location->addWidget(m_browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_backupButton);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_floppy);
    layout->addWidget(m_other);
    layout->addLayout(location);
    layout->addWidget(m_overwrite);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    ShowIdle();
}

void BackupForm::SetLocationControls(bool enabled) {
    m_location->setEnabled(enabled);
    m_locationLabel->setEnabled(enabled);
    m_browse->setEnabled(enabled);
}

void BackupForm::ShowIdle() {
    const QString& location = m_session.Creator.BackupLocation;
    const bool floppy = BackupModule::IsRemovableDisk(location);
    const bool other = !location.isEmpty() && !floppy;
    m_floppy->setChecked(floppy);
    m_floppy->setEnabled(!other);
    m_other->setChecked(other);
    m_other->setEnabled(!floppy);
    m_location->setText(other ? location : QString());
    SetLocationControls(other);
    m_overwrite->setEnabled(true);
    m_backupButton->setEnabled(true);
    m_close->setEnabled(true);
    m_progress->setVisible(false);
}

void BackupForm::checkFloppyA_Click(bool ticked) {
    QString& location = m_session.Creator.BackupLocation;
    if (ticked) {
        m_other->setEnabled(false);
        m_location->setEnabled(false);
        m_locationLabel->setEnabled(false);
        m_backupButton->setEnabled(true);
        location = QStringLiteral("A:");
    } else {
        m_other->setEnabled(true);
        m_location->setEnabled(false);
        m_browse->setEnabled(false);
        m_backupButton->setEnabled(false);
        location.clear();
    }
}

void BackupForm::checkOther_Click(bool ticked) {
    QString& location = m_session.Creator.BackupLocation;
    if (ticked) {
        m_floppy->setEnabled(false);
        SetLocationControls(true);
        m_location->setText(location);
        m_backupButton->setEnabled(true);
    } else {
        m_floppy->setEnabled(true);
        SetLocationControls(false);
        m_location->clear();
        location.clear();
    }
}

void BackupForm::textOtherLocation_Change(const QString& text) {
    // What the operator types is the location, as much as a folder browsed to.
    m_session.Creator.BackupLocation = text;
}

void BackupForm::commandBrowse_Click() {
    QString start = m_backup.LastBrowseFolder;
    const QString& location = m_session.Creator.BackupLocation;
    if (start.isEmpty() && !BackupModule::IsRemovableDisk(location)) start = location;
    const QString folder =
        m_session.Dlg().BrowseForFolder(QStringLiteral("Browse for Backup Location"), start);
    // Cancel leaves no location chosen; Backup then refuses rather than guess.
    if (!folder.isEmpty()) m_backup.LastBrowseFolder = folder;
    m_location->setText(folder);
    m_session.Creator.BackupLocation = folder;
}

void BackupForm::commandBackup_Click() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_overwrite, m_backupButton, m_close, m_browse, m_location, m_floppy, m_other}) {
        control->setEnabled(false);
    }
    BackupModule::Options options;
    options.overwrite = m_overwrite->isChecked();
    const BackupModule::Outcome outcome =
        m_backup.Backup(m_session.Creator.BackupLocation, options, [this](int value, int maximum) {
            m_progress->setVisible(true);
            m_progress->setRange(0, maximum);
            m_progress->setValue(value);
        });
    if (m_closeWhenStopped) {
        close();
        return;
    }
    switch (outcome) {
        case BackupModule::Outcome::Refused:
            ShowIdle();
            break;
        case BackupModule::Outcome::Abandoned:
        case BackupModule::Outcome::Stopped:
            commandClose_Click();
            break;
        case BackupModule::Outcome::Done:
            m_close->setEnabled(true);
            break;
    }
}

void BackupForm::commandClose_Click() {
    if (QWidget* owner = parentWidget()) {
        owner->show();
        owner->activateWindow();
    }
    close();
}

void BackupForm::closeEvent(QCloseEvent* event) {
    if (m_backup.Running()) {
        // The copy's loop is still on the stack; deleting the window now
        // would pull it from under it.
        m_backup.RequestStop();
        m_closeWhenStopped = true;
        hide();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace sonavel
