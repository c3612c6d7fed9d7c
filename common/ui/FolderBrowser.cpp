#include "FolderBrowser.h"

#include <QFileDialog>
#include <QLabel>
#include <QVBoxLayout>

namespace sonavel {

FolderBrowser::FolderBrowser(const QString& prompt, const QString& initialFolder, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("FolderBrowser"));
    setWindowTitle(QStringLiteral("Browse for Folder"));

    m_prompt = new QLabel(this);
    m_prompt->setObjectName(QStringLiteral("labelPrompt"));
    m_prompt->setTextFormat(Qt::PlainText);  // folder names may hold '<'
    m_prompt->setWordWrap(true);
    QString lines = prompt;
    m_prompt->setText(lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    // Qt's own browser, held as a part of this window rather than a window
    // of its own, so the prompt and the folders are one dialog.
    m_folders = new QFileDialog(this);
    m_folders->setObjectName(QStringLiteral("folderBrowser"));
    m_folders->setWindowFlags(Qt::Widget);
    m_folders->setOption(QFileDialog::DontUseNativeDialog);
    m_folders->setFileMode(QFileDialog::Directory);
    m_folders->setOption(QFileDialog::ShowDirsOnly);
    if (!initialFolder.isEmpty()) m_folders->setDirectory(initialFolder);
    connect(m_folders, &QFileDialog::accepted, this, [this] {
        m_chosen = m_folders->selectedFiles().value(0);
        // Cut at a NUL, as a folder name handed over from a C string would be.
        const qsizetype nul = m_chosen.indexOf(QChar(u'\0'));
        if (nul >= 0) m_chosen.truncate(nul);
        accept();
    });
    connect(m_folders, &QFileDialog::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_folders, 1);
}

QString FolderBrowser::Browse(const QString& prompt, const QString& initialFolder,
                              QWidget* parent) {
    FolderBrowser browser(prompt, initialFolder, parent);
    if (browser.exec() != QDialog::Accepted) return QString();
    return browser.Chosen();
}

}  // namespace sonavel
