#include "AboutForm.h"
#include "CommonModule.h"
#include "FlushDeletes.h"
#include "InfoForm.h"
#include "LogForms.h"
#include "ProgramStart.h"
#include "QtDialogs.h"
#include "QtWindows.h"
#include "ScriptedDialogs.h"
#include "TempFolder.h"
#include "Twips.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>

using namespace sonavel;

namespace {

const QColor kNavy(0, 0, 128);
const QColor kBlack(0, 0, 0);
const QColor kGreen(0, 128, 0);

void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
}

// Answers modal windows as an operator would: each step waits for a modal
// window it recognises (returns true when it acted on it).
class ModalScript {
  public:
    using Step = std::function<bool(QWidget*)>;
    explicit ModalScript(std::deque<Step> steps) : m_steps(std::move(steps)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && !m_steps.empty() && m_steps.front()(modal)) m_steps.pop_front();
        });
        m_timer.start(5);
    }
    ~ModalScript() { EXPECT_TRUE(m_steps.empty()) << m_steps.size() << " modal steps not run"; }

  private:
    std::deque<Step> m_steps;
    QTimer m_timer;
};

class UiTest : public TempFolderTest {
  protected:
    UiTest() : m_player(MakeSession(Product::Player)), m_windows(m_player) {
        m_player.SetWindows(&m_windows);
    }
    ~UiTest() override { FlushDeletes(); }

    template <class T>
    static T* Child(QObject* parent, const char* name) {
        T* child = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    Session& m_player;
    QtWindows m_windows;
};

QColor ColorOf(QTextEdit* edit, const QString& text, int from = 0) {
    const int at = edit->toPlainText().indexOf(text, from);
    EXPECT_GE(at, 0) << text.toStdString();
    QTextCursor cursor(edit->document());
    cursor.setPosition(at + 1);  // the format of the character before the position
    return cursor.charFormat().foreground().color();
}

TEST_F(UiTest, InfoFormListsChosenSectionsInTheirColours) {
    SetRegistryDefaults(m_player);
    DisplayCurrentSettings(m_player);
    auto* form = dynamic_cast<QWidget*>(&m_windows.InfoForm());
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->objectName(), "InfoForm");
    EXPECT_EQ(form->windowTitle(), "Current Settings");
    auto* combo = Child<QComboBox>(form, "comboSelectProgram");
    auto* text = Child<QTextEdit>(form, "textInfo");
    ASSERT_TRUE(combo && text);
    EXPECT_FALSE(combo->isEditable());
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    EXPECT_EQ(items, QStringList({"Player Settings", "Creator Settings", "Global Settings",
                                  "All Settings"}));
    EXPECT_EQ(combo->currentText(), "Player Settings");

    // CR LF must become one line break each: no stray blank lines between keys.
    const QString listing = text->toPlainText();
    EXPECT_TRUE(listing.startsWith(" Player Settings\n\n ")) << listing.toStdString();
    EXPECT_TRUE(listing.contains("\n Display Splash =  True\n")) << listing.toStdString();
    EXPECT_FALSE(listing.contains('\r'));
    EXPECT_EQ(ColorOf(text, "Player Settings"), kNavy);
    const int line = listing.indexOf(" Display Splash = ");
    EXPECT_EQ(ColorOf(text, "Display Splash", line), kBlack);
    EXPECT_EQ(ColorOf(text, " = ", line), kBlack);
    EXPECT_EQ(ColorOf(text, " True", line + 17), kGreen);
    EXPECT_EQ(text->textCursor().position(), 0);

    auto choose = [&](const QString& entry) {
        const int index = combo->findText(entry);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        return text->toPlainText();
    };

    QString all = choose("All Settings");
    EXPECT_TRUE(all.startsWith(" Global Settings\n\n")) << all.toStdString();
    EXPECT_LT(all.indexOf(" Global Settings\n"), all.indexOf(" Player Settings\n"));
    EXPECT_LT(all.indexOf(" Player Settings\n"), all.indexOf(" Creator Settings\n"));
    EXPECT_EQ(all.count(" Player Settings\n"), 1) << "the earlier listing must be cleared";

    // A missing section is reported, and the sections after it are still listed.
    m_store->DeleteSection("Sonavel", "Global Settings");
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Abort);
    all = choose("All Settings");
    EXPECT_TRUE(m_dialogs.AllAnswered());
    EXPECT_LT(all.indexOf(" Player Settings\n"), all.indexOf(" Creator Settings\n"));

    const QString creator = choose("Creator Settings");
    EXPECT_TRUE(creator.startsWith(" Creator Settings\n\n"));
    EXPECT_FALSE(creator.contains("Player Settings"));
}

struct LogCase {
    const char* window;
    const char* caption;
    const char* clear;
    const char* clearText;
    const char* save;
    const char* saveText;
    const char* clearPrompt;
    const char* proposed;
    const char* print;
    const char* printText;
};

TEST_F(UiTest, LogViewersOfferTheirLogCommandsAndCloseOnEscape) {
    m_player.ErrorLogFileName = Path("errors.log");
    m_player.ProgramLogFileName = Path("played.log");
    const LogCase cases[] = {
        {"ErrorLogForm", "Error Log File", "menuClearErrorLog", "Clear Erro&r Log",
         "menuSaveErrorLog", "Save Error &Log", "Use 'Save Error Log'", "errors.bak",
         "menuPrintErrorLogFile", "Print &Error Log File"},
        {"ProgramLogForm", "Program Log File", "menuClearProgramLog", "&Clear Program Log",
         "menuSaveProgramLog", "&Save Program Log", "Use 'Save Program Log'", "played.bak",
         "menuPrintProgramLogFile", "&Print Program Log File"},
    };
    for (const LogCase& c : cases) {
        SCOPED_TRACE(c.window);
        auto viewer = [&]() -> LogViewer& {
            return c.window[0] == 'E' ? m_windows.ErrorLogForm() : m_windows.ProgramLogForm();
        };
        viewer().Load();
        QPointer<QMainWindow> form = dynamic_cast<QMainWindow*>(&viewer());
        ASSERT_TRUE(form);
        EXPECT_EQ(form->objectName(), c.window);
        EXPECT_EQ(form->windowTitle(), c.caption);
        QStringList menus;
        for (QAction* action : form->menuBar()->actions())
            menus << action->text();
        EXPECT_EQ(menus, QStringList({"&File", "&Log", "&Print"}));
        EXPECT_EQ(Child<QAction>(form, "menuExit")->text(), "E&xit");
        EXPECT_EQ(Child<QAction>(form, c.clear)->text(), c.clearText);
        EXPECT_EQ(Child<QAction>(form, c.save)->text(), c.saveText);
        EXPECT_EQ(Child<QAction>(form, c.print)->text(), c.printText);
        EXPECT_EQ(Child<QAction>(form, "menuPrintSetup")->text(), "Print &Setup");

        auto* text = Child<QTextEdit>(form, "textLogFile");
        ASSERT_TRUE(text);
        viewer().SetText("first\r\nsecond\r\n");
        EXPECT_EQ(text->toPlainText(), "first\nsecond\n");
        viewer().SetCaption("/logs/x.log");
        EXPECT_EQ(form->windowTitle(), "/logs/x.log");

        // The menus reach the procedures of their own log.
        m_dialogs.ExpectMessage("Sonavel Player", MsgResult::No);
        Child<QAction>(form, c.clear)->trigger();
        EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith(c.clearPrompt));
        m_dialogs.ExpectFile(std::nullopt, "Save Log File");
        Child<QAction>(form, c.save)->trigger();
        ASSERT_FALSE(m_dialogs.Shown().empty());
        EXPECT_EQ(m_dialogs.Shown().back().file.fileName, c.proposed);
        // Printing asks about this viewer's text: the other viewer is empty.
        m_dialogs.ExpectPrinter(false).ExpectPrintSetup(false);
        Child<QAction>(form, c.print)->trigger();
        Child<QAction>(form, "menuPrintSetup")->trigger();
        EXPECT_TRUE(m_dialogs.AllAnswered());

        PressKey(text, Qt::Key_Escape);
        EXPECT_FALSE(form->isVisible());
        LogViewer& fresh = viewer();
        EXPECT_NE(dynamic_cast<QMainWindow*>(&fresh), form.data());
        FlushDeletes();
        EXPECT_TRUE(form.isNull());
    }
}

TEST_F(UiTest, MessageBoxesDefaultAndEscapeLikeTheDesktopBox) {
    struct Case {
        MsgButtons buttons;
        int defaultButton;
        int key;
        MsgResult expected;
    };
    const Case cases[] = {
        {MsgButtons::OK, 1, Qt::Key_Escape, MsgResult::OK},
        {MsgButtons::OKCancel, 2, Qt::Key_Return, MsgResult::Cancel},
        {MsgButtons::OKCancel, 1, Qt::Key_Escape, MsgResult::Cancel},
        {MsgButtons::AbortRetryIgnore, 3, Qt::Key_Return, MsgResult::Ignore},
        {MsgButtons::AbortRetryIgnore, 2, Qt::Key_Escape, MsgResult::Abort},
        {MsgButtons::YesNoCancel, 1, Qt::Key_Escape, MsgResult::Cancel},
        {MsgButtons::YesNo, 2, Qt::Key_Return, MsgResult::No},
        {MsgButtons::YesNo, 1, Qt::Key_Escape, MsgResult::No},
        {MsgButtons::RetryCancel, 1, Qt::Key_Return, MsgResult::Retry},
    };
    QtDialogs dialogs;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.buttons) * 100 + c.defaultButton * 10 +
                     (c.key == Qt::Key_Escape));
        QString shownText, shownTitle;
        QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
        ModalScript script({[&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return false;
            shownText = box->text();
            shownTitle = box->windowTitle();
            shownIcon = box->icon();
            PressKey(box, c.key);
            if (box->isVisible()) {
                ADD_FAILURE() << "the key did not close the box";
                box->reject();
            }
            return true;
        }});
        const MsgResult result =
            dialogs.MsgBox("Line one\r\nLine two", c.buttons, MsgIcon::Exclamation,
                           "Sonavel Player", c.defaultButton);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(shownText, "Line one\nLine two");
        EXPECT_EQ(shownTitle, "Sonavel Player");
        EXPECT_EQ(shownIcon, QMessageBox::Warning);
    }

    // A box without a title carries the program's name, not its window class.
    dialogs.SetProgramTitle("Sonavel Creator");
    QString untitled;
    ModalScript script({[&](QWidget* modal) {
        untitled = modal->windowTitle();
        PressKey(modal, Qt::Key_Return);
        return true;
    }});
    dialogs.MsgBox("Thank you for using Sonavel!", MsgButtons::OK, MsgIcon::None, QString());
    EXPECT_EQ(untitled, "Sonavel Creator");
}

// The image an icon shows at 48 pixels, to tell icons apart.
QImage Face(const QIcon& icon) {
    return icon.pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TEST_F(UiTest, TheProgramIconComesFromTheIconThemeOrElseFromTheProgram) {
    const QImage builtIn(":/sonavel/icons/48x48/org.sonavel.Player.png");
    ASSERT_FALSE(builtIn.isNull());
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    QIcon::setThemeSearchPaths({Path("icons")});
    QIcon::setThemeName("hicolor");
    EXPECT_EQ(Face(ProgramIcon(Product::Player)),
              builtIn.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    EXPECT_NE(Face(ProgramIcon(Product::Creator)), Face(ProgramIcon(Product::Player)));

    // Installed in the theme: the theme's, as the desktop entry shows it.
    QDir().mkpath(Path("icons/hicolor/48x48/apps"));
    QFile index(Path("icons/hicolor/index.theme"));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write(
        "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
        "[48x48/apps]\nSize=48\nType=Fixed\n");
    index.close();
    QImage installed(48, 48, QImage::Format_ARGB32_Premultiplied);
    installed.fill(Qt::red);
    ASSERT_TRUE(installed.save(Path("icons/hicolor/48x48/apps/org.sonavel.Player.png")));
    QIcon::setThemeName("hicolor");  // the theme is read again
    EXPECT_EQ(Face(ProgramIcon(Product::Player)), installed);

    QIcon::setThemeSearchPaths(searchPaths);
    QIcon::setThemeName(themeName);
}

TEST_F(UiTest, HelpTopicsSaysSoWhenThePagesAreMissingOrNothingOpensThem) {
    ScriptedDialogs dialogs;
    QList<QUrl> opened;
    bool launcher = true;
    const auto open = [&](const QUrl& url) {
        opened << url;
        return launcher;
    };
    const QString index = Path("help/index.html");
    // Not installed.
    dialogs.ExpectMessage("Help Topics");
    OpenHelpTopics(dialogs, index, open);
    EXPECT_TRUE(dialogs.LastMessage().prompt.startsWith("The help pages are not installed"));
    EXPECT_TRUE(opened.isEmpty());

    QDir().mkpath(Path("help"));
    QFile(index).open(QIODevice::WriteOnly);
    OpenHelpTopics(dialogs, index, open);
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(index)});

    // No xdg-open: the page is named so it can be opened by hand.
    launcher = false;
    dialogs.ExpectMessage("Help Topics");
    OpenHelpTopics(dialogs, index, open);
    EXPECT_EQ(dialogs.LastMessage().prompt,
              "No program was found to open the help pages (xdg-open, from the package "
              "xdg-utils, opens them in your web browser).\r\n\r\nOpen this page in a web "
              "browser:\r\n" +
                  index);
}

TEST_F(UiTest, FileDialogFollowsTheRequest) {
    EXPECT_EQ(QtDialogs::QtFilter("Sonavel Log Backup (*.bak)|*.bak|All Files (*.*)|*.*|"),
              "Sonavel Log Backup (*.bak);;All Files (*)");
    EXPECT_EQ(QtDialogs::QtFilter("Sound Files|*.wav;*.mp3|"), "Sound Files (*.wav *.mp3)");

    const QString folder = Path("Logs");
    ASSERT_TRUE(QDir().mkpath(folder));
    FileDialogRequest request;
    request.save = true;
    request.title = "Save Log File";
    request.filter = "Sonavel Log Backup (*.bak)|*.bak|All Files (*.*)|*.*|";
    request.initialFolder = folder;
    request.fileName = "errors.bak";
    request.flags = fileflag::kOverwritePrompt | fileflag::kHideReadOnly | fileflag::kPathMustExist;

    QtDialogs dialogs;
    auto fileDialog = [](QWidget* modal) { return qobject_cast<QFileDialog*>(modal); };
    auto typeAndAccept = [](QFileDialog* dialog, const QString& name) {
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
        // Queued, so the dialog accepts from within its own loop.
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    };
    {
        ModalScript script({
            [&](QWidget* modal) {
                QFileDialog* dialog = fileDialog(modal);
                if (dialog == nullptr) return false;
                EXPECT_EQ(dialog->windowTitle(), "Save Log File");
                EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
                EXPECT_EQ(dialog->nameFilters(),
                          QStringList({"Sonavel Log Backup (*.bak)", "All Files (*)"}));
                EXPECT_EQ(QDir(dialog->directory()).absolutePath(), QDir(folder).absolutePath());
                EXPECT_EQ(dialog->selectedFiles().value(0), QDir(folder).filePath("errors.bak"));
                EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
                typeAndAccept(dialog, "kept.bak");
                return true;
            },
        });
        EXPECT_EQ(dialogs.FileDialog(request), QDir(folder).filePath("kept.bak"));
    }

    request.save = false;
    request.flags = fileflag::kFileMustExist;
    bool confirmsOverwrite = true;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    {
        ModalScript script({[&](QWidget* modal) {
            QFileDialog* dialog = fileDialog(modal);
            if (dialog == nullptr) return false;
            confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            mode = dialog->fileMode();
            dialog->reject();
            return true;
        }});
        EXPECT_EQ(dialogs.FileDialog(request), std::nullopt);
    }
    EXPECT_FALSE(confirmsOverwrite);
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
}

TEST_F(UiTest, FolderBrowserShowsItsPromptInside) {
    const QString start = Path("Sonavel");
    ASSERT_TRUE(QDir().mkpath(start + "/Playlists"));
    QtDialogs dialogs;
    // The operator sees both lines of the prompt, then picks a folder.
    // Any other window in its place fails the test and is closed, so that
    // the test ends instead of waiting on it.
    auto browser = [](QWidget* modal) -> QFileDialog* {
        if (modal->objectName() == "FolderBrowser") {
            return modal->findChild<QFileDialog*>("folderBrowser");
        }
        ADD_FAILURE() << "not the folder browser: " << modal->windowTitle().toStdString();
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        return nullptr;
    };
    QString title, prompt, shownAt;
    bool promptVisible = false;
    {
        ModalScript script({[&](QWidget* modal) {
            QFileDialog* folders = browser(modal);
            if (folders == nullptr) return true;
            title = modal->windowTitle();
            auto* label = Child<QLabel>(modal, "labelPrompt");
            prompt = label->text();
            promptVisible = label->isVisible();
            shownAt = folders->directory().absolutePath();
            folders->setDirectory(Path("Sonavel/Playlists"));
            QMetaObject::invokeMethod(folders, "accept", Qt::QueuedConnection);
            return true;
        }});
        EXPECT_EQ(dialogs.BrowseForFolder(
                      "Set Playlist Folder\r\nClick 'Cancel' to Set Default Location", start),
                  QDir(Path("Sonavel/Playlists")).absolutePath());
    }
    EXPECT_EQ(title, "Browse for Folder");
    EXPECT_EQ(prompt, "Set Playlist Folder\nClick 'Cancel' to Set Default Location");
    EXPECT_TRUE(promptVisible);
    EXPECT_EQ(shownAt, QDir(start).absolutePath());

    // Escape is Cancel: an empty answer.
    {
        ModalScript script({[&](QWidget* modal) {
            QFileDialog* folders = browser(modal);
            if (folders == nullptr) return true;
            QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : folders;
            PressKey(focus, Qt::Key_Escape);
            return true;
        }});
        EXPECT_EQ(dialogs.BrowseForFolder("Select Backup Location", start), "");
    }
}

TEST_F(UiTest, WindowPlacementsRoundTrip) {
    QWidget window;
    const double step = TwipsPerPixel();  // placements survive only in whole pixels
    WindowPlacement placement{
        0, static_cast<std::int32_t>(400 * step), static_cast<std::int32_t>(500 * step),
        static_cast<std::int32_t>(60 * step), static_cast<std::int32_t>(40 * step)};
    ApplyWindowPlacement(window, placement);
    window.show();
    WindowPlacement read = ReadWindowPlacement(window);
    EXPECT_EQ(read.WindowState, 0);
    EXPECT_EQ(read.Width, placement.Width);
    EXPECT_EQ(read.Height, placement.Height);
    EXPECT_EQ(read.PositionLeft, placement.PositionLeft);
    EXPECT_EQ(read.PositionTop, placement.PositionTop);

    // A maximised window hands on the geometry to restore into, not the screen's.
    placement.WindowState = 2;
    ApplyWindowPlacement(window, placement);
    read = ReadWindowPlacement(window);
    EXPECT_EQ(read.WindowState, 2);
    EXPECT_EQ(read.Width, placement.Width);
    EXPECT_EQ(read.Height, placement.Height);
}

}  // namespace
