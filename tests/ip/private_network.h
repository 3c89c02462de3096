// A test process of its own network: the main thread moves into a fresh network namespace with
// only loopback, where 10.9.0.0/24 is unreachable and echo answers can be switched off. No
// ICMP these tests send can leave the machine.
#pragma once

#include "ping/clock.h"
#include "ping/event_pump.h"

#include <string>

namespace gwtest {

inline constexpr const char* kUnreachableAddress = "10.9.0.1";
// An address no route covers at all, as on a dial-up machine while the link is down.
inline constexpr const char* kRoutelessAddress = "10.8.0.1";

// Called first thing in main, before any thread exists. False (with the reason) without the
// privilege; the tests that need the namespace then skip.
bool enterPrivateNetwork();
bool inPrivateNetwork();
const std::string& privateNetworkProblem();
// Makes the namespace's loopback ignore (or answer) echo requests.
bool ignoreEchoRequests(bool ignore);

// A clock for the ping control that moves only when the control waits, by what it waits.
class SteppedPingClock final : public ping::Clock {
  public:
    std::uint32_t tickCount() const override { return ticks; }
    std::uint32_t ticks = 1000;
};

class SteppedPingPump final : public ping::EventPump {
  public:
    explicit SteppedPingPump(SteppedPingClock& clock) : m_clock(clock) {}
    bool step(std::chrono::milliseconds limit) override;
    void wake() override {}
    int steps = 0;

  private:
    SteppedPingClock& m_clock;
};

} // namespace gwtest
