// Waiting without blocking the node: every wait lets pending events run (timers, serial
// polling, sockets) and blocks only until the next event or a short slice passes.
#pragma once

#include "common/clock.h"

#include <chrono>
#include <functional>

namespace gw {

class EventPump {
  public:
    virtual ~EventPump() = default;
    // Runs pending events, then blocks until another event arrives or `slice` passes.
    virtual void pump(std::chrono::milliseconds slice) = 0;

    // A stop asked for while a wait runs: every wait ends early, and the stop runs once the
    // waits have returned. Cleared when the stop itself begins.
    void requestStop(bool stop) { m_stopRequested = stop; }
    bool stopRequested() const { return m_stopRequested; }

  private:
    bool m_stopRequested = false;
};

// Pumps the Qt event loop of the calling (UI) thread.
class QtEventPump final : public EventPump {
  public:
    void pump(std::chrono::milliseconds slice) override;
};

inline constexpr std::chrono::milliseconds kWaitSlice{20};

// Waits until `done` is true, `timeout` has passed on `clock` or a stop is requested;
// returns `done()`.
bool waitUntil(EventPump& pump, const Clock& clock, std::chrono::milliseconds timeout,
               const std::function<bool()>& done, std::chrono::milliseconds slice = kWaitSlice);

} // namespace gw
