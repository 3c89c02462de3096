// Test doubles for the ping library: a scripted socket library, a clock tests move by hand and
// an event pump that runs a script instead of the Qt event loop.
#pragma once

#include "ping/clock.h"
#include "ping/event_pump.h"
#include "ping/winsock.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pingtest {

class FakeClock : public ping::Clock {
  public:
    uint32_t tickCount() const override { return now; }
    uint32_t now = 5000;
};

// Each step runs the script (if any) and moves the clock on by the step's limit.
class FakePump : public ping::EventPump {
  public:
    explicit FakePump(FakeClock& clock) : m_clock(clock) {}
    bool step(std::chrono::milliseconds limit) override;
    void wake() override { ++wakes; }

    std::function<bool(int step)> script; // false reports a quit
    int steps = 0;
    int wakes = 0;

  private:
    FakeClock& m_clock;
};

struct Sent {
    int socket;
    std::vector<uint8_t> bytes;
    uint32_t address;
};

struct Option {
    int socket, level, name, value;
};

// The network and stack behind the fake library, shared with the test.
struct FakeNet {
    bool rawRefused = false;
    bool datagramRefused = false;
    int startupResult = 0;
    uint16_t startupVersion = 0x0101;
    std::map<std::string, std::vector<uint32_t>> hosts;
    int failNextRecv = 0; // a Winsock error the next recvfrom fails with

    std::vector<std::pair<int, int>> socketsOpened; // (socket, Winsock type)
    std::vector<int> socketsClosed;
    std::vector<Option> options;
    std::vector<Sent> sent;
    std::vector<std::string> lookups;
    int cleanups = 0;
    std::map<int, std::deque<std::pair<std::vector<uint8_t>, uint32_t>>> inbound;
    std::map<int, ping::SocketWindow*> windows;
    std::function<void(const Sent&)> onSend;
    int lastError = 0;
    int nextSocket = 100;

    int optionValue(int socket, int level, int name) const;
    bool isOpen(int socket) const;
    // Queues a datagram on the socket and notifies its window, as data arriving would.
    void deliver(int socket, std::vector<uint8_t> datagram, uint32_t from);
    void notify(int socket);
    int lastSocket() const { return socketsOpened.empty() ? -1 : socketsOpened.back().first; }
};

class FakeSocketLibrary : public ping::SocketLibrary {
  public:
    static constexpr const char* kPath = "/fake/lib/FAKESOCK.DLL";
    explicit FakeSocketLibrary(std::shared_ptr<FakeNet> net) : m_net(std::move(net)) {}
    std::string fullPath() const override { return kPath; }
    bool resolve(int ordinal, ping::WinsockApi& table) override;

  private:
    std::shared_ptr<FakeNet> m_net;
};

uint32_t address(const char* dotted);
// RFC 1071, written apart from the library's so a shared mistake cannot hide.
uint16_t referenceChecksum(const std::vector<uint8_t>& bytes);
// An IPv4 header of 20 bytes followed by `icmp`.
std::vector<uint8_t> withIpHeader(const std::vector<uint8_t>& icmp, uint32_t from, uint32_t to);
// The echo reply a host sends for a request: type 0, same rest, checksum recomputed.
std::vector<uint8_t> echoReplyTo(const std::vector<uint8_t>& request);
// Destination unreachable with `code`, quoting the request's IP header and first 8 bytes.
std::vector<uint8_t> unreachableFor(const std::vector<uint8_t>& request, uint8_t code,
                                    uint32_t requestTarget);

} // namespace pingtest
