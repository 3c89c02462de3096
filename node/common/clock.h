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

// A clock that stands still until told to move.
class FakeClock final : public Clock {
  public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 5, 14), QTime(10, 30)));
    QDateTime now() const override { return m_now; }
    std::chrono::milliseconds elapsed() const override { return m_elapsed; }

    void advance(std::chrono::milliseconds step);
    void setNow(const QDateTime& moment) { m_now = moment; }

  private:
    QDateTime m_now;
    std::chrono::milliseconds m_elapsed{0};
};

} // namespace gw
