// The test event pump: fake time moves by each slice waited.
#include "support/fake_event_pump.h"

#include <QCoreApplication>

namespace gw {

void FakeEventPump::pump(std::chrono::milliseconds slice) {
    ++m_pumps;
    if (m_hook) m_hook();
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    m_clock.advance(slice);
}

} // namespace gw
