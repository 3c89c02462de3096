// Wall-clock and elapsed time.
#include "common/clock.h"

namespace gw {

SystemClock::SystemClock() {
    m_timer.start();
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

std::chrono::milliseconds SystemClock::elapsed() const {
    return std::chrono::milliseconds(m_timer.elapsed());
}

FakeClock::FakeClock(QDateTime start) : m_now(std::move(start)) {}

void FakeClock::advance(std::chrono::milliseconds step) {
    m_elapsed += step;
    m_now = m_now.addMSecs(step.count());
}

} // namespace gw
