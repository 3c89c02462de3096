// The driver for KISS TNCs (type "KISS"): the TNC is a modem, so the node runs the AX.25 link
// layer itself (an ax25::Station). The driver switches the TNC into KISS and sets its timing,
// gives each link a stream letter, turns its data into the core's status and data texts,
// takes links down by the drain rule, and keeps a KISS TCP line up.
#pragma once

#include "ax25/station.h"
#include "tnc/agw_socket.h"
#include "tnc/event_queue.h"
#include "tnc/hosted_driver.h"
#include "tnc/kiss_codec.h"
#include "tnc/kiss_settings.h"
#include "tnc/tnc_line.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gw {

class CKISS final : public HostedDriver {
  public:
    static constexpr std::chrono::seconds kConnectWait{5};
    static constexpr std::chrono::seconds kRetry{3};
    // After each command of the text that switches the TNC into KISS: time for its answer
    // (and for a reset to finish).
    static constexpr std::chrono::milliseconds kCommandGap{1500};
    static constexpr std::size_t kMaxLine = 64 * 1024;
    // What a link may hold for a user who does not take it; beyond it the link is dropped.
    static constexpr std::size_t kMaxQueued = 256 * 1024;

    // `serial` is the node's serial port, the line unless KISSAddress names a TCP server.
    CKISS(TncHost& host, TncLine& serial);
    // A driver on another TCP line than the socket (tests).
    CKISS(TncHost& host, TncLine& serial, std::unique_ptr<AgwConnection> tcp);
    ~CKISS() override;

    bool Init() override;
    // The serial port opened, or the KISS TCP server took the connection: a KISS TNC
    // answers nothing by itself.
    bool CheckComm() override;
    // KISS has no text commands.
    bool SendCommand(const std::string& sCommand) override;
    void SendData(const std::string& sData, const std::string& sStream, int nPort) override;
    void SerialIn(const std::string& sNewSerialData) override;
    void ClearFrame() override;
    bool SendDisconnect(const std::string& sStream, int nPort) override;
    // Takes every link down (acknowledged, or given up after N2 retries), optionally leaves
    // KISS mode, and closes a TCP line.
    bool Restore() override;

    // The line the dispatch polls: the serial port or the TCP connection; every read also
    // runs the link timers and sends what is queued.
    TncLine& line() { return m_line; }
    // The link behind a stream (radio port 1 or 2, letter "A" to "J"), for the operator.
    std::optional<ax25::LinkInfo> linkInfo(int nPort, char letter) const;
    // A radio port's frame counters since Init.
    ax25::PortCounters counters(int nPort) const;
    std::size_t streams() const;

  private:
    class Line final : public TncLine {
      public:
        explicit Line(CKISS& driver) : m_driver(driver) {}
        bool PortOpen() const override;
        void DataToSend(std::string_view text) override;
        std::string DataToReceive() override;

      private:
        CKISS& m_driver;
    };
    struct Stream {
        ax25::LinkId id = 0;
        int port = 1;    // radio port, 1-based; the TNC's KISS port is one less
        char letter = 0; // "A" to "J"
        std::string call;
        std::string partial;
        bool overflowed = false; // told once that the user takes nothing more
    };
    struct LinkEvent {
        enum class Kind { Connected, Received, Ended } kind;
        ax25::LinkId id = 0;
        std::string text;
        ax25::EndReason reason = ax25::EndReason::Local;
    };

    std::string poll();
    // The typed settings read into m_config; false (reported) when one is unusable.
    bool readSettings();
    bool connectLine();
    void keepUp(std::chrono::milliseconds now);
    void lineLost(const std::string& reason);
    void sendParameters();
    std::unique_ptr<ax25::Station> makeStation();
    bool accept(int tncPort, const std::string& peer);
    void linked(ax25::LinkId id);
    void raiseEvents();
    void raise(const LinkEvent& event);
    void received(Stream& stream, const std::string& data);
    bool fail(const std::string& text);
    bool portChosen(int port) const;
    char freeLetter(int port) const;
    Stream* findStream(int port, char letter);
    Stream* findId(ax25::LinkId id);
    std::string status(const Stream& stream, const std::string& text) const;

    Line m_line{*this};
    TncLine& m_serial;
    std::unique_ptr<AgwConnection> m_socket;
    KissDecoder m_decoder;
    KissConfig m_config;
    std::string m_where; // "Comm n" or host:port, for the operator's texts
    std::string m_call;
    int m_perPort = 0;
    std::unique_ptr<ax25::Station> m_station;
    std::vector<Stream> m_streams;
    // The stream a caller was just given, until the station says the link is up.
    std::optional<Stream> m_offered;
    EventQueue<LinkEvent> m_events;

    bool m_running = false; // after a successful Init, until Restore
    bool m_quiet = false;   // taking the links down at shutdown: the core hears no more
    bool m_up = false;      // the TCP line is connected
    bool m_lossReported = false;
    std::chrono::milliseconds m_nextAttempt{0};
};

} // namespace gw
