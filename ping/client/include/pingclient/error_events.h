// A host's subscription to a Ping control's Error event (_IPingEvents): advised when made,
// unadvised when it ends, each event handed to the host's handler.
#pragma once

#include "ping/automation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pingclient {

class ErrorEvents final {
  public:
    using Handler = std::function<void(std::int16_t code, const std::string& description)>;

    // A control without the event leaves the subscription empty; nothing fails.
    ErrorEvents(automation::IUnknown& control, Handler handler);
    ~ErrorEvents();
    ErrorEvents(const ErrorEvents&) = delete;
    ErrorEvents& operator=(const ErrorEvents&) = delete;

  private:
    class Sink;
    std::unique_ptr<Sink> m_sink;
    automation::ComPtr<automation::IConnectionPoint> m_point;
    std::uint32_t m_cookie = 0;
};

} // namespace pingclient
