// The platform's socket library ("WSOCK32.DLL" on this system): BSD sockets behind the Winsock
// entry points, with Winsock error numbers and notifications through QSocketNotifier.
#pragma once

#include "ping/winsock.h"

#include <QPointer>

#include <map>
#include <vector>

class QSocketNotifier;

namespace ping {

class PosixSocketLibrary : public SocketLibrary {
  public:
    PosixSocketLibrary();
    ~PosixSocketLibrary() override;

    std::string fullPath() const override;
    bool resolve(int ordinal, WinsockApi& table) override;

  private:
    int socket(int af, int type, int protocol);
    int closesocket(int s);
    int setsockopt(int s, int level, int name, const void* value, int length);
    int getsockopt(int s, int level, int name, void* value, int* length);
    int sendto(int s, const void* data, int length, int flags, uint32_t address, uint16_t port);
    int recvfrom(int s, void* data, int length, int flags, uint32_t* from);
    const HostEntry* gethostbyname(const char* name);
    int gethostname(char* name, int length);
    int asyncSelect(int s, SocketWindow* window, uint32_t message, uint32_t events);
    int startup(uint16_t version, WsaData* data);
    int fail(int code);
    int failFromErrno();
    void retire(int s);
    void purgeRetired();

    int m_lastError = 0;
    HostEntry m_host;
    std::string m_ntoa;
    std::map<int, QSocketNotifier*> m_notifiers;
    // Notifiers of closed sockets, deleted once no notification is being delivered: the one
    // delivering may be among them.
    std::vector<QSocketNotifier*> m_retired;
    int m_delivering = 0;
};

} // namespace ping
