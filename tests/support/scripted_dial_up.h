// A dial-up backend that plays a script instead of dialing: fixed phone-book entries and a
// chosen outcome for each dial, with every call recorded. Tests use it in place of pppd.
#pragma once

#include "common/clock.h"
#include "common/event_pump.h"
#include "ip/dial_up.h"

#include <chrono>
#include <string>
#include <vector>

namespace gw {

class ScriptedDialUp final : public DialUp {
  public:
    enum class Outcome {
        Connect, // the link comes up after connectDelay
        Fail,    // the attempt ends disconnected after connectDelay, with failError
        Never,   // nothing happens until the attempt is abandoned or hung up
    };

    ScriptedDialUp(EventPump& pump, const Clock& clock, std::vector<std::string> entries = {});

    void setEntries(std::vector<std::string> entries) { m_entries = std::move(entries); }
    void setOutcome(Outcome outcome, std::chrono::milliseconds connectDelay = {}) {
        m_outcome = outcome;
        m_connectDelay = connectDelay;
    }
    static constexpr long kFailError = 678; // "the remote computer did not respond"

    void setEntry(const std::string& name) override;
    std::string entry() const override { return m_entry; }
    void dial() override;
    void hangUp() override;

    // Raises a status event as the link would.
    void reportStatus(long state, long error) { raiseStatus(state, error); }
    bool linkUp() const { return m_up; }
    // Every call in order: "enumerate", "entry NAME", "dial", "abandon", "hangup".
    const std::vector<std::string>& calls() const { return m_calls; }
    int dials() const;

    // A dial that nobody abandons ends by itself after this long.
    static constexpr std::chrono::minutes kDialLimit{5};

  protected:
    void enumerate() override;
    void abandon() override;

  private:
    EventPump& m_pump;
    const Clock& m_clock;
    std::vector<std::string> m_entries;
    std::vector<std::string> m_calls;
    std::string m_entry;
    Outcome m_outcome = Outcome::Connect;
    std::chrono::milliseconds m_connectDelay{0};
    bool m_dialing = false;
    bool m_abandoned = false;
    bool m_up = false;
};

} // namespace gw
