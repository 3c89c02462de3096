// The Winsock 1.1 surface the echo engine is written against: its constants (Winsock values,
// not the platform's), the entry-point table filled by ordinal, and what a socket library offers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ping {

class SocketWindow;

namespace winsock {
// Error codes (WSABASEERR + n) and resolver codes.
constexpr int kWouldBlock = 10035;
constexpr int kNotSocket = 10038;
constexpr int kInvalid = 10022;
constexpr int kAccessDenied = 10013;
constexpr int kSystemNotReady = 10091;
constexpr int kVersionNotSupported = 10092;
constexpr int kNotInitialised = 10093;
constexpr int kHostNotFound = 11001;
constexpr int kNoData = 11004;

// Address families, socket types, protocols and options as Winsock 1.1 numbers them.
constexpr int kAfInet = 2;
constexpr int kSockDgram = 2;
constexpr int kSockRaw = 3;
constexpr int kIpProtoIp = 0;
constexpr int kIpProtoIcmp = 1;
constexpr int kSolSocket = 0xFFFF;
constexpr int kSoDontRoute = 0x0010;
constexpr int kSoBroadcast = 0x0020;
constexpr int kSoSndBuf = 0x1001;
constexpr int kSoRcvBuf = 0x1002;
constexpr int kIpTtl = 7; // Winsock 1.1 numbering at level kIpProtoIp
constexpr int kIpTos = 8;

constexpr uint32_t kFdRead = 1;
constexpr uint32_t kFdWrite = 2;
constexpr uint32_t kInaddrNone = 0xFFFFFFFF;
constexpr uint16_t kVersion11 = 0x0101;
constexpr int kInvalidSocket = -1;
} // namespace winsock

// What the start-up call reports.
struct WsaData {
    uint16_t version = 0;
    std::string description;  // up to 256 characters
    std::string systemStatus; // up to 128 characters
    uint16_t maxSockets = 0;
    uint16_t maxUdpDatagram = 0;
};

// A resolved host: its addresses in network byte order, first one first.
struct HostEntry {
    std::string name;
    std::vector<uint32_t> addresses;
};

// Winsock 1.1 ordinals of the library's entry points.
namespace ordinal {
constexpr int accept = 1, bind = 2, closesocket = 3, connect = 4, getpeername = 5, getsockname = 6,
              getsockopt = 7, htonl = 8, htons = 9, inet_addr = 10, inet_ntoa = 11,
              ioctlsocket = 12, listen = 13, ntohl = 14, ntohs = 15, recv = 16, recvfrom = 17,
              select = 18, send = 19, sendto = 20, setsockopt = 21, shutdown = 22, socket = 23,
              gethostbyaddr = 51, gethostbyname = 52, getprotobyname = 53, getprotobynumber = 54,
              getservbyname = 55, getservbyport = 56, gethostname = 57, WSAAsyncSelect = 101,
              WSAAsyncGetHostByAddr = 102, WSAAsyncGetHostByName = 103,
              WSAAsyncGetProtoByNumber = 104, WSAAsyncGetProtoByName = 105,
              WSAAsyncGetServByPort = 106, WSAAsyncGetServByName = 107, WSACancelAsyncRequest = 108,
              WSASetBlockingHook = 109, WSAUnhookBlockingHook = 110, WSAGetLastError = 111,
              WSASetLastError = 112, WSACancelBlockingCall = 113, WSAIsBlocking = 114,
              WSAStartup = 115, WSACleanup = 116, WSAFDIsSet = 151;
// Every entry point, in ordinal order.
constexpr int all[] = {accept,
                       bind,
                       closesocket,
                       connect,
                       getpeername,
                       getsockname,
                       getsockopt,
                       htonl,
                       htons,
                       inet_addr,
                       inet_ntoa,
                       ioctlsocket,
                       listen,
                       ntohl,
                       ntohs,
                       recv,
                       recvfrom,
                       select,
                       send,
                       sendto,
                       setsockopt,
                       shutdown,
                       socket,
                       gethostbyaddr,
                       gethostbyname,
                       getprotobyname,
                       getprotobynumber,
                       getservbyname,
                       getservbyport,
                       gethostname,
                       WSAAsyncSelect,
                       WSAAsyncGetHostByAddr,
                       WSAAsyncGetHostByName,
                       WSAAsyncGetProtoByNumber,
                       WSAAsyncGetProtoByName,
                       WSAAsyncGetServByPort,
                       WSAAsyncGetServByName,
                       WSACancelAsyncRequest,
                       WSASetBlockingHook,
                       WSAUnhookBlockingHook,
                       WSAGetLastError,
                       WSASetLastError,
                       WSACancelBlockingCall,
                       WSAIsBlocking,
                       WSAStartup,
                       WSACleanup,
                       WSAFDIsSet};
// Those the echo engine calls; the table gives them their Winsock signatures.
constexpr int echoPath[] = {closesocket,
                            getsockopt,
                            inet_addr,
                            recvfrom,
                            sendto,
                            setsockopt,
                            socket,
                            gethostbyname,
                            gethostname,
                            inet_ntoa,
                            WSAAsyncSelect,
                            WSAGetLastError,
                            WSACancelBlockingCall,
                            WSAIsBlocking,
                            WSAStartup,
                            WSACleanup};
bool onEchoPath(int ordinal);
} // namespace ordinal

// The table of entry points. Addresses are IPv4 in network byte order, ports in host order.
struct WinsockApi {
    std::function<int(int af, int type, int protocol)> socket;
    std::function<int(int s)> closesocket;
    std::function<int(int s, int level, int name, const void* value, int length)> setsockopt;
    std::function<int(int s, int level, int name, void* value, int* length)> getsockopt;
    std::function<int(int s, const void* data, int length, int flags, uint32_t address,
                      uint16_t port)>
        sendto;
    std::function<int(int s, void* data, int length, int flags, uint32_t* from)> recvfrom;
    std::function<uint32_t(const char* text)> inet_addr;
    std::function<const char*(uint32_t address)> inet_ntoa;
    std::function<const HostEntry*(const char* name)> gethostbyname;
    std::function<int(char* name, int length)> gethostname;
    std::function<int(int s, SocketWindow* window, uint32_t message, uint32_t events)>
        WSAAsyncSelect;
    std::function<int()> WSAGetLastError;
    std::function<int()> WSACancelBlockingCall;
    std::function<bool()> WSAIsBlocking;
    std::function<int(uint16_t version, WsaData* data)> WSAStartup;
    std::function<int()> WSACleanup;

    // The entry points the echo engine never calls, by ordinal. They keep the table complete;
    // a loaded library may leave them failing (-1, WSAEOPNOTSUPP).
    std::map<int, std::function<int()>> others;

    // Whether the table has an entry for the ordinal.
    bool has(int ordinal) const;

    // While no library is loaded every entry fails: sockets and sizes -1, pointers null,
    // the last error WSANOTINITIALISED and the start-up WSASYSNOTREADY.
    static WinsockApi stubs();
};

// A loaded socket library: hands out its entry points by ordinal.
class SocketLibrary {
  public:
    virtual ~SocketLibrary() = default;
    virtual std::string fullPath() const = 0;
    // Stores the library's entry for the ordinal in the table; false when it has none.
    virtual bool resolve(int ordinal, WinsockApi& table) = 0;
};

} // namespace ping
