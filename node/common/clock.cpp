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

} // namespace gw
