// Echolite, the ICMP echo engine behind one ping control: request socket, echo request,
// wait, answer matching and the outcome as a result code with a message.
#pragma once

#include "ping/clock.h"
#include "ping/event_pump.h"
#include "ping/socket_window.h"

#include <QPointer>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ping {

struct WinsockApi;

class Echolite {
  public:
    // Receives failures noticed while receiving: a Winsock code or 119, and a description.
    using ErrorHandler = std::function<void(int16_t code, const std::string& description)>;

    static constexpr uint32_t kSocketMessage = 0x467;
    static constexpr size_t kPacketBufferSize = 2052;
    static constexpr int kMessageTooLong = 118;
    static constexpr int kMessageTooShort = 119;
    static constexpr int kUnreachable = 127;
    static constexpr int kStopped = 301;
    static constexpr int kLocalHostBusy = 107;

    Echolite(Clock& clock, EventPump& pump, ErrorHandler onError);
    ~Echolite();
    Echolite(const Echolite&) = delete;
    Echolite& operator=(const Echolite&) = delete;

    // This control's share of the module-wide Winsock; a failed load keeps the reason in the
    // module's description and raises nothing.
    bool loadWinsock();
    void unloadWinsock();
    bool holdsWinsock() const { return m_holdsWinsock; }

    // One complete echo request and wait. Returns 0 or a result code; message() explains it.
    int ping(const std::string& host);
    const std::optional<std::string>& message() const { return m_message; }

    // One wait step: false when the request must stop (quit, closed window, deadline).
    bool waitStep(std::chrono::milliseconds limit);
    void doEvents();

    std::string localHost() const;
    // Fails with kLocalHostBusy during a request, or a resolver code; the request's message()
    // is not touched.
    int setLocalHost(const std::string& host);

    uint32_t timeToLive() const;
    int setTimeToLive(int32_t value);
    uint32_t ipTypeOfService() const;
    int setIpTypeOfService(int32_t value);

    uint16_t packetSize() const { return m_packetSize; }
    void setPacketSize(uint16_t size) { m_packetSize = size < 8 ? 8 : size; }
    int32_t timeoutMs() const { return m_timeoutMs; }
    void setTimeoutMs(int32_t ms) { m_timeoutMs = ms; }
    uint8_t icmpType() const { return m_icmpType; }
    void setIcmpType(uint8_t type) { m_icmpType = type; }
    uint32_t targetAddress() const { return m_target; }
    const std::string& responseSource() const { return m_responseSource; }
    int32_t responseTime() const { return m_responseTime; }
    int socket() const { return m_socket; }
    bool datagramSocket() const { return m_datagram; }

    void closeRequestSocket();
    // Ends the request in progress, if any, as a stop does ("Interrupted."): its socket is
    // closed now and the waiting call reports the stop.
    void cancelRequest();

    static std::string dotted(uint32_t networkOrderAddress);
    static std::string unreachableText(int code);

  private:
    int request(const std::string& host, uint64_t generation);
    int resolve(const std::string& host, uint32_t* address);
    int openSocket();
    int send();
    void onSocketMessage(uint32_t message, int socket, uint32_t event);
    void receive();
    // Empty when the datagram was taken; otherwise the failure to report through the event.
    void handleDatagram(const uint8_t* data, size_t length, uint32_t from,
                        std::optional<std::pair<int16_t, std::string>>* failure);
    void match(uint8_t type, uint8_t code, const uint8_t* data, size_t length, uint32_t from);
    bool carriesRequest(const uint8_t* id, size_t available) const;
    void answered(uint32_t from);
    void closeNow();
    const WinsockApi& api() const;

    Clock& m_clock;
    EventPump& m_pump;
    ErrorHandler m_onError;
    std::unique_ptr<SocketWindow> m_window;
    QPointer<SocketWindow> m_windowGuard;

    int m_socket = -1;
    bool m_datagram = false;
    int m_receiveBufferSize = 2048;
    int m_sendBufferSize = 2048;
    uint32_t m_target = 0;
    uint8_t m_icmpType = 8;
    uint8_t m_icmpCode = 0;
    uint32_t m_timeToLive = 0;
    uint32_t m_ipTypeOfService = 0;
    bool m_doNotRoute = false;
    uint32_t m_localAddress = 0;
    std::array<uint8_t, kPacketBufferSize> m_packet{};
    uint16_t m_packetSize = 64;
    size_t m_payloadLength = 0; // of the request on the wire, identifier included
    int32_t m_timeoutMs = 10000;
    std::optional<uint32_t> m_deadline;
    uint32_t m_identifier = 0;
    uint32_t m_requestCount = 0;
    uint32_t m_startTick = 0;
    int m_responseCode = -1;
    std::string m_responseSource;
    int32_t m_responseTime = 0;
    std::optional<std::string> m_message;
    bool m_receiving = false;
    bool m_closeRequested = false;
    bool m_cancelled = false;
    bool m_holdsWinsock = false;
    // Each request's number, so an outer request notices a nested one replaced it.
    uint64_t m_generation = 0;
    int m_lastResult = 0;
};

} // namespace ping
