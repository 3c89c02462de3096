// The module-wide Winsock state: loading, unloading and the entry-point table.
#include "ping/winsock_state.h"

#include "ping/posix_socket_library.h"

#include <algorithm>
#include <cctype>

namespace ping {

namespace {
constexpr const char* kDefaultPath = "WSOCK32.DLL";
constexpr size_t kMaxPath = 200;
constexpr size_t kMaxDescription = 256;
constexpr size_t kMaxStatus = 128;

std::string upper(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

WinsockApi WinsockApi::stubs() {
    WinsockApi t;
    t.socket = [](int, int, int) { return -1; };
    t.closesocket = [](int) { return -1; };
    t.setsockopt = [](int, int, int, const void*, int) { return -1; };
    t.getsockopt = [](int, int, int, void*, int*) { return -1; };
    t.sendto = [](int, const void*, int, int, uint32_t, uint16_t) { return -1; };
    t.recvfrom = [](int, void*, int, int, uint32_t*) { return -1; };
    t.inet_addr = [](const char*) { return winsock::kInaddrNone; };
    t.inet_ntoa = [](uint32_t) -> const char* { return nullptr; };
    t.gethostbyname = [](const char*) -> const HostEntry* { return nullptr; };
    t.gethostname = [](char*, int) { return -1; };
    t.WSAAsyncSelect = [](int, SocketWindow*, uint32_t, uint32_t) { return -1; };
    t.WSAGetLastError = [] { return winsock::kNotInitialised; };
    t.WSACancelBlockingCall = [] { return -1; };
    t.WSAIsBlocking = [] { return false; };
    t.WSAStartup = [](uint16_t, WsaData*) { return winsock::kSystemNotReady; };
    t.WSACleanup = [] { return -1; };
    for (int number : ordinal::all)
        if (!ordinal::onEchoPath(number)) t.others[number] = [] { return -1; };
    return t;
}

bool ordinal::onEchoPath(int number) {
    return std::find(std::begin(echoPath), std::end(echoPath), number) != std::end(echoPath);
}

bool WinsockApi::has(int number) const {
    switch (number) {
    case ordinal::socket:
        return bool(socket);
    case ordinal::closesocket:
        return bool(closesocket);
    case ordinal::setsockopt:
        return bool(setsockopt);
    case ordinal::getsockopt:
        return bool(getsockopt);
    case ordinal::sendto:
        return bool(sendto);
    case ordinal::recvfrom:
        return bool(recvfrom);
    case ordinal::inet_addr:
        return bool(inet_addr);
    case ordinal::inet_ntoa:
        return bool(inet_ntoa);
    case ordinal::gethostbyname:
        return bool(gethostbyname);
    case ordinal::gethostname:
        return bool(gethostname);
    case ordinal::WSAAsyncSelect:
        return bool(WSAAsyncSelect);
    case ordinal::WSAGetLastError:
        return bool(WSAGetLastError);
    case ordinal::WSACancelBlockingCall:
        return bool(WSACancelBlockingCall);
    case ordinal::WSAIsBlocking:
        return bool(WSAIsBlocking);
    case ordinal::WSAStartup:
        return bool(WSAStartup);
    case ordinal::WSACleanup:
        return bool(WSACleanup);
    default: {
        const auto entry = others.find(number);
        return entry != others.end() && entry->second;
    }
    }
}

WinsockState& WinsockState::instance() {
    static WinsockState state;
    return state;
}

WinsockState::WinsockState() {
    registerLibrary(kDefaultPath, [] { return std::make_unique<PosixSocketLibrary>(); });
    reset();
}

void WinsockState::reset() {
    m_api = WinsockApi::stubs();
    m_data = WsaData{};
    m_data.systemStatus = "Down";
    m_count = 0;
    m_startedUp = false;
    m_library = nullptr;
    m_path = kDefaultPath;
}

void WinsockState::registerLibrary(const std::string& name, LibraryFactory factory) {
    m_factories[upper(name)] = std::move(factory);
    m_opened.erase(upper(name));
}

std::string WinsockState::path() {
    if (m_library) m_path = m_library->fullPath().substr(0, kMaxPath);
    return m_path;
}

void WinsockState::setPath(const std::string& path) {
    m_path = path.empty() ? kDefaultPath : path.substr(0, kMaxPath);
}

SocketLibrary* WinsockState::open(const std::string& path) {
    // A library answers to its registered name and, once opened, to its full path.
    const std::string key = upper(path);
    for (auto& [name, library] : m_opened)
        if (name == key || upper(library->fullPath()) == key) return library.get();
    const auto factory = m_factories.find(key);
    if (factory == m_factories.end()) return nullptr;
    auto library = factory->second();
    if (!library) return nullptr;
    return (m_opened[key] = std::move(library)).get();
}

std::optional<std::string> WinsockState::load() {
    SocketLibrary* library = open(m_path);
    if (!library) {
        m_data.description = "Could not load Winsock DLL.";
        return m_data.description;
    }
    if (m_count++ == 0) {
        m_library = library;
        m_api = WinsockApi::stubs();
        for (int ordinal : ordinal::all)
            library->resolve(ordinal, m_api);
    }
    WsaData reported;
    const int rc = m_api.WSAStartup(winsock::kVersion11, &reported);
    std::string failure;
    if (rc == winsock::kInvalid || rc == winsock::kVersionNotSupported) {
        failure = "Version not supported.";
    } else if (rc == winsock::kSystemNotReady) {
        failure = "Network subsystem not ready.";
    } else if (rc != 0 || reported.version != winsock::kVersion11) {
        if (rc == 0) m_startedUp = true;
        failure = "Incompatible Winsock version.";
    }
    if (!failure.empty()) {
        // Every failure gives back its share of the count, so the library can unload.
        unload();
        m_data.description = failure;
        return failure;
    }
    m_startedUp = true;
    m_data.version = reported.version;
    m_data.description = reported.description.substr(0, kMaxDescription);
    m_data.systemStatus = reported.systemStatus.substr(0, kMaxStatus);
    m_data.maxSockets = reported.maxSockets;
    m_data.maxUdpDatagram = reported.maxUdpDatagram;
    return std::nullopt;
}

void WinsockState::unload() {
    if (m_count == 0 || !m_library) return;
    --m_count;
    if (m_api.WSAIsBlocking()) m_api.WSACancelBlockingCall();
    if (m_startedUp) m_api.WSACleanup();
    // The start-up data describes the stack as long as any control still holds it.
    if (m_count > 0) return;
    m_startedUp = false;
    m_data = WsaData{};
    m_data.systemStatus = "Down";
    m_api = WinsockApi::stubs();
    m_library = nullptr;
}

} // namespace ping
