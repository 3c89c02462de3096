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
    api_ = WinsockApi::stubs();
    data_ = WsaData{};
    data_.systemStatus = "Down";
    count_ = 0;
    startedUp_ = false;
    library_ = nullptr;
    path_ = kDefaultPath;
}

void WinsockState::registerLibrary(const std::string& name, LibraryFactory factory) {
    factories_[upper(name)] = std::move(factory);
    opened_.erase(upper(name));
}

std::string WinsockState::path() {
    if (library_) path_ = library_->fullPath().substr(0, kMaxPath);
    return path_;
}

void WinsockState::setPath(const std::string& path) {
    path_ = path.empty() ? kDefaultPath : path.substr(0, kMaxPath);
}

SocketLibrary* WinsockState::open(const std::string& path) {
    // A library answers to its registered name and, once opened, to its full path.
    const std::string key = upper(path);
    for (auto& [name, library] : opened_)
        if (name == key || upper(library->fullPath()) == key) return library.get();
    const auto factory = factories_.find(key);
    if (factory == factories_.end()) return nullptr;
    auto library = factory->second();
    if (!library) return nullptr;
    return (opened_[key] = std::move(library)).get();
}

std::optional<std::string> WinsockState::load() {
    SocketLibrary* library = open(path_);
    if (!library) {
        data_.description = "Could not load Winsock DLL.";
        return data_.description;
    }
    if (count_++ == 0) {
        library_ = library;
        api_ = WinsockApi::stubs();
        for (int ordinal : ordinal::all)
            library->resolve(ordinal, api_);
    }
    WsaData reported;
    const int rc = api_.WSAStartup(winsock::kVersion11, &reported);
    std::string failure;
    if (rc == winsock::kInvalid || rc == winsock::kVersionNotSupported) {
        failure = "Version not supported.";
    } else if (rc == winsock::kSystemNotReady) {
        failure = "Network subsystem not ready.";
    } else if (rc != 0 || reported.version != winsock::kVersion11) {
        if (rc == 0) startedUp_ = true;
        failure = "Incompatible Winsock version.";
    }
    if (!failure.empty()) {
        // Every failure gives back its share of the count, so the library can unload.
        unload();
        data_.description = failure;
        return failure;
    }
    startedUp_ = true;
    data_.version = reported.version;
    data_.description = reported.description.substr(0, kMaxDescription);
    data_.systemStatus = reported.systemStatus.substr(0, kMaxStatus);
    data_.maxSockets = reported.maxSockets;
    data_.maxUdpDatagram = reported.maxUdpDatagram;
    return std::nullopt;
}

void WinsockState::unload() {
    if (count_ == 0 || !library_) return;
    --count_;
    if (api_.WSAIsBlocking()) api_.WSACancelBlockingCall();
    if (startedUp_) api_.WSACleanup();
    // The start-up data describes the stack as long as any control still holds it.
    if (count_ > 0) return;
    startedUp_ = false;
    data_ = WsaData{};
    data_.systemStatus = "Down";
    api_ = WinsockApi::stubs();
    library_ = nullptr;
}

} // namespace ping
