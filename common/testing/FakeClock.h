#pragma once

#include "Clock.h"

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

}  // namespace sonavel
