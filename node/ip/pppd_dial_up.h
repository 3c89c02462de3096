// The dial-up backend over pppd: phone-book entries are the peer files of a peers folder,
// a dial runs "pppd call ENTRY nodetach" and follows its messages and its exit.
#pragma once

#include "common/clock.h"
#include "common/event_pump.h"
#include "ip/dial_up.h"

#include <QProcess>
#include <chrono>
#include <string>

namespace gw {

class PppdDialUp final : public DialUp {
  public:
    struct Options {
        std::string peersFolder = "/etc/ppp/peers";
        std::string program = "pppd";
        // The defaults, overridden by GULLWICK_PPP_PEERS and GULLWICK_PPPD when set.
        static Options fromEnvironment();
    };

    PppdDialUp(EventPump& pump, const Clock& clock, Options options);
    ~PppdDialUp() override;

    void setEntry(const std::string& name) override;
    std::string entry() const override { return m_entry; }
    void dial() override;
    void hangUp() override;

    bool linkUp() const { return m_up; }
    // The network interface pppd reported, such as "ppp0", or "".
    const std::string& interfaceName() const { return m_interface; }

    // A dial that neither connects nor fails is abandoned after this long, should nobody
    // abandon it sooner.
    static constexpr std::chrono::seconds kDialLimit{120};
    // How long a hang-up waits for pppd to end before killing it.
    static constexpr std::chrono::seconds kHangUpLimit{5};

  protected:
    void enumerate() override;
    void abandon() override;

  private:
    void readOutput();
    void finished();
    void stop();

    EventPump& m_pump;
    const Clock& m_clock;
    Options m_options;
    QProcess m_process;
    std::string m_entry;
    std::string m_pending;
    std::string m_interface;
    bool m_up = false;
};

} // namespace gw
