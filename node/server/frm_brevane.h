// frmBrevane: the hidden server-link window. It takes one request at a time off the
// command queue, carries it to the short-message server on a connection of its own, and
// puts exactly one reply per request on the reply queue, in order.
#pragma once

#include "common/event_pump.h"
#include "server/server_link_host.h"
#include "server/server_queues.h"
#include "server/tcp_client.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>

namespace gw {

class frmBrevane : public QObject {
    Q_OBJECT
  public:
    static constexpr std::uint16_t kServerPort = 8773;
    // Ticks a request may take; it times out on the tick after.
    static constexpr std::int32_t kResponseTicks = 20;
    // Replies above this size are refused, so a server that never stops cannot exhaust memory.
    static constexpr std::size_t kMaxReplySize = 1024 * 1024;

    struct Options {
        std::uint16_t port = kServerPort;
        // Tests drive tick themselves and leave the timer off.
        bool runTimer = true;
    };

    frmBrevane(ServerQueues& queues, ServerLinkHost& host, EventPump& pump,
               QObject* parent = nullptr);
    frmBrevane(ServerQueues& queues, ServerLinkHost& host, EventPump& pump, Options options,
               QObject* parent = nullptr);
    ~frmBrevane() override;

    // Reads the server address and starts the one-second timer; nothing when already loaded.
    void Load();
    // Stops the timer and closes any connection; a request in flight still gets its reply.
    void Unload();
    bool isLoaded() const { return m_loaded; }

    // One tick of the one-second timer.
    void tick();

    bool busy() const { return m_busy; }
    std::int32_t tickCount() const { return m_tickCount; }
    // The TCP client (the setup window reads its local address).
    TcpClient& tcp() { return m_tcp; }

  private:
    void tcp_Connected(int status, const std::string& description);
    void tcp_DataIn(const std::string& text);
    void tcp_Disconnected(int status, const std::string& description);
    void tcp_Error(int number, const std::string& description);
    void sendRequest();
    void complete(const std::string& text);

    ServerQueues& m_queues;
    ServerLinkHost& m_host;
    EventPump& m_pump;
    Options m_options;
    TcpClient m_tcp;
    QTimer tmr;
    bool m_loaded = false;
    std::unique_ptr<CCommand> m_request;
    std::unique_ptr<CResponse> m_reply;
    bool m_busy = false;
    std::int32_t m_tickCount = 0;
    std::int32_t m_startTick = 0;
    // Counts requests taken, so that a send loop notices its request has ended meanwhile.
    std::uint64_t m_requestSerial = 0;
};

} // namespace gw
