// What every TNC driver shares: its host, the text to and from its TNC, waits bounded by time
// that let events through, progress lines and messages, the start-up file, the user limits
// check and the packet length of each port.
#pragma once

#include "tnc/tnc_driver.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace gw {

class TncHost;

class HostedDriver : public TncDriver {
  public:
    // The length found for radio port 1 or 2; 0 for any other port.
    long Paclen(int nPort) const override;

  protected:
    explicit HostedDriver(TncHost& host) : m_host(host) {}

    void send(std::string_view text);
    std::string receive();
    // Until `done` or `limit` has passed on the host's clock; whether `done` came true.
    bool waitFor(std::chrono::milliseconds limit, const std::function<bool()>& done);
    // A line added to the initialization progress text.
    void progress(const std::string& line);
    void message(const std::string& text);
    // Sends the commands of the type's start-up file that `sent` accepts, each shown with
    // `label`; false when one is not answered, the rest of the file then left unread.
    bool sendStartupFile(const std::string& label,
                         const std::function<bool(const std::string&)>& sent);
    // The user limits the driver set on its host total 1 to 10; otherwise the operator is
    // told to edit the start-up file.
    bool userLimitsValid();

    TncHost& m_host;
    long m_paclen1 = 0;
    long m_paclen2 = 0;
};

} // namespace gw
