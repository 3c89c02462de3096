// Waiting without blocking the node.
#include "common/event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace gw {

void QtEventPump::pump(std::chrono::milliseconds slice) {
    if (QCoreApplication::instance() == nullptr) return;
    // The single-shot timer bounds the block: WaitForMoreEvents returns once it fires.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(slice);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool waitUntil(EventPump& pump, const Clock& clock, std::chrono::milliseconds timeout,
               const std::function<bool()>& done, std::chrono::milliseconds slice) {
    const auto deadline = clock.elapsed() + timeout;
    while (!done()) {
        if (clock.elapsed() >= deadline || pump.stopRequested()) return done();
        pump.pump(slice);
    }
    return true;
}

} // namespace gw
