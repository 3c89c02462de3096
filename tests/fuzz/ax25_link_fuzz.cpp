// Fuzzes one AX.25 link through the station with a scripted peer: the input chooses the peer's
// frames (in and out of sequence, repeats, acknowledgements valid or not, polls, busy, resets,
// any U or S control), the node's sends, busy and disconnect, and the passing of time. Whatever
// the peer does: never more than k frames outstanding, the peer's data handed to the node once
// and in order, no N(R) that acknowledges data not taken, and the node's data reaching the peer
// in order.
#include "ax25/frame.h"
#include "ax25/station.h"
#include "fuzz_support.h"
#include "support/fake_clock.h"

#include <memory>

using namespace gw::ax25;
using namespace std::chrono_literals;

namespace {
std::string address(std::string_view call, bool flag, bool last) {
    std::string out;
    for (std::size_t i = 0; i < 6; ++i)
        out += static_cast<char>((i < call.size() ? call[i] : ' ') << 1);
    return out + static_cast<char>((flag ? 0x80 : 0) | 0x60 | (last ? 1 : 0));
}
// The peer's numbered data: chunk j is "j;", so a repeat or a gap shows.
std::string chunk(std::size_t j) {
    return std::to_string(j) + ';';
}
// The node's data, byte i of its stream for the link.
char outByte(std::size_t i) {
    return static_cast<char>((i * 2654435761u) >> 13);
}

class Harness {
  public:
    explicit Harness(gw::fuzz::InputReader& input) : m_in(input) {
        StationConfig config;
        config.call = "N0NODE";
        config.window = 1 + m_in.byte() % 7;
        config.paclen = 1 + m_in.byte() % 40;
        config.retries = 1 + m_in.byte() % 4;
        config.maxQueued = 300;
        config.idInterval = 0ms;
        m_k = static_cast<std::size_t>(config.window);
        m_paclen = config.paclen;
        m_maxQueued = config.maxQueued;
        StationEvents events;
        events.transmit = [this](int, const std::string& frame) { onFrame(frame); };
        events.accept = [](int, const std::string&) { return true; };
        events.connected = [this](LinkId id) {
            m_id = id;
            m_outAccepted = m_outTaken = 0;
        };
        events.received = [this](LinkId, const std::string& data) {
            FUZZ_CHECK(data == chunk(m_delivered), "the peer's data is taken once and in order");
            ++m_delivered;
        };
        events.ended = [this](LinkId id, EndReason, const std::string&) {
            if (id == m_id) m_id = 0;
        };
        m_station = std::make_unique<Station>(config, m_clock, std::move(events));
    }

    void run() {
        while (!m_in.empty())
            step(m_in.byte());
    }

  private:
    int modulus() const { return m_modulo128 ? 128 : 8; }
    std::size_t unwrap(std::size_t base, int seq) const {
        return base + static_cast<std::size_t>(
                          (seq - static_cast<int>(base % modulus()) + modulus()) % modulus());
    }
    std::optional<LinkInfo> link() const { return m_id ? m_station->info(m_id) : std::nullopt; }
    bool connected() const {
        const auto l = link();
        return l && (l->state == LinkState::Connected || l->state == LinkState::TimerRecovery);
    }
    // Both ends start their numbers again: the station has just reset the link.
    void resynchronize() {
        m_base = m_delivered;
        m_peerVr = m_va = m_highest = 0;
        const auto l = link();
        m_outTaken = l ? m_outAccepted - l->pendingBytes : 0;
    }

    // A frame from the peer. A SABM or SABME the station will answer with UA, or a UA that
    // completes the station's own reset, restarts the numbering before any frame comes back.
    void control(const std::string& control, const std::string& info = {}, bool command = true) {
        const auto l = link();
        const auto code = static_cast<unsigned char>(control[0]) & 0xEF;
        if ((code == 0x2F || code == 0x6F) && (!l || l->state != LinkState::AwaitingRelease)) {
            m_modulo128 = code == 0x6F;
            resynchronize();
        } else if (code == 0x63 && l && l->state == LinkState::AwaitingConnection) {
            resynchronize();
        }
        m_station->receive(0, address("N0NODE", command, false) + address("N1USR", !command, true) +
                                  control + info);
    }
    std::string numbered(int kind, std::size_t nr, bool pf) const { // RR 0, RNR 1, REJ 2, SREJ 3
        const int n = static_cast<int>(nr % modulus());
        if (m_modulo128)
            return std::string{static_cast<char>(kind << 2 | 1), static_cast<char>(n << 1 | pf)};
        return std::string{static_cast<char>(n << 5 | pf << 4 | kind << 2 | 1)};
    }
    std::string information(std::size_t ns, std::size_t nr, bool p) const {
        const int s = static_cast<int>(ns % modulus()), r = static_cast<int>(nr % modulus());
        if (m_modulo128)
            return std::string{static_cast<char>(s << 1), static_cast<char>(r << 1 | p), '\xF0'};
        return std::string{static_cast<char>(r << 5 | p << 4 | s << 1), '\xF0'};
    }
    // An N(R) the peer may honestly send: from the last it sent up to what it has taken.
    std::size_t honestNr() { return m_va + m_in.byte() % (m_peerVr - m_va + 1); }

    void step(std::uint8_t op) {
        const std::uint8_t arg = m_in.byte();
        const bool flag = arg & 0x80;
        const bool live = connected();
        switch (op % 15) {
        case 0: { // an I frame: the next chunk, a repeat, or one from beyond a gap
            const std::size_t next = m_delivered - m_base;
            const std::size_t j =
                std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(next) + arg % 8 - 3);
            const std::size_t nr = honestNr();
            if (live) m_va = nr;
            control(information(j, nr, flag), chunk(m_base + j));
            break;
        }
        case 1:
        case 2:
        case 3: { // RR, RNR, REJ acknowledging honestly
            const std::size_t nr = honestNr();
            if (live) m_va = nr;
            control(numbered(op % 15 - 1, nr, flag), {}, arg & 0x40);
            break;
        }
        case 4: { // SREJ of a frame sent; with F set, of the first frame the peer lacks
            const std::size_t nr =
                flag ? m_peerVr : m_va + (m_highest > m_va ? arg % (m_highest - m_va) : 0);
            if (live && flag) m_va = nr;
            control(numbered(3, nr, flag), {}, false);
            break;
        }
        case 5: { // an S frame whose N(R) is out of range: the station resets the link
            const std::size_t invalid = modulus() - 1 - (m_highest - m_va);
            if (invalid > 0)
                control(numbered(arg & 3, m_highest + 1 + arg % invalid, flag), {}, arg & 0x40);
            break;
        }
        case 6: { // any U control, with perhaps an information field
            const auto c = static_cast<char>(m_in.byte() | 0x03);
            const int code = c & 0xEF;
            const bool bare = code == 0x2F || code == 0x6F || code == 0x63; // SABM, SABME, UA
            control(std::string(1, c), bare ? std::string() : m_in.field(), flag);
            break;
        }
        case 7:
            control("\x73", {}, false); // UA
            break;
        case 8: // SABM or SABME: a new link, or the link reset
            control(flag ? "\x7F" : "\x3F");
            break;
        case 9:
            control("\x53"); // DISC
            break;
        case 10: { // the node sends
            std::string data;
            for (std::size_t i = 0; i < arg % 64u; ++i)
                data += outByte(m_outAccepted + i);
            if (m_id && m_station->send(m_id, data)) m_outAccepted += data.size();
            break;
        }
        case 11:
            m_clock.advance(std::chrono::milliseconds(arg) * 100);
            break;
        case 12:
            if (m_id) m_station->setBusy(m_id, flag);
            break;
        case 13:
            if (m_id) m_station->disconnect(m_id);
            break;
        case 14: // XID offering a smaller window and I field
            control("\xBF", std::string("\x82\x80\x00\x07\x06\x02\x00", 7) +
                                static_cast<char>(8 + arg % 64 * 8) + "\x08\x01" +
                                static_cast<char>(1 + arg % 7));
            break;
        }
        m_station->tick();
        if (const auto l = link())
            FUZZ_CHECK(l->pendingBytes <= m_maxQueued, "queued data is bounded");
    }

    void onFrame(const std::string& bytes) {
        const auto frame = decodeFrame(bytes, m_modulo128);
        FUZZ_CHECK(frame.has_value(), "the station sends frames it can read");
        const Control& c = frame->control;
        const bool numberedFrame = c.type == FrameType::I || c.type == FrameType::RR ||
                                   c.type == FrameType::RNR || c.type == FrameType::REJ;
        if (numberedFrame)
            FUZZ_CHECK(c.nr == static_cast<int>((m_delivered - m_base) % modulus()),
                       "N(R) acknowledges exactly the data taken");
        if (c.type != FrameType::I) return;
        FUZZ_CHECK(c.info.size() <= m_paclen, "an I field is at most N1");
        const std::size_t ns = unwrap(m_va, c.ns);
        m_highest = std::max(m_highest, ns + 1);
        FUZZ_CHECK(m_highest - m_va <= m_k, "never more than k frames outstanding");
        if (ns != m_peerVr) return;
        std::string expected;
        for (std::size_t i = 0; i < c.info.size(); ++i)
            expected += outByte(m_outTaken + i);
        FUZZ_CHECK(c.info == expected, "the node's data reaches the peer in order");
        m_outTaken += c.info.size();
        ++m_peerVr;
    }

    gw::fuzz::InputReader& m_in;
    gw::FakeClock m_clock;
    std::unique_ptr<Station> m_station;
    std::size_t m_k = 1, m_paclen = 1, m_maxQueued = 0;
    LinkId m_id = 0;
    bool m_modulo128 = false;
    std::size_t m_delivered = 0, m_base = 0; // chunks taken by the node; first of this numbering
    std::size_t m_va = 0,
                m_highest = 0; // the station's frames: acknowledged, sent (this numbering)
    std::size_t m_peerVr = 0;  // the station's frames the peer took
    std::size_t m_outAccepted = 0,
                m_outTaken = 0; // bytes of the node's stream sent, taken by the peer
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::InputReader input(data, size);
    Harness harness(input);
    harness.run();
    return 0;
}
