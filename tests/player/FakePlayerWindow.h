#pragma once

#include "NamedEntries.h"
#include "PlayerModule.h"

#include <QHash>
#include <functional>

namespace sonavel {

// A window that keeps what the engine last showed and the menu entries it
// touched, so tests read the display as the operator would see it.
class FakePlayerWindow final : public PlayerWindow, public NamedEntries {
  public:
    void Render(const PlayerDisplay& display) override {
        shown = display;
        ++renders;
        if (onRender) onRender();
    }
    NamedEntries& Entries() override { return *this; }
    void Unload() override { ++unloads; }

    void SetCaption(const QString& name, const QString& caption) override {
        m_captions[name] = caption;
    }
    QString Caption(const QString& name) const override { return m_captions.value(name); }
    void SetVisible(const QString& name, bool visible) override { m_visible[name] = visible; }
    bool IsVisible(const QString& name) const override { return m_visible.value(name); }

    PlayerDisplay shown;
    // Runs inside the engine's work, as a redraw would: tests check there.
    std::function<void()> onRender;
    int renders = 0;
    int unloads = 0;

  private:
    QHash<QString, QString> m_captions;
    QHash<QString, bool> m_visible;
};

}  // namespace sonavel
