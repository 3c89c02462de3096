// A simulated KISS modem (pty or TCP) whose radio users are AX.25 stations heard through a lossy
// channel: it checks every frame the node sends, records KISS parameters, can echo the node's
// frames, and plays raw bytes, garbage and floods of callers.
#pragma once

#include "ax25_frame.h"
#include "kiss_codec.h"
#include "lossy_channel.h"
#include "sim_line.h"
#include "sim_tnc.h"
#include "user_link.h"

#include <map>
#include <memory>
#include <random>
#include <string>

namespace tncsim {

struct KissSimOptions {
    int tcpPort = -1; // the pty when negative; 0 takes a free port
    std::string nodeCall = "N0CALL";
    bool echoOwn = false; // the node's frames come back to it, as some radios send them
    bool trace = false;   // print every frame both ways
    ChannelOptions channel;
    LinkParams link;
};

class KissSim final : public SimTnc {
  public:
    // `line` is the pty; without one, listen() opens the TCP port.
    KissSim(SimLine* line, KissSimOptions options);
    ~KissSim() override;
    KissSim(const KissSim&) = delete;
    KissSim& operator=(const KissSim&) = delete;

    bool listen();
    int tcpPort() const { return m_tcpPort; }

    void fromHost(std::string_view bytes) override;
    void userConnect(int port, char stream, const std::string& call) override;
    void userData(int port, char stream, const std::string& text) override;
    void userDisconnect(int port, char stream) override;
    void userSpecial(int port, char stream, Special special, const std::string& argument) override;
    bool working() const override { return m_working; }
    bool idle() const override;

    void addPollFds(std::vector<pollfd>& fds) const override;
    bool handle(const std::vector<pollfd>& fds) override;
    std::chrono::milliseconds service() override;

  private:
    struct Flooder {
        int port = 0; // KISS port
        bool answered = false;
    };
    void kissFrame(const KissDecoder::Frame& frame);
    void parameter(int port, int command, const std::string& value);
    void fromNode(int port, const std::string& bytes);
    void heard(const LossyChannel::Frame& frame);
    void toNode(int port, ax25::Frame frame, int modulus);
    void toHost(const std::string& bytes);
    void arrivals(Clock::time_point now);
    void flood(int port, int count);
    void trace(const std::string& line) const;
    void fate(const LossyChannel::Fate& fate, const std::string& what) const;
    UserLink* link(int port, char stream);
    void acceptClient();
    void readClient();
    void writeClient();
    void dropClient(const std::string& why);

    SimLine* m_line;
    KissSimOptions m_options;
    ax25::Address m_node;
    KissDecoder m_decoder;
    LossyChannel m_toUsers;
    LossyChannel m_toNode;
    std::map<std::string, std::unique_ptr<UserLink>> m_links; // by port and stream: "1A"
    std::map<std::string, Flooder> m_flooders;                // by call
    std::mt19937 m_garbage;
    bool m_working = false;
    int m_tcpPort = 0;
    int m_listen = -1;
    int m_client = -1;
    std::string m_out; // for the TCP client, not written yet
};

} // namespace tncsim
