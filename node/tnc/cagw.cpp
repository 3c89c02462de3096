// The AGW driver.
#include "tnc/cagw.h"

#include "common/clock.h"
#include "common/event_pump.h"
#include "common/text.h"
#include "common/user_limit.h"
#include "tnc/agw_address.h"
#include "tnc/tnc_host.h"

#include <algorithm>
#include <cctype>

namespace gw {

using namespace std::chrono_literals;

namespace {
constexpr std::string_view kLetters = "ABCDEFGHIJ";
constexpr std::uint8_t kPidText = 0xF0;
constexpr auto kAskAgain = 1s;       // a Y question unanswered this long is asked again
constexpr auto kGoneAfterDisc = 60s; // a disconnect the modem program never confirms

bool sameCall(const std::string& a, const std::string& b) {
    return toUpper(a) == toUpper(b);
}

std::uint32_t u32(const std::string& data, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i > 0; --i)
        value = (value << 8) | static_cast<unsigned char>(data[at + i - 1]);
    return value;
}

// The drain of a link may take as long as its queued text needs at 1200 bit/s (about 150
// bytes a second), twice over for acknowledgements and retries, plus time for a retry cycle.
std::chrono::milliseconds drainBound(std::size_t queued) {
    const auto bound = 15s + std::chrono::milliseconds(queued * 2 * 1000 / 150);
    return std::min<std::chrono::milliseconds>(bound, 180s);
}
} // namespace

CAGW::CAGW(TncHost& host) : CAGW(host, std::make_unique<AgwSocket>()) {}

CAGW::CAGW(TncHost& host, std::unique_ptr<AgwConnection> connection)
    : HostedDriver(host), m_socket(std::move(connection)),
      m_reader([this](AgwFrame frame) { onFrame(std::move(frame)); }) {}

CAGW::~CAGW() = default;

bool CAGW::TcpLine::PortOpen() const {
    return m_driver.m_socket->state() == AgwConnection::State::Connected;
}
void CAGW::TcpLine::DataToSend(std::string_view text) {
    m_driver.m_socket->send(text);
}
std::string CAGW::TcpLine::DataToReceive() {
    return m_driver.poll();
}

bool CAGW::fail(const std::string& text) {
    progress(text);
    m_host.reportTnc(text);
    m_socket->close();
    return false;
}

bool CAGW::awaitAnswer(std::chrono::seconds limit, const std::function<bool()>& done) {
    // Reads the line itself: the polling timer may be off while Init runs.
    return waitFor(limit, [&] {
        const std::string in = m_socket->read();
        if (!in.empty()) SerialIn(in);
        return done() || m_malformed || m_socket->state() == AgwConnection::State::Closed;
    });
}

bool CAGW::Init() {
    m_running = m_up = false;
    m_links.clear();
    m_version.reset();
    m_portCount.reset();
    m_registered.reset();
    m_malformed = false;
    m_reader.clear();
    m_address = trim(m_host.agwAddress());
    const std::optional<AgwAddress> address = parseAgwAddress(m_address);
    if (!address) return fail("AGW address \"" + m_address + "\" is not host:port.");
    m_hostName = address->host;
    m_tcpPort = address->port;
    const std::string portText = std::to_string(m_tcpPort);
    m_call = toUpper(trim(m_host.nodeCall()));
    if (!agwCallValid(m_call))
        return fail("Node call sign \"" + m_call +
                    "\" cannot be registered with the modem program.");
    const std::string paclen = trim(m_host.agwPaclen());
    m_paclen1 = m_paclen2 =
        isNumeric(paclen) && numericValue(paclen) >= 1 && numericValue(paclen) <= 256
            ? static_cast<long>(numericValue(paclen))
            : kDefaultPaclen;

    progress("Connecting to the AGW server at " + m_address + ".");
    if (!m_socket->connectTo(m_hostName, m_tcpPort))
        return fail("AGW server " + m_address + " not reachable: " + m_socket->error() + ".");
    const bool settled = waitFor(kConnectWait, [this] {
        m_socket->service();
        return m_socket->state() != AgwConnection::State::Connecting;
    });
    if (!settled)
        return fail("No connection to the AGW server " + m_address + " within " +
                    std::to_string(kConnectWait.count()) + " seconds.");
    if (m_socket->state() != AgwConnection::State::Connected)
        return fail("Nothing listening at " + m_address + " (" + m_socket->error() +
                    "): is the modem program running with AGWPORT " + portText + "?");

    m_socket->send(encodeAgwFrame({0, 'R', 0, "", "", ""}));
    m_socket->send(encodeAgwFrame({0, 'G', 0, "", "", ""}));
    if (!awaitAnswer(kAnswerWait, [this] { return m_version && m_portCount; }) || m_malformed)
        return fail(m_address + " is not an AGW server: no answer to the version and port "
                                "requests.");
    progress("AGW server version " + *m_version + ", " + std::to_string(*m_portCount) +
             " radio port(s).");
    for (const int port : {1, 2}) {
        if (!portChosen(port) || port <= *m_portCount) continue;
        return fail("The modem program at " + m_address + " has no radio port " +
                    std::to_string(port) + " (AGW port " + std::to_string(port - 1) + "); it has " +
                    std::to_string(*m_portCount) + ".");
    }

    m_socket->send(encodeAgwFrame({0, 'X', 0, m_call, "", ""}));
    if (!awaitAnswer(kAnswerWait, [this] { return m_registered.has_value(); }) || m_malformed)
        return fail("No answer from " + m_address + " to the registration of " + m_call + ".");
    if (!*m_registered)
        return fail("The modem program at " + m_address + " refused to register " + m_call +
                    " (another program may hold that call).");

    m_perPort = m_host.bPort1() && m_host.bPort2() ? kMaxUsers / 2 : kMaxUsers;
    m_host.setLMaxusers1(m_host.bPort1() ? m_perPort : 0);
    m_host.setLMaxusers2(m_host.bPort2() ? m_perPort : 0);
    if (!m_host.bPort1() && m_host.bPort2()) {
        // One port in use: the core numbers its streams 1 to 10 whichever port it is.
        m_host.setLMaxusers1(m_perPort);
        m_host.setLMaxusers2(0);
    }
    progress("Registered " + m_call + " with the modem program.");
    m_running = m_up = true;
    m_outageReported = false;
    return true;
}

bool CAGW::CheckComm() {
    const bool answered = Init();
    Restore();
    return answered;
}

bool CAGW::SendCommand(const std::string&) {
    return false;
}

bool CAGW::portChosen(int port) const {
    return port == 1 ? m_host.bPort1() : port == 2 && m_host.bPort2();
}

void CAGW::sendFrame(char kind, int agwPort, const std::string& to, const std::string& data) {
    m_socket->send(encodeAgwFrame(
        {agwPort, kind, kind == 'D' ? kPidText : std::uint8_t{0}, m_call, to, data}));
}

std::string CAGW::poll() {
    std::string in = m_socket->read();
    if (m_running) {
        // The last bytes of a connection that just ended belong to links that end with it; a
        // partial frame among them must not run into the next connection.
        if (m_socket->state() == AgwConnection::State::Closed) in.clear();
        const auto now = m_host.clock().elapsed();
        keepUp(now);
        if (m_up) serviceClosing(now);
    }
    return in;
}

void CAGW::keepUp(std::chrono::milliseconds now) {
    if (m_up && m_socket->state() == AgwConnection::State::Closed)
        linkLost(m_lostReason.empty() ? m_socket->error() : m_lostReason);
    if (m_up) return;
    if (m_socket->state() == AgwConnection::State::Closed && now >= m_nextAttempt) {
        m_nextAttempt = now + kRetry;
        m_registerSent = false;
        m_reader.clear();
        m_socket->connectTo(m_hostName, m_tcpPort);
    }
    m_socket->service();
    if (m_socket->state() != AgwConnection::State::Connected) return;
    if (!m_registerSent) {
        m_registerSent = true;
        m_registerSentAt = now;
        m_socket->send(encodeAgwFrame({0, 'X', 0, m_call, "", ""}));
    } else if (now - m_registerSentAt > kAnswerWait) {
        m_socket->close();
    }
}

void CAGW::linkLost(std::string reason) {
    m_up = false;
    m_registerSent = false;
    m_lostReason.clear();
    m_reader.clear();
    if (!m_outageReported) {
        m_outageReported = true;
        m_host.reportTnc("AGW connection to " + m_address + " lost: " + reason +
                         ". Reconnecting every " + std::to_string(kRetry.count()) + " seconds.");
        m_host.setTncStatus("AGW lost on " + m_address, false);
    }
    // Every link of the modem program is gone with it; the core hears of each stream once.
    std::vector<Link> gone;
    gone.swap(m_links);
    for (const Link& link : gone)
        if (link.letter != 0) m_host.StatusEvent(status(link, "*** DISCONNECTED"));
}

void CAGW::onRegistration(bool accepted) {
    if (!m_running) {
        m_registered = accepted;
        return;
    }
    if (m_up) return;
    if (accepted) {
        m_up = true;
        m_outageReported = m_refusalReported = false;
        m_host.reportTnc("AGW connection to " + m_address + " restored, " + m_call +
                         " registered.");
        m_host.setTncStatus("AGW OK on " + m_address, true);
    } else {
        if (!m_refusalReported)
            m_host.reportTnc("The modem program at " + m_address + " refused to register " +
                             m_call + "; trying again every " + std::to_string(kRetry.count()) +
                             " seconds.");
        m_refusalReported = true;
        m_socket->close();
    }
}

void CAGW::SerialIn(const std::string& sNewSerialData) {
    if (m_reader.feed(sNewSerialData)) return;
    // Out of step with the modem program: start the connection afresh at once.
    m_malformed = true;
    m_lostReason = "malformed frame from the modem program";
    m_socket->close();
    m_nextAttempt = m_host.clock().elapsed();
}

void CAGW::onFrame(AgwFrame frame) {
    switch (frame.kind) {
    case 'R':
        if (frame.data.size() >= 8)
            m_version =
                std::to_string(u32(frame.data, 0)) + "." + std::to_string(u32(frame.data, 4));
        break;
    case 'G': {
        const std::string text = frame.data.substr(0, frame.data.find('\0'));
        const std::string count = text.substr(0, text.find(';'));
        if (!count.empty() && count.size() <= 3 &&
            std::all_of(count.begin(), count.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            m_portCount = std::stoi(count);
        else
            m_portCount = 0;
        break;
    }
    case 'X':
        if (frame.data.size() == 1 && sameCall(frame.callFrom, m_call))
            onRegistration(frame.data[0] == 1);
        break;
    case 'C':
        if (m_up) onConnect(frame);
        break;
    case 'D':
        if (m_up) onData(frame);
        break;
    case 'd':
        if (m_up) onDisconnect(frame);
        break;
    case 'Y':
        if (m_up) onOutstanding(frame);
        break;
    default: // kinds this node does not use
        break;
    }
}

std::string CAGW::status(const Link& link, const std::string& text) const {
    return "S" + std::to_string(link.port) + std::string(1, link.letter) + text;
}

char CAGW::freeLetter(int port) const {
    for (int i = 0; i < m_perPort; ++i) {
        const char letter = kLetters[static_cast<std::size_t>(i)];
        const bool taken = std::any_of(m_links.begin(), m_links.end(), [&](const Link& link) {
            return link.port == port && link.letter == letter;
        });
        if (!taken) return letter;
    }
    return 0;
}

void CAGW::onConnect(const AgwFrame& frame) {
    const int port = frame.port + 1;
    if (!sameCall(frame.callTo, m_call) || !agwCallValid(toUpper(frame.callFrom))) return;
    // A new link from a call that still holds a stream: the old link is over.
    if (Link* old = find(port, frame.callFrom)) {
        const Link ended = *old;
        removeId(old->id);
        if (ended.letter != 0) m_host.StatusEvent(status(ended, "*** DISCONNECTED"));
    }
    Link link;
    link.id = m_nextId++;
    link.port = port;
    link.call = toUpper(frame.callFrom);
    link.letter = portChosen(port) ? freeLetter(port) : 0;
    m_links.push_back(link);
    if (link.letter == 0) {
        // Turned away: the busy text, then the disconnect once it has gone out.
        Link& busy = m_links.back();
        sendFrame('D', port - 1, busy.call, kBusyText);
        busy.queued += std::string_view(kBusyText).size();
        startClosing(busy);
        return;
    }
    m_host.StatusEvent(status(link, "*** CONNECTED to " + link.call));
}

void CAGW::onData(const AgwFrame& frame) {
    Link* link = find(frame.port + 1, frame.callFrom);
    if (link == nullptr || link->letter == 0) return;
    // Whole lines, each with its CR as the user sent it, go to the core one event each (a
    // message body keeps its line ends); a line that never ends is handed on.
    link->partial += frame.data;
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t cr = link->partial.find('\r'); cr != std::string::npos;
         cr = link->partial.find('\r', from)) {
        lines.push_back(link->partial.substr(from, cr + 1 - from));
        from = cr + 1;
    }
    link->partial.erase(0, from);
    if (link->partial.size() > kMaxLine) {
        lines.push_back(std::move(link->partial));
        link->partial.clear();
    }
    const std::uint64_t id = link->id;
    const std::string head = "D" + std::to_string(link->port) + std::string(1, link->letter);
    for (std::string& line : lines) {
        line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
        // Handling one line may end the link (a bye, an outage); the rest then has no reader.
        if (findId(id) == nullptr) return;
        m_host.DataEvent(head + line);
    }
}

void CAGW::onDisconnect(const AgwFrame& frame) {
    Link* link = find(frame.port + 1, frame.callFrom);
    if (link == nullptr) return;
    const Link ended = *link;
    removeId(link->id);
    if (ended.letter != 0) m_host.StatusEvent(status(ended, "*** DISCONNECTED"));
}

void CAGW::onOutstanding(const AgwFrame& frame) {
    Link* link = find(frame.port + 1, frame.callTo);
    if (link == nullptr || frame.data.size() < 4) return;
    link->askPending = false;
    if (u32(frame.data, 0) != 0) return;
    link->queued = 0;
    if (link->closing && !link->disconnectSent) sendDisconnectFrame(*link);
}

void CAGW::sendDisconnectFrame(Link& link) {
    link.disconnectSent = true;
    link.deadline = m_host.clock().elapsed() + kGoneAfterDisc;
    sendFrame('d', link.port - 1, link.call);
}

void CAGW::startClosing(Link& link) {
    link.closing = true;
    link.deadline = m_host.clock().elapsed() + drainBound(link.queued);
    link.askPending = true;
    link.askedAt = m_host.clock().elapsed();
    sendFrame('Y', link.port - 1, link.call);
}

void CAGW::serviceClosing(std::chrono::milliseconds now) {
    std::vector<Link> expired;
    for (Link& link : m_links) {
        if (!link.closing) continue;
        if (link.disconnectSent) {
            if (now >= link.deadline) expired.push_back(link);
        } else if (now >= link.deadline) {
            sendDisconnectFrame(link); // the queue never emptied; give up on it
        } else if (!link.askPending || now - link.askedAt >= kAskAgain) {
            link.askPending = true;
            link.askedAt = now;
            sendFrame('Y', link.port - 1, link.call);
        }
    }
    for (const Link& link : expired) {
        removeId(link.id);
        if (link.letter != 0) m_host.StatusEvent(status(link, "*** DISCONNECTED"));
    }
}

void CAGW::SendData(const std::string& sData, const std::string& sStream, int nPort) {
    if (!m_up || sStream.size() != 1) return;
    Link* link = findStream(nPort, static_cast<char>(std::toupper(sStream[0])));
    if (link == nullptr) return;
    link->queued += sData.size();
    sendFrame('D', nPort - 1, link->call, sData);
}

bool CAGW::SendDisconnect(const std::string& sStream, int nPort) {
    if (!m_up || sStream.size() != 1) return false;
    Link* link = findStream(nPort, static_cast<char>(std::toupper(sStream[0])));
    if (link == nullptr) return false;
    if (!link->closing) startClosing(*link);
    return true;
}

void CAGW::ClearFrame() {
    m_reader.clear();
    for (Link& link : m_links)
        link.partial.clear();
}

bool CAGW::Restore() {
    m_running = m_up = false;
    if (m_socket->state() == AgwConnection::State::Connected) {
        m_socket->send(encodeAgwFrame({0, 'x', 0, m_call, "", ""}));
        // The unregistration goes out before the line closes, within a bound.
        waitFor(1s, [this] {
            m_socket->service();
            return m_socket->state() != AgwConnection::State::Connected || m_socket->queued() == 0;
        });
    }
    m_socket->close();
    m_links.clear();
    return true;
}

std::size_t CAGW::streams() const {
    return static_cast<std::size_t>(std::count_if(
        m_links.begin(), m_links.end(), [](const Link& link) { return link.letter != 0; }));
}

std::size_t CAGW::closing() const {
    return static_cast<std::size_t>(std::count_if(m_links.begin(), m_links.end(),
                                                  [](const Link& link) { return link.closing; }));
}

CAGW::Link* CAGW::find(int port, const std::string& call) {
    for (Link& link : m_links)
        if (link.port == port && sameCall(link.call, call)) return &link;
    return nullptr;
}

CAGW::Link* CAGW::findStream(int port, char letter) {
    for (Link& link : m_links)
        if (link.port == port && link.letter == letter) return &link;
    return nullptr;
}

CAGW::Link* CAGW::findId(std::uint64_t id) {
    for (Link& link : m_links)
        if (link.id == id) return &link;
    return nullptr;
}

void CAGW::removeId(std::uint64_t id) {
    m_links.erase(std::remove_if(m_links.begin(), m_links.end(),
                                 [id](const Link& link) { return link.id == id; }),
                  m_links.end());
}

} // namespace gw
