#pragma once

#include <QDateTime>

namespace sonavel {

// Every reading of the time of day goes through a Clock so that hour changes,
// midnight and log stamps can be tested on a clock the test sets.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const = 0;
};

class SystemClock final : public Clock {
  public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

}  // namespace sonavel
