// The ping control Ping1 as the node sees it: created by class identifier through the class
// registry (registering the library installed beside the program when it is missing), called
// late-bound, with its Error event delivered to a handler.
#pragma once

#include "ping/automation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pingclient {
class ErrorEvents;
}

namespace gw {

class PingControl {
  public:
    using ErrorHandler = std::function<void(std::int16_t code, const std::string& description)>;

    // Ping errors the node tells apart: no answer within Timeout, and no route to the host.
    static constexpr long kTimeout = 20302;
    static constexpr long kNoRoute = 25066;
    // Linux reports a host with no route at all as network unreachable: no route just the same.
    static constexpr long kNetworkUnreachable = 25052;
    // The ping step's Timeout, in seconds.
    static constexpr std::int16_t kStepTimeout = 10;

    // Takes a control already created; subscribes to its Error event.
    explicit PingControl(automation::ComPtr<automation::IDispatch> control);
    ~PingControl();
    PingControl(const PingControl&) = delete;
    PingControl& operator=(const PingControl&) = delete;

    // Creates the registered Ping control. When that fails, registers each of `modules` that
    // exists, in order, and tries again. Returns null and says why in `problem` on failure.
    static std::unique_ptr<PingControl> create(const std::vector<std::string>& modules,
                                               std::string* problem);
    // Where the ping library is looked for: the installed package's folder, then beside the
    // program (as the build tree has it).
    static std::vector<std::string> libraryCandidates();

    void onError(ErrorHandler handler) { m_onError = std::move(handler); }

    // Late-bound calls; a failure raises NodeError with the control's number and description.
    void setTimeout(std::int16_t seconds);
    void PingHost(const std::string& host);
    long ResponseTime();
    void DoEvents();

    // One ping of `host` waited for to the end: returns the answer time in milliseconds, or
    // raises the control's error. An answer faster than the control can time reads 0 ms.
    long pingStep(const std::string& host, std::int16_t timeoutSeconds = kStepTimeout);

  private:
    automation::Variant call(automation::DispId id, std::uint16_t flags,
                             std::vector<automation::Variant> args);

    automation::ComPtr<automation::IDispatch> m_control;
    ErrorHandler m_onError;
    std::unique_ptr<pingclient::ErrorEvents> m_events;
};

} // namespace gw
