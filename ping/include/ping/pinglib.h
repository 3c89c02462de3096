// The PINGLib 1.0 type library: the Ping coclass, its dual interface IPing and its event
// interface _IPingEvents, with dispatch identifiers, help strings and help contexts.
#pragma once

#include "ping/automation.h"

#include <span>

namespace pinglib {

using automation::Guid;
using automation::HResult;

inline constexpr Guid LIBID_PINGLib{
    0x473EA068, 0x11AD, 0x499E, {0xB7, 0x36, 0x5C, 0x5D, 0x7A, 0xD8, 0xD9, 0xDE}};
inline constexpr Guid CLSID_Ping{
    0x3CE07083, 0xA69E, 0x471D, {0x95, 0xDE, 0xBE, 0x6B, 0x0A, 0xD2, 0x08, 0xAA}};
inline constexpr Guid IID_IPing{
    0xB8F39C38, 0xEC2B, 0x49BC, {0x8A, 0x6B, 0x88, 0x3A, 0x72, 0xC8, 0x07, 0xC9}};
inline constexpr Guid DIID__IPingEvents{
    0x302DCE70, 0xAFC6, 0x488A, {0x8D, 0xFB, 0xCF, 0xAA, 0xDE, 0xF0, 0x41, 0xBC}};

inline constexpr const char* kTypeLibName = "PINGLib";
inline constexpr uint16_t kTypeLibMajor = 1;
inline constexpr uint16_t kTypeLibMinor = 0;
inline constexpr uint32_t kTypeLibLocale = 0x409;
inline constexpr const char* kTypeLibHelpString = "Netquill Ping Control 1.0 Type Library";
inline constexpr const char* kCoclassHelpString = "Netquill Ping Control";
inline constexpr const char* kIPingHelpString = "IPing Interface of the Netquill Ping Control";
inline constexpr const char* kEventsHelpString = "Event interface of the Netquill Ping Control";
inline constexpr const char* kProgId = "Netquill.Ping.1";
inline constexpr const char* kVersionIndependentProgId = "Netquill.Ping";
inline constexpr const char* kHelpFile = "netquill.hlp";

namespace dispid {
constexpr automation::DispId LocalHost = 1, PacketSize = 2, QOSFlags = 3, RemoteHost = 4,
                             ResponseSource = 5, ResponseTime = 6, SocketHandle = 7, Timeout = 8,
                             TimeToLive = 9, TypeOfService = 10, WinsockInfo = 11,
                             WinsockLoaded = 12, WinsockMaxDatagramSize = 13,
                             WinsockMaxSockets = 14, WinsockPath = 15, WinsockStatus = 16,
                             DoEvents = 501, PingHost = 502;
constexpr automation::DispId Error = 1; // of _IPingEvents
} // namespace dispid

// One member of IPing as the type library describes it.
struct Member {
    automation::DispId id;
    const char* name;
    bool method;
    automation::VarType type; // property type; Empty for methods
    bool readOnly;            // setting always fails with 383
    bool runtimeOnly;         // reading in design mode fails with 394
    uint32_t helpContext;
    const char* helpString;
};

using automation::VarType;
inline constexpr Member kMembers[] = {
    {1, "LocalHost", false, VarType::Bstr, false, false, 24401,
     "The name of the local host or user-assigned IP interface through which connections are "
     "initiated or accepted."},
    {2, "PacketSize", false, VarType::I4, false, false, 24402,
     "The size of the packet to send as the ping request."},
    {3, "QOSFlags", false, VarType::I4, false, false, 24403,
     "Flags determining Quality Of Service bits of packets sent by the socket."},
    {4, "RemoteHost", false, VarType::Bstr, false, false, 24404, "The host to ping."},
    {5, "ResponseSource", false, VarType::Bstr, true, false, 24405,
     "The source of the last PING response."},
    {6, "ResponseTime", false, VarType::I4, true, false, 24406,
     "Time elapsed between sending the original packet and the remote host reply."},
    {7, "SocketHandle", false, VarType::I4, true, true, 24407,
     "The handle of the main socket used by the component."},
    {8, "Timeout", false, VarType::I2, false, false, 24408, "A timeout for the component."},
    {9, "TimeToLive", false, VarType::I4, false, true, 24409,
     "The time to live (TTL) value for the ICMP packets sent by the component."},
    {10, "TypeOfService", false, VarType::I2, false, true, 24410,
     "The type of the ICMP message sent as a ping request."},
    {11, "WinsockInfo", false, VarType::Bstr, true, false, 24411,
     "Identifying information about the loaded Winsock stack."},
    {12, "WinsockLoaded", false, VarType::Bool, false, false, 24412,
     "Loads and unloads Winsock on demand."},
    {13, "WinsockMaxDatagramSize", false, VarType::I4, true, true, 24413,
     "Size in bytes of the largest UDP datagram that can be sent or received."},
    {14, "WinsockMaxSockets", false, VarType::I4, true, true, 24414,
     "Maximum number of sockets available to a single process."},
    {15, "WinsockPath", false, VarType::Bstr, false, true, 24415,
     "The path to the Winsock DLL used."},
    {16, "WinsockStatus", false, VarType::Bstr, true, false, 24416,
     "The status of the Winsock stack."},
    {501, "DoEvents", true, VarType::Empty, false, false, 44401,
     "Processes events from the internal message queue."},
    {502, "PingHost", true, VarType::Empty, false, false, 44402, "Ping a host."},
};

inline constexpr const char* kErrorEventHelpString =
    "Information about errors during data delivery.";

inline const Member* findMember(automation::DispId id) {
    for (const auto& m : kMembers)
        if (m.id == id) return &m;
    return nullptr;
}

// The dual interface: every member callable through this table or through IDispatch.
// Read-only properties keep a setter so that both paths refuse a set with error 383.
class IPing : public automation::IDispatch {
  public:
    virtual HResult get_LocalHost(std::string* value) = 0;
    virtual HResult put_LocalHost(const std::string& value) = 0;
    virtual HResult get_PacketSize(int32_t* value) = 0;
    virtual HResult put_PacketSize(int32_t value) = 0;
    virtual HResult get_QOSFlags(int32_t* value) = 0;
    virtual HResult put_QOSFlags(int32_t value) = 0;
    virtual HResult get_RemoteHost(std::string* value) = 0;
    virtual HResult put_RemoteHost(const std::string& value) = 0;
    virtual HResult get_ResponseSource(std::string* value) = 0;
    virtual HResult put_ResponseSource(const std::string& value) = 0;
    virtual HResult get_ResponseTime(int32_t* value) = 0;
    virtual HResult put_ResponseTime(int32_t value) = 0;
    virtual HResult get_SocketHandle(int32_t* value) = 0;
    virtual HResult put_SocketHandle(int32_t value) = 0;
    virtual HResult get_Timeout(int16_t* value) = 0;
    virtual HResult put_Timeout(int16_t value) = 0;
    virtual HResult get_TimeToLive(int32_t* value) = 0;
    virtual HResult put_TimeToLive(int32_t value) = 0;
    virtual HResult get_TypeOfService(int16_t* value) = 0;
    virtual HResult put_TypeOfService(int16_t value) = 0;
    virtual HResult get_WinsockInfo(std::string* value) = 0;
    virtual HResult put_WinsockInfo(const std::string& value) = 0;
    virtual HResult get_WinsockLoaded(bool* value) = 0;
    virtual HResult put_WinsockLoaded(bool value) = 0;
    virtual HResult get_WinsockMaxDatagramSize(int32_t* value) = 0;
    virtual HResult put_WinsockMaxDatagramSize(int32_t value) = 0;
    virtual HResult get_WinsockMaxSockets(int32_t* value) = 0;
    virtual HResult put_WinsockMaxSockets(int32_t value) = 0;
    virtual HResult get_WinsockPath(std::string* value) = 0;
    virtual HResult put_WinsockPath(const std::string& value) = 0;
    virtual HResult get_WinsockStatus(std::string* value) = 0;
    virtual HResult put_WinsockStatus(const std::string& value) = 0;
    virtual HResult DoEvents() = 0;
    virtual HResult PingHost(const std::string& host) = 0;

  protected:
    ~IPing() = default;
};

// _IPingEvents is dispatch-only: the control calls the sink's invoke with dispid::Error and
// two by-reference arguments, ErrorCode (I2) and Description (text). Changes are ignored.

} // namespace pinglib
