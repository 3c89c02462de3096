// A clock for tests that stands still until the test moves it, so that timeouts pass without
// sleeping.
#pragma once

#include "common/clock.h"

namespace gw {

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
