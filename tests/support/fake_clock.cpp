// The test clock: moves only when told.
#include "support/fake_clock.h"

namespace gw {

FakeClock::FakeClock(QDateTime start) : m_now(std::move(start)) {}

void FakeClock::advance(std::chrono::milliseconds step) {
    m_elapsed += step;
    m_now = m_now.addMSecs(step.count());
}

} // namespace gw
