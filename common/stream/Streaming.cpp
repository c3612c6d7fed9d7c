#include "Streaming.h"

#include "AudioEngine.h"
#include "ErrorModule.h"
#include "Session.h"

#include <QStringList>

namespace sonavel {

Streaming::Streaming(Session& session, AudioEngine& engine)
    : m_session(session), m_engine(engine), m_mailbox(std::make_unique<Mailbox>()) {}

Streaming::~Streaming() {
    Stop();
}

void Streaming::Start(const std::vector<StreamTarget>& targets) {
    Stop();
    const unsigned generation = ++m_generation;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        m_states.emplace_back();
        Mailbox* mailbox = m_mailbox.get();
        m_outputs.push_back(std::make_unique<StreamOutput>(
            m_engine, targets[i], m_title,
            [this, mailbox, i, generation](const StreamEvent& event) {
                // The logs belong to the building thread.
                mailbox->Post([this, i, generation, event] { Report(i, generation, event); });
            }));
    }
    Changed();
}

void Streaming::Stop() {
    if (m_outputs.empty()) return;
    // Each ends its stream cleanly; they finish side by side.
    for (auto& output : m_outputs)
        output->RequestStop();
    for (auto& output : m_outputs)
        output->Stop();
    m_outputs.clear();
    m_states.clear();
    ++m_generation;
    Changed();
}

void Streaming::Title(const QString& title) {
    m_title = title;
    const std::int64_t frame = m_engine.Frame();
    for (auto& output : m_outputs)
        output->Title(title, frame);
}

void Streaming::UseSettings(const StreamingSettings& settings) {
    std::vector<StreamTarget> targets;
    if (auto target = TargetFromSettings(settings)) targets.push_back(*target);
    std::vector<StreamTarget> running;
    for (const auto& output : m_outputs)
        running.push_back(output->Target());
    if (targets == running) return;
    Start(targets);
}

int Streaming::AddStateListener(std::function<void()> listener) {
    m_listeners.emplace_back(m_nextListener, std::move(listener));
    return m_nextListener++;
}

void Streaming::RemoveStateListener(int id) {
    std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
}

void Streaming::Changed() {
    // A listener may remove itself.
    const auto listeners = m_listeners;
    for (const auto& [id, listener] : listeners)
        listener();
}

void Streaming::Report(std::size_t index, unsigned generation, const StreamEvent& event) {
    if (generation != m_generation || index >= m_outputs.size()) return;
    const StreamTarget& target = m_outputs[index]->Target();
    State& state = m_states[index];
    switch (event.type) {
        case StreamEvent::Connected:
            state = State{State::Connected, {}, false, 0};
            LogEvent(m_session, QStringLiteral("Stream connected: ") + target.Url());
            break;
        case StreamEvent::Lost: {
            // A server that stays away is one change, however often and for
            // whatever reason each try fails.
            const bool change = state.kind != State::Lost;
            const bool newRefusal = event.refused && !(state.kind == State::Lost && state.refused);
            state = State{State::Lost, event.reason, event.refused, event.retrySeconds};
            if (change) {
                LogEvent(m_session, QStringLiteral("Stream lost: ") + event.reason +
                                        QStringLiteral(" at ") + target.Url());
            }
            if (newRefusal) {
                LogError(m_session, 0, QStringLiteral("Streaming"),
                         QStringLiteral("The server refused the login of user \"%1\" at %2: %3")
                             .arg(target.user, target.Url(), event.reason),
                         QStringLiteral("Streaming"), QStringLiteral("User"), target.user);
            }
            break;
        }
        case StreamEvent::Dropped:
            LogEvent(m_session,
                     QStringLiteral("Stream fell behind: %1 frames (%2 s) were not "
                                    "sent to %3")
                         .arg(event.frames)
                         .arg(static_cast<double>(event.frames) / AudioEngine::kRate, 0, 'f', 1)
                         .arg(target.Url()));
            break;
    }
    Changed();
}

QString Streaming::StateText() const {
    if (m_outputs.empty()) return QStringLiteral("Streaming off");
    QStringList parts;
    for (std::size_t i = 0; i < m_outputs.size(); ++i) {
        const StreamTarget& target = m_outputs[i]->Target();
        const State& state = m_states[i];
        switch (state.kind) {
            case State::Connecting:
                parts << QStringLiteral("Connecting to %1").arg(target.Url());
                break;
            case State::Connected:
                parts << QStringLiteral("Streaming to %1 (%2, %3 kbit/s)")
                             .arg(target.Url(), FormatName(target.format))
                             .arg(target.bitrate);
                break;
            case State::Lost:
                parts << QStringLiteral("Stream lost at %1: %2; trying again in %3 s")
                             .arg(target.Url(), state.reason)
                             .arg(state.retrySeconds);
                break;
        }
    }
    return parts.join(QStringLiteral("; "));
}

}  // namespace sonavel
