// The TNC dispatch: driver selection, packet splitting, files, labels and line polling.
#include "tnc/tnc_dispatch.h"

#include "common/clock.h"
#include "common/datetime.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/node_error.h"
#include "common/text.h"
#include "common/user_limit.h"
#include "tnc/main_window_port.h"
#include "tnc/tnc_line.h"
#include "tnc/tnc_setup.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace gw {

using namespace std::chrono_literals;

namespace {
constexpr std::string_view kLetters = "ABCDEFGHIJ";
constexpr const char* kUnsupportedSend = "Unsupported TNC! In SendDatatoTNC.";
constexpr const char* kUnsupportedPaclen = "Unsupported TNC! In GetPaclen.";
constexpr const char* kUnsupportedList = "Unsupported TNC! Make selection from List.";

// Index 0 is the console, -1 an unknown letter and above 10 no table entry: none is a
// stream the radio side can send to.
bool isRadioStream(int index) {
    return index >= 1 && index <= kMaxUsers;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
} // namespace

TncFamily tncFamily(const std::string& type) {
    if (type == "KPC1" || type == "KPC2" || type == "KPC3") return TncFamily::KanSingle;
    if (type == "KPC4" || type == "KPC9612") return TncFamily::KanMulti;
    if (type == "KAM") return TncFamily::Kam;
    if (type == "TNC2" || type == "MFJ1270B" || type == "MFJ1274") return TncFamily::Tnc2;
    if (type == "AGW") return TncFamily::Agw;
    if (type == "KISS") return TncFamily::Kiss;
    return TncFamily::Unsupported;
}

TncDispatch::TncDispatch(TncSetup& setup, MainWindowPort& main, TncLine& serial, Services services,
                         QObject* parent)
    : QObject(parent), m_setup(setup), m_main(main), m_serial(serial), m_services(services) {
    m_pollTimer.setInterval(kPoll);
    connect(&m_pollTimer, &QTimer::timeout, this, &TncDispatch::tmrPollSerial_Timer);
}

TncDispatch::~TncDispatch() = default;

bool TncDispatch::busy() const {
    return m_driverCalls > 0 || m_tickDepth > 0 || m_eventDepth > 0 || m_runningDeferred;
}

bool TncDispatch::waitsAbandoned() const {
    if (m_shutdown.active && !m_shutdown.heard && !m_shutdown.givenUp && m_shutdown.firstSend &&
        m_services.clock.elapsed() - *m_shutdown.firstSend >= kShutdownSilence)
        m_shutdown.givenUp = true;
    return m_services.pump.stopRequested() || m_shutdown.givenUp;
}

QDateTime TncDispatch::WaitClock::now() const {
    return m_owner.m_services.clock.now();
}

std::chrono::milliseconds TncDispatch::WaitClock::elapsed() const {
    // Every reading while abandoned jumps far beyond every driver's time limit, so a wait
    // started after the first jump ends too; time never runs backwards.
    constexpr std::chrono::milliseconds kJump = std::chrono::hours(24);
    if (m_owner.waitsAbandoned()) m_offset += kJump;
    return m_owner.m_services.clock.elapsed() + m_offset;
}

TncDriver* TncDispatch::CreateDriver(const std::string& typeText) {
    if (busy()) throw NodeError(kBusy, "TncDispatch", "The TNC is busy.");
    switch (tncFamily(typeText)) {
    case TncFamily::KanSingle:
        KPC1Port = std::make_unique<CKANSingle>(*this);
        return KPC1Port.get();
    case TncFamily::KanMulti:
        KPC2Port = std::make_unique<CKANMulti>(*this);
        return KPC2Port.get();
    case TncFamily::Kam:
        KAM = std::make_unique<CKAM>(*this);
        return KAM.get();
    case TncFamily::Tnc2:
        TNC2 = std::make_unique<CTNC2>(*this);
        return TNC2.get();
    case TncFamily::Agw:
        AGW = std::make_unique<CAGW>(*this);
        return AGW.get();
    case TncFamily::Kiss:
        KISS = std::make_unique<CKISS>(*this, m_serial);
        return KISS.get();
    case TncFamily::Unsupported:
        break;
    }
    return nullptr;
}

void TncDispatch::ReleaseDriver(const std::string& typeText) {
    if (busy()) throw NodeError(kBusy, "TncDispatch", "The TNC is busy.");
    switch (tncFamily(typeText)) {
    case TncFamily::KanSingle:
        KPC1Port.reset();
        break;
    case TncFamily::KanMulti:
        KPC2Port.reset();
        break;
    case TncFamily::Kam:
        KAM.reset();
        break;
    case TncFamily::Tnc2:
        TNC2.reset();
        break;
    case TncFamily::Agw:
        AGW.reset();
        break;
    case TncFamily::Kiss:
        KISS.reset();
        break;
    case TncFamily::Unsupported:
        break;
    }
}

TncDriver* TncDispatch::driver(const std::string& typeText) const {
    if (tncFamily(typeText) == TncFamily::Tnc2) return TNC2.get();
    if (tncFamily(typeText) == TncFamily::Agw) return AGW.get();
    if (tncFamily(typeText) == TncFamily::Kiss) return KISS.get();
    return kantronics(tncFamily(typeText));
}

CKantronics* TncDispatch::kantronics(TncFamily family) const {
    switch (family) {
    case TncFamily::KanSingle:
        return KPC1Port.get();
    case TncFamily::KanMulti:
        return KPC2Port.get();
    case TncFamily::Kam:
        return KAM.get();
    default:
        return nullptr;
    }
}

void TncDispatch::unsupported(const char* text) {
    m_services.dialogs.message(DialogIcon::None, kProgramTitle, text, DialogButtons::Ok);
}

void TncDispatch::SendData(int nPort, const std::string& sStreamID, const std::string& sData) {
    const int index = m_main.Index(sStreamID, nPort);
    if (!isRadioStream(index)) return;
    m_main.showOutgoingTraffic(index);
    m_main.MonitorMsg(nPort, sStreamID, "   " + sData);
    sendPackets(nPort, sStreamID, sData);
}

std::size_t TncDispatch::SendFile(int nPort, const std::string& sStreamID,
                                  const std::string& sFile) {
    const int index = m_main.Index(sStreamID, nPort);
    if (!isRadioStream(index)) return 0;
    const std::string text = ReadFromTextFile(m_setup.txtPath() + sFile);
    m_main.MonitorMsg(nPort, sStreamID, "   " + text);
    m_main.showOutgoingTraffic(index);
    sendPackets(nPort, sStreamID, text);
    return text.size();
}

void TncDispatch::sendPackets(int nPort, const std::string& sStreamID, const std::string& text) {
    const long paclen = GetPaclen(nPort);
    if (paclen <= 0) return;
    const auto size = static_cast<std::size_t>(paclen);
    for (std::size_t at = 0; at < text.size(); at += size) {
        const std::string packet = text.substr(at, size);
        const std::string type = m_setup.comboType();
        if (tncFamily(type) == TncFamily::Unsupported) {
            unsupported(kUnsupportedSend);
            continue;
        }
        if (TncDriver* selected = driver(type)) selected->SendData(packet, sStreamID, nPort);
    }
}

void TncDispatch::SendDisconnect(int nPort, const std::string& sStreamID) {
    const std::string type = m_setup.comboType();
    if (tncFamily(type) == TncFamily::Unsupported) {
        unsupported(kUnsupportedSend);
        return;
    }
    // Asked for while received text is being handled, the disconnect's waits would see no
    // answer (polling is off until the handling ends): it runs as soon as that ends.
    m_deferred.push_back({nPort, sStreamID});
    if (m_tickDepth > 0 || m_eventDepth > 0 || m_driverCalls > 0)
        QTimer::singleShot(0, this, &TncDispatch::runDeferredDisconnects);
    else
        runDeferredDisconnects();
}

void TncDispatch::runDeferredDisconnects() {
    // Nor inside another driver call (Init, Restore): the next tick runs them.
    if (busy()) return;
    m_runningDeferred = true;
    while (!m_deferred.empty() && !m_services.pump.stopRequested()) {
        const Disconnect next = m_deferred.front();
        m_deferred.pop_front();
        if (TncDriver* selected = driver(m_setup.comboType()))
            selected->SendDisconnect(next.stream, next.port);
    }
    m_runningDeferred = false;
}

long TncDispatch::GetPaclen(int nPort) {
    const std::string type = m_setup.comboType();
    if (tncFamily(type) == TncFamily::Unsupported) {
        unsupported(kUnsupportedPaclen);
        return 0;
    }
    const TncDriver* selected = driver(type);
    return selected != nullptr ? selected->Paclen(nPort) : 0;
}

std::string TncDispatch::GetLabel(int n) const {
    if (n < 1 || n > m_lMaxusers1 + m_lMaxusers2) return "";
    const bool port1 = m_setup.bPort1();
    const bool port2 = m_setup.bPort2();
    const auto letter = [](long k) {
        return k >= 1 && k <= kMaxUsers ? std::string(1, kLetters[static_cast<std::size_t>(k - 1)])
                                        : std::string();
    };
    if (port1 && !port2) return "1/" + letter(n);
    if (port2 && !port1) return "2/" + letter(n);
    if (port1 && port2)
        return n <= m_lMaxusers1 ? "1/" + letter(n) : "2/" + letter(n - m_lMaxusers1);
    return "";
}

void TncDispatch::Restore() {
    const std::string type = m_setup.comboType();
    if (tncFamily(type) == TncFamily::Unsupported) {
        unsupported(kUnsupportedList);
        m_setup.showSetupWindow();
        return;
    }
    if (TncDriver* selected = driver(type))
        runShutdownOperation([selected] { selected->Restore(); }, "restoring");
    ReleaseDriver(type);
}

void TncDispatch::ClearHostMode() {
    if (CKantronics* selected = kantronics(tncFamily(m_setup.comboType())))
        runShutdownOperation([selected] { selected->ClearHostMode(); }, "resetting");
    // A KISS TNC keeps no settings to restore, but the node's links go down either way.
    if (CKISS* selected = tncFamily(m_setup.comboType()) == TncFamily::Kiss ? KISS.get() : nullptr)
        runShutdownOperation([selected] { selected->Restore(); }, "taking the links down");
}

void TncDispatch::runShutdownOperation(const std::function<void()>& operation, const char* what) {
    // A TNC that answers nothing to the first command would cost every command its full
    // wait: once it has been silent for kShutdownSilence the rest is dropped.
    m_shutdown = ShutdownWatch{true, false, false, std::nullopt};
    {
        DriverCall call(*this);
        operation();
    }
    const bool givenUp = m_shutdown.givenUp;
    m_shutdown = ShutdownWatch{};
    if (givenUp)
        m_main.Log("TNC did not answer: " + std::string(what) + " given up @ " +
                   generalDateTime(m_services.clock.now()));
}

std::string TncDispatch::ReadStartupFile(const std::string& sPath) {
    if (sPath.empty()) return "";
    if (!m_startupLines) {
        const auto content = readWholeFile(sPath);
        if (!content) return "";
        // A line ends at CR LF, CR or LF, as the file may come from any system.
        std::vector<std::string> lines;
        std::string line;
        for (std::size_t i = 0; i < content->size(); ++i) {
            const char c = (*content)[i];
            if (c == '\r' || c == '\n') {
                lines.push_back(std::move(line));
                line.clear();
                if (c == '\r' && i + 1 < content->size() && (*content)[i + 1] == '\n') ++i;
            } else {
                line += c;
            }
        }
        if (!line.empty()) lines.push_back(std::move(line));
        m_startupLines = std::move(lines);
        m_startupNext = 0;
    }
    const auto nextLine = [this]() -> std::optional<std::string> {
        if (m_startupNext >= m_startupLines->size()) return std::nullopt;
        return trim((*m_startupLines)[m_startupNext++]);
    };
    std::optional<std::string> line = nextLine();
    while (line && !line->empty() && line->front() == ';')
        line = nextLine();
    if (line) {
        const std::size_t remark = line->find(';');
        if (remark != std::string::npos) line = trim(std::string_view(*line).substr(0, remark));
    }
    if (!line || line->empty()) {
        m_startupLines.reset();
        return "";
    }
    return *line;
}

std::string TncDispatch::ReadFromTextFile(const std::string& sPath) const {
    if (sPath.empty()) return "";
    auto content = readWholeFile(sPath);
    if (!content || content->size() < 2) return "";
    content->erase(std::remove(content->begin(), content->end(), '\n'), content->end());
    return *content;
}

void TncDispatch::setPolling(bool enabled) {
    // The node runs a KISS TNC's links itself: their answers and timers want a shorter turn.
    m_pollTimer.setInterval(tncFamily(m_setup.comboType()) == TncFamily::Kiss ? kKissPoll : kPoll);
    if (enabled)
        m_pollTimer.start();
    else
        m_pollTimer.stop();
}

void TncDispatch::tmrPollSerial_Timer() {
    std::string received = receiveFromTnc();
    ++m_tickDepth;
    while (!received.empty()) {
        m_pollTimer.stop();
        const std::string type = m_setup.comboType();
        if (tncFamily(type) == TncFamily::Unsupported) {
            --m_tickDepth;
            unsupported(kUnsupportedList);
            m_setup.showSetupWindow();
            return;
        }
        // Text for a driver that does not exist yet (or any more) has nobody to read it.
        if (TncDriver* selected = driver(type)) selected->SerialIn(received);
        m_services.pump.pump(0ms);
        received = receiveFromTnc();
    }
    --m_tickDepth;
    m_pollTimer.start();
    runDeferredDisconnects();
}

TncLine& TncDispatch::line() const {
    if (AGW && tncFamily(m_setup.comboType()) == TncFamily::Agw) return AGW->line();
    if (KISS && tncFamily(m_setup.comboType()) == TncFamily::Kiss) return KISS->line();
    return m_serial;
}

const CKISS* TncDispatch::kiss() const {
    return tncFamily(m_setup.comboType()) == TncFamily::Kiss ? KISS.get() : nullptr;
}

void TncDispatch::sendToTnc(std::string_view text) {
    if (m_shutdown.active && !m_shutdown.firstSend)
        m_shutdown.firstSend = m_services.clock.elapsed();
    line().DataToSend(text);
}

std::string TncDispatch::receiveFromTnc() {
    try {
        std::string text = line().DataToReceive();
        m_readFailureReported = false;
        if (m_shutdown.active && !text.empty()) m_shutdown.heard = true;
        return text;
    } catch (const NodeError& error) {
        reportReadFailure(error.description());
        return {};
    }
}

void TncDispatch::reportReadFailure(const std::string& description) {
    if (m_readFailureReported) return;
    m_readFailureReported = true;
    const std::string when = generalDateTime(m_services.clock.now());
    m_main.MonitorMsg(0, "0", "   TNC serial port: " + description + " @ " + when);
    m_main.Log("TNC serial port: " + description + " @ " + when);
    m_main.setTncStatus(m_setup.comboType() + " serial port failure", false);
    // No disconnect will ever come from the TNC for its users: the core closes them now.
    for (int n = 1; n <= kMaxUsers; ++n) {
        const std::string label = GetLabel(n);
        if (label.size() == 3)
            StatusEvent("S" + label.substr(0, 1) + label.substr(2) +
                        "*** DISCONNECTED: TNC serial port failure");
    }
    emit serialFailed();
}

std::string TncDispatch::txtPath() const {
    return m_setup.txtPath();
}
std::string TncDispatch::comboType() const {
    return m_setup.comboType();
}
bool TncDispatch::bPort1() const {
    return m_setup.bPort1();
}
bool TncDispatch::bPort2() const {
    return m_setup.bPort2();
}
bool TncDispatch::chkRestore() const {
    return m_setup.chkRestore();
}
std::string TncDispatch::agwAddress() const {
    return m_setup.agwAddress();
}
std::string TncDispatch::nodeCall() const {
    return m_setup.nodeCall();
}
std::string TncDispatch::agwPaclen() const {
    return m_setup.agwPaclen();
}
KissSettings TncDispatch::kissSettings() const {
    return m_setup.kissSettings();
}
std::string TncDispatch::lblInitializing() const {
    return m_setup.lblInitializing();
}
void TncDispatch::setLblInitializing(const std::string& text) {
    m_setup.setLblInitializing(text);
}
std::string TncDispatch::settingsSection() const {
    return "Client" + m_setup.instance();
}

void TncDispatch::StatusEvent(const std::string& sStatus) {
    ++m_eventDepth;
    m_main.StatusEvent(sStatus);
    --m_eventDepth;
}

void TncDispatch::reportTnc(const std::string& text) {
    const std::string when = generalDateTime(m_services.clock.now());
    m_main.MonitorMsg(0, "0", "   " + text + " @ " + when);
    m_main.Log(text + " @ " + when);
}

void TncDispatch::setTncStatus(const std::string& text, bool working) {
    m_main.setTncStatus(text, working);
}

void TncDispatch::DataEvent(const std::string& sData) {
    ++m_eventDepth;
    m_main.DataEvent(sData);
    --m_eventDepth;
}

} // namespace gw
