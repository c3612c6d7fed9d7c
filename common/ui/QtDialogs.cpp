#include "QtDialogs.h"

#include "FolderBrowser.h"
#include "QtTextPrinter.h"
#include "UiColor.h"
#include "UiText.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <vector>

namespace sonavel {

namespace {

struct ButtonSet {
    std::vector<QMessageBox::StandardButton> buttons;  // in the order the default counts them
    QMessageBox::StandardButton escape;
};

// What closing the box without a button gives. Sets with Cancel give Cancel.
// A box of OK alone gives OK. The desktop message box we follow cannot be
// dismissed at all for Abort/Retry/Ignore and Yes/No; a window manager here
// can still close it, so we answer with the choice that does least: Abort
// (leave the procedure) and No.
ButtonSet ButtonsFor(MsgButtons buttons) {
    using B = QMessageBox;
    switch (buttons) {
        case MsgButtons::OK:
            return {{B::Ok}, B::Ok};
        case MsgButtons::OKCancel:
            return {{B::Ok, B::Cancel}, B::Cancel};
        case MsgButtons::AbortRetryIgnore:
            return {{B::Abort, B::Retry, B::Ignore}, B::Abort};
        case MsgButtons::YesNoCancel:
            return {{B::Yes, B::No, B::Cancel}, B::Cancel};
        case MsgButtons::YesNo:
            return {{B::Yes, B::No}, B::No};
        case MsgButtons::RetryCancel:
            return {{B::Retry, B::Cancel}, B::Cancel};
    }
    return {{B::Ok}, B::Ok};
}

QMessageBox::Icon IconFor(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::None:
            return QMessageBox::NoIcon;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

MsgResult ResultFor(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
            return MsgResult::OK;
        case QMessageBox::Cancel:
            return MsgResult::Cancel;
        case QMessageBox::Abort:
            return MsgResult::Abort;
        case QMessageBox::Retry:
            return MsgResult::Retry;
        case QMessageBox::Ignore:
            return MsgResult::Ignore;
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        default:
            return MsgResult::Cancel;
    }
}

// Our dialog rather than the desktop's: the path and file checks run in
// accept(), which a desktop dialog has already left behind when it returns.
class CheckingFileDialog final : public QFileDialog {
  public:
    CheckingFileDialog(QWidget* parent, int flags) : QFileDialog(parent), m_flags(flags) {}

    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty() && !Acceptable(QFileInfo(files.first()))) return;
        QFileDialog::accept();
    }

  private:
    bool Acceptable(const QFileInfo& chosen) {
        if (chosen.isDir()) return true;  // the dialog opens it
        const QString shown = QDir::toNativeSeparators(chosen.filePath());
        if ((m_flags & fileflag::kFileMustExist) != 0 && !chosen.exists()) {
            QMessageBox::warning(this, windowTitle(),
                                 shown + QStringLiteral("\nFile not found.\nCheck the file name "
                                                        "and try again."));
            return false;
        }
        if ((m_flags & fileflag::kPathMustExist) != 0 && !chosen.absoluteDir().exists()) {
            QMessageBox::warning(this, windowTitle(),
                                 shown + QStringLiteral("\nPath does not exist.\nCheck the path "
                                                        "and try again."));
            return false;
        }
        return true;
    }

    int m_flags;
};

}  // namespace

QtDialogs::QtDialogs(QtTextPrinter* printer) : m_printer(printer) {}

QtDialogs::~QtDialogs() = default;

QString QtDialogs::TitleOr(const QString& title) const {
    return title.isEmpty() ? m_programTitle : title;
}

QtTextPrinter& QtDialogs::Printer() {
    if (m_printer == nullptr) {
        m_ownPrinter = std::make_unique<QtTextPrinter>();
        m_printer = m_ownPrinter.get();
    }
    return *m_printer;
}

QString QtDialogs::QtFilter(const QString& filter) {
    static const QRegularExpression kTrailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        if (description.isEmpty()) continue;
        // Qt takes the patterns from the parentheses of the description, so
        // the real patterns replace whatever the description shows there.
        description.remove(kTrailingPatterns);
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            // "*.*" would demand a dot in the name; here it means every file.
            patterns << (trimmed == QStringLiteral("*.*") ? QStringLiteral("*") : trimmed);
        }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        entries << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

MsgResult QtDialogs::Message(const MessageRequest& request) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(TitleOr(request.title));
    box.setTextFormat(Qt::PlainText);  // paths and keyword texts may hold '<'
    box.setText(WithLineFeeds(request.prompt));
    box.setIcon(IconFor(request.icon));

    const ButtonSet set = ButtonsFor(request.buttons);
    for (const QMessageBox::StandardButton button : set.buttons)
        box.addButton(button);
    // Like the desktop box, a default beyond the set falls back to the first button.
    const int index =
        request.defaultButton >= 1 && request.defaultButton <= static_cast<int>(set.buttons.size())
            ? request.defaultButton - 1
            : 0;
    box.setDefaultButton(set.buttons[static_cast<std::size_t>(index)]);
    box.setEscapeButton(set.escape);

    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return ResultFor(clicked != nullptr ? box.standardButton(clicked) : set.escape);
}

std::optional<QString> QtDialogs::FileDialog(const FileDialogRequest& request) {
    CheckingFileDialog dialog(QApplication::activeWindow(), request.flags);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!request.title.isEmpty()) dialog.setWindowTitle(request.title);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!request.save && (request.flags & fileflag::kFileMustExist) != 0
                           ? QFileDialog::ExistingFile
                           : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite,
                     (request.flags & fileflag::kOverwritePrompt) == 0);
    const QString filter = QtFilter(request.filter);
    if (!filter.isEmpty()) dialog.setNameFilter(filter);

    QString folder = request.initialFolder;
    QString name = request.fileName;
    // A proposed name may carry its own folder; that folder wins.
    if (!name.isEmpty() && QFileInfo(name).isAbsolute()) {
        const QFileInfo info(name);
        folder = info.path();
        name = info.fileName();
    }
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (!name.isEmpty()) dialog.selectFile(name);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.first();
}

QString QtDialogs::BrowseForFolder(const QString& title, const QString& initialFolder) {
    // The "title" is the prompt shown inside the browser, as the folder
    // procedures word it; the window has a caption of its own.
    return FolderBrowser::Browse(title, initialFolder, QApplication::activeWindow());
}

bool QtDialogs::PrinterDialog(int flags) {
    QPrintDialog dialog(&Printer().Device(), QApplication::activeWindow());
    // Our print commands print whole texts, so there is never a selection to
    // offer; copies are the print system's business, as QPrinter hands it the
    // count.
    QAbstractPrintDialog::PrintDialogOptions options =
        QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintShowPageSize;
    if ((flags & printflag::kNoPageNums) == 0) options |= QAbstractPrintDialog::PrintPageRange;
    if ((flags & (printflag::kDisablePrintToFile | printflag::kHidePrintToFile)) == 0) {
        options |= QAbstractPrintDialog::PrintToFile;
    }
    dialog.setOptions(options);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<QString> QtDialogs::InputBox(const QString& prompt, const QString& title,
                                           const QString& defaultAnswer) {
    bool ok = false;
    const QString answer = QInputDialog::getText(QApplication::activeWindow(), TitleOr(title),
                                                 prompt, QLineEdit::Normal, defaultAnswer, &ok);
    if (!ok) return std::nullopt;
    return answer;
}

std::optional<std::int32_t> QtDialogs::ColorDialog(std::int32_t initial) {
    const QColor chosen =
        QColorDialog::getColor(ToQColor(Color::FromStored(initial)), QApplication::activeWindow());
    if (!chosen.isValid()) return std::nullopt;
    return FromQColor(chosen).Stored();
}

bool QtDialogs::PrintSetupDialog(int /*flags*/) {
    QPageSetupDialog dialog(&Printer().Device(), QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted;
}

void CloseModalBoxes(const QWidget* keep) {
    for (int boxes = 0; boxes < 10; ++boxes) {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || box == keep) break;
        if (!box->close()) {
            auto* dialog = qobject_cast<QDialog*>(box);
            if (!dialog) break;
            dialog->reject();
        }
    }
}

}  // namespace sonavel
