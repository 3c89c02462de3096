// BSD sockets behind the Winsock entry points.
#include "ping/posix_socket_library.h"

#include "ping/socket_window.h"
#include "ping/winsock_errors.h"

#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <gnu/libc-version.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ping {

namespace {

constexpr int kMinimumReceiveBuffer = 65536;

// Winsock option numbers to the platform's; false when the option has no counterpart.
bool platformOption(int level, int name, int* platformLevel, int* platformName) {
    if (level == winsock::kSolSocket) {
        *platformLevel = SOL_SOCKET;
        switch (name) {
        case winsock::kSoDontRoute:
            *platformName = SO_DONTROUTE;
            return true;
        case winsock::kSoBroadcast:
            *platformName = SO_BROADCAST;
            return true;
        case winsock::kSoSndBuf:
            *platformName = SO_SNDBUF;
            return true;
        case winsock::kSoRcvBuf:
            *platformName = SO_RCVBUF;
            return true;
        default:
            return false;
        }
    }
    if (level == winsock::kIpProtoIp) {
        *platformLevel = IPPROTO_IP;
        switch (name) {
        case winsock::kIpTtl:
            *platformName = IP_TTL;
            return true;
        case winsock::kIpTos:
            *platformName = IP_TOS;
            return true;
        default:
            return false;
        }
    }
    return false;
}

int platformType(int type) {
    switch (type) {
    case winsock::kSockRaw:
        return SOCK_RAW;
    case winsock::kSockDgram:
        return SOCK_DGRAM;
    default:
        return -1;
    }
}

} // namespace

PosixSocketLibrary::PosixSocketLibrary() = default;

PosixSocketLibrary::~PosixSocketLibrary() {
    for (auto& [fd, notifier] : m_notifiers)
        delete notifier;
    for (auto* notifier : m_retired)
        delete notifier;
}

void PosixSocketLibrary::retire(int s) {
    if (auto it = m_notifiers.find(s); it != m_notifiers.end()) {
        it->second->setEnabled(false);
        m_retired.push_back(it->second);
        m_notifiers.erase(it);
    }
}

void PosixSocketLibrary::purgeRetired() {
    if (m_delivering > 0) return;
    for (auto* notifier : m_retired)
        delete notifier;
    m_retired.clear();
}

std::string PosixSocketLibrary::fullPath() const {
    // The library that provides the socket calls: the C library on this platform.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&::socket), &info) && info.dli_fname) {
        char resolved[PATH_MAX];
        if (realpath(info.dli_fname, resolved)) return resolved;
        return info.dli_fname;
    }
    return "WSOCK32.DLL";
}

bool PosixSocketLibrary::resolve(int ordinal, WinsockApi& t) {
    switch (ordinal) {
    case ordinal::socket:
        t.socket = [this](int af, int type, int protocol) { return socket(af, type, protocol); };
        return true;
    case ordinal::closesocket:
        t.closesocket = [this](int s) { return closesocket(s); };
        return true;
    case ordinal::setsockopt:
        t.setsockopt = [this](int s, int l, int n, const void* v, int len) {
            return setsockopt(s, l, n, v, len);
        };
        return true;
    case ordinal::getsockopt:
        t.getsockopt = [this](int s, int l, int n, void* v, int* len) {
            return getsockopt(s, l, n, v, len);
        };
        return true;
    case ordinal::sendto:
        t.sendto = [this](int s, const void* d, int len, int f, uint32_t a, uint16_t p) {
            return sendto(s, d, len, f, a, p);
        };
        return true;
    case ordinal::recvfrom:
        t.recvfrom = [this](int s, void* d, int len, int f, uint32_t* from) {
            return recvfrom(s, d, len, f, from);
        };
        return true;
    case ordinal::inet_addr:
        t.inet_addr = [](const char* text) { return ::inet_addr(text); };
        return true;
    case ordinal::inet_ntoa:
        t.inet_ntoa = [this](uint32_t address) {
            in_addr a{address};
            m_ntoa = ::inet_ntoa(a);
            return m_ntoa.c_str();
        };
        return true;
    case ordinal::gethostbyname:
        t.gethostbyname = [this](const char* name) { return gethostbyname(name); };
        return true;
    case ordinal::gethostname:
        t.gethostname = [this](char* name, int length) { return gethostname(name, length); };
        return true;
    case ordinal::WSAAsyncSelect:
        t.WSAAsyncSelect = [this](int s, SocketWindow* w, uint32_t m, uint32_t e) {
            return asyncSelect(s, w, m, e);
        };
        return true;
    case ordinal::WSAGetLastError:
        t.WSAGetLastError = [this] { return m_lastError; };
        return true;
    // Calls here never block the thread, so there is never a blocking call to cancel.
    case ordinal::WSACancelBlockingCall:
        t.WSACancelBlockingCall = [] { return 0; };
        return true;
    case ordinal::WSAIsBlocking:
        t.WSAIsBlocking = [] { return false; };
        return true;
    case ordinal::WSAStartup:
        t.WSAStartup = [this](uint16_t v, WsaData* d) { return startup(v, d); };
        return true;
    case ordinal::WSACleanup:
        t.WSACleanup = [] { return 0; };
        return true;
    default:
        if (std::find(std::begin(ordinal::all), std::end(ordinal::all), ordinal) ==
            std::end(ordinal::all))
            return false;
        t.others[ordinal] = [this] { return fail(10045); };
        return true;
    }
}

int PosixSocketLibrary::fail(int code) {
    m_lastError = code;
    return -1;
}

int PosixSocketLibrary::failFromErrno() {
    return fail(winsockErrorFromErrno(errno));
}

int PosixSocketLibrary::socket(int af, int type, int protocol) {
    const int platform = platformType(type);
    if (af != winsock::kAfInet) return fail(10047);
    if (platform < 0) return fail(10044);
    const int fd = ::socket(AF_INET, platform | SOCK_CLOEXEC, protocol);
    return fd < 0 ? failFromErrno() : fd;
}

int PosixSocketLibrary::closesocket(int s) {
    retire(s);
    return ::close(s) < 0 ? failFromErrno() : 0;
}

int PosixSocketLibrary::setsockopt(int s, int level, int name, const void* value, int length) {
    int platformLevel = 0, platformName = 0;
    if (!platformOption(level, name, &platformLevel, &platformName)) return fail(10042);
    int scaled = 0;
    if (platformName == SO_RCVBUF && length == sizeof(int)) {
        // This kernel charges every queued datagram's whole buffer against the limit, so a
        // Winsock-sized receive buffer would drop an answer queued behind the raw socket's own
        // copy of the request. Keep room for several full-sized ones.
        std::memcpy(&scaled, value, sizeof scaled);
        scaled = std::max(scaled, kMinimumReceiveBuffer);
        value = &scaled;
    }
    if (::setsockopt(s, platformLevel, platformName, value, static_cast<socklen_t>(length)) < 0)
        return failFromErrno();
    return 0;
}

int PosixSocketLibrary::getsockopt(int s, int level, int name, void* value, int* length) {
    int platformLevel = 0, platformName = 0;
    if (!platformOption(level, name, &platformLevel, &platformName)) return fail(10042);
    socklen_t len = static_cast<socklen_t>(*length);
    if (::getsockopt(s, platformLevel, platformName, value, &len) < 0) return failFromErrno();
    *length = static_cast<int>(len);
    return 0;
}

int PosixSocketLibrary::sendto(int s, const void* data, int length, int flags, uint32_t address,
                               uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    const ssize_t n = ::sendto(s, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return n < 0 ? failFromErrno() : static_cast<int>(n);
}

int PosixSocketLibrary::recvfrom(int s, void* data, int length, int flags, uint32_t* from) {
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const ssize_t n = ::recvfrom(s, data, static_cast<size_t>(length), flags,
                                 reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (n < 0) return failFromErrno();
    if (from) *from = peer.sin_addr.s_addr;
    return static_cast<int>(n);
}

const HostEntry* PosixSocketLibrary::gethostbyname(const char* name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(name, nullptr, &hints, &found);
    if (rc != 0) {
        fail(winsockErrorFromResolver(rc, errno));
        return nullptr;
    }
    m_host = HostEntry{name, {}};
    for (const addrinfo* a = found; a; a = a->ai_next)
        m_host.addresses.push_back(
            reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(found);
    if (m_host.addresses.empty()) {
        fail(winsock::kNoData);
        return nullptr;
    }
    return &m_host;
}

int PosixSocketLibrary::gethostname(char* name, int length) {
    if (length <= 0) return fail(10014);
    if (::gethostname(name, static_cast<size_t>(length)) < 0) return failFromErrno();
    name[length - 1] = '\0';
    return 0;
}

int PosixSocketLibrary::asyncSelect(int s, SocketWindow* window, uint32_t message,
                                    uint32_t events) {
    const int flags = ::fcntl(s, F_GETFL);
    if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return failFromErrno();
    retire(s);
    purgeRetired();
    // Only reading is watched: a sending socket is nearly always writable, and a write
    // notification would fire without end while nothing acts on it.
    if (!(events & winsock::kFdRead) || !window) return 0;
    auto* notifier = new QSocketNotifier(s, QSocketNotifier::Read);
    QPointer<SocketWindow> target(window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [this, target, message, s] {
        if (!target) return;
        ++m_delivering;
        target->deliver(message, s, winsock::kFdRead);
        --m_delivering;
    });
    m_notifiers[s] = notifier;
    return 0;
}

int PosixSocketLibrary::startup(uint16_t version, WsaData* data) {
    if ((version & 0xFF) < 1) return winsock::kVersionNotSupported;
    data->version = winsock::kVersion11;
    data->description = std::string("BSD sockets, GNU C library ") + gnu_get_libc_version();
    data->systemStatus = "Running";
    rlimit files{};
    const rlim_t limit = getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
    data->maxSockets = static_cast<uint16_t>(limit > 0xFFFF ? 0xFFFF : limit);
    data->maxUdpDatagram = 65507; // 65535 less the IPv4 and UDP headers
    return 0;
}

} // namespace ping
