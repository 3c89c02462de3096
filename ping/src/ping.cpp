// The Ping control: identity, properties, methods, the Error event and error reporting.
#include "ping/ping.h"

#include "ping/module.h"
#include "ping/winsock_errors.h"
#include "ping/winsock_state.h"

namespace ping {

using namespace automation;
namespace id = pinglib::dispid;

namespace {
constexpr uint16_t kOutOfMemory = 7;
constexpr uint16_t kInvalidPropertyValue = 380;
constexpr uint16_t kReadOnly = 383;
constexpr uint16_t kRuntimeOnly = 394;
} // namespace

ComPtr<Ping> Ping::create() {
    auto clock = std::make_unique<SteadyClock>();
    auto pump = std::make_unique<QtEventPump>();
    Clock& c = *clock;
    EventPump& p = *pump;
    return ComPtr<Ping>(new Ping(std::move(clock), std::move(pump), c, p), false);
}

ComPtr<Ping> Ping::create(Clock& clock, EventPump& pump) {
    return ComPtr<Ping>(new Ping(nullptr, nullptr, clock, pump), false);
}

Ping::Ping(std::unique_ptr<Clock> ownClock, std::unique_ptr<EventPump> ownPump, Clock& clock,
           EventPump& pump)
    : m_ownClock(std::move(ownClock)), m_ownPump(std::move(ownPump)),
      m_engine(std::make_unique<Echolite>(
          clock, pump, [this](int16_t code, const std::string& text) { fireError(code, text); })) {
    module::objectCreated();
}

Ping::~Ping() {
    m_engine.reset();
    module::objectDestroyed();
}

HResult Ping::queryInterface(const Guid& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == pinglib::IID_IPing)
        *out = static_cast<pinglib::IPing*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *out = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IPersistStreamInit)
        *out = static_cast<IPersistStreamInit*>(this);
    else if (iid == IID_IPersistStorage)
        *out = static_cast<IPersistStorage*>(this);
    else if (iid == IID_IPersistPropertyBag)
        *out = static_cast<IPersistPropertyBag*>(this);
    else if (iid == IID_IOleObject)
        *out = static_cast<IOleObject*>(this);
    else if (iid == IID_IViewObject)
        *out = static_cast<IViewObject*>(this);
    else if (iid == IID_ISupportErrorInfo)
        *out = static_cast<ISupportErrorInfo*>(this);
    else
        return E_NOINTERFACE;
    addRef();
    return S_OK;
}

uint32_t Ping::addRef() {
    return ++m_references;
}

uint32_t Ping::release() {
    const uint32_t left = --m_references;
    if (left == 0) delete this;
    return left;
}

ErrorInfo Ping::describeResult(int code, const std::optional<std::string>& message,
                               uint32_t helpContext) {
    ErrorInfo info;
    info.source = pinglib::kProgId;
    info.helpFile = pinglib::kHelpFile;
    info.helpContext = helpContext;
    if (code == 0) return info;
    uint16_t number = 0;
    if (code == 200) {
        number = kOutOfMemory;
        info.description = "Out of memory.";
    } else if (code >= 1 && code <= 10000) {
        number = static_cast<uint16_t>(code + 20001);
        info.description = message                      ? *message
                           : code == Echolite::kStopped ? "Interrupted."
                                                        : "No description available.";
    } else {
        number = static_cast<uint16_t>(code + 15001);
        info.description = message ? *message : winsockErrorText(code);
    }
    info.result = controlError(number);
    return info;
}

HResult Ping::fail(DispId member, uint16_t number, const std::string& description) {
    m_lastError = ErrorInfo{controlError(number), description, pinglib::kProgId, pinglib::kHelpFile,
                            pinglib::findMember(member)->helpContext};
    return m_lastError.result;
}

HResult Ping::result(DispId member, int code, const std::optional<std::string>& message) {
    if (code == 0) return succeed();
    m_lastError = describeResult(code, message, pinglib::findMember(member)->helpContext);
    return m_lastError.result;
}

HResult Ping::succeed() {
    m_lastError = ErrorInfo{};
    return S_OK;
}

HResult Ping::readOnly(DispId member) {
    return fail(member, kReadOnly, "Property is read-only.");
}

HResult Ping::runtimeOnly(DispId member) {
    return fail(member, kRuntimeOnly, "Property is runtime only (no supported in design time).");
}

bool Ping::userMode() {
    auto ambient = m_site.query<IDispatch>(IID_IDispatch);
    if (!ambient) return true;
    std::vector<Variant> none;
    Variant mode;
    if (failed(
            ambient->invoke(DISPID_AMBIENT_USERMODE, DISPATCH_PROPERTYGET, none, &mode, nullptr)))
        return true;
    return mode.toBool().value_or(true);
}

HResult Ping::get_LocalHost(std::string* value) {
    if (!value) return E_POINTER;
    *value = m_engine->localHost();
    return succeed();
}

HResult Ping::put_LocalHost(const std::string& value) {
    const int code = m_engine->setLocalHost(value);
    return result(
        id::LocalHost, code,
        code == Echolite::kLocalHostBusy
            ? std::optional<std::string>("Cannot change LocalHost when Echolite is Active.")
            : std::nullopt);
}

HResult Ping::get_PacketSize(int32_t* value) {
    if (!value) return E_POINTER;
    *value = m_engine->packetSize();
    return succeed();
}

HResult Ping::put_PacketSize(int32_t value) {
    m_engine->setPacketSize(static_cast<uint16_t>(value & 0xFFFF));
    return succeed();
}

HResult Ping::get_QOSFlags(int32_t* value) {
    if (!value) return E_POINTER;
    *value = static_cast<int32_t>(m_engine->ipTypeOfService());
    return succeed();
}

HResult Ping::put_QOSFlags(int32_t value) {
    return result(id::QOSFlags, m_engine->setIpTypeOfService(value), std::nullopt);
}

HResult Ping::get_RemoteHost(std::string* value) {
    if (!value) return E_POINTER;
    const uint32_t target = m_engine->targetAddress();
    *value = target ? Echolite::dotted(target) : std::string();
    return succeed();
}

HResult Ping::put_RemoteHost(const std::string& value) {
    if (value.empty()) {
        // A request waiting now ends as stopped, not as answered.
        m_engine->cancelRequest();
        return succeed();
    }
    ComPtr<Ping> alive(this); // the host may release us while the request waits
    const int code = m_engine->ping(value);
    return result(id::RemoteHost, code, m_engine->message());
}

HResult Ping::get_ResponseSource(std::string* value) {
    if (!value) return E_POINTER;
    *value = m_engine->responseSource();
    return succeed();
}

HResult Ping::put_ResponseSource(const std::string&) {
    return readOnly(id::ResponseSource);
}

HResult Ping::get_ResponseTime(int32_t* value) {
    if (!value) return E_POINTER;
    *value = m_engine->responseTime();
    return succeed();
}

HResult Ping::put_ResponseTime(int32_t) {
    return readOnly(id::ResponseTime);
}

HResult Ping::get_SocketHandle(int32_t* value) {
    if (!value) return E_POINTER;
    if (!userMode()) return runtimeOnly(id::SocketHandle);
    *value = m_engine->socket();
    return succeed();
}

HResult Ping::put_SocketHandle(int32_t) {
    return readOnly(id::SocketHandle);
}

HResult Ping::get_Timeout(int16_t* value) {
    if (!value) return E_POINTER;
    *value = static_cast<int16_t>(m_engine->timeoutMs() / 1000);
    return succeed();
}

HResult Ping::put_Timeout(int16_t value) {
    // A negative number of seconds would put the deadline in the past before any wait.
    if (value < 0) return fail(id::Timeout, kInvalidPropertyValue, "Invalid property value.");
    m_engine->setTimeoutMs(int32_t(value) * 1000);
    return succeed();
}

HResult Ping::get_TimeToLive(int32_t* value) {
    if (!value) return E_POINTER;
    if (!userMode()) return runtimeOnly(id::TimeToLive);
    *value = static_cast<int32_t>(m_engine->timeToLive());
    return succeed();
}

HResult Ping::put_TimeToLive(int32_t value) {
    return result(id::TimeToLive, m_engine->setTimeToLive(value), std::nullopt);
}

HResult Ping::get_TypeOfService(int16_t* value) {
    if (!value) return E_POINTER;
    if (!userMode()) return runtimeOnly(id::TypeOfService);
    *value = m_engine->icmpType();
    return succeed();
}

HResult Ping::put_TypeOfService(int16_t value) {
    m_engine->setIcmpType(static_cast<uint8_t>(value & 0xFF));
    return succeed();
}

HResult Ping::get_WinsockInfo(std::string* value) {
    if (!value) return E_POINTER;
    *value = WinsockState::instance().data().description;
    return succeed();
}

HResult Ping::put_WinsockInfo(const std::string&) {
    return readOnly(id::WinsockInfo);
}

HResult Ping::get_WinsockLoaded(bool* value) {
    if (!value) return E_POINTER;
    *value = m_engine->holdsWinsock();
    return succeed();
}

HResult Ping::put_WinsockLoaded(bool value) {
    if (value)
        m_engine->loadWinsock();
    else
        m_engine->unloadWinsock();
    return succeed();
}

HResult Ping::get_WinsockMaxDatagramSize(int32_t* value) {
    if (!value) return E_POINTER;
    if (!userMode()) return runtimeOnly(id::WinsockMaxDatagramSize);
    *value = WinsockState::instance().data().maxUdpDatagram;
    return succeed();
}

HResult Ping::put_WinsockMaxDatagramSize(int32_t) {
    return readOnly(id::WinsockMaxDatagramSize);
}

HResult Ping::get_WinsockMaxSockets(int32_t* value) {
    if (!value) return E_POINTER;
    if (!userMode()) return runtimeOnly(id::WinsockMaxSockets);
    *value = WinsockState::instance().data().maxSockets;
    return succeed();
}

HResult Ping::put_WinsockMaxSockets(int32_t) {
    return readOnly(id::WinsockMaxSockets);
}

HResult Ping::get_WinsockPath(std::string* value) {
    if (!value) return E_POINTER;
    if (!userMode()) return runtimeOnly(id::WinsockPath);
    *value = WinsockState::instance().path();
    return succeed();
}

HResult Ping::put_WinsockPath(const std::string& value) {
    WinsockState::instance().setPath(value);
    return succeed();
}

HResult Ping::get_WinsockStatus(std::string* value) {
    if (!value) return E_POINTER;
    *value = WinsockState::instance().data().systemStatus;
    return succeed();
}

HResult Ping::put_WinsockStatus(const std::string&) {
    return readOnly(id::WinsockStatus);
}

HResult Ping::DoEvents() {
    ComPtr<Ping> alive(this);
    m_engine->doEvents();
    return succeed();
}

HResult Ping::PingHost(const std::string& host) {
    ComPtr<Ping> alive(this); // the host may release us while the request waits
    const int code = m_engine->ping(host);
    return result(id::PingHost, code, m_engine->message());
}

HResult Ping::findConnectionPoint(const Guid& iid, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != pinglib::DIID__IPingEvents) return CONNECT_E_NOCONNECTION;
    *out = static_cast<IConnectionPoint*>(this);
    addRef();
    return S_OK;
}

HResult Ping::getConnectionInterface(Guid* iid) {
    if (!iid) return E_POINTER;
    *iid = pinglib::DIID__IPingEvents;
    return S_OK;
}

HResult Ping::advise(IUnknown* sink, uint32_t* cookie) {
    if (!sink || !cookie) return E_POINTER;
    ComPtr<IUnknown> unknown(sink);
    auto events = unknown.query<IDispatch>(pinglib::DIID__IPingEvents);
    if (!events) events = unknown.query<IDispatch>(IID_IDispatch);
    if (!events) return CONNECT_E_CANNOTCONNECT;
    *cookie = m_nextCookie++;
    m_sinks[*cookie] = events;
    return S_OK;
}

HResult Ping::unadvise(uint32_t cookie) {
    return m_sinks.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

void Ping::fireError(int16_t code, const std::string& description) {
    ComPtr<Ping> alive(this);
    // A copy: a handler may advise or unadvise while the event is delivered.
    const auto sinks = m_sinks;
    for (const auto& [cookie, sink] : sinks) {
        std::vector<Variant> args{Variant::i2(code), Variant::text(description)};
        Variant ignored;
        sink->invoke(id::Error, DISPATCH_METHOD, args, &ignored, nullptr);
    }
}

HResult Ping::setClientSite(IUnknown* site) {
    m_site = ComPtr<IUnknown>(site);
    return S_OK;
}

HResult Ping::interfaceSupportsErrorInfo(const Guid& iid) {
    return iid == pinglib::IID_IPing ? S_OK : S_FALSE;
}

HResult Ping::getErrorInfo(ErrorInfo* out) {
    if (!out) return E_POINTER;
    if (m_lastError.result == S_OK) return S_FALSE;
    *out = m_lastError;
    return S_OK;
}

} // namespace ping
