// The Qt event pump: a nested event loop per step, ended by a timer slice or a wake.
#include "ping/event_pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace ping {

bool QtEventPump::step(std::chrono::milliseconds limit) {
    if (!QCoreApplication::instance()) return false;
    if (limit.count() <= 0) {
        QCoreApplication::processEvents();
        return true;
    }
    QEventLoop loop;
    Frame frame{&loop, false};
    QTimer slice;
    slice.setSingleShot(true);
    slice.setTimerType(Qt::PreciseTimer);
    QObject::connect(&slice, &QTimer::timeout, &loop, [&frame] {
        frame.ended = true;
        frame.loop->quit();
    });
    m_frames.push_back(&frame);
    slice.start(limit);
    // Returns at the end of the slice, on wake, or at once when the application is quitting:
    // a quit ends every running loop of the thread and leaves the main loop to exit.
    loop.exec();
    m_frames.erase(std::find(m_frames.begin(), m_frames.end(), &frame));
    return frame.ended;
}

void QtEventPump::dispatchPending(std::chrono::milliseconds limit) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!QCoreApplication::instance() || !dispatcher) return;
    if (dispatcher->processEvents(QEventLoop::AllEvents)) return;
    // Nothing was pending: the slice's own timer bounds the wait for the next event.
    QTimer slice;
    slice.setSingleShot(true);
    slice.setTimerType(Qt::PreciseTimer);
    slice.start(limit);
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtEventPump::wake() {
    for (Frame* frame : m_frames) {
        frame->ended = true;
        frame->loop->quit();
    }
}

} // namespace ping
