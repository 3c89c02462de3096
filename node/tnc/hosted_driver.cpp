// The plumbing every TNC driver shares.
#include "tnc/hosted_driver.h"

#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/user_limit.h"
#include "tnc/tnc_host.h"

namespace gw {

long HostedDriver::Paclen(int nPort) const {
    return nPort == 1 ? m_paclen1 : nPort == 2 ? m_paclen2 : 0;
}

void HostedDriver::send(std::string_view text) {
    m_host.sendToTnc(text);
}

std::string HostedDriver::receive() {
    return m_host.receiveFromTnc();
}

bool HostedDriver::waitFor(std::chrono::milliseconds limit, const std::function<bool()>& done) {
    return waitUntil(m_host.pump(), m_host.clock(), limit, done);
}

void HostedDriver::progress(const std::string& line) {
    m_host.setLblInitializing(m_host.lblInitializing() + "\r" + line);
}

void HostedDriver::message(const std::string& text) {
    m_host.dialogs().message(DialogIcon::None, kProgramTitle, text);
}

bool HostedDriver::sendStartupFile(const std::string& label,
                                   const std::function<bool(const std::string&)>& sent) {
    const std::string file = m_host.txtPath() + m_host.comboType() + ".aps";
    for (std::string command = m_host.ReadStartupFile(file); !command.empty();
         command = m_host.ReadStartupFile(file)) {
        progress(label + command);
        if (!sent(command)) continue;
        if (!SendCommand(command)) {
            // Leave the rest of the file for the next Init to read from its start.
            while (!m_host.ReadStartupFile(file).empty()) {
            }
            return false;
        }
    }
    return true;
}

bool HostedDriver::userLimitsValid() {
    const long total = m_host.lMaxusers1() + m_host.lMaxusers2();
    if (total >= 1 && total <= kMaxUsers) return true;
    const std::string reason = total == 0 ? "Max user total is 0!" : "Total max users exceeds 10!";
    m_host.dialogs().message(DialogIcon::Exclamation, "Max User Limit!",
                             reason + "\r" + "     Edit .aps file.");
    return false;
}

} // namespace gw
