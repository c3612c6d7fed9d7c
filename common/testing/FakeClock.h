#pragma once

#include "Clock.h"

#include <QTimer>
#include <functional>

namespace sonavel {

// A clock that stands still until the test moves it.
class FakeClock final : public Clock {
  public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2026, 12, 5), QTime(16, 55, 22)))
        : m_now(std::move(now)) {}
    QDateTime Now() const override { return m_now; }
    void Set(const QDateTime& now) { m_now = now; }
    void Advance(qint64 milliseconds) { m_now = m_now.addMSecs(milliseconds); }

  private:
    QDateTime m_now;
};

// Moves a FakeClock on by a step each time the event loop serves events, so
// that code waiting on the clock while it serves events gets there in a few
// passes instead of spinning to its bound. onTick sees the clock before each
// step: a test can watch the windows as time goes by.
class ClockTicker {
  public:
    ClockTicker(FakeClock& clock, qint64 stepMs, std::function<void()> onTick = {}) {
        QObject::connect(&m_timer, &QTimer::timeout, [&clock, stepMs, onTick = std::move(onTick)] {
            if (onTick) onTick();
            clock.Advance(stepMs);
        });
        m_timer.start(0);
    }

  private:
    QTimer m_timer;
};

}  // namespace sonavel
