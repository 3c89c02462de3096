// Waiting on real loopback sockets in the server-link tests: bounded, never sleeping.
#pragma once

#include "common/clock.h"
#include "common/event_pump.h"
#include "server/server_link_host.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace gwtest {

// Pumps the Qt loop until `done` or 10 seconds pass.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    gw::QtEventPump pump;
    gw::SystemClock clock;
    return gw::waitUntil(pump, clock, timeout, done);
}

// Resident memory of this process in KiB.
long residentKiB();

class RecordingHost final : public gw::ServerLinkHost {
  public:
    explicit RecordingHost(std::string address = "127.0.0.1") : m_address(std::move(address)) {}
    std::string serverAddress() const override { return m_address; }
    void setServerIndicator(gw::ServerIndicator state) override { indicators.push_back(state); }
    std::vector<gw::ServerIndicator> indicators;

  private:
    std::string m_address;
};

} // namespace gwtest
