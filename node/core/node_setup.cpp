// The setup core: what the TNC dispatch reads of it, loading and unloading, the live
// settings' options, the hang-up delay check and the calls passed on to the dispatch.
#include "core/node_setup.h"

#include "common/text.h"
#include "core/console_rules.h"
#include "ip/pppd_dial_up.h"
#include "server/frm_brevane.h"
#include "setup/web_password.h"
#include "tnc/tnc_setup.h"

namespace gw {

class NodeSetup::DispatchView final : public TncSetup {
  public:
    explicit DispatchView(NodeSetup& setup) : m_setup(setup) {}
    std::string comboType() const override { return m_setup.tncType(); }
    // The folder as the names of files in it are built: with its closing separator.
    std::string txtPath() const override {
        std::string folder = m_setup.filePath();
        if (!folder.empty() && folder.back() != '/') folder += '/';
        return folder;
    }
    bool bPort1() const override { return m_setup.bPort1(); }
    bool bPort2() const override { return m_setup.bPort2(); }
    bool chkRestore() const override { return m_setup.restoreChecked(); }
    std::string instance() const override { return m_setup.instance(); }
    std::string lblInitializing() const override { return m_setup.m_progressText; }
    void setLblInitializing(const std::string& text) override { m_setup.setProgress(text); }
    void showSetupWindow() override { m_setup.openSetup(); }
    // The AGW driver's live values: the address typed, the call, the stored frame length.
    std::string agwAddress() const override { return m_setup.m_live.agwAddress; }
    std::string nodeCall() const override { return m_setup.nodeCall(); }
    std::string agwPaclen() const override { return m_setup.m_live.agwPaclen; }
    KissSettings kissSettings() const override { return m_setup.m_live.kiss; }

  private:
    NodeSetup& m_setup;
};

NodeSetup::NodeSetup(MainCore& main, frmBrevane& link, Services services, QObject* parent)
    : QObject(parent), m_main(main), m_link(link), m_settings(services.settings),
      m_clock(services.clock), m_dialogs(services.dialogs), m_pump(services.pump),
      m_dispatchView(std::make_unique<DispatchView>(*this)) {
    m_dispatch = std::make_unique<TncDispatch>(
        *m_dispatchView, main, m_serial,
        TncDispatch::Services{services.settings, services.dialogs, services.pump, services.clock});
    m_dialTimer.setInterval(60'000);
    connect(&m_dialTimer, &QTimer::timeout, this, &NodeSetup::dialTimedOut);
    startRecoveryTimers();
    setDialUp(
        std::make_unique<PppdDialUp>(m_pump, m_clock, PppdDialUp::Options::fromEnvironment()));
}

NodeSetup::~NodeSetup() = default;

void NodeSetup::LoadSettings() {
    m_live.load(m_settings, m_main.settingsSection());
    if (m_live.ipLink != IpLinkType::FullTime) fillPhoneBook();
    emit settingsLoaded();
}

void NodeSetup::SaveSettings() {
    m_live.save(m_settings, m_main.settingsSection());
}

void NodeSetup::loadSetup(bool initialize) {
    setProgress("Getting settings for Brevane instance " + instance() + ".");
    createPingControl();
    LoadSettings();
    if (m_serial.PortOpen()) m_serial.PortOpen(false);
    if (initialize || m_unattended)
        Initialize();
    else
        openSetup();
}

void NodeSetup::unloadSetup() {
    m_dispatch->setPolling(false);
    m_dialTimer.stop();
    m_serialWatch.stop();
    m_initRetry.stop();
    if (m_serial.PortOpen()) m_serial.PortOpen(false);
    m_link.Unload();
    setProgressState(InitProgress::None);
    emit setupDone();
}

void NodeSetup::closeSetup() {
    if (!m_main.hasLeftSetup()) m_main.endProgram();
}

std::string NodeSetup::setPassword(const std::string& typed) {
    std::string problem;
    const std::string password = serverPassword(typed, problem);
    if (!problem.empty()) return problem;
    m_live.password = password;
    m_settings.write(m_main.settingsSection(), "Password", password);
    return "";
}

std::string NodeSetup::setWebPassword(const std::string& password) {
    if (std::string problem = webPasswordProblem(password); !problem.empty()) return problem;
    if (!m_settings.write(m_main.settingsSection(), kWebPasswordKey, hashWebPassword(password)))
        return "The settings file " + m_settings.filePath() + " cannot be written.";
    return "";
}

void NodeSetup::setProgress(const std::string& text) {
    m_progressText = text;
    emit progressChanged();
}

void NodeSetup::appendProgress(const std::string& line) {
    setProgress(m_progressText + "\r" + line);
}

void NodeSetup::setProgressState(InitProgress progress) {
    m_progress = progress;
    emit progressChanged();
}

void NodeSetup::choosePorts(RadioPorts ports) {
    m_live.port1 = ports != RadioPorts::Second;
    m_live.port2 = ports != RadioPorts::First;
}

bool NodeSetup::setHangUpDelay(const std::string& minutes) {
    m_live.hangUpDelay = minutes;
    return hangUpDelayAccepted();
}

bool NodeSetup::hangUpDelayAccepted() {
    const std::string& text = m_live.hangUpDelay;
    if (hangUpDelayValid(text)) return true;
    const char* title = isNumeric(text) ? "Delay out of range!" : "Delay not valid!";
    m_dialogs.message(DialogIcon::Exclamation, title, "Enter hang up delay 0 - 120 minutes!");
    emit hangUpDelayRefused();
    return false;
}

IpConnectionType NodeSetup::ipConnectionType() const {
    switch (m_live.ipLink) {
    case IpLinkType::DialUp:
        return IpConnectionType::DialUp;
    case IpLinkType::DialBackup:
        return IpConnectionType::DialBackup;
    case IpLinkType::FullTime:
        break;
    }
    return IpConnectionType::FullTime;
}

void NodeSetup::SendData(int nPort, const std::string& sStreamID, const std::string& sData) {
    m_dispatch->SendData(nPort, sStreamID, sData);
}

std::size_t NodeSetup::SendFile(int nPort, const std::string& sStreamID, const std::string& sFile) {
    return m_dispatch->SendFile(nPort, sStreamID, sFile);
}

void NodeSetup::SendDisconnect(int nPort, const std::string& sStreamID) {
    m_dispatch->SendDisconnect(nPort, sStreamID);
}

std::string NodeSetup::GetLabel(int nStream) {
    return m_dispatch->GetLabel(nStream);
}

bool NodeSetup::waitRunning() const {
    return m_commandDepth > 0 || m_dispatch->busy();
}

void NodeSetup::endWaits(bool end) {
    m_pump.requestStop(end);
}

void NodeSetup::Restore() {
    m_dispatch->Restore();
}

void NodeSetup::ClearHostMode() {
    m_dispatch->ClearHostMode();
}

} // namespace gw
