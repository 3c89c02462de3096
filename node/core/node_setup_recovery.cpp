// The setup's self-healing: a serial device that failed (a USB TNC pulled out) is watched for
// until it is back and the TNC is then initialized again; a headless node retries a failed
// initialization on a slow timer. Both wait their turn while a TNC operation runs.
#include "core/node_setup.h"

#include "common/datetime.h"

#include <filesystem>
#include <system_error>

namespace gw {

using namespace std::chrono_literals;

void NodeSetup::startRecoveryTimers() {
    m_serialWatch.setInterval(3s);
    connect(&m_serialWatch, &QTimer::timeout, this, &NodeSetup::watchSerial);
    m_initRetry.setInterval(60s);
    connect(&m_initRetry, &QTimer::timeout, this, &NodeSetup::retryInitialize);
    connect(m_dispatch.get(), &TncDispatch::serialFailed, this, &NodeSetup::serialFailed);
}

void NodeSetup::serialFailed() {
    // Only a running node heals itself; a failure inside Initialize or a check is theirs.
    if (!m_main.lastInitOK() || m_commandDepth > 0 || m_devicePath.empty()) return;
    if (tncFamily(tncType()) == TncFamily::Agw) return;
    // Closed, so that nothing is written to a dead device and the shutdown does not wait
    // on a TNC that is not there.
    if (m_serial.PortOpen()) m_serial.PortOpen(false);
    m_main.Log("TNC serial port closed, watching for " + m_devicePath + " to come back @ " +
               generalDateTime(m_clock.now()));
    m_serialWatch.start();
}

void NodeSetup::watchSerial() {
    if (waitRunning() || m_pump.stopRequested()) return;
    std::error_code error;
    // A dangling link (the pseudo-terminal behind it gone) does not exist either.
    if (!std::filesystem::exists(m_devicePath, error)) return;
    m_serialWatch.stop();
    m_main.Log("TNC serial port " + m_devicePath + " is back, initializing " + tncType() +
               " again @ " + generalDateTime(m_clock.now()));
    Initialize();
}

void NodeSetup::retryInitialize() {
    if (waitRunning() || m_pump.stopRequested()) return;
    m_main.Log("Retrying the initialization of " + tncType() + " @ " +
               generalDateTime(m_clock.now()));
    Initialize();
}

} // namespace gw
