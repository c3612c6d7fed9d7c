#include "ClockModule.h"
#include "FuzzSupport.h"
#include "KeywordModule.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QDir>
#include <memory>

// A clock file may have been written by hand, by an older Creator, or damaged
// on the way. Reading it never harms the program, keeps only elements that
// name a keyword, and a clock saved from what was read reads back the same.

using namespace sonavel;
using sonavel::fuzz::Fail;

namespace {

struct Station {
    Station()
        : store(fuzz::ScratchFolder() + QStringLiteral("/settings.db")),
          session(Product::Creator, fuzz::ScratchFolder() + QStringLiteral("/Sonavel"), store,
                  dialogs, clock),
          keywords(session),
          clocks(session, keywords) {
        QDir().mkpath(session.ProgramFolder() + QStringLiteral("/Clocks"));
        for (const char* name : {"Music", "Jingle", "Ad Break", "Énergie", "Straße", "TimeCheck"}) {
            KeywordDefinition definition;
            definition.Keyword = QString::fromUtf8(name);
            keywords.KeywordDefinitions.push_back(definition);
        }
    }
    fuzz::AcceptingDialogs dialogs;
    fuzz::StillClock clock;
    SettingsStore store;
    Session session;
    KeywordModule keywords;
    ClockModule clocks;
};

// The elements of a clock as the editor shows them: the non-empty entries.
QStringList Elements(const QStringList& lines) {
    QStringList elements;
    for (const QString& line : lines)
        if (!line.isEmpty()) elements << line;
    return elements;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::EnsureApplication(false);
    static Station* station = new Station;
    Station& s = *station;
    const QByteArray bytes = fuzz::Bytes(data, size);

    fuzz::WriteScratchFile(QStringLiteral("Sonavel/Default.clk"), bytes);
    if (!s.clocks.ReadDefaultClockLines()) Fail("a clock file that exists was not read");
    const QStringList read = s.clocks.DefaultClockLines;
    for (const QString& element : Elements(read))
        if (!s.keywords.FindKeyword(element)) Fail("an element names no keyword", element);
    if (!s.clocks.InvalidKeywordFound && Elements(read).isEmpty())
        Fail("a clock without elements was taken for valid");

    // The same text as the clock of an hour: read by the same rules.
    fuzz::WriteScratchFile(QStringLiteral("Sonavel/Clocks/Mon0700.clk"), bytes);
    const int shownBefore = s.dialogs.messages;
    const bool hourly = s.clocks.LoadHourlyClock(QStringLiteral("/any/Mon0700.lst"));
    const bool invalidShown = s.dialogs.messages != shownBefore;
    if (hourly == invalidShown) Fail("an hourly clock was neither read nor refused with a message");
    if (hourly && s.clocks.HourlyClockLines != read)
        Fail("the hourly and default readers disagree", s.clocks.HourlyClockLines.join('|'));

    // Saved as the editor saves the elements it shows, then read again.
    if (hourly) {
        const QString path = s.session.ProgramFolder() + QStringLiteral("/Clocks/Tue0800.clk");
        ClockModule::WriteClockFile(
            path, ClockModule::PlainClockContent(Elements(read).join(QLatin1Char('\n'))), true);
        if (!s.clocks.LoadHourlyClock(QStringLiteral("Tue0800.lst")))
            Fail("a clock saved from a clock that was read is refused");
        if (Elements(s.clocks.HourlyClockLines) != Elements(read))
            Fail("a saved clock reads back differently", s.clocks.HourlyClockLines.join('|'));
    }

    // The first line as a clock's file name, as the window title and the
    // neighbour buttons take it.
    const QString name = QString::fromUtf8(bytes.left(bytes.indexOf('\n')));
    ClockModule::PrettyPrintFileName(name);
    ClockModule::GetNextFileName(s.session.ProgramFolder(), name);
    ClockModule::GetPreviousFileName(s.session.ProgramFolder(), name);
    return 0;
}
