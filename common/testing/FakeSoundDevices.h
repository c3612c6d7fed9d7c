#pragma once

#include "AudioEngine.h"
#include "SoundDevices.h"

#include <QString>
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace sonavel {

// Sound cards a test plugs in and pulls out. Nothing renders behind the
// test's back: Pump has every open card ask for its next buffer, as their
// callbacks would, and keeps what each one was given.
class FakeSoundDevices final : public SoundDevices {
  public:
    struct Card {
        SoundDevice device;
        // Set by the test, read by the engine's retry and service threads.
        std::atomic<bool> present{true};
        std::atomic<bool> opens{true};
        // The engine's id of the open stream; -1 while closed. Opened and
        // closed on the engine's threads while the test pumps.
        std::atomic<int> output{-1};
        std::atomic<AudioEngine*> engine{nullptr};
        std::vector<float> heard;  // every frame it was given, interleaved stereo
    };

    Card& Add(const QString& name, bool isDefault = false) {
        m_cards.push_back(std::make_unique<Card>());
        m_cards.back()->device = SoundDevice{name, QStringLiteral("Fake"), 2, isDefault};
        return *m_cards.back();
    }
    Card& At(const QString& name) {
        return **std::find_if(m_cards.begin(), m_cards.end(),
                              [&](const auto& card) { return card->device.name == name; });
    }
    // Frames a card was given that were not silence.
    std::int64_t SoundingFrames(const QString& name) {
        const std::vector<float>& heard = At(name).heard;
        std::int64_t frames = 0;
        for (std::size_t f = 0; f + 1 < heard.size(); f += 2) {
            if (heard[f] != 0.0f || heard[f + 1] != 0.0f) ++frames;
        }
        return frames;
    }

    void Pump(std::size_t frames) {
        std::vector<float> buffer(frames * 2);
        for (const auto& card : m_cards) {
            const int output = card->output.load();
            if (output < 0) continue;
            card->engine.load()->RenderDriven(output, buffer.data(), frames);
            card->heard.insert(card->heard.end(), buffer.begin(), buffer.end());
        }
    }

    std::vector<SoundDevice> List() override {
        std::vector<SoundDevice> devices;
        for (const auto& card : m_cards) {
            if (card->present) devices.push_back(card->device);
        }
        return devices;
    }
    std::unique_ptr<SoundStream> Open(const SoundDevice& device, AudioEngine& engine,
                                      int output) override {
        for (const auto& card : m_cards) {
            if (card->device != device || !card->present || !card->opens) continue;
            card->output = output;
            card->engine = &engine;
            return std::make_unique<Stream>(*card);
        }
        return nullptr;
    }
    bool CallerDriven() const override { return true; }

  private:
    class Stream final : public SoundStream {
      public:
        explicit Stream(Card& card) : m_card(card) {}
        ~Stream() override { m_card.output = -1; }
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;
        double LatencyMs() const override { return 10; }

      private:
        Card& m_card;
    };

    std::vector<std::unique_ptr<Card>> m_cards;
};

}  // namespace sonavel
