// The node's AX.25 link layer over a KISS TNC: it accepts calls for the node's call sign on
// every TNC port, holds the links, runs their timers from an injected clock, and sends frames
// out through a callback (raw AX.25, no FCS, no KISS framing).
#pragma once

#include "common/clock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gw::ax25 {

using LinkId = std::uint64_t;

struct StationConfig {
    // The node's call sign, "N0NODE" or "N0NODE-7".
    std::string call;
    // k: most unacknowledged I frames out (1-7 modulo 8, 1-127 modulo 128).
    int window = 4;
    // N1: most bytes in one I field.
    std::size_t paclen = 128;
    // N2.
    int retries = 10;
    // The first T1 before a round trip is measured (per hop added).
    std::chrono::milliseconds t1{3000};
    // Acknowledgement delay for a burst.
    std::chrono::milliseconds t2{1500};
    // Poll an idle link.
    std::chrono::milliseconds t3{300000};
    // Identification UI to "ID"; 0 = off.
    std::chrono::milliseconds idInterval{600000};
    // SABME answered UA (else DM, as a v2.0 station).
    bool acceptModulo128 = true;
    // Bytes a link may hold unsent and unacknowledged; beyond that send() refuses.
    std::size_t maxQueued = 16 * 1024;
};

enum class LinkState {
    Disconnected,
    AwaitingConnection,
    Connected,
    TimerRecovery,
    AwaitingRelease
};

// Why a link ended, for the log and counters.
enum class EndReason {
    PeerDisconnected, // DISC or DM from the peer
    Failed,           // N2 retries without an answer
    Local             // our DISC answered (UA/DM), or given up after N2
};

struct LinkInfo {
    LinkId id = 0;
    int port = 0;                  // TNC port 0-15
    std::string peer;              // "N1USER-3"
    std::vector<std::string> path; // digipeaters towards the peer, in the order we send them
    LinkState state = LinkState::Disconnected;
    bool modulo128 = false;
    int retries = 0; // current retry count (RC)
    std::uint64_t framesSent = 0, framesReceived = 0, framesResent = 0;
    std::size_t pendingBytes = 0; // queued + unacknowledged bytes
};

struct PortCounters {
    std::uint64_t framesIn = 0, framesOut = 0, retransmissions = 0, rejects = 0, linkFailures = 0;
};

struct StationEvents {
    // A frame to send on TNC port `port` (the driver wraps it in KISS).
    std::function<void(int port, const std::string& frame)> transmit;
    // A caller wants a link: return true to accept (UA), false for DM (all streams busy).
    std::function<bool(int port, const std::string& peer)> accept;
    std::function<void(LinkId id)> connected;
    // Data taken in order, exactly once (I field bytes).
    std::function<void(LinkId id, const std::string& data)> received;
    // The link is gone (its id is no longer valid after this returns; send() and info() refuse
    // it already while the events raised before this one run). `text` is for the log, e.g.
    // "retry count exceeded (10)".
    std::function<void(LinkId id, EndReason reason, const std::string& text)> ended;
};

class Station {
  public:
    Station(StationConfig config, const Clock& clock, StationEvents events);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // A frame the KISS TNC decoded on `port` (no FCS). Malformed frames are ignored.
    void receive(int port, std::string_view frame);
    // Runs due timers (T1, T2, T3, ID, drain bounds); call often (every 50-100 ms is fine).
    void tick();
    // How long from now until tick() has something to do (zero: data is waiting to go out), for
    // a driver that schedules its timer; nullopt when no link needs it.
    std::optional<std::chrono::milliseconds> nextDeadline() const;

    // Queues data for the link, cut into I frames of at most paclen bytes. false when the link
    // is unknown/not connected, is being taken down, or would hold more than maxQueued bytes
    // (nothing is queued). The frames go out on the next tick(), so that several sends in a row
    // share frames, or at once when the peer's acknowledgement opens the window.
    bool send(LinkId id, std::string_view data);
    // Takes the link down once everything queued is sent AND acknowledged (the drain rule),
    // then DISC, resent on T1 up to N2 times; ended(Local) follows. A link that cannot drain
    // (peer silent) gives up after N2 and ends with Failed.
    void disconnect(LinkId id);
    // Every link down at once (shutdown): drain-then-DISC for each; allDown() tells when done.
    void disconnectAll();
    bool allDown() const;
    // Receive side busy: RNR instead of RR while true (the node cannot take more now).
    void setBusy(LinkId id, bool busy);

    std::optional<LinkInfo> info(LinkId id) const;
    std::vector<LinkInfo> links() const;
    PortCounters counters(int port) const;
    const StationConfig& config() const;

  private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

std::string_view toString(LinkState state); // "disconnected", "connecting", "connected", "timer
                                            // recovery", "disconnecting"

} // namespace gw::ax25
