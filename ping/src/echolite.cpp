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
    : clock_(clock), pump_(pump), onError_(std::move(onError)),
      window_(std::make_unique<SocketWindow>(
          [this](uint32_t message, int s, uint32_t event) { onSocketMessage(message, s, event); })),
      windowGuard_(window_.get()) {
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
    if (!holdsWinsock_) holdsWinsock_ = !WinsockState::instance().load().has_value();
    return holdsWinsock_;
}

void Echolite::unloadWinsock() {
    if (!holdsWinsock_) return;
    // The request's socket belongs to the library about to go: end the request and close
    // the socket while the real entry points are still in the table.
    cancelRequest();
    holdsWinsock_ = false;
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
    const uint64_t generation = ++generation_;
    int result = request(host, generation);
    closeRequestSocket();
    if (generation != generation_) {
        // A nested request replaced this one while it waited: its outcome is the answer.
        return lastResult_;
    }
    lastResult_ = result;
    return result;
}

int Echolite::request(const std::string& host, uint64_t generation) {
    message_.reset();
    // Closing first drains what the previous request still had queued, so none of its
    // answers can fill in this request's source.
    closeRequestSocket();
    responseSource_.clear();
    if (host.empty()) return 0;

    uint32_t address = 0;
    if (const int rc = resolve(host, &address)) return rc;
    target_ = address;
    if (const int rc = openSocket()) return rc;

    const uint32_t now = clock_.tickCount();
    deadline_.reset();
    if (timeoutMs_ != 0) deadline_ = now + static_cast<uint32_t>(timeoutMs_);
    responseCode_ = -1;
    // Unique per request even without a deadline; the high half changes with every request
    // because it is what survives on the datagram socket.
    identifier_ = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)) + deadline_.value_or(0) +
                  (++requestCount_ << 16);
    startTick_ = now;

    if (const int rc = send()) return rc;

    cancelled_ = false;
    while (socket_ >= 0) {
        if (!waitStep(std::chrono::milliseconds(10))) {
            if (generation != generation_) return lastResult_;
            responseTime_ = 0;
            return kStopped;
        }
    }
    if (generation != generation_) return lastResult_;
    if (cancelled_) {
        responseTime_ = 0;
        return kStopped;
    }
    if (responseCode_ == -1) return 0;
    message_ = unreachableText(responseCode_);
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
    datagram_ = false;
    if (s < 0) {
        const int rawError = ws.WSAGetLastError();
        // Without the privilege for raw sockets, the kernel's ICMP datagram socket does the
        // same echo; only when both are refused is the request refused.
        if (rawError == winsock::kAccessDenied)
            s = ws.socket(winsock::kAfInet, winsock::kSockDgram, winsock::kIpProtoIcmp);
        if (s < 0) return rawError;
        datagram_ = true;
    }
    const auto option = [&](int level, int name, int value) {
        ws.setsockopt(s, level, name, &value, sizeof value);
    };
    option(winsock::kSolSocket, winsock::kSoRcvBuf, receiveBufferSize_);
    option(winsock::kSolSocket, winsock::kSoSndBuf, sendBufferSize_);
    option(winsock::kSolSocket, winsock::kSoDontRoute, doNotRoute_ ? 1 : 0);
    if (timeToLive_ != 0) option(winsock::kIpProtoIp, winsock::kIpTtl, int(timeToLive_));
    if (ipTypeOfService_ != 0) option(winsock::kIpProtoIp, winsock::kIpTos, int(ipTypeOfService_));
    option(winsock::kSolSocket, winsock::kSoBroadcast, 1);
    if (ws.WSAAsyncSelect(s, window_.get(), kSocketMessage, winsock::kFdRead | winsock::kFdWrite) <
        0) {
        const int error = ws.WSAGetLastError();
        ws.closesocket(s);
        return error;
    }
    socket_ = s;
    closeRequested_ = false;
    return 0;
}

int Echolite::send() {
    const size_t payload = size_t(packetSize_) - 4;
    if (payload > kPacketBufferSize - 4) {
        message_ = "Message can't be longer than MaxMessageSize.";
        return kMessageTooLong;
    }
    packet_[0] = icmpType_;
    packet_[1] = icmpCode_;
    packet_[2] = packet_[3] = 0;
    std::fill_n(packet_.begin() + 4, payload, uint8_t('*'));
    std::memcpy(packet_.data() + 4, &identifier_, sizeof identifier_);
    const size_t length = 4 + payload;
    const uint16_t sum = internetChecksum(packet_.data(), length);
    packet_[2] = static_cast<uint8_t>(sum >> 8);
    packet_[3] = static_cast<uint8_t>(sum & 0xFF);
    payloadLength_ = payload;
    const WinsockApi& ws = api();
    if (ws.sendto(socket_, packet_.data(), int(length), 0, target_, 0) < 0)
        return ws.WSAGetLastError();
    return 0;
}

bool Echolite::waitStep(std::chrono::milliseconds limit) {
    if (!windowGuard_ || windowGuard_->closed()) return false;
    if (!pump_.step(limit)) return false;
    if (!windowGuard_ || windowGuard_->closed()) return false;
    if (deadline_ && tickPassed(clock_.tickCount(), *deadline_)) {
        message_ = "Timeout.";
        return false;
    }
    return true;
}

void Echolite::doEvents() {
    pump_.dispatchPending(std::chrono::milliseconds(20));
}

void Echolite::onSocketMessage(uint32_t message, int s, uint32_t event) {
    if (message != kSocketMessage || s != socket_ || s < 0) return;
    if ((event & 0xFFFF) == winsock::kFdRead) receive();
}

void Echolite::closeRequestSocket() {
    if (socket_ < 0) return;
    if (receiving_) {
        closeRequested_ = true;
        return;
    }
    receive();
    if (socket_ >= 0) closeNow();
}

void Echolite::cancelRequest() {
    if (socket_ < 0) return;
    cancelled_ = true;
    message_.reset();
    closeRequestSocket();
}

void Echolite::closeNow() {
    const int s = socket_;
    socket_ = -1;
    closeRequested_ = false;
    api().closesocket(s);
    pump_.wake();
}

void Echolite::receive() {
    if (receiving_ || socket_ < 0) return;
    receiving_ = true;
    std::optional<std::pair<int16_t, std::string>> failure;
    const WinsockApi& ws = api();
    while (socket_ >= 0 && !closeRequested_ && !failure) {
        uint32_t from = 0;
        const int n = ws.recvfrom(socket_, packet_.data(), int(packet_.size()), 0, &from);
        // An empty datagram is no sign of a closed peer on an ICMP socket: it is a runt.
        if (n < 0) {
            const int error = ws.WSAGetLastError();
            if (error != winsock::kWouldBlock && error != winsock::kNotSocket)
                failure.emplace(int16_t(error), "Winsock error in recv()");
            break;
        }
        handleDatagram(packet_.data(), size_t(n), from, &failure);
    }
    receiving_ = false;
    if (closeRequested_ && socket_ >= 0) closeNow();
    // The event runs last, outside the guard: its handler may call back into the control.
    if (failure) onError_(failure->first, failure->second);
}

void Echolite::handleDatagram(const uint8_t* data, size_t length, uint32_t from,
                              std::optional<std::pair<int16_t, std::string>>* failure) {
    // A raw socket hands over the IP header too; skip it by its own length field.
    if (!datagram_ && length > 19 && (data[0] >> 4) == 4 && (data[0] & 0x0F) >= 5) {
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
    std::memcpy(expected, &identifier_, 4);
    if (!datagram_) return std::memcmp(id, expected, 4) == 0;
    if (std::memcmp(id + 2, expected + 2, 2) != 0) return false;
    const size_t filler = payloadLength_ - 4;
    return available == payloadLength_ &&
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
        if (length >= inner + 4 && std::memcmp(data + inner, &identifier_, 4) == 0) {
            responseCode_ = code;
            answered(from);
        }
    }
}

void Echolite::answered(uint32_t from) {
    responseSource_ = dotted(from).substr(0, kMaxResponseSource);
    responseTime_ = static_cast<int32_t>(clock_.tickCount() - startTick_);
    closeRequestSocket();
}

std::string Echolite::localHost() const {
    if (localAddress_ != 0) return dotted(localAddress_).substr(0, kMaxHostText);
    char name[kMaxHostText + 1] = {};
    if (api().gethostname(name, int(sizeof name)) == 0)
        return std::string(name).substr(0, kMaxHostText);
    return winsockErrorText(api().WSAGetLastError());
}

int Echolite::setLocalHost(const std::string& host) {
    if (socket_ >= 0) return kLocalHostBusy;
    if (host.empty()) {
        localAddress_ = 0;
        return 0;
    }
    const WinsockApi& ws = api();
    if (ws.WSAIsBlocking()) ws.WSACancelBlockingCall();
    uint32_t address = ws.inet_addr(host.c_str());
    if (address == winsock::kInaddrNone) {
        const HostEntry* entry = ws.gethostbyname(host.c_str());
        if (!entry || entry->addresses.empty()) {
            const int error = entry ? winsock::kNoData : ws.WSAGetLastError();
            localAddress_ = 0;
            return error == winsock::kNotInitialised ? 0 : error;
        }
        address = entry->addresses.front();
    }
    localAddress_ = address;
    return 0;
}

uint32_t Echolite::timeToLive() const {
    if (socket_ < 0) return timeToLive_;
    int value = 0;
    int length = sizeof value;
    if (api().getsockopt(socket_, winsock::kIpProtoIp, winsock::kIpTtl, &value, &length) < 0)
        return 0;
    return uint32_t(value);
}

int Echolite::setTimeToLive(int32_t value) {
    timeToLive_ = uint32_t(value) & 0xFFFF;
    if (socket_ >= 0 && timeToLive_ != 0) {
        int v = int(timeToLive_);
        if (api().setsockopt(socket_, winsock::kIpProtoIp, winsock::kIpTtl, &v, sizeof v) < 0)
            return api().WSAGetLastError();
    }
    return 0;
}

uint32_t Echolite::ipTypeOfService() const {
    if (socket_ < 0) return ipTypeOfService_;
    int value = 0;
    int length = sizeof value;
    if (api().getsockopt(socket_, winsock::kIpProtoIp, winsock::kIpTos, &value, &length) < 0)
        return 0;
    return uint32_t(value);
}

int Echolite::setIpTypeOfService(int32_t value) {
    const uint32_t tos = uint32_t(value) & 0xFFFF;
    if (tos == 0 && ipTypeOfService_ == 0) return 0;
    if (socket_ >= 0) {
        int v = int(tos);
        if (api().setsockopt(socket_, winsock::kIpProtoIp, winsock::kIpTos, &v, sizeof v) < 0)
            return api().WSAGetLastError();
    }
    ipTypeOfService_ = tos;
    return 0;
}

} // namespace ping
