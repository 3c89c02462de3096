// The setup's commands that reach the hardware: Initialize (save, open the serial port,
// create the driver for the TNC type and run its Init), Cancel and Check TNC Comm.
#include "core/node_setup.h"

#include "common/datetime.h"
#include "common/text.h"
#include "core/version_text.h"
#include "server/frm_brevane.h"
#include "tnc/device_map.h"

namespace gw {
namespace {
constexpr const char* kUnsupported = "Unsupported TNC! Make selection from List.";

// A command that reaches the TNC counts as running for as long as its scope lasts, however it
// ends: meanwhile other commands are refused, a stop is deferred and the device watch waits.
class CommandScope {
  public:
    explicit CommandScope(int& depth) : m_depth(++depth) {}
    ~CommandScope() { --m_depth; }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

  private:
    int& m_depth;
};

// The TNC reached over TCP (a modem program's AGW port, a KISS TCP server): its address, else
// "" for a TNC on the serial port.
std::string tcpAddress(const std::string& type, const LiveSettings& live) {
    if (tncFamily(type) == TncFamily::Agw) return trim(live.agwAddress);
    if (tncFamily(type) == TncFamily::Kiss) return trim(live.kiss.address);
    return "";
}
} // namespace

bool NodeSetup::refusedWhileBusy() {
    if (!waitRunning()) return false;
    m_dialogs.message(DialogIcon::Exclamation, "TNC Busy",
                      "The TNC is busy...try again when the current operation ends.");
    return true;
}

void NodeSetup::loadServerLink() {
    m_link.Load();
    m_main.reportServerLink(m_live.ipAddress, m_link.tcp().localAddress());
}

void NodeSetup::configureSerial() {
    if (m_serial.PortOpen()) m_serial.PortOpen(false);
    m_serial.CommPort(
        static_cast<long>(clampedWhole(numericValue(m_live.commPort), INT32_MIN, INT32_MAX)));
    m_serial.Settings(m_live.baudRate + "," + m_live.parity + "," + m_live.length + "," +
                      m_live.stop);
    if (m_live.flow == "RTS/CTS") m_serial.FlowControl(true);
    if (m_live.flow == "NONE") m_serial.FlowControl(false);
}

void NodeSetup::portError(const NodeError& error) {
    m_dialogs.message(DialogIcon::Exclamation, "Port Error!",
                      "Error: " + std::to_string(error.number()) + "/" + error.description());
}

void NodeSetup::Initialize() {
    if (!refusedWhileBusy()) runInitialize();
}

void NodeSetup::runInitialize() {
    if (m_live.ipLink == IpLinkType::DialUp && phoneBookRow() < 0) {
        m_dialogs.message(DialogIcon::Exclamation, "Select Phone Book Entry",
                          "You must select a valid phone book entry for the Dial Up Network "
                          "Connection");
        openSetup();
        return;
    }
    // The log file and the TNC's start-up name need the call sign; a delay out of range must
    // never be saved.
    if (trim(nodeCall()).empty()) {
        m_dialogs.message(DialogIcon::Exclamation, "Node Call Sign", "Node Call Sign required");
        openSetup();
        return;
    }
    if (!hangUpDelayAccepted()) {
        openSetup();
        return;
    }
    const CommandScope command(m_commandDepth);
    // This initialization takes over from a watch for a returning serial device.
    m_serialWatch.stop();
    SaveSettings();
    setProgressState(InitProgress::Running);
    loadServerLink();
    const bool lastInitOK = m_main.lastInitOK();
    m_main.setLastInitOK(false);

    const std::string type = tncType();
    const std::string tcp = tcpAddress(type, m_live);
    const std::string where = !tcp.empty() ? tcp : "Comm " + m_live.commPort;
    bool reachedDriver = false;
    bool ok = false;
    try {
        if (!tcp.empty()) {
            m_devicePath.clear();
            // The TNC is reached over TCP; the serial port is not its line.
            if (m_serial.PortOpen()) m_serial.PortOpen(false);
            setProgress("Initializing " + type + " connection to " + where + ".");
            m_dispatch->setPolling(true);
        } else {
            configureSerial();
            m_devicePath = commDevicePath(m_serial.CommPort());
            setProgress("Initializing comm port " + m_live.commPort + ".");
            m_dispatch->setPolling(true);
            m_serial.PortOpen(true);
        }
        appendProgress("Initializing TNC type " + type + ".");
        if (tncFamily(type) == TncFamily::KanSingle) {
            m_live.port1 = true;
            m_live.port2 = false;
        }
        TncDriver* driver = m_dispatch->CreateDriver(type);
        if (driver == nullptr) {
            m_dialogs.message(DialogIcon::None, kProgramTitle, kUnsupported);
            setProgressState(InitProgress::None);
            openSetup();
            return;
        }
        reachedDriver = true;
        m_main.closeUsers("TNC initialized");
        TncDispatch::DriverCall call(*m_dispatch);
        ok = driver->Init();
    } catch (const NodeError& error) {
        // A port that cannot be opened, a line setting it refuses, a failure inside the
        // driver: the operator is told and the initialization has failed.
        portError(error);
        m_main.Log("Initialization failed: Error " + std::to_string(error.number()) + "/" +
                   error.description() + " @ " + generalDateTime(m_clock.now()));
        ok = false;
    }
    if (m_pump.stopRequested()) {
        // Cut short by a stop: not a failure. The stored result stands and the stop runs next.
        m_main.setLastInitOK(lastInitOK);
        setProgressState(InitProgress::None);
        m_main.Log("Initialization of " + type + " interrupted by a stop @ " +
                   generalDateTime(m_clock.now()));
        return;
    }
    m_main.setLastInitOK(ok);
    // A node that retries by itself keeps "Initialized" through a TNC that is off, so that a
    // restart before the TNC answers still initializes by itself.
    if (reachedDriver && (ok || !m_unattended))
        m_settings.writeBool(m_main.settingsSection(), "Initialized", ok);
    if (ok) {
        m_initRetry.stop();
        setProgressState(InitProgress::None);
    } else {
        if (m_unattended && !m_initRetry.isActive()) m_initRetry.start();
        appendProgress("INITIALIZATION FAILURE!");
        setProgressState(InitProgress::Failed);
    }
    m_main.reportInitialized(ok, m_live.enableLog);
    if (ok) {
        m_main.Log("...Brevane Version " + versionText() + "  " + type + " on " + where +
                   " initialized @ " + generalDateTime(m_clock.now()));
        m_main.setTncStatus(
            type + " OK on " +
                (!tcp.empty() ? where : "Comm" + std::to_string(m_serial.CommPort())),
            true);
        m_main.leaveSetup();
        emit setupDone();
    } else {
        m_main.setTncStatus(type + " not Initialized", false);
        openSetup();
    }
}

void NodeSetup::Cancel() {
    loadServerLink();
    emit setupDone();
    m_main.leaveSetup();
}

void NodeSetup::setCommCheck(CommCheck check) {
    m_commCheck = check;
    emit commCheckChanged();
}

void NodeSetup::CheckTncComm() {
    if (refusedWhileBusy()) return;
    bool driverMade = false;
    // The type checked, whatever the operator chooses while the check waits.
    const std::string type = tncType();
    // The operator's check leaves the node to be initialized by the operator.
    m_serialWatch.stop();
    const CommandScope command(m_commandDepth);
    try {
        if (m_serial.PortOpen()) m_serial.PortOpen(false);
        setCommCheck(CommCheck::Checking);
        if (tcpAddress(type, m_live).empty()) {
            configureSerial();
            m_dispatch->setPolling(true);
            m_serial.PortOpen(true);
        }
        TncDriver* driver = m_dispatch->CreateDriver(type);
        if (driver == nullptr) {
            m_dialogs.message(DialogIcon::None, kProgramTitle, kUnsupported);
            openSetup();
            setCommCheck(CommCheck::None);
            return;
        }
        driverMade = true;
        bool ok = false;
        {
            TncDispatch::DriverCall call(*m_dispatch);
            ok = driver->CheckComm();
        }
        m_dispatch->ReleaseDriver(type);
        setCommCheck(ok ? CommCheck::Ok : CommCheck::Failed);
        if (m_serial.PortOpen()) m_serial.PortOpen(false);
        m_dispatch->setPolling(false);
    } catch (const NodeError& error) {
        // The check never leaves a driver behind, whatever failed.
        if (driverMade) m_dispatch->ReleaseDriver(type);
        portError(error);
        setCommCheck(CommCheck::None);
    }
}

} // namespace gw
