// The Ping control (coclass Ping of PINGLib): properties, methods, the Error event, access
// rules, error reporting, persistence and design-time appearance, over an Echolite engine.
#pragma once

#include "ping/automation.h"
#include "ping/clock.h"
#include "ping/echolite.h"
#include "ping/event_pump.h"
#include "ping/pinglib.h"

#include <map>
#include <memory>

namespace ping {

class Ping final : public pinglib::IPing,
                   public automation::IConnectionPointContainer,
                   public automation::IConnectionPoint,
                   public automation::IPersistStreamInit,
                   public automation::IPersistStorage,
                   public automation::IPersistPropertyBag,
                   public automation::IOleObject,
                   public automation::IViewObject,
                   public automation::ISupportErrorInfo {
  public:
    using HResult = automation::HResult;

    // Creates a control with one reference, on the real clock and the Qt event loop.
    static automation::ComPtr<Ping> create();
    // The same on a given clock and pump (they must outlive the control).
    static automation::ComPtr<Ping> create(Clock& clock, EventPump& pump);

    // IUnknown (one identity for every interface)
    HResult queryInterface(const automation::Guid& iid, void** out) override;
    uint32_t addRef() override;
    uint32_t release() override;

    // IDispatch
    HResult getIdOfName(std::string_view name, automation::DispId* id) override;
    HResult invoke(automation::DispId id, uint16_t flags, std::vector<automation::Variant>& args,
                   automation::Variant* result, automation::ExcepInfo* excep) override;

    // IPing
    HResult get_LocalHost(std::string* value) override;
    HResult put_LocalHost(const std::string& value) override;
    HResult get_PacketSize(int32_t* value) override;
    HResult put_PacketSize(int32_t value) override;
    HResult get_QOSFlags(int32_t* value) override;
    HResult put_QOSFlags(int32_t value) override;
    HResult get_RemoteHost(std::string* value) override;
    HResult put_RemoteHost(const std::string& value) override;
    HResult get_ResponseSource(std::string* value) override;
    HResult put_ResponseSource(const std::string& value) override;
    HResult get_ResponseTime(int32_t* value) override;
    HResult put_ResponseTime(int32_t value) override;
    HResult get_SocketHandle(int32_t* value) override;
    HResult put_SocketHandle(int32_t value) override;
    HResult get_Timeout(int16_t* value) override;
    HResult put_Timeout(int16_t value) override;
    HResult get_TimeToLive(int32_t* value) override;
    HResult put_TimeToLive(int32_t value) override;
    HResult get_TypeOfService(int16_t* value) override;
    HResult put_TypeOfService(int16_t value) override;
    HResult get_WinsockInfo(std::string* value) override;
    HResult put_WinsockInfo(const std::string& value) override;
    HResult get_WinsockLoaded(bool* value) override;
    HResult put_WinsockLoaded(bool value) override;
    HResult get_WinsockMaxDatagramSize(int32_t* value) override;
    HResult put_WinsockMaxDatagramSize(int32_t value) override;
    HResult get_WinsockMaxSockets(int32_t* value) override;
    HResult put_WinsockMaxSockets(int32_t value) override;
    HResult get_WinsockPath(std::string* value) override;
    HResult put_WinsockPath(const std::string& value) override;
    HResult get_WinsockStatus(std::string* value) override;
    HResult put_WinsockStatus(const std::string& value) override;
    HResult DoEvents() override;
    HResult PingHost(const std::string& host) override;

    // IConnectionPointContainer and its one connection point, for _IPingEvents
    HResult findConnectionPoint(const automation::Guid& iid,
                                automation::IConnectionPoint** out) override;
    HResult getConnectionInterface(automation::Guid* iid) override;
    HResult advise(automation::IUnknown* sink, uint32_t* cookie) override;
    HResult unadvise(uint32_t cookie) override;

    // Persistence (one getClassId serves the three forms)
    HResult getClassId(automation::Guid* clsid) override;
    HResult initNew() override;
    HResult load(automation::IStream* stream) override;
    HResult save(automation::IStream* stream, bool clearDirty) override;
    HResult initNew(automation::IStorage* storage) override;
    HResult load(automation::IStorage* storage) override;
    HResult save(automation::IStorage* storage, bool sameAsLoad) override;
    HResult load(automation::IPropertyBag* bag) override;
    HResult save(automation::IPropertyBag* bag, bool clearDirty, bool saveAll) override;

    // Embedding and appearance
    HResult setClientSite(automation::IUnknown* site) override;
    HResult getExtent(int32_t* width, int32_t* height) override;
    HResult draw(automation::Canvas& canvas, const automation::Rect& bounds) override;

    // Error information of the last failed call
    HResult interfaceSupportsErrorInfo(const automation::Guid& iid) override;
    HResult getErrorInfo(automation::ErrorInfo* out) override;

    // Turns an engine result code into the caller's error (0 stays success).
    static automation::ErrorInfo describeResult(int code, const std::optional<std::string>& message,
                                                uint32_t helpContext);

  private:
    Ping(std::unique_ptr<Clock> ownClock, std::unique_ptr<EventPump> ownPump, Clock& clock,
         EventPump& pump);
    ~Ping();

    bool userMode();
    HResult fail(automation::DispId member, uint16_t number, const std::string& description);
    HResult result(automation::DispId member, int code, const std::optional<std::string>& message);
    HResult readOnly(automation::DispId member);
    HResult runtimeOnly(automation::DispId member);
    HResult succeed();
    void fireError(int16_t code, const std::string& description);
    HResult getProperty(const pinglib::Member& member, automation::Variant* value);
    HResult putProperty(const pinglib::Member& member, const automation::Variant& value);
    HResult loadValues(int32_t packetSize, int32_t qosFlags, int16_t timeout, bool winsockLoaded);

    uint32_t m_references = 1;
    std::unique_ptr<Clock> m_ownClock;
    std::unique_ptr<EventPump> m_ownPump;
    std::unique_ptr<Echolite> m_engine;
    automation::ComPtr<automation::IUnknown> m_site;
    std::map<uint32_t, automation::ComPtr<automation::IDispatch>> m_sinks;
    uint32_t m_nextCookie = 1;
    automation::ErrorInfo m_lastError;
};

} // namespace ping
