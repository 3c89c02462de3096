// One AX.25 link, as the station that answered the call: the sequence variables, the
// acknowledgement and retry rules, timers T1, T2 and T3, flow control both ways, and the drain
// before our DISC. It raises nothing itself: frames and events go to the station's queue.
#pragma once

#include "ax25/frame.h"
#include "ax25/station.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>

namespace gw::ax25 {

struct LinkEvent {
    enum class Kind { Transmit, Connected, Received, Ended };
    Kind kind = Kind::Transmit;
    LinkId id = 0;
    int port = 0;
    std::string data; // the frame, the data taken, or the text of the ending
    EndReason reason = EndReason::Local;
};
using LinkEvents = std::deque<LinkEvent>;

struct LinkSettings {
    int window = 4;
    std::size_t paclen = 128;
    std::size_t maxReceive = 256; // the longest I field taken from the peer
    int retries = 10;
    std::chrono::milliseconds t1{3000}, t2{1500}, t3{300000};
    std::size_t maxQueued = 16 * 1024;
    bool acceptModulo128 = true;
};

class Link {
  public:
    using Millis = std::chrono::milliseconds;

    // A link the peer's SABM or SABME (`setMode`) has just opened: answers UA and raises
    // Connected. `counters` are those of the link's port and outlive the link.
    Link(LinkId id, int port, const Address& local, const Frame& setMode,
         const LinkSettings& settings, PortCounters& counters, LinkEvents& events, Millis now);

    void receive(const Frame& frame, Millis now);
    // A frame for this link whose control field does not read: refused with FRMR.
    void refuse(std::string_view control, bool command, Millis now);
    void tick(Millis now);
    // When tick() has something to do; `now` when data can go out at once.
    std::optional<Millis> nextDeadline(Millis now) const;

    bool send(std::string_view data);
    void release(Millis now);
    void setBusy(bool busy);

    LinkId id() const { return m_id; }
    int port() const { return m_port; }
    const Address& peer() const { return m_peer; }
    bool finished() const { return m_state == LinkState::Disconnected; }
    bool modulo128() const { return m_modulo128; }
    LinkInfo info() const;

  private:
    bool connected() const {
        return m_state == LinkState::Connected || m_state == LinkState::TimerRecovery;
    }
    int sequence(int value) const { return value & (m_modulo128 ? 0x7F : 0x07); }
    int distance(int from, int to) const { return sequence(to - from); }
    bool validNr(int nr) const {
        return static_cast<std::size_t>(distance(m_va, nr)) <= m_sent.size();
    }
    std::size_t window() const;
    bool canSendData() const;

    void onInformation(const Control& control, bool command, Millis now);
    void take(const Control& control);
    void onSupervisory(const Control& control, bool command, Millis now);
    void takePath(const Frame& frame);
    void onSetMode(bool modulo128, bool poll, Millis now);
    void answerXid(const Control& control);
    void settle(Millis now);

    void transmit(FrameType type, bool command, bool pollFinal, std::string info = {}, int ns = 0);
    void resendOne(int ns, Millis now);
    void pump(Millis now);
    void enquire(Millis now);
    void respondToPoll();

    std::size_t acknowledge(int nr);
    void acknowledgeConnected(int nr, Millis now);
    void goBack() { m_vs = m_va; } // resend from the oldest unacknowledged frame
    void resetSequence();
    void establish(Millis now, std::string reason);
    void checkRelease(Millis now);
    void end(EndReason reason, std::string text);
    void fail(std::string text);

    void startT1(Millis now);
    void stopT1(Millis now);
    void measure(Millis roundTrip);
    void backOff();
    void onT1(Millis now);

    LinkId m_id;
    int m_port;
    Address m_local;
    Address m_peer;
    std::vector<Address> m_path; // towards the peer, flags clear
    LinkSettings m_settings;
    PortCounters& m_counters;
    LinkEvents& m_events;

    LinkState m_state = LinkState::Connected;
    bool m_modulo128 = false;
    std::optional<int> m_peerWindow; // the peer's k from its XID
    std::size_t m_paclen = 128;      // N1 in use: ours, lowered by the peer's XID
    int m_vs = 0, m_vr = 0, m_va = 0;
    int m_rc = 0;
    std::deque<std::string> m_sent; // I fields V(A) .. highest sent, unacknowledged
    std::size_t m_sentBytes = 0;
    std::string m_queue; // data not yet in an I frame
    bool m_peerBusy = false, m_ownBusy = false, m_rejectSent = false, m_ackPending = false;
    bool m_releaseWanted = false;
    std::optional<int> m_segmentsLeft; // of data the peer cut into segments
    std::string m_resetReason;

    Millis m_srt{0}, m_t1v{0};
    Millis m_t1Started{0};
    bool m_timing = false; // T1 runs since a first transmission: its stop is a round-trip sample
    std::optional<Millis> m_t1, m_t2, m_t3;

    std::uint64_t m_framesSent = 0, m_framesReceived = 0, m_framesResent = 0;
};

} // namespace gw::ax25
