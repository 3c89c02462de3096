// The driver for sound-card modem programs that offer the AGW TCP interface (type "AGW"): the
// modem program keeps the AX.25 links; this driver gives each incoming link a stream letter,
// turns its frames into the core's status and data texts, drains a link before dropping it,
// and rides out the modem program stopping or restarting.
#pragma once

#include "tnc/agw_frame.h"
#include "tnc/agw_socket.h"
#include "tnc/hosted_driver.h"
#include "tnc/tnc_line.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gw {

class CAGW final : public HostedDriver {
  public:
    static constexpr const char* kDefaultAddress = "127.0.0.1:8000";
    static constexpr long kDefaultPaclen = 128;
    static constexpr std::chrono::seconds kConnectWait{5};
    static constexpr std::chrono::seconds kAnswerWait{5};
    static constexpr std::chrono::seconds kRetry{3};
    static constexpr std::size_t kMaxLine = 64 * 1024;
    static constexpr const char* kBusyText = "Sorry, all streams are busy. Please try later.\r";

    explicit CAGW(TncHost& host);
    // A driver on another line to the modem program than the TCP socket.
    CAGW(TncHost& host, std::unique_ptr<AgwConnection> connection);
    ~CAGW() override;

    bool Init() override;
    // The modem program answers when the node can connect and register; the call is
    // unregistered and the connection closed again at once.
    bool CheckComm() override;
    // AGW has no text commands.
    bool SendCommand(const std::string& sCommand) override;
    void SendData(const std::string& sData, const std::string& sStream, int nPort) override;
    void SerialIn(const std::string& sNewSerialData) override;
    void ClearFrame() override;
    bool SendDisconnect(const std::string& sStream, int nPort) override;
    bool Restore() override;

    // The line the dispatch polls in place of the serial port: the TCP connection, kept up.
    TncLine& line() { return m_tcpLine; }
    // Incoming links with a stream, and links being drained before their disconnect.
    std::size_t streams() const;
    std::size_t closing() const;

  private:
    class TcpLine final : public TncLine {
      public:
        explicit TcpLine(CAGW& driver) : m_driver(driver) {}
        bool PortOpen() const override;
        void DataToSend(std::string_view text) override;
        std::string DataToReceive() override;

      private:
        CAGW& m_driver;
    };
    struct Link {
        std::uint64_t id = 0;
        int port = 1;     // radio port, 1-based
        char letter = 0;  // stream letter; 0 for a caller turned away as busy
        std::string call; // the other station
        std::string partial;
        std::size_t queued = 0; // bytes sent since the modem program last had none queued
        bool closing = false;
        bool disconnectSent = false;
        bool askPending = false;
        std::chrono::milliseconds askedAt{0};
        std::chrono::milliseconds deadline{0};
    };

    std::string poll();
    void keepUp(std::chrono::milliseconds now);
    void serviceClosing(std::chrono::milliseconds now);
    void onFrame(AgwFrame frame);
    void onConnect(const AgwFrame& frame);
    void onData(const AgwFrame& frame);
    void onDisconnect(const AgwFrame& frame);
    void onOutstanding(const AgwFrame& frame);
    void onRegistration(bool accepted);
    void linkLost(std::string reason);
    void startClosing(Link& link);
    void sendFrame(char kind, int agwPort, const std::string& to, const std::string& data = {});
    void sendDisconnectFrame(Link& link);
    Link* find(int port, const std::string& call);
    Link* findStream(int port, char letter);
    Link* findId(std::uint64_t id);
    void removeId(std::uint64_t id);
    char freeLetter(int port) const;
    bool portChosen(int port) const;
    std::string status(const Link& link, const std::string& text) const;
    bool fail(const std::string& text);
    // A wait for the modem program's answers, reading the connection itself.
    bool awaitAnswer(std::chrono::seconds limit, const std::function<bool()>& done);

    TcpLine m_tcpLine{*this};
    std::unique_ptr<AgwConnection> m_socket;
    AgwFrameReader m_reader;
    std::string m_address;
    std::string m_hostName;
    int m_tcpPort = 0;
    std::string m_call;
    int m_perPort = 0;
    std::vector<Link> m_links;
    std::uint64_t m_nextId = 1;

    // Initialization: what the modem program answered.
    std::optional<std::string> m_version;
    std::optional<int> m_portCount;
    std::optional<bool> m_registered;
    bool m_malformed = false;

    // After a successful Init: up (connected and registered) or riding out an outage.
    bool m_running = false;
    bool m_up = false;
    bool m_outageReported = false;
    bool m_refusalReported = false;
    bool m_registerSent = false;
    std::chrono::milliseconds m_registerSentAt{0};
    std::chrono::milliseconds m_nextAttempt{0};
    std::string m_lostReason;
};

} // namespace gw
