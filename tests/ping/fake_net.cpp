// Test doubles for the ping library.
#include "fake_net.h"

#include "ping/socket_window.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>

namespace pingtest {

using namespace ping;

bool FakePump::step(std::chrono::milliseconds limit) {
    ++steps;
    // A copy: the script may replace itself while it runs.
    const auto run = script;
    const bool go = run ? run(steps) : true;
    m_clock.now += static_cast<uint32_t>(limit.count());
    return go;
}

int FakeNet::optionValue(int socket, int level, int name) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it)
        if (it->socket == socket && it->level == level && it->name == name) return it->value;
    return -1;
}

bool FakeNet::isOpen(int socket) const {
    const bool opened = std::any_of(socketsOpened.begin(), socketsOpened.end(),
                                    [socket](auto& s) { return s.first == socket; });
    return opened &&
           std::find(socketsClosed.begin(), socketsClosed.end(), socket) == socketsClosed.end();
}

void FakeNet::deliver(int socket, std::vector<uint8_t> datagram, uint32_t from) {
    inbound[socket].emplace_back(std::move(datagram), from);
    notify(socket);
}

void FakeNet::notify(int socket) {
    if (auto it = windows.find(socket); it != windows.end() && isOpen(socket))
        it->second->deliver(0x467, socket, winsock::kFdRead);
}

bool FakeSocketLibrary::resolve(int ordinal, WinsockApi& t) {
    auto net = m_net;
    auto fail = [net](int code) {
        net->lastError = code;
        return -1;
    };
    switch (ordinal) {
    case ordinal::socket:
        t.socket = [net, fail](int, int type, int) {
            if ((type == winsock::kSockRaw && net->rawRefused) ||
                (type == winsock::kSockDgram && net->datagramRefused))
                return fail(winsock::kAccessDenied);
            const int s = net->nextSocket++;
            net->socketsOpened.emplace_back(s, type);
            return s;
        };
        return true;
    case ordinal::closesocket:
        t.closesocket = [net](int s) {
            net->socketsClosed.push_back(s);
            return 0;
        };
        return true;
    case ordinal::setsockopt:
        t.setsockopt = [net](int s, int level, int name, const void* value, int) {
            int v = 0;
            std::memcpy(&v, value, sizeof v);
            net->options.push_back({s, level, name, v});
            return 0;
        };
        return true;
    case ordinal::getsockopt:
        t.getsockopt = [net, fail](int s, int level, int name, void* value, int*) {
            const int v = net->optionValue(s, level, name);
            if (v < 0) return fail(10042);
            std::memcpy(value, &v, sizeof v);
            return 0;
        };
        return true;
    case ordinal::sendto:
        t.sendto = [net](int s, const void* data, int length, int, uint32_t address, uint16_t) {
            const auto* bytes = static_cast<const uint8_t*>(data);
            net->sent.push_back({s, std::vector<uint8_t>(bytes, bytes + length), address});
            if (net->onSend) net->onSend(net->sent.back());
            return length;
        };
        return true;
    case ordinal::recvfrom:
        t.recvfrom = [net, fail](int s, void* data, int length, int, uint32_t* from) {
            if (const int e = std::exchange(net->failNextRecv, 0)) return fail(e);
            auto& queue = net->inbound[s];
            if (queue.empty()) return fail(winsock::kWouldBlock);
            auto [bytes, sender] = queue.front();
            queue.pop_front();
            const int n = std::min<int>(length, int(bytes.size()));
            if (n > 0) std::memcpy(data, bytes.data(), size_t(n));
            *from = sender;
            return n;
        };
        return true;
    case ordinal::inet_addr:
        t.inet_addr = [](const char* text) { return ::inet_addr(text); };
        return true;
    case ordinal::gethostbyname:
        t.gethostbyname = [net](const char* name) -> const HostEntry* {
            static HostEntry entry;
            net->lookups.push_back(name);
            auto it = net->hosts.find(name);
            if (it == net->hosts.end()) {
                net->lastError = winsock::kHostNotFound;
                return nullptr;
            }
            entry = HostEntry{name, it->second};
            return &entry;
        };
        return true;
    case ordinal::gethostname:
        t.gethostname = [](char* name, int length) {
            std::strncpy(name, "fakehost", size_t(length));
            return 0;
        };
        return true;
    case ordinal::WSAAsyncSelect:
        t.WSAAsyncSelect = [net](int s, SocketWindow* window, uint32_t, uint32_t) {
            net->windows[s] = window;
            return 0;
        };
        return true;
    case ordinal::WSAGetLastError:
        t.WSAGetLastError = [net] { return net->lastError; };
        return true;
    case ordinal::WSAStartup:
        t.WSAStartup = [net](uint16_t, WsaData* data) {
            if (net->startupResult) return net->startupResult;
            data->version = net->startupVersion;
            data->description = "Fake sockets 1.1";
            data->systemStatus = "Running";
            data->maxSockets = 100;
            data->maxUdpDatagram = 512;
            return 0;
        };
        return true;
    case ordinal::WSACleanup:
        t.WSACleanup = [net] {
            ++net->cleanups;
            return 0;
        };
        return true;
    default:
        return false; // keeps its stub: the engine must cope
    }
}

uint32_t address(const char* dotted) {
    return ::inet_addr(dotted);
}

uint16_t referenceChecksum(const std::vector<uint8_t>& bytes) {
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        sum += (i % 2 == 0) ? bytes[i] * 256u : bytes[i];
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

std::vector<uint8_t> withIpHeader(const std::vector<uint8_t>& icmp, uint32_t from, uint32_t to) {
    std::vector<uint8_t> packet(20, 0);
    packet[0] = 0x45;
    const uint16_t total = uint16_t(20 + icmp.size());
    packet[2] = uint8_t(total >> 8);
    packet[3] = uint8_t(total);
    packet[8] = 64;
    packet[9] = 1;
    std::memcpy(&packet[12], &from, 4);
    std::memcpy(&packet[16], &to, 4);
    packet.insert(packet.end(), icmp.begin(), icmp.end());
    return packet;
}

std::vector<uint8_t> echoReplyTo(const std::vector<uint8_t>& request) {
    std::vector<uint8_t> reply = request;
    reply[0] = 0;
    reply[2] = reply[3] = 0;
    const uint16_t sum = referenceChecksum(reply);
    reply[2] = uint8_t(sum >> 8);
    reply[3] = uint8_t(sum);
    return reply;
}

std::vector<uint8_t> unreachableFor(const std::vector<uint8_t>& request, uint8_t code,
                                    uint32_t requestTarget) {
    std::vector<uint8_t> quoted =
        withIpHeader(std::vector<uint8_t>(request.begin(), request.begin() + 8),
                     address("127.0.0.1"), requestTarget);
    std::vector<uint8_t> message = {3, code, 0, 0, 0, 0, 0, 0};
    message.insert(message.end(), quoted.begin(), quoted.end());
    const uint16_t sum = referenceChecksum(message);
    message[2] = uint8_t(sum >> 8);
    message[3] = uint8_t(sum);
    return message;
}

} // namespace pingtest
