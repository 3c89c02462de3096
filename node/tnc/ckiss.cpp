// The KISS driver.
#include "tnc/ckiss.h"

#include "common/clock.h"
#include "common/event_pump.h"
#include "common/text.h"
#include "common/user_limit.h"
#include "tnc/tnc_host.h"

#include <algorithm>
#include <cctype>

namespace gw {

using namespace std::chrono_literals;

namespace {
constexpr std::string_view kLetters = "ABCDEFGHIJ";
} // namespace

CKISS::CKISS(TncHost& host, TncLine& serial) : CKISS(host, serial, std::make_unique<AgwSocket>()) {}

CKISS::CKISS(TncHost& host, TncLine& serial, std::unique_ptr<AgwConnection> tcp)
    : HostedDriver(host), m_serial(serial), m_socket(std::move(tcp)),
      m_decoder([this](int port, const std::string& frame) {
          // Frames of a port the node does not serve are not for it.
          if (!m_station || !portChosen(port + 1)) return;
          m_station->receive(port, frame);
          m_offered.reset();
      }) {}

CKISS::~CKISS() = default;

bool CKISS::Line::PortOpen() const {
    if (m_driver.m_config.tcp) return m_driver.m_socket->state() == AgwConnection::State::Connected;
    return m_driver.m_serial.PortOpen();
}

void CKISS::Line::DataToSend(std::string_view text) {
    if (m_driver.m_config.tcp)
        m_driver.m_socket->send(text);
    else
        m_driver.m_serial.DataToSend(text);
}

std::string CKISS::Line::DataToReceive() {
    return m_driver.poll();
}

std::string CKISS::poll() {
    std::string in = m_config.tcp ? m_socket->read() : m_serial.DataToReceive();
    if (!m_running) return in;
    if (m_config.tcp) {
        // The last bytes of a connection that just ended may hold a cut frame: a frame cut
        // short is still a frame to the decoder, so they go with the connection.
        if (m_socket->state() == AgwConnection::State::Closed) in.clear();
        keepUp(m_host.clock().elapsed());
    }
    m_station->tick();
    raiseEvents();
    return in;
}

bool CKISS::fail(const std::string& text) {
    progress(text);
    m_host.reportTnc(text);
    m_socket->close();
    m_up = false;
    return false;
}

bool CKISS::connectLine() {
    const AgwAddress& address = *m_config.tcp;
    progress("Connecting to the KISS TCP server at " + m_where + ".");
    if (!m_socket->connectTo(address.host, address.port))
        return fail("KISS server " + m_where + " not reachable: " + m_socket->error() + ".");
    const bool settled = waitFor(kConnectWait, [this] {
        m_socket->service();
        return m_socket->state() != AgwConnection::State::Connecting;
    });
    if (!settled)
        return fail("No connection to the KISS server " + m_where + " within " +
                    std::to_string(kConnectWait.count()) + " seconds.");
    if (m_socket->state() != AgwConnection::State::Connected)
        return fail("Nothing listening at " + m_where + " (" + m_socket->error() +
                    "): is the modem program running with KISSPORT " +
                    std::to_string(address.port) + "?");
    m_up = true;
    return true;
}

bool CKISS::readSettings() {
    std::vector<std::string> problems;
    const KissSettings typed = m_host.kissSettings();
    m_config = readKissSettings(typed, problems);
    m_where = m_config.tcp ? trim(typed.address) : "the serial port";
    if (problems.empty()) return true;
    std::string text = "KISS settings:";
    for (const std::string& problem : problems)
        text += " " + problem;
    return fail(text);
}

bool CKISS::Init() {
    m_running = m_up = m_quiet = false;
    m_streams.clear();
    m_offered.reset();
    m_station.reset();
    m_decoder.clear();
    m_socket->close();
    if (!readSettings()) return false;
    m_call = toUpper(trim(m_host.nodeCall()));
    if (!ax25CallValid(m_call))
        return fail("Node call sign \"" + m_call +
                    "\" is not an AX.25 call sign (1 to 6 letters and digits, SSID 0 to 15).");
    if (!m_host.bPort1() && !m_host.bPort2())
        return fail("No radio port chosen: choose Port 1, Port 2 or Both.");
    if (m_config.tcp) {
        if (!connectLine()) return false;
    } else if (!m_serial.PortOpen()) {
        return fail("The serial port to the KISS TNC is not open.");
    }

    // The TNC's answers to these commands are text, not KISS: they are read and dropped.
    for (const std::string& command : m_config.initCommands) {
        progress("KISS TNC: " + command);
        send(command + "\r");
        waitFor(kCommandGap, [this] {
            receive();
            return false;
        });
    }
    m_decoder.clear();
    sendParameters();

    m_perPort = m_host.bPort1() && m_host.bPort2() ? kMaxUsers / 2 : kMaxUsers;
    // One port in use: the core numbers its streams 1 to 10 whichever port it is.
    m_host.setLMaxusers1(m_perPort);
    m_host.setLMaxusers2(m_host.bPort1() && m_host.bPort2() ? m_perPort : 0);
    m_paclen1 = m_paclen2 = m_config.paclen;
    m_station = makeStation();
    const std::string ports = m_host.bPort1() && m_host.bPort2() ? "KISS ports 0 and 1"
                              : m_host.bPort1()                  ? "KISS port 0"
                                                                 : "KISS port 1";
    progress("KISS TNC on " + m_where + ": " + m_call + " takes calls on " + ports + ".");
    m_running = true;
    m_lossReported = false;
    return true;
}

bool CKISS::CheckComm() {
    if (!readSettings()) return false;
    if (!m_config.tcp) return m_serial.PortOpen();
    const bool connected = connectLine();
    m_socket->close();
    m_up = false;
    return connected;
}

bool CKISS::SendCommand(const std::string&) {
    return false;
}

void CKISS::sendParameters() {
    const auto value = [](int number) { return std::string(1, static_cast<char>(number)); };
    for (const int port : {1, 2}) {
        if (!portChosen(port)) continue;
        const int tnc = port - 1;
        send(kissFrame(tnc, KissCommand::TxDelay, value(m_config.txDelay)));
        send(kissFrame(tnc, KissCommand::Persistence, value(m_config.persist)));
        send(kissFrame(tnc, KissCommand::SlotTime, value(m_config.slotTime)));
        send(kissFrame(tnc, KissCommand::TxTail, value(m_config.txTail)));
        send(kissFrame(tnc, KissCommand::FullDuplex, value(m_config.fullDuplex ? 1 : 0)));
    }
}

std::unique_ptr<ax25::Station> CKISS::makeStation() {
    ax25::StationConfig config;
    config.call = m_call;
    config.window = m_config.window;
    config.paclen = static_cast<std::size_t>(m_config.paclen);
    config.retries = m_config.retries;
    config.t1 = m_config.t1;
    config.idInterval = m_config.idInterval;
    config.maxQueued = kMaxQueued;
    // The station calls these while it works: what reaches the core waits until it returns.
    ax25::StationEvents events;
    events.transmit = [this](int port, const std::string& frame) {
        send(kissFrame(port, KissCommand::Data, frame));
    };
    events.accept = [this](int port, const std::string& peer) { return accept(port, peer); };
    events.connected = [this](ax25::LinkId id) { linked(id); };
    events.received = [this](ax25::LinkId id, const std::string& data) {
        m_events.push({LinkEvent::Kind::Received, id, data, {}});
    };
    events.ended = [this](ax25::LinkId id, ax25::EndReason reason, const std::string& text) {
        m_events.push({LinkEvent::Kind::Ended, id, text, reason});
    };
    return std::make_unique<ax25::Station>(config, m_host.clock(), events);
}

void CKISS::keepUp(std::chrono::milliseconds now) {
    if (m_up && m_socket->state() == AgwConnection::State::Closed) lineLost(m_socket->error());
    if (m_up) return;
    if (m_socket->state() == AgwConnection::State::Closed && now >= m_nextAttempt) {
        m_nextAttempt = now + kRetry;
        m_decoder.clear();
        m_socket->connectTo(m_config.tcp->host, m_config.tcp->port);
    }
    m_socket->service();
    if (m_socket->state() != AgwConnection::State::Connected) return;
    // The links live in the node: they carry on over the new connection if their peers are
    // still there, and fail by their retries if the outage was too long.
    m_up = true;
    m_lossReported = false;
    sendParameters();
    m_host.reportTnc("KISS connection to " + m_where + " restored.");
    m_host.setTncStatus("KISS OK on " + m_where, true);
}

void CKISS::lineLost(const std::string& reason) {
    m_up = false;
    m_decoder.clear();
    if (m_lossReported) return;
    m_lossReported = true;
    m_host.reportTnc("KISS connection to " + m_where + " lost: " + reason +
                     ". Reconnecting every " + std::to_string(kRetry.count()) + " seconds.");
    m_host.setTncStatus("KISS lost on " + m_where, false);
}

bool CKISS::portChosen(int port) const {
    return port == 1 ? m_host.bPort1() : port == 2 && m_host.bPort2();
}

char CKISS::freeLetter(int port) const {
    for (int i = 0; i < m_perPort; ++i) {
        const char letter = kLetters[static_cast<std::size_t>(i)];
        const bool taken = std::any_of(m_streams.begin(), m_streams.end(), [&](const Stream& s) {
            return s.port == port && s.letter == letter;
        });
        if (!taken) return letter;
    }
    return 0;
}

bool CKISS::accept(int tncPort, const std::string& peer) {
    const int port = tncPort + 1;
    const char letter = portChosen(port) ? freeLetter(port) : 0;
    if (letter == 0) return false; // every stream of the port is taken: DM
    m_offered = Stream{0, port, letter, peer, {}, false};
    return true;
}

void CKISS::linked(ax25::LinkId id) {
    if (m_offered) {
        Stream stream = *m_offered;
        m_offered.reset();
        stream.id = id;
        m_streams.push_back(std::move(stream));
    }
    m_events.push({LinkEvent::Kind::Connected, id, {}, {}});
}

void CKISS::raiseEvents() {
    m_events.raiseAll([this](const LinkEvent& event) { raise(event); });
}

void CKISS::raise(const LinkEvent& event) {
    Stream* stream = findId(event.id);
    switch (event.kind) {
    case LinkEvent::Kind::Connected:
        // A link the node gave no stream has no reader: it goes again.
        if (stream == nullptr) {
            if (m_station) m_station->disconnect(event.id);
            return;
        }
        if (!m_quiet) m_host.StatusEvent(status(*stream, "*** CONNECTED to " + stream->call));
        return;
    case LinkEvent::Kind::Received:
        if (stream != nullptr && !m_quiet) received(*stream, event.text);
        return;
    case LinkEvent::Kind::Ended: {
        if (stream == nullptr) return;
        const Stream gone = *stream;
        m_streams.erase(m_streams.begin() + (stream - m_streams.data()));
        const std::string label = std::to_string(gone.port) + "/" + gone.letter;
        if (event.reason == ax25::EndReason::Failed)
            m_host.reportTnc(label + ": link to " + gone.call + " failed: " + event.text);
        if (!m_quiet) m_host.StatusEvent(status(gone, "*** DISCONNECTED"));
        return;
    }
    }
}

void CKISS::received(Stream& stream, const std::string& data) {
    // Whole lines, each with its CR as the user sent it, go to the core one event each (a
    // message body keeps its line ends); a line that never ends is handed on.
    stream.partial += data;
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t cr = stream.partial.find('\r'); cr != std::string::npos;
         cr = stream.partial.find('\r', from)) {
        lines.push_back(stream.partial.substr(from, cr + 1 - from));
        from = cr + 1;
    }
    stream.partial.erase(0, from);
    if (stream.partial.size() > kMaxLine) {
        lines.push_back(std::move(stream.partial));
        stream.partial.clear();
    }
    const ax25::LinkId id = stream.id;
    const std::string head = "D" + std::to_string(stream.port) + std::string(1, stream.letter);
    for (std::string& line : lines) {
        line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
        // Handling one line may end the link; the rest then has no reader.
        if (findId(id) == nullptr) return;
        m_host.DataEvent(head + line);
    }
}

void CKISS::SerialIn(const std::string& sNewSerialData) {
    m_decoder.feed(sNewSerialData);
    raiseEvents();
}

void CKISS::SendData(const std::string& sData, const std::string& sStream, int nPort) {
    if (!m_running || sStream.size() != 1) return;
    Stream* stream = findStream(nPort, static_cast<char>(std::toupper(sStream[0])));
    if (stream == nullptr) return;
    // Queued: the next poll sends it, in frames as full as the core's text allows.
    if (!m_station->send(stream->id, sData)) {
        // Refused for a link that is going anyway, or because the user takes nothing: such a
        // link is taken down rather than held without bound.
        const auto link = m_station->info(stream->id);
        if (link && !stream->overflowed && link->pendingBytes + sData.size() > kMaxQueued) {
            stream->overflowed = true;
            m_host.reportTnc(std::to_string(stream->port) + "/" + stream->letter + ": " +
                             stream->call + " takes nothing of the " +
                             std::to_string(link->pendingBytes) +
                             " bytes waiting; link taken down.");
            m_station->disconnect(stream->id);
        }
    }
    raiseEvents();
}

bool CKISS::SendDisconnect(const std::string& sStream, int nPort) {
    if (!m_running || sStream.size() != 1) return false;
    Stream* stream = findStream(nPort, static_cast<char>(std::toupper(sStream[0])));
    if (stream == nullptr) return false;
    m_station->disconnect(stream->id);
    raiseEvents();
    return true;
}

void CKISS::ClearFrame() {
    m_decoder.clear();
    for (Stream& stream : m_streams)
        stream.partial.clear();
}

bool CKISS::Restore() {
    if (m_running) {
        // Every link down: drained, then DISC until acknowledged or given up after N2 tries.
        // The core has already said goodbye to its users.
        m_quiet = true;
        m_station->disconnectAll();
        raiseEvents();
        const auto bound = std::min<std::chrono::milliseconds>(
            m_config.t1 * (m_config.retries + 2) * 2, std::chrono::minutes(3));
        waitFor(bound, [this] {
            const std::string in = receive();
            if (!in.empty()) SerialIn(in);
            return m_station->allDown();
        });
        m_running = false;
        if (m_config.exitKiss && m_line.PortOpen()) send(kissExitFrame());
    }
    if (m_socket->state() == AgwConnection::State::Connected) {
        // What is queued (the last acknowledgement, the identification) goes out first.
        waitFor(1s, [this] {
            m_socket->service();
            return m_socket->state() != AgwConnection::State::Connected || m_socket->queued() == 0;
        });
    }
    m_socket->close();
    m_up = false;
    m_streams.clear();
    m_station.reset();
    return true;
}

std::optional<ax25::LinkInfo> CKISS::linkInfo(int nPort, char letter) const {
    for (const Stream& stream : m_streams)
        if (stream.port == nPort && stream.letter == letter && m_station)
            return m_station->info(stream.id);
    return std::nullopt;
}

ax25::PortCounters CKISS::counters(int nPort) const {
    return m_station ? m_station->counters(nPort - 1) : ax25::PortCounters{};
}

std::size_t CKISS::streams() const {
    return m_streams.size();
}

std::string CKISS::status(const Stream& stream, const std::string& text) const {
    return "S" + std::to_string(stream.port) + std::string(1, stream.letter) + text;
}

CKISS::Stream* CKISS::findStream(int port, char letter) {
    for (Stream& stream : m_streams)
        if (stream.port == port && stream.letter == letter) return &stream;
    return nullptr;
}

CKISS::Stream* CKISS::findId(ax25::LinkId id) {
    for (Stream& stream : m_streams)
        if (stream.id == id) return &stream;
    return nullptr;
}

} // namespace gw
