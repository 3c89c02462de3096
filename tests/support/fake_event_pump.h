// An event pump for tests: each pump runs an optional hook (a simulated peer answering, say),
// lets pending Qt events run without blocking, and moves the fake clock on by the slice.
#pragma once

#include "common/event_pump.h"
#include "support/fake_clock.h"

#include <functional>

namespace gw {

class FakeEventPump final : public EventPump {
  public:
    explicit FakeEventPump(FakeClock& clock) : m_clock(clock) {}
    void pump(std::chrono::milliseconds slice) override;
    void setHook(std::function<void()> hook) { m_hook = std::move(hook); }
    int pumps() const { return m_pumps; }

  private:
    FakeClock& m_clock;
    std::function<void()> m_hook;
    int m_pumps = 0;
};

} // namespace gw
