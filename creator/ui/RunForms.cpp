#include "RunForms.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace sonavel {

StatusForm::StatusForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("StatusForm"));
    setWindowTitle(QStringLiteral("Sonavel Creator"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("labelStatus"));
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setMinimumWidth(240);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    // Esc closes it through QDialog; the run goes on and unloads it later.
}

void StatusForm::SetStatus(const QString& text) {
    m_status->setText(text);
}

ProgressForm::ProgressForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(QStringLiteral("Creating Playlists"));
    m_label = new QLabel(QStringLiteral("Now Creating Playlist for "), this);
    m_label->setObjectName(QStringLiteral("labelProgress"));
    m_label->setMinimumWidth(320);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressPlaylist"));
    m_bar->setTextVisible(false);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("commandOK"));
    // Enter must not close the window while the run is still writing.
    m_ok->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::close);
    m_hourReport = new QPushButton(QStringLiteral("Hour Report"), this);
    m_hourReport->setObjectName(QStringLiteral("commandHourReport"));
    m_hourReport->setAutoDefault(false);
    m_hourReport->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    m_measureLabel = new QLabel(this);
    m_measureLabel->setObjectName(QStringLiteral("labelLoudness"));
    m_measureLabel->hide();
    m_measureBar = new QProgressBar(this);
    m_measureBar->setObjectName(QStringLiteral("progressLoudness"));
    m_measureBar->setTextVisible(false);
    m_measureBar->hide();
    layout->addWidget(m_measureLabel);
    layout->addWidget(m_measureBar);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_hourReport);
    buttons->addStretch();
    layout->addLayout(buttons);
}

QtRunDisplay::~QtRunDisplay() {
    delete m_status;
    delete m_progress;
}

void QtRunDisplay::ShowStatus(const QString& text) {
    if (!m_status) m_status = new StatusForm(m_owner);
    m_status->SetStatus(text);
    m_status->show();
}

void QtRunDisplay::HideStatus() {
    delete m_status;
}

void QtRunDisplay::ShowProgress(const QString& caption, int maximum) {
    delete m_progress;
    m_progress = new ProgressForm(m_owner);
    m_progress->setWindowTitle(caption);
    m_progress->Label()->clear();
    m_progress->OkButton()->setEnabled(false);
    m_progress->Bar()->setRange(0, maximum);
    m_progress->Bar()->setValue(0);
    QObject::connect(m_progress->HourReportButton(), &QPushButton::clicked, m_progress, [this] {
        if (onHourReport) onHourReport();
    });
    m_progress->show();
}

void QtRunDisplay::SetProgressLabel(const QString& text) {
    if (m_progress) m_progress->Label()->setText(text);
}

void QtRunDisplay::SetProgressValue(int value) {
    if (m_progress) m_progress->Bar()->setValue(value);
}

void QtRunDisplay::EnableOk() {
    if (!m_progress) return;
    m_progress->OkButton()->setEnabled(true);
    m_progress->HourReportButton()->setEnabled(static_cast<bool>(onHourReport));
}

void QtRunDisplay::SetMeasureProgress(int done, int total, const QString& text) {
    if (!m_progress) return;
    m_progress->MeasureLabel()->setText(text);
    m_progress->MeasureBar()->setRange(0, total);
    m_progress->MeasureBar()->setValue(done);
    m_progress->MeasureLabel()->show();
    m_progress->MeasureBar()->show();
}

void QtRunDisplay::UnloadProgress() {
    delete m_progress;
}

}  // namespace sonavel
