// One simulated radio user's station: a caller's AX.25 link layer (SABM or SABME, I frames, RR,
// RNR, REJ, polls, T1 and N2, DISC) that reports every rule the node breaks, and can vanish or
// stop acknowledging as broken peers do.
#pragma once

#include "ax25_frame.h"
#include "sim_line.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tncsim {

struct LinkParams {
    int t1Ms = 3000;   // an acknowledgement is late
    int t2Ms = 0;      // received I frames are acknowledged this long after the last one
    int n2 = 10;       // retries before the link has failed
    int window = 4;    // k: unacknowledged I frames out at most
    int paclen = 128;  // N1: the longest I field sent
    int maxInfo = 256; // the longest I field taken from the node
    bool sabme = false;
};

class UserLink {
  public:
    struct Hooks {
        std::function<void(const ax25::Frame& frame, int modulus)> transmit;
        std::function<void(const std::string& data)> received;
        std::function<void(const std::string& line)> note; // "*** CONNECTED to N0CALL"
        std::function<void()> disconnectedByNode;
        std::function<void(const std::string& what)> fault; // a rule the node broke
    };
    UserLink(ax25::Address self, ax25::Address node, std::vector<ax25::Address> path,
             LinkParams params, Hooks hooks);

    // Calls the node; only while not linked.
    void connect(Clock::time_point now);
    void send(const std::string& text, Clock::time_point now);
    // Takes the link down once everything sent is acknowledged.
    void disconnect(Clock::time_point now);
    void vanish() { m_vanished = true; }
    void stopAcknowledging() { m_silent = true; }

    // A frame of the node's that reached this station by the right path.
    void receive(const ax25::Frame& frame, Clock::time_point now);
    void service(Clock::time_point now);
    std::optional<Clock::time_point> nextDue() const;

    const ax25::Address& self() const { return m_self; }
    const std::vector<ax25::Address>& path() const { return m_path; }
    int modulus() const { return m_modulus; }
    bool linked() const { return m_state != State::Disconnected; }
    // Nothing on its way and nothing left to do.
    bool settled() const;

  private:
    enum class State {
        Disconnected,
        AwaitingConnection,
        Connected,
        TimerRecovery,
        AwaitingRelease
    };

    ax25::Frame frame(ax25::Kind kind, bool command, bool pollFinal) const;
    void transmit(const ax25::Frame& frame);
    void answer(ax25::Kind kind, bool final) { transmit(frame(kind, false, final)); }
    void sendSetUp();
    void startT1(Clock::time_point now) { m_t1 = now + std::chrono::milliseconds(m_params.t1Ms); }
    void pump(Clock::time_point now);
    void retransmit(Clock::time_point now);
    bool acknowledge(int nr, Clock::time_point now);
    void receiveLinked(const ax25::Frame& frame, Clock::time_point now);
    void receiveInformation(const ax25::Frame& frame, Clock::time_point now);
    void receiveSupervisory(const ax25::Frame& frame, Clock::time_point now);
    void timerT1(Clock::time_point now);
    void down(const std::string& line);
    int outstanding() const { return (m_vs - m_va + m_modulus) % m_modulus; }

    ax25::Address m_self;
    ax25::Address m_node;
    std::vector<ax25::Address> m_path;
    LinkParams m_params;
    Hooks m_hooks;
    State m_state = State::Disconnected;
    int m_modulus = 8;
    int m_vs = 0;
    int m_vr = 0;
    int m_va = 0;
    int m_retries = 0;
    std::optional<Clock::time_point> m_t1;
    std::optional<Clock::time_point> m_t2;
    bool m_rejectSent = false;
    bool m_peerBusy = false;
    bool m_disconnectWanted = false;
    bool m_vanished = false;
    bool m_silent = false;
    std::deque<std::string> m_queue;      // I fields not sent yet
    std::map<int, std::string> m_unacked; // by N(S)
};

} // namespace tncsim
