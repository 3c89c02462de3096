// Wall-clock and elapsed time for the node, behind an interface so that tests move time
// forward instead of sleeping.
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <chrono>

namespace gw {

class Clock {
  public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual QDateTime now() const = 0;
    // Monotonic time since an arbitrary start; only differences mean anything.
    virtual std::chrono::milliseconds elapsed() const = 0;
};

class SystemClock final : public Clock {
  public:
    SystemClock();
    QDateTime now() const override;
    std::chrono::milliseconds elapsed() const override;

  private:
    QElapsedTimer m_timer;
};

} // namespace gw
