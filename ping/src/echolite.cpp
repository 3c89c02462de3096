// Echolite: one echo request at a time, its wait on the host's events, and the answer.
//
// Request on the wire (ICMP, after the IP header): type, code, checksum (RFC 1071, high byte
// first), the 4-byte request identifier, then PacketSize - 8 bytes of "*". On a raw socket the
// reply carries the identifier back unchanged. On the unprivileged datagram socket the kernel
// owns the first two bytes after the checksum, so there the last two identifier bytes and the
// filler are compared instead.
#include "ping/echolite.h"

#include "ping/checksum.h"
#include "ping/winsock.h"
#include "ping/winsock_errors.h"
#include "ping/winsock_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ping {

namespace {
constexpr size_t kMaxResponseSource = 19;
constexpr size_t kMaxHostText = 100;
constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kDestinationUnreachable = 3;
} // namespace

Echolite::Echolite(Clock& clock, EventPump& pump, ErrorHandler onError)
    : m_clock(clock), m_pump(pump), m_onError(std::move(onError)),
      m_window(std::make_unique<SocketWindow>(
          [this](uint32_t message, int s, uint32_t event) { onSocketMessage(message, s, event); })),
      m_windowGuard(m_window.get()) {
    loadWinsock();
}

Echolite::~Echolite() {
    if (api().WSAIsBlocking()) api().WSACancelBlockingCall();
    closeRequestSocket();
    unloadWinsock();
}

const WinsockApi& Echolite::api() const {
    return WinsockState::instance().api();
}

bool Echolite::loadWinsock() {
    if (!m_holdsWinsock) m_holdsWinsock = !WinsockState::instance().load().has_value();
    return m_holdsWinsock;
}

void Echolite::unloadWinsock() {
    if (!m_holdsWinsock) return;
    // The request's socket belongs to the library about to go: end the request and close
    // the socket while the real entry points are still in the table.
    cancelRequest();
    m_holdsWinsock = false;
    WinsockState::instance().unload();
}

std::string Echolite::dotted(uint32_t address) {
    const auto* b = reinterpret_cast<const uint8_t*>(&address);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

std::string Echolite::unreachableText(int code) {
    static const char* const texts[] = {
        "Network unreachable.",
        "Host unreachable.",
        "Protocol unreachable.",
        "Port unreachable.",
        "Fragmentation needed and DF is set.",
        "Source route failed.",
        "Destination network down.",
        "Destination host unknown.",
        "Source host isolated.",
        "Communication with destination network administratively prohibited.",
        "Communication with destination host administratively prohibited.",
        "Network unreachable for this type of service.",
        "Host unreachable for this type of service.",
    };
    if (code >= 0 && code <= 12) return texts[code];
    char text[64];
    std::snprintf(text, sizeof text, "Destination unreachable: %d.", code);
    return text;
}

int Echolite::ping(const std::string& host) {
    const uint64_t generation = ++m_generation;
    int result = request(host, generation);
    closeRequestSocket();
    if (generation != m_generation) {
        // A nested request replaced this one while it waited: its outcome is the answer.
        return m_lastResult;
    }
    m_lastResult = result;
    return result;
}

int Echolite::request(const std::string& host, uint64_t generation) {
    m_message.reset();
    // Closing first drains what the previous request still had queued, so none of its
    // answers can fill in this request's source.
    closeRequestSocket();
    m_responseSource.clear();
    if (host.empty()) return 0;

    uint32_t address = 0;
    if (const int rc = resolve(host, &address)) return rc;
    m_target = address;
    if (const int rc = openSocket()) return rc;

    const uint32_t now = m_clock.tickCount();
    m_deadline.reset();
    if (m_timeoutMs != 0) m_deadline = now + static_cast<uint32_t>(m_timeoutMs);
    m_responseCode = -1;
    // Unique per request even without a deadline; the high half changes with every request
    // because it is what survives on the datagram socket.
    m_identifier = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)) +
                   m_deadline.value_or(0) + (++m_requestCount << 16);
    m_startTick = now;

    if (const int rc = send()) return rc;

    m_cancelled = false;
    while (m_socket >= 0) {
        if (!waitStep(std::chrono::milliseconds(10))) {
            if (generation != m_generation) return m_lastResult;
            m_responseTime = 0;
            return kStopped;
        }
    }
    if (generation != m_generation) return m_lastResult;
    if (m_cancelled) {
        m_responseTime = 0;
        return kStopped;
    }
    if (m_responseCode == -1) return 0;
    m_message = unreachableText(m_responseCode);
    return kUnreachable;
}

int Echolite::resolve(const std::string& host, uint32_t* address) {
    const WinsockApi& ws = api();
    if (ws.WSAIsBlocking()) ws.WSACancelBlockingCall();
    if (host == "255.255.255.255") {
        *address = 0xFFFFFFFF;
        return 0;
    }
    *address = ws.inet_addr(host.c_str());
    if (*address != winsock::kInaddrNone) return 0;
    *address = 0;
    const HostEntry* entry = ws.gethostbyname(host.c_str());
    if (entry && !entry->addresses.empty()) {
        *address = entry->addresses.front();
        return 0;
    }
    const int error = entry ? winsock::kNoData : ws.WSAGetLastError();
    return error == winsock::kNotInitialised ? 0 : error;
}

int Echolite::openSocket() {
    const WinsockApi& ws = api();
    int s = ws.socket(winsock::kAfInet, winsock::kSockRaw, winsock::kIpProtoIcmp);
    m_datagram = false;
    if (s < 0) {
        const int rawError = ws.WSAGetLastError();
        // Without the privilege for raw sockets, the kernel's ICMP datagram socket does the
        // same echo; only when both are refused is the request refused.
        if (rawError == winsock::kAccessDenied)
            s = ws.socket(winsock::kAfInet, winsock::kSockDgram, winsock::kIpProtoIcmp);
        if (s < 0) return rawError;
        m_datagram = true;
    }
    const auto option = [&](int level, int name, int value) {
        ws.setsockopt(s, level, name, &value, sizeof value);
    };
    option(winsock::kSolSocket, winsock::kSoRcvBuf, m_receiveBufferSize);
    option(winsock::kSolSocket, winsock::kSoSndBuf, m_sendBufferSize);
    option(winsock::kSolSocket, winsock::kSoDontRoute, m_doNotRoute ? 1 : 0);
    if (m_timeToLive != 0) option(winsock::kIpProtoIp, winsock::kIpTtl, int(m_timeToLive));
    if (m_ipTypeOfService != 0)
        option(winsock::kIpProtoIp, winsock::kIpTos, int(m_ipTypeOfService));
    option(winsock::kSolSocket, winsock::kSoBroadcast, 1);
    if (ws.WSAAsyncSelect(s, m_window.get(), kSocketMessage, winsock::kFdRead | winsock::kFdWrite) <
        0) {
        const int error = ws.WSAGetLastError();
        ws.closesocket(s);
        return error;
    }
    m_socket = s;
    m_closeRequested = false;
    return 0;
}

int Echolite::send() {
    const size_t payload = size_t(m_packetSize) - 4;
    if (payload > kPacketBufferSize - 4) {
        m_message = "Message can't be longer than MaxMessageSize.";
        return kMessageTooLong;
    }
    m_packet[0] = m_icmpType;
    m_packet[1] = m_icmpCode;
    m_packet[2] = m_packet[3] = 0;
    std::fill_n(m_packet.begin() + 4, payload, uint8_t('*'));
    std::memcpy(m_packet.data() + 4, &m_identifier, sizeof m_identifier);
    const size_t length = 4 + payload;
    const uint16_t sum = internetChecksum(m_packet.data(), length);
    m_packet[2] = static_cast<uint8_t>(sum >> 8);
    m_packet[3] = static_cast<uint8_t>(sum & 0xFF);
    m_payloadLength = payload;
    const WinsockApi& ws = api();
    if (ws.sendto(m_socket, m_packet.data(), int(length), 0, m_target, 0) < 0)
        return ws.WSAGetLastError();
    return 0;
}

bool Echolite::waitStep(std::chrono::milliseconds limit) {
    if (!m_windowGuard || m_windowGuard->closed()) return false;
    if (!m_pump.step(limit)) return false;
    if (!m_windowGuard || m_windowGuard->closed()) return false;
    if (m_deadline && tickPassed(m_clock.tickCount(), *m_deadline)) {
        m_message = "Timeout.";
        return false;
    }
    return true;
}

void Echolite::doEvents() {
    m_pump.dispatchPending(std::chrono::milliseconds(20));
}

void Echolite::onSocketMessage(uint32_t message, int s, uint32_t event) {
    if (message != kSocketMessage || s != m_socket || s < 0) return;
    if ((event & 0xFFFF) == winsock::kFdRead) receive();
}

void Echolite::closeRequestSocket() {
    if (m_socket < 0) return;
    if (m_receiving) {
        m_closeRequested = true;
        return;
    }
    receive();
    if (m_socket >= 0) closeNow();
}

void Echolite::cancelRequest() {
    if (m_socket < 0) return;
    m_cancelled = true;
    m_message.reset();
    closeRequestSocket();
}

void Echolite::closeNow() {
    const int s = m_socket;
    m_socket = -1;
    m_closeRequested = false;
    api().closesocket(s);
    m_pump.wake();
}

void Echolite::receive() {
    if (m_receiving || m_socket < 0) return;
    m_receiving = true;
    std::optional<std::pair<int16_t, std::string>> failure;
    const WinsockApi& ws = api();
    while (m_socket >= 0 && !m_closeRequested && !failure) {
        uint32_t from = 0;
        const int n = ws.recvfrom(m_socket, m_packet.data(), int(m_packet.size()), 0, &from);
        // An empty datagram is no sign of a closed peer on an ICMP socket: it is a runt.
        if (n < 0) {
            const int error = ws.WSAGetLastError();
            if (error != winsock::kWouldBlock && error != winsock::kNotSocket)
                failure.emplace(int16_t(error), "Winsock error in recv()");
            break;
        }
        handleDatagram(m_packet.data(), size_t(n), from, &failure);
    }
    m_receiving = false;
    if (m_closeRequested && m_socket >= 0) closeNow();
    // The event runs last, outside the guard: its handler may call back into the control.
    if (failure) m_onError(failure->first, failure->second);
}

void Echolite::handleDatagram(const uint8_t* data, size_t length, uint32_t from,
                              std::optional<std::pair<int16_t, std::string>>* failure) {
    // A raw socket hands over the IP header too; skip it by its own length field.
    if (!m_datagram && length > 19 && (data[0] >> 4) == 4 && (data[0] & 0x0F) >= 5) {
        const size_t header = size_t(data[0] & 0x0F) * 4;
        data += std::min(header, length);
        length -= std::min(header, length);
    }
    if (length < 4) {
        failure->emplace(int16_t(kMessageTooShort), "Message too short.");
        return;
    }
    match(data[0], data[1], data + 4, length - 4, from);
}

bool Echolite::carriesRequest(const uint8_t* id, size_t available) const {
    if (available < 4) return false;
    uint8_t expected[4];
    std::memcpy(expected, &m_identifier, 4);
    if (!m_datagram) return std::memcmp(id, expected, 4) == 0;
    if (std::memcmp(id + 2, expected + 2, 2) != 0) return false;
    const size_t filler = m_payloadLength - 4;
    return available == m_payloadLength &&
           std::all_of(id + 4, id + 4 + filler, [](uint8_t b) { return b == '*'; });
}

void Echolite::match(uint8_t type, uint8_t code, const uint8_t* data, size_t length,
                     uint32_t from) {
    if (type == kEchoReply) {
        if (carriesRequest(data, length)) answered(from);
        return;
    }
    if (type == kDestinationUnreachable && length >= 32) {
        // 4 unused bytes, the request's IP header (its own length), its ICMP header.
        const size_t inner = 4 + std::max<size_t>(20, size_t(data[4] & 0x0F) * 4) + 4;
        if (length >= inner + 4 && std::memcmp(data + inner, &m_identifier, 4) == 0) {
            m_responseCode = code;
            answered(from);
        }
    }
}

void Echolite::answered(uint32_t from) {
    m_responseSource = dotted(from).substr(0, kMaxResponseSource);
    m_responseTime = static_cast<int32_t>(m_clock.tickCount() - m_startTick);
    closeRequestSocket();
}

std::string Echolite::localHost() const {
    if (m_localAddress != 0) return dotted(m_localAddress).substr(0, kMaxHostText);
    char name[kMaxHostText + 1] = {};
    if (api().gethostname(name, int(sizeof name)) == 0)
        return std::string(name).substr(0, kMaxHostText);
    return winsockErrorText(api().WSAGetLastError());
}

int Echolite::setLocalHost(const std::string& host) {
    if (m_socket >= 0) return kLocalHostBusy;
    if (host.empty()) {
        m_localAddress = 0;
        return 0;
    }
    const WinsockApi& ws = api();
    if (ws.WSAIsBlocking()) ws.WSACancelBlockingCall();
    uint32_t address = ws.inet_addr(host.c_str());
    if (address == winsock::kInaddrNone) {
        const HostEntry* entry = ws.gethostbyname(host.c_str());
        if (!entry || entry->addresses.empty()) {
            const int error = entry ? winsock::kNoData : ws.WSAGetLastError();
            m_localAddress = 0;
            return error == winsock::kNotInitialised ? 0 : error;
        }
        address = entry->addresses.front();
    }
    m_localAddress = address;
    return 0;
}

uint32_t Echolite::timeToLive() const {
    if (m_socket < 0) return m_timeToLive;
    int value = 0;
    int length = sizeof value;
    if (api().getsockopt(m_socket, winsock::kIpProtoIp, winsock::kIpTtl, &value, &length) < 0)
        return 0;
    return uint32_t(value);
}

int Echolite::setTimeToLive(int32_t value) {
    m_timeToLive = uint32_t(value) & 0xFFFF;
    if (m_socket >= 0 && m_timeToLive != 0) {
        int v = int(m_timeToLive);
        if (api().setsockopt(m_socket, winsock::kIpProtoIp, winsock::kIpTtl, &v, sizeof v) < 0)
            return api().WSAGetLastError();
    }
    return 0;
}

uint32_t Echolite::ipTypeOfService() const {
    if (m_socket < 0) return m_ipTypeOfService;
    int value = 0;
    int length = sizeof value;
    if (api().getsockopt(m_socket, winsock::kIpProtoIp, winsock::kIpTos, &value, &length) < 0)
        return 0;
    return uint32_t(value);
}

int Echolite::setIpTypeOfService(int32_t value) {
    const uint32_t tos = uint32_t(value) & 0xFFFF;
    if (tos == 0 && m_ipTypeOfService == 0) return 0;
    if (m_socket >= 0) {
        int v = int(tos);
        if (api().setsockopt(m_socket, winsock::kIpProtoIp, winsock::kIpTos, &v, sizeof v) < 0)
            return api().WSAGetLastError();
    }
    m_ipTypeOfService = tos;
    return 0;
}

} // namespace ping
