// Pictures for the help pages: starts one of the two programs, in this process
// and on the station the XDG variables point at, opens each of its windows as
// an operator would (menu entries and buttons found by their object names),
// and saves each one as a PNG with its caption drawn above it. Boxes that
// would wait for an answer are answered; one nobody expected is named on
// standard error and makes the run fail.
//
//   sonavel-screenshots creator|player FOLDER
//
// scripts/screenshots runs it on a fresh demo station, on Qt's offscreen
// platform.

#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "CreatorModule.h"
#include "KeywordModule.h"
#include "Paths.h"
#include "PlayerForm.h"
#include "PlayerModule.h"
#include "PlayerSoundOutput.h"
#include "PlayerStart.h"
#include "PrintingForm.h"
#include "ProgramStart.h"
#include "SchedulerModule.h"
#include "Version.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>

using namespace sonavel;

namespace {

QTextStream& Err() {
    static QTextStream err(stderr);
    return err;
}

// Lets the program run for a while, as the operator's eye would.
void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QWidget* TopLevel(const QString& objectName, const QString& title = {}) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->objectName() == objectName &&
            (title.isEmpty() || window->windowTitle() == title)) {
            return window;
        }
    }
    return nullptr;
}

// A lower-case file name from a caption: "Log Files" gives "log-files".
QString Slug(QString text) {
    text = text.toLower().remove(QLatin1Char('&'));
    QString slug;
    for (const QChar c : text) {
        if (c.isLetterOrNumber()) {
            slug += c;
        } else if (!slug.endsWith(QLatin1Char('-'))) {
            slug += QLatin1Char('-');
        }
    }
    while (slug.endsWith(QLatin1Char('-')))
        slug.chop(1);
    return slug;
}

class Shots {
  public:
    explicit Shots(QString folder) : m_folder(std::move(folder)) {}

    // The window as a desktop shows it: its caption in a bar above it.
    void Save(QWidget* window, const QString& name) {
        if (window == nullptr) {
            Fail(QStringLiteral("no window for ") + name);
            return;
        }
        window->raise();
        Settle(150);
        const QPixmap face = window->grab();
        const int bar = 24;
        QImage image(face.width() + 2, face.height() + bar + 1, QImage::Format_RGB32);
        image.fill(QColor(0x3a, 0x45, 0x55));
        QPainter painter(&image);
        QFont font = window->font();
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(10, 0, image.width() - 20, bar), Qt::AlignVCenter | Qt::AlignLeft,
                         window->windowTitle());
        painter.drawPixmap(1, bar, face);
        painter.end();
        const QString path = m_folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!image.save(path)) {
            Fail(QStringLiteral("cannot write ") + path);
            return;
        }
        Err() << "  " << path << " (" << image.width() << "x" << image.height() << ")\n";
        Err().flush();
    }

    void Fail(const QString& problem) {
        Err() << "screenshots: " << problem << '\n';
        Err().flush();
        m_failed = true;
    }
    bool Failed() const { return m_failed; }

  private:
    QString m_folder;
    bool m_failed = false;
};

// Answers the boxes and dialogs that wait for the operator. An answer is
// looked up by the box's title; a window to keep a picture of may be named
// too, by its object name, and is saved once while it shows.
class Operator : public QObject {
  public:
    explicit Operator(Shots& shots) : m_shots(shots) {
        connect(&m_timer, &QTimer::timeout, this, [this] { Look(); });
        m_timer.start(50);
    }

    void Answer(const QString& title, QMessageBox::StandardButton button) {
        m_answers[title] = button;
    }
    // A modal window other than a box: saved, then closed with Cancel.
    void PictureAndCancel(const QString& objectName, const QString& picture) {
        m_pictures[objectName] = picture;
    }
    // A modeless window that shows only while something runs.
    void PictureWhileShown(const QString& objectName, const QString& picture) {
        m_passing[objectName] = picture;
    }

  private:
    void Look() {
        // Saving a picture lets events run, and with them this timer.
        if (m_busy) return;
        m_busy = true;
        for (auto it = m_passing.begin(); it != m_passing.end();) {
            if (QWidget* window = TopLevel(it->first)) {
                m_shots.Save(window, it->second);
                it = m_passing.erase(it);
            } else {
                ++it;
            }
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            m_busy = false;
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            const auto answer = m_answers.find(box->windowTitle());
            if (answer == m_answers.end()) {
                m_shots.Fail(QStringLiteral("unexpected box \"") + box->windowTitle() +
                             QStringLiteral("\": ") + box->text());
                box->reject();
            } else if (QAbstractButton* button = box->button(answer->second)) {
                button->click();
            } else {
                box->reject();
            }
        } else if (const auto picture = m_pictures.find(modal->objectName());
                   picture != m_pictures.end()) {
            m_shots.Save(modal, picture->second);
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        } else {
            m_shots.Fail(QStringLiteral("unexpected window \"") + modal->windowTitle() +
                         QStringLiteral("\" (") + modal->objectName() + QLatin1Char(')'));
            modal->close();
        }
        m_busy = false;
    }

    Shots& m_shots;
    QTimer m_timer;
    bool m_busy = false;
    std::map<QString, QMessageBox::StandardButton> m_answers;
    std::map<QString, QString> m_pictures;
    std::map<QString, QString> m_passing;
};

bool Trigger(QWidget* window, const char* actionName, Shots& shots) {
    auto* action = window->findChild<QAction*>(QString::fromLatin1(actionName));
    if (action == nullptr || !action->isEnabled()) {
        shots.Fail(QStringLiteral("no enabled action ") + QString::fromLatin1(actionName));
        return false;
    }
    action->trigger();
    Settle(200);
    return true;
}

template <class Control>
Control* Find(QWidget* window, const char* name, Shots& shots) {
    auto* control = window ? window->findChild<Control*>(QString::fromLatin1(name))
                           : static_cast<Control*>(nullptr);
    if (control == nullptr) shots.Fail(QStringLiteral("no control ") + QString::fromLatin1(name));
    return control;
}

void Click(QWidget* window, const char* name, Shots& shots) {
    if (auto* button = Find<QAbstractButton>(window, name, shots)) {
        button->click();
        Settle(150);
    }
}

// Every page of an options window, each under the name of its tab, so a page
// added later gets its picture without a change here.
void SaveTabs(QWidget* window, const QString& prefix, Shots& shots) {
    auto* tabs = Find<QTabWidget>(window, "tapOptions", shots);
    if (tabs == nullptr) return;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        Settle(100);
        shots.Save(window, prefix + Slug(tabs->tabText(i)));
    }
    tabs->setCurrentIndex(0);
}

void Close(QWidget* window) {
    if (window != nullptr) window->close();
    Settle(150);
}

// ---------------------------------------------------------------------------

void CreatorShots(CreatorForm& form, Shots& shots, Operator& op) {
    form.resize(900, 560);
    Settle(300);
    // The preview as it is with the estimate switched on.
    Trigger(&form, "Estimate Time", shots);
    shots.Save(&form, QStringLiteral("creator"));

    Trigger(&form, "menuKeywordMaintenance", shots);
    QWidget* keywords = TopLevel(QStringLiteral("KeywordForm"));
    if (auto* list = Find<QListWidget>(keywords, "listKeyword", shots)) {
        const QList<QListWidgetItem*> found =
            list->findItems(QStringLiteral("Music Bed A"), Qt::MatchExactly);
        if (!found.isEmpty()) list->setCurrentItem(found.front());
        Settle(150);
        shots.Save(keywords, QStringLiteral("keyword-maintenance"));
        Click(keywords, "commandEstimatedTime", shots);
        QWidget* estimate =
            TopLevel(QStringLiteral("ProgressForm"), QStringLiteral("Estimating Time"));
        shots.Save(estimate, QStringLiteral("estimating-time"));
        Close(estimate);
    }
    Close(keywords);

    Trigger(&form, "menuOpenHourlyClock", shots);
    QWidget* openHourly = TopLevel(QStringLiteral("OpenHourlyClockForm"));
    Click(openHourly, "checkMon_7", shots);
    shots.Save(openHourly, QStringLiteral("open-hourly-clock"));
    Click(openHourly, "commandOpen", shots);

    // A change in the clock makes the save and find commands available.
    if (auto* edit = Find<QTextEdit>(&form, "textEdit", shots)) {
        QTextCursor cursor = edit->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(QStringLiteral("Jingle\n"));
        edit->setTextCursor(cursor);
        Settle(150);
    }
    Trigger(&form, "menuSaveAsHourlyClock", shots);
    QWidget* saveHourly = TopLevel(QStringLiteral("SaveHourlyClockForm"));
    Click(saveHourly, "checkWeekdays_7", shots);
    Click(saveHourly, "checkWeekend_8", shots);
    shots.Save(saveHourly, QStringLiteral("save-hourly-clock"));
    Close(saveHourly);

    Trigger(&form, "menuReplace", shots);
    QWidget* search = TopLevel(QStringLiteral("SearchForm"));
    if (auto* find = Find<QLineEdit>(search, "textFind", shots)) find->setText("Music Bed B");
    if (auto* replace = Find<QLineEdit>(search, "textReplace", shots))
        replace->setText("Music Bed A");
    shots.Save(search, QStringLiteral("find-replace"));
    Close(search);

    Trigger(&form, "menuOptions", shots);
    QWidget* options = TopLevel(QStringLiteral("CreatorOptionsForm"));
    SaveTabs(options, QStringLiteral("creator-options-"), shots);
    if (auto* tabs = Find<QTabWidget>(options, "tapOptions", shots)) {
        // Cancel in the browser puts the default folder in the field.
        op.PictureAndCancel(QStringLiteral("FolderBrowser"), QStringLiteral("browse-for-folder"));
        tabs->setCurrentIndex(1);
        Click(options, "commandBrowsePlaylistFolder", shots);
        Click(options, "commandViewCurrentSettings", shots);
        QWidget* settings = TopLevel(QStringLiteral("InfoForm"));
        if (settings != nullptr) settings->resize(560, 460);
        shots.Save(settings, QStringLiteral("current-settings"));
        Close(settings);
    }
    Click(options, "commandCancel", shots);

    Trigger(&form, "menuBackup", shots);
    QWidget* backup = TopLevel(QStringLiteral("BackupForm"));
    shots.Save(backup, QStringLiteral("backup"));
    Close(backup);

    // The run: its check window while it checks, its progress at the end.
    op.Answer(QStringLiteral("Create Playlists"), QMessageBox::Yes);
    op.Answer(QStringLiteral("Current Clock Not Saved"), QMessageBox::No);
    op.Answer(QStringLiteral("Ready to Create Playlists"), QMessageBox::Yes);
    op.PictureWhileShown(QStringLiteral("StatusForm"), QStringLiteral("checking"));
    Trigger(&form, "menuCreatePlaylists", shots);
    QWidget* progress =
        TopLevel(QStringLiteral("ProgressForm"), QStringLiteral("Creating Playlists"));
    shots.Save(progress, QStringLiteral("creating-playlists"));
    // The week's hour report, offered beside OK once the run is through.
    Click(progress, "commandHourReport", shots);
    QWidget* hourReport = TopLevel(QStringLiteral("HourReportForm"));
    shots.Save(hourReport, QStringLiteral("hour-report"));
    Close(hourReport);
    Close(progress);

    Trigger(&form, "menuAbout", shots);
    QWidget* about = TopLevel(QStringLiteral("AboutForm"));
    shots.Save(about, QStringLiteral("about-creator"));
    Close(about);

    // Printing needs a printer; the window it shows meanwhile is the same
    // for every print command.
    PrintingForm printing(&form);
    printing.SetCaption(QStringLiteral("Now Printing"));
    printing.Load();
    shots.Save(&printing, QStringLiteral("printing"));
    printing.Unload();
}

int RunCreator(Shots& shots) {
    int exitCode = 0;
    auto services = ProgramServices::Start(Product::Creator, exitCode);
    if (!services) return exitCode != 0 ? exitCode : 1;
    Session& session = services->GetSession();
    KeywordModule keywords(session);
    ClockModule clocks(session, keywords);
    SchedulerModule scheduler(session, keywords, clocks);
    AudioEngine audio;
    CreatorForm form(session, keywords, clocks, audio);
    form.SetScheduler(&scheduler);
    WidgetMainWindow mainWindow(form, Product::Creator);
    Operator op(shots);
    if (!StartCreator(session, form.Editor(), mainWindow, form.Entries(), exitCode)) return 1;
    CreatorShots(form, shots, op);
    // No shut-down: the station is a throw-away copy.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != &form) window->hide();
    }
    form.SetScheduler(nullptr);
    return 0;
}

// ---------------------------------------------------------------------------

void PlayerShots(PlayerForm& form, Shots& shots) {
    form.resize(860, 540);
    // On air long enough for a few elements to have changed.
    Settle(9000);
    shots.Save(&form, QStringLiteral("player"));

    Trigger(&form, "menuViewPlaylist", shots);
    QWidget* playlist = TopLevel(QStringLiteral("PlaylistForm"));
    shots.Save(playlist, QStringLiteral("current-playlist"));
    Close(playlist);

    Trigger(&form, "menuDisplayProgramLog", shots);
    QWidget* programLog = TopLevel(QStringLiteral("ProgramLogForm"));
    if (programLog != nullptr) programLog->resize(620, 420);
    shots.Save(programLog, QStringLiteral("program-log"));
    Close(programLog);

    Trigger(&form, "menuDisplayErrorLog", shots);
    QWidget* errorLog = TopLevel(QStringLiteral("ErrorLogForm"));
    if (errorLog != nullptr) errorLog->resize(620, 420);
    shots.Save(errorLog, QStringLiteral("error-log"));
    Close(errorLog);

    Trigger(&form, "menuOptions", shots);
    QWidget* options = TopLevel(QStringLiteral("PlayerOptionsForm"));
    SaveTabs(options, QStringLiteral("player-options-"), shots);
    Click(options, "commandCancel", shots);
}

int RunPlayer(Shots& shots) {
    QApplication::setQuitOnLastWindowClosed(false);
    int exitCode = 0;
    auto services = ProgramServices::Start(Product::Player, exitCode);
    if (!services) return exitCode != 0 ? exitCode : 1;
    Session& session = services->GetSession();
    AudioEngine audio;
    UseSoundDevice(session, audio);
    AudioMediaPlayer player1(audio);
    AudioMediaPlayer player2(audio);
    auto form = std::make_unique<PlayerForm>(session, &player1, &player2);
    PlayerEngine engine(session, form->MediaPlayer1(), form->MediaPlayer2(), *form);
    form->SetEngine(&engine);
    Operator op(shots);
    if (!StartPlayer(session, engine, *form, exitCode)) return 1;
    PlayerShots(*form, shots);
    // Ended as a shut-down of the machine ends it: no question to answer.
    form->EndOnSignal();
    QElapsedTimer waited;
    waited.start();
    while (!form->IsUnloaded() && waited.elapsed() < 10000)
        Settle(50);
    form->SetEngine(nullptr);
    form.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    EnsureRuntimeFolder();
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const QString program = arguments.value(1);
    if (arguments.size() != 3 ||
        (program != QLatin1String("creator") && program != QLatin1String("player"))) {
        Err() << "usage: sonavel-screenshots creator|player FOLDER\n";
        return 2;
    }
    const bool player = program == QLatin1String("player");
    QApplication::setApplicationName(player ? QStringLiteral("Sonavel Player")
                                            : QStringLiteral("Sonavel Creator"));
    QApplication::setApplicationVersion(QString::fromLatin1(kSonavelVersion));
    QDir().mkpath(arguments[2]);
    Shots shots(arguments[2]);
    const int result = player ? RunPlayer(shots) : RunCreator(shots);
    return result != 0 || shots.Failed() ? 1 : 0;
}
