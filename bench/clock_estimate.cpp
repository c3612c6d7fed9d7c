// Measures the clock time estimate that runs on every keystroke while
// "Estimate Time" is on: a 2,000-line clock against 60 keywords in the real
// settings store, typed into the real main window (offscreen).
#include "AnswerOk.h"
#include "AudioEngine.h"
#include "Clock.h"
#include "ClockEstimate.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "KeywordModule.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace sonavel;

namespace {

constexpr int kKeywords = 60;
constexpr int kClockLines = 2000;
constexpr int kKeystrokes = 200;

struct Figures {
    double mean = 0, median = 0, p95 = 0, max = 0;
};

Figures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    Figures f;
    for (double v : ms)
        f.mean += v;
    f.mean /= static_cast<double>(ms.size());
    f.median = ms[ms.size() / 2];
    f.p95 = ms[ms.size() * 95 / 100];
    f.max = ms.back();
    return f;
}

void Print(const char* what, const Figures& f) {
    std::printf("%-34s mean_ms=%.3f median_ms=%.3f p95_ms=%.3f max_ms=%.3f\n", what, f.mean,
                f.median, f.p95, f.max);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    SettingsStore store(dir.filePath(QStringLiteral("settings.db")));
    AnswerOk dialogs;
    SystemClock clock;
    Session session(Product::Creator, dir.filePath(QStringLiteral("Sonavel")), store, dialogs,
                    clock);
    KeywordModule keywords(session);
    for (int k = 0; k < kKeywords; ++k) {
        const QString name = QStringLiteral("Keyword %1").arg(k);
        keywords.RefreshKeywordList();
        keywords.AddKeywordEntry(name);
        store.SaveSetting(QString::fromLatin1(kKeywordApp), name, keywordfield::Color.Key(),
                          QString::number(k * 0x030507));
        store.SaveSetting(QString::fromLatin1(kKeywordApp), name, keywordfield::EstimatedTime.Key(),
                          QString::number(30 + k));
    }
    QString text;
    for (int i = 0; i < kClockLines; ++i) {
        // Mostly keywords, in changing case and indentation, with comments between.
        if (i % 10 == 9) {
            text += QStringLiteral("' comment %1\r\n").arg(i);
        } else {
            const QString name = QStringLiteral("keyword %1").arg(i * 7 % kKeywords);
            text += (i % 3 == 0 ? name.toUpper() : QStringLiteral("  ") + name) +
                    QStringLiteral("\r\n");
        }
    }

    // The estimate's own steps: reading the store, then the lines.
    std::vector<double> reads, estimates;
    QElapsedTimer timer;
    for (int i = 0; i < kKeystrokes; ++i) {
        timer.start();
        keywords.GetKeywordDefinitions();
        reads.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        const ClockTimeEstimate e =
            ClockEstimate::Estimate(text, keywords.KeywordDefinitions, true);
        estimates.push_back(timer.nsecsElapsed() / 1e6);
        if (e.problem != ClockTimeEstimate::Problem::None) return 1;
    }

    // Whole keystrokes in the window: the edit, the estimate, the preview and
    // the repaint that follows.
    ClockModule clocks(session, keywords);
    AudioEngine audio{EngineConfig{OutputKind::Virtual, 300, {}}};
    CreatorForm form(session, keywords, clocks, audio);
    form.resize(1200, 800);
    form.show();
    session.Creator.EstimateTime = true;
    form.SetEditText(text);
    QApplication::processEvents();
    auto* edit = form.findChild<QTextEdit*>(QStringLiteral("textEdit"));
    auto* preview = form.findChild<QTextEdit*>(QStringLiteral("textPreview"));

    // The preview alone: the pane refilled and laid out.
    // Two clocks in turn, so that every refill is a real one.
    const ClockTimeEstimate estimates2[] = {
        ClockEstimate::Estimate(text, keywords.KeywordDefinitions, true),
        ClockEstimate::Estimate(text.mid(text.indexOf(QStringLiteral("\r\n")) + 2),
                                keywords.KeywordDefinitions, true)};
    std::vector<double> previews, paints;
    for (int i = 0; i < kKeystrokes / 4; ++i) {
        timer.start();
        form.ShowPreview(estimates2[i % 2].runs);
        previews.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        QApplication::processEvents();
        paints.push_back(timer.nsecsElapsed() / 1e6);
    }

    QTextCursor cursor(edit->document()->findBlockByNumber(kClockLines / 2));
    // Keystrokes that leave the preview as it is (letters typed before a
    // keyword, the line naming none) and ones that change it (a keyword's
    // line made and unmade, every later start time moving).
    std::vector<double> keystrokes, changing;
    for (int i = 0; i < kKeystrokes; ++i) {
        const int before = preview->document()->revision();
        const QTextDocument* shown = preview->document();
        timer.start();
        if (i % 20 < 10) {
            cursor.insertText(QString(QChar(u'a' + i % 26)));
        } else {
            cursor.deletePreviousChar();
        }
        QApplication::processEvents();
        const double ms = timer.nsecsElapsed() / 1e6;
        const bool changed =
            preview->document() != shown || preview->document()->revision() != before;
        (changed ? changing : keystrokes).push_back(ms);
    }

    std::printf(
        "clock_lines=%d keywords=%d keystrokes=%d boxes=%d preview_blocks=%d\n", kClockLines,
        kKeywords, kKeystrokes, dialogs.shown,
        form.findChild<QTextEdit*>(QStringLiteral("textPreview"))->document()->blockCount());
    Print("store read (GetKeywordDefinitions)", Summarise(reads));
    Print("estimate of the lines", Summarise(estimates));
    Print("preview refilled", Summarise(previews));
    Print("events and repaint after it", Summarise(paints));
    std::printf("keystrokes leaving the preview=%zu changing it=%zu\n", keystrokes.size(),
                changing.size());
    if (!keystrokes.empty()) Print("keystroke, preview unchanged", Summarise(keystrokes));
    if (!changing.empty()) Print("keystroke, preview changed", Summarise(changing));
    return dialogs.shown == 0 ? 0 : 1;
}
