// The scripted dial-up backend: plays the chosen outcome on the injected clock.
#include "support/scripted_dial_up.h"

#include "common/node_error.h"

#include <algorithm>

namespace gw {

ScriptedDialUp::ScriptedDialUp(EventPump& pump, const Clock& clock,
                               std::vector<std::string> entries)
    : m_pump(pump), m_clock(clock), m_entries(std::move(entries)) {}

void ScriptedDialUp::enumerate() {
    m_calls.push_back("enumerate");
    for (const std::string& name : m_entries)
        raiseEntry(name);
}

void ScriptedDialUp::setEntry(const std::string& name) {
    m_calls.push_back("entry " + name);
    m_entry = name;
}

int ScriptedDialUp::dials() const {
    return static_cast<int>(std::count(m_calls.begin(), m_calls.end(), "dial"));
}

void ScriptedDialUp::dial() {
    m_calls.push_back("dial");
    if (m_entry.empty()) throw NodeError(623, "DialUp", "The phone book entry was not found.");
    if (m_up) {
        raiseStatus(kAuthenticated, 0);
        return;
    }
    if (m_dialing) return;
    m_dialing = true;
    m_abandoned = false;
    const auto start = m_clock.elapsed();
    const bool answers = m_outcome != Outcome::Never;
    waitUntil(m_pump, m_clock, kDialLimit, [&] {
        return m_abandoned || (answers && m_clock.elapsed() - start >= m_connectDelay);
    });
    m_dialing = false;
    if (!m_abandoned && m_outcome == Outcome::Connect) {
        m_up = true;
        raiseStatus(kAuthenticated, 0);
    } else {
        raiseStatus(kDisconnected, m_abandoned ? 0 : kFailError);
    }
}

void ScriptedDialUp::abandon() {
    m_calls.push_back("abandon");
    m_abandoned = m_dialing;
}

void ScriptedDialUp::hangUp() {
    m_calls.push_back("hangup");
    m_abandoned = m_dialing;
    if (!m_up) return;
    m_up = false;
    raiseStatus(kDisconnected, 0);
}

} // namespace gw
