#pragma once

#include "Mailbox.h"
#include "StreamOutput.h"
#include "StreamTarget.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace sonavel {

class AudioEngine;
class Session;

// The programme streamed to listeners: one StreamOutput per mount, started
// and stopped from the thread that built it (the UI thread), which also
// writes what the streams report to the logs: one program-log line for each
// change, one error-log entry for a refused login. The password is never
// written anywhere.
class Streaming {
  public:
    Streaming(Session& session, AudioEngine& engine);
    ~Streaming();
    Streaming(const Streaming&) = delete;
    Streaming& operator=(const Streaming&) = delete;

    // Sends to these mounts from now on; the streams running before end.
    void Start(const std::vector<StreamTarget>& targets);
    // The stored stream put into effect: started, started again on new
    // settings, or stopped; a stream whose settings did not change goes on.
    void UseSettings(const StreamingSettings& settings);
    void Stop();
    bool Running() const { return !m_outputs.empty(); }

    // The element now starting to sound, as the element list names it. The
    // streams change their titles when they reach the output's present frame.
    void Title(const QString& title);

    // One line on the streams' state, for the options window and the status bar.
    QString StateText() const;
    // Called on the building thread whenever that line may have changed,
    // until removed by the number it returns.
    int AddStateListener(std::function<void()> listener);
    void RemoveStateListener(int id);

    const std::vector<std::unique_ptr<StreamOutput>>& Outputs() const { return m_outputs; }

  private:
    struct State {
        enum Kind { Connecting, Connected, Lost };
        Kind kind = Connecting;
        QString reason;
        bool refused = false;
        int retrySeconds = 0;
    };
    void Report(std::size_t index, unsigned generation, const StreamEvent& event);
    void Changed();

    Session& m_session;
    AudioEngine& m_engine;
    std::vector<std::unique_ptr<StreamOutput>> m_outputs;
    std::vector<State> m_states;
    unsigned m_generation = 0;
    QString m_title;
    std::vector<std::pair<int, std::function<void()>>> m_listeners;
    int m_nextListener = 1;
    std::unique_ptr<Mailbox> m_mailbox;
};

}  // namespace sonavel
