#include "FakeMediaPlayer.h"
#include "FormatModule.h"
#include "FuzzSupport.h"
#include "NamedEntries.h"
#include "PlayerModule.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QHash>

// Playlists are written by Creator, by hand, or by other tools, and one that
// is damaged must never take the programme off air: the Player reads any file
// without harm, keeps exactly its sound-file lines in order, and shows them.

using namespace sonavel;
using sonavel::fuzz::Fail;

namespace {

class QuietWindow final : public PlayerWindow, public NamedEntries {
  public:
    void Render(const PlayerDisplay& display) override { shown = display; }
    NamedEntries& Entries() override { return *this; }
    void Unload() override {}
    void SetCaption(const QString& name, const QString& caption) override {
        m_captions[name] = caption;
    }
    QString Caption(const QString& name) const override { return m_captions.value(name); }
    void SetVisible(const QString&, bool) override {}
    bool IsVisible(const QString&) const override { return false; }

    PlayerDisplay shown;

  private:
    QHash<QString, QString> m_captions;
};

struct Station {
    Station()
        : store(fuzz::ScratchFolder() + QStringLiteral("/settings.db")),
          session(Product::Player, fuzz::ScratchFolder(), store, dialogs, clock),
          engine(session, player1, player2, window) {
        session.Player.Manual = true;
        engine.ApplySettings();
    }
    fuzz::AcceptingDialogs dialogs;
    fuzz::StillClock clock;
    SettingsStore store;
    Session session;
    FakeMediaPlayer player1;
    FakeMediaPlayer player2;
    QuietWindow window;
    PlayerEngine engine;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::EnsureApplication(false);
    static Station* station = new Station;
    Station& s = *station;
    const QByteArray bytes = fuzz::Bytes(data, size);

    s.dialogs.chosenFile = fuzz::WriteScratchFile(QStringLiteral("Hour.lst"), bytes);
    if (!s.engine.LoadPlaylist()) Fail("a playlist file that exists was not loaded");
    PlayerEngine& e = s.engine;
    if (!e.PlaylistLoaded || e.LastElement != e.ProgramElements.size())
        Fail("the element count disagrees with the list");

    // The elements are the file's sound-file lines, in the file's order.
    QString text = QString::fromUtf8(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    qsizetype from = 0;
    for (const QString& element : e.ProgramElements) {
        if (!IsSoundFile(element)) Fail("an element is no sound file", element);
        const qsizetype at = text.indexOf(element, from);
        if (at < 0) Fail("an element is not in the file, or out of order", element);
        from = at + element.size();
    }

    e.ShowPlaylistElements();
    if (s.window.shown.elementNames.size() != e.LastElement)
        Fail("the element list shows a different number of elements");
    e.ShowPlaylistStatus();
    for (int n = 0; n <= e.LastElement + 1; ++n)
        e.Element(n);
    return 0;
}
