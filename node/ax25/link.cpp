// One AX.25 link as the answering station. Round trips are measured on T1 (smoothed 7/8 old +
// 1/8 new, never from a retransmission; a poll answered at the first try counts), T1 is twice
// the smoothed round trip and doubles on each expiry up to four times that, until the next
// sample; before any, T1 is the configured value for each transmission the path takes (ours
// and every digipeater's).
#include "ax25/link.h"

#include "ax25/xid.h"

#include <algorithm>

namespace gw::ax25 {

namespace {
using Millis = std::chrono::milliseconds;
constexpr Millis kMinSrt{250};
constexpr Millis kMaxSrt{30000};
constexpr int kMaxWindow8 = 7;
constexpr int kMaxWindow128 = 127;
constexpr unsigned char kFrmrUndefinedControl = 0x01;

bool isSupervisory(FrameType type) {
    return type == FrameType::RR || type == FrameType::RNR || type == FrameType::REJ ||
           type == FrameType::SREJ;
}
} // namespace

Link::Link(LinkId id, int port, const Address& local, const Frame& setMode,
           const LinkSettings& settings, PortCounters& counters, LinkEvents& events, Millis now)
    : m_id(id), m_port(port), m_local(local), m_peer(setMode.source), m_settings(settings),
      m_counters(counters), m_events(events), m_paclen(settings.paclen) {
    m_local.flag = false;
    m_peer.flag = false;
    takePath(setMode);
    m_t1v = m_settings.t1 * static_cast<int>(m_path.size() + 1);
    m_srt = m_t1v / 2;
    onSetMode(setMode.control.type == FrameType::SABME, setMode.control.pollFinal, now);
    m_events.push_back({LinkEvent::Kind::Connected, m_id, m_port, {}});
}

void Link::receive(const Frame& frame, Millis now) {
    ++m_framesReceived;
    const Control& c = frame.control;
    const bool command = frame.command();
    switch (c.type) {
    case FrameType::SABM:
    case FrameType::SABME:
        onSetMode(c.type == FrameType::SABME, c.pollFinal, now);
        if (m_state == LinkState::Connected) takePath(frame); // a new call may come another way
        break;
    case FrameType::DISC:
        transmit(FrameType::UA, false, c.pollFinal);
        if (m_state == LinkState::AwaitingRelease)
            end(EndReason::Local, "disconnected");
        else
            end(EndReason::PeerDisconnected, "disconnected by the peer");
        break;
    case FrameType::UA:
        if (m_state == LinkState::AwaitingConnection) {
            resetSequence();
            m_rc = 0;
            m_t1.reset();
            m_state = LinkState::Connected;
        } else if (m_state == LinkState::AwaitingRelease) {
            end(EndReason::Local, "disconnected");
        }
        break;
    case FrameType::DM:
        if (m_state == LinkState::AwaitingRelease)
            end(EndReason::Local, "disconnected");
        else
            end(EndReason::PeerDisconnected, "disconnected by the peer (DM)");
        break;
    case FrameType::FRMR:
        if (connected()) establish(now, "the peer refused a frame (FRMR)");
        break;
    case FrameType::XID:
        if (command && m_state != LinkState::AwaitingRelease) answerXid(c);
        break;
    case FrameType::I:
        onInformation(c, command, now);
        break;
    default:
        if (isSupervisory(c.type)) onSupervisory(c, command, now);
        break;
    }
    if (finished()) return;
    if (m_state == LinkState::Connected && !m_t1) m_t3 = now + m_settings.t3;
    settle(now);
}

void Link::refuse(std::string_view control, bool command, Millis now) {
    ++m_framesReceived;
    if (!connected()) return;
    const auto rejected = [&](std::size_t at) { return at < control.size() ? control[at] : '\0'; };
    const int cr = command ? 0 : 1;
    std::string info{rejected(0)};
    if (m_modulo128) {
        info += rejected(1);
        info += static_cast<char>(m_vs << 1);
        info += static_cast<char>(m_vr << 1 | cr);
    } else {
        info += static_cast<char>(m_vr << 5 | cr << 4 | m_vs << 1);
    }
    info += static_cast<char>(kFrmrUndefinedControl);
    transmit(FrameType::FRMR, false, false, info);
    settle(now);
}

void Link::takePath(const Frame& frame) {
    m_path.clear();
    for (auto it = frame.digipeaters.rbegin(); it != frame.digipeaters.rend(); ++it) {
        m_path.push_back(*it);
        m_path.back().flag = false;
    }
}

void Link::onSetMode(bool modulo128, bool poll, Millis now) {
    if (m_state == LinkState::AwaitingRelease) {
        transmit(FrameType::DM, false, poll);
        return;
    }
    if (modulo128 && !m_settings.acceptModulo128) {
        transmit(FrameType::DM, false, poll);
        end(EndReason::PeerDisconnected, "modulo 128 asked for and refused");
        return;
    }
    m_modulo128 = modulo128;
    transmit(FrameType::UA, false, poll);
    resetSequence();
    m_rc = 0;
    m_t1.reset();
    m_timing = false;
    m_state = LinkState::Connected;
    m_t3 = now + m_settings.t3;
}

void Link::answerXid(const Control& control) {
    XidParameters answer;
    answer.modulo128 = m_modulo128;
    answer.infoLength = static_cast<int>(m_settings.maxReceive);
    answer.window = std::min(m_settings.window, m_modulo128 ? kMaxWindow128 : kMaxWindow8);
    if (const auto offer = parseXid(control.info)) {
        answer.selectiveReject = offer->selectiveReject;
        if (offer->infoLength)
            m_paclen = std::min(m_settings.paclen, static_cast<std::size_t>(*offer->infoLength));
        if (offer->window) m_peerWindow = offer->window;
    }
    transmit(FrameType::XID, false, control.pollFinal, encodeXid(answer));
}

void Link::onInformation(const Control& c, bool command, Millis now) {
    if (!command) return;
    if (m_state == LinkState::AwaitingRelease) {
        if (c.pollFinal) transmit(FrameType::DM, false, true);
        return;
    }
    if (!connected()) return;
    if (c.info.size() > m_settings.maxReceive) return establish(now, "I field too long");
    if (!validNr(c.nr)) return establish(now, "N(R) out of range");
    if (m_state == LinkState::Connected)
        acknowledgeConnected(c.nr, now);
    else
        acknowledge(c.nr);

    if (m_ownBusy) { // not taken: the peer sends it again once we are ready
        if (c.pollFinal) respondToPoll();
        return;
    }
    if (c.ns == m_vr) {
        m_vr = sequence(m_vr + 1);
        m_rejectSent = false;
        take(c);
        if (c.pollFinal) {
            respondToPoll();
        } else {
            m_ackPending = true;
            m_t2 = now + m_settings.t2; // restarted by each frame: one RR for the whole burst
        }
    } else if (!m_rejectSent) {
        m_rejectSent = true;
        ++m_counters.rejects;
        transmit(FrameType::REJ, false, c.pollFinal);
    } else if (c.pollFinal) {
        respondToPoll();
    }
}

void Link::take(const Control& c) {
    std::string_view data = c.info;
    if (c.pid == kPidSegment) {
        // Segments come in order on the link: each one's data goes on as it arrives, headers
        // stripped. One that does not continue the count is dropped, never passed on as data.
        const auto header = static_cast<unsigned char>(data.empty() ? 0 : data[0]);
        const int left = header & 0x7F;
        const bool first = (header & 0x80) != 0;
        const bool continues = m_segmentsLeft && left == *m_segmentsLeft - 1;
        if (data.size() < (first ? 2u : 1u) || (!first && !continues)) {
            m_segmentsLeft.reset();
            return;
        }
        data.remove_prefix(first ? 2 : 1);
        m_segmentsLeft = left;
        if (left == 0) m_segmentsLeft.reset();
    }
    if (!data.empty())
        m_events.push_back({LinkEvent::Kind::Received, m_id, m_port, std::string(data)});
}

void Link::onSupervisory(const Control& c, bool command, Millis now) {
    if (m_state == LinkState::AwaitingRelease) {
        if (command && c.pollFinal) transmit(FrameType::DM, false, true);
        return;
    }
    if (!connected()) return;
    if (!validNr(c.nr)) return establish(now, "N(R) out of range");
    m_peerBusy = c.type == FrameType::RNR;
    if (command && c.pollFinal) respondToPoll();
    if (c.type == FrameType::REJ || c.type == FrameType::SREJ) ++m_counters.rejects;

    if (m_state == LinkState::TimerRecovery && !command && c.pollFinal) {
        // The answer to our poll: resend whatever it leaves unacknowledged, or only the frame
        // an SREJ asks for (the peer holds the later ones and asks for any other it lacks).
        const std::size_t taken = acknowledge(c.nr);
        // With only one poll out, its answer is a clean round trip: T1 need not stay backed off.
        if (m_rc <= 1) measure(now - m_t1Started);
        m_t1.reset();
        m_timing = false;
        if (!m_releaseWanted || taken > 0) m_rc = 0;
        m_state = LinkState::Connected;
        if (c.type == FrameType::SREJ)
            resendOne(c.nr, now);
        else
            goBack();
        return;
    }
    const bool connectedState = m_state == LinkState::Connected;
    switch (c.type) {
    case FrameType::SREJ: // N(R) acknowledges only with P/F set
        if (c.pollFinal) {
            if (connectedState)
                acknowledgeConnected(c.nr, now);
            else
                acknowledge(c.nr);
        }
        resendOne(c.nr, now);
        break;
    case FrameType::REJ:
        acknowledge(c.nr);
        goBack();
        m_timing = false;
        if (connectedState) stopT1(now);
        break;
    default:
        if (connectedState)
            acknowledgeConnected(c.nr, now);
        else
            acknowledge(c.nr);
        break;
    }
}

void Link::tick(Millis now) {
    if (m_t1 && now >= *m_t1) onT1(now);
    if (finished()) return;
    if (m_t2 && now >= *m_t2) {
        m_t2.reset();
        if (m_ackPending && connected())
            transmit(m_ownBusy ? FrameType::RNR : FrameType::RR, false, false);
    }
    if (m_t3 && now >= *m_t3) {
        m_t3.reset();
        if (m_state == LinkState::Connected && !m_t1) {
            m_rc = 0;
            m_state = LinkState::TimerRecovery;
            enquire(now);
        }
    }
    settle(now);
}

std::optional<Millis> Link::nextDeadline(Millis now) const {
    std::optional<Millis> next;
    for (const auto& timer : {m_t1, m_t2, m_t3})
        if (timer && (!next || *timer < *next)) next = timer;
    if (canSendData()) next = now;
    return next;
}

bool Link::send(std::string_view data) {
    if (finished() || m_releaseWanted) return false;
    if (m_sentBytes + m_queue.size() + data.size() > m_settings.maxQueued) return false;
    m_queue += data;
    return true;
}

void Link::release(Millis now) {
    if (finished() || m_releaseWanted) return;
    m_releaseWanted = true;
    checkRelease(now);
}

void Link::setBusy(bool busy) {
    if (busy == m_ownBusy) return;
    m_ownBusy = busy;
    if (connected()) transmit(busy ? FrameType::RNR : FrameType::RR, false, false);
}

LinkInfo Link::info() const {
    LinkInfo info;
    info.id = m_id;
    info.port = m_port;
    info.peer = m_peer.text();
    for (const Address& digipeater : m_path)
        info.path.push_back(digipeater.text());
    info.state = m_state;
    info.modulo128 = m_modulo128;
    info.retries = m_rc;
    info.framesSent = m_framesSent;
    info.framesReceived = m_framesReceived;
    info.framesResent = m_framesResent;
    info.pendingBytes = m_sentBytes + m_queue.size();
    return info;
}

std::size_t Link::window() const {
    const int most = m_modulo128 ? kMaxWindow128 : kMaxWindow8;
    return static_cast<std::size_t>(
        std::max(1, std::min({m_settings.window, m_peerWindow.value_or(most), most})));
}

bool Link::canSendData() const {
    if (!connected() || m_peerBusy) return false;
    return static_cast<std::size_t>(distance(m_va, m_vs)) < m_sent.size() ||
           (!m_queue.empty() && m_sent.size() < window());
}

void Link::settle(Millis now) {
    pump(now);
    checkRelease(now);
    // A busy peer is polled on T1 while we have data for it.
    if (m_state == LinkState::Connected && m_peerBusy && !m_t1 &&
        (!m_queue.empty() || !m_sent.empty()))
        startT1(now);
}

void Link::transmit(FrameType type, bool command, bool pollFinal, std::string info, int ns) {
    Frame frame;
    frame.destination = m_peer;
    frame.destination.flag = command;
    frame.source = m_local;
    frame.source.flag = !command;
    frame.digipeaters = m_path;
    frame.control.type = type;
    frame.control.pollFinal = pollFinal;
    frame.control.ns = ns;
    frame.control.nr = m_vr;
    frame.control.info = std::move(info);
    m_events.push_back({LinkEvent::Kind::Transmit, m_id, m_port, encodeFrame(frame, m_modulo128)});
    ++m_framesSent;
    if (type == FrameType::I || isSupervisory(type)) { // N(R) goes out: nothing left to acknowledge
        m_ackPending = false;
        m_t2.reset();
    }
}

void Link::pump(Millis now) {
    if (!connected() || m_peerBusy) return;
    for (;;) {
        const auto offset = static_cast<std::size_t>(distance(m_va, m_vs));
        const bool resend = offset < m_sent.size();
        if (resend) {
            ++m_framesResent;
            ++m_counters.retransmissions;
        } else if (!m_queue.empty() && m_sent.size() < window()) {
            const std::size_t length = std::min(m_paclen, m_queue.size());
            m_sent.push_back(m_queue.substr(0, length));
            m_queue.erase(0, length);
            m_sentBytes += length;
        } else {
            break;
        }
        transmit(FrameType::I, true, false, m_sent[offset], m_vs);
        m_vs = sequence(m_vs + 1);
        if (!m_t1) {
            startT1(now);
            m_timing = !resend;
        }
    }
}

void Link::resendOne(int ns, Millis now) {
    const auto offset = static_cast<std::size_t>(distance(m_va, ns));
    if (offset >= static_cast<std::size_t>(distance(m_va, m_vs)))
        return; // not sent yet, or unknown
    ++m_framesResent;
    ++m_counters.retransmissions;
    m_timing = false;
    transmit(FrameType::I, true, false, m_sent[offset], ns);
    if (!m_t1) startT1(now);
}

void Link::enquire(Millis now) {
    transmit(m_ownBusy ? FrameType::RNR : FrameType::RR, true, true);
    startT1(now);
}

void Link::respondToPoll() {
    transmit(m_ownBusy ? FrameType::RNR : FrameType::RR, false, true);
}

std::size_t Link::acknowledge(int nr) {
    const auto taken = static_cast<std::size_t>(distance(m_va, nr));
    const auto ahead = static_cast<std::size_t>(distance(m_va, m_vs));
    for (std::size_t i = 0; i < taken; ++i) {
        m_sentBytes -= m_sent.front().size();
        m_sent.pop_front();
    }
    if (taken > ahead) m_vs = nr;
    m_va = nr;
    return taken;
}

void Link::acknowledgeConnected(int nr, Millis now) {
    const std::size_t taken = acknowledge(nr);
    if (m_sent.empty()) {
        if (m_t1) stopT1(now);
    } else if (taken > 0) {
        startT1(now);
    }
}

void Link::resetSequence() {
    std::string unacknowledged;
    for (const std::string& field : m_sent)
        unacknowledged += field;
    m_queue.insert(0, unacknowledged);
    m_sent.clear();
    m_sentBytes = 0;
    m_va = m_vs = m_vr = 0;
    m_peerBusy = m_rejectSent = m_ackPending = false;
    m_t2.reset();
}

void Link::establish(Millis now, std::string reason) {
    m_resetReason = std::move(reason);
    m_peerBusy = m_rejectSent = m_ackPending = false;
    m_t2.reset();
    m_t3.reset();
    m_rc = 0;
    m_timing = false;
    m_state = LinkState::AwaitingConnection;
    transmit(m_modulo128 ? FrameType::SABME : FrameType::SABM, true, true);
    startT1(now);
}

void Link::checkRelease(Millis now) {
    if (!m_releaseWanted || m_state != LinkState::Connected || !m_queue.empty() || !m_sent.empty())
        return;
    m_rc = 0;
    m_timing = false;
    m_t2.reset();
    m_t3.reset();
    m_state = LinkState::AwaitingRelease;
    transmit(FrameType::DISC, true, true);
    startT1(now);
}

void Link::end(EndReason reason, std::string text) {
    m_state = LinkState::Disconnected;
    m_t1.reset();
    m_t2.reset();
    m_t3.reset();
    m_events.push_back({LinkEvent::Kind::Ended, m_id, m_port, std::move(text), reason});
}

void Link::fail(std::string text) {
    transmit(FrameType::DM, false, false);
    ++m_counters.linkFailures;
    end(EndReason::Failed, std::move(text));
}

void Link::startT1(Millis now) {
    m_t1 = now + m_t1v;
    m_t1Started = now;
    m_t3.reset();
}

void Link::stopT1(Millis now) {
    if (m_timing && m_rc == 0) measure(now - m_t1Started);
    m_timing = false;
    m_t1.reset();
    if (m_state == LinkState::Connected) m_t3 = now + m_settings.t3;
}

void Link::measure(Millis roundTrip) {
    m_srt = std::clamp((7 * m_srt + roundTrip) / 8, kMinSrt, kMaxSrt);
    m_t1v = 2 * m_srt;
}

void Link::backOff() {
    m_t1v = std::max(m_t1v, std::min(2 * m_t1v, 8 * m_srt));
}

void Link::onT1(Millis now) {
    m_t1.reset();
    m_timing = false;
    const std::string count = "retry count exceeded (" + std::to_string(m_settings.retries) + ")";
    switch (m_state) {
    case LinkState::Connected:
        // Draining for our DISC, answered polls without progress count on: a peer that takes
        // nothing cannot hold the link open.
        if (m_releaseWanted && m_rc >= m_settings.retries)
            return fail(count + " while disconnecting");
        m_rc = m_releaseWanted ? m_rc + 1 : 1;
        backOff();
        m_state = LinkState::TimerRecovery;
        enquire(now);
        break;
    case LinkState::TimerRecovery:
        if (m_rc >= m_settings.retries)
            return fail(m_releaseWanted ? count + " while disconnecting" : count);
        ++m_rc;
        backOff();
        enquire(now);
        break;
    case LinkState::AwaitingConnection:
        if (m_rc >= m_settings.retries) return fail(m_resetReason + ", link reset " + count);
        ++m_rc;
        backOff();
        transmit(m_modulo128 ? FrameType::SABME : FrameType::SABM, true, true);
        startT1(now);
        break;
    case LinkState::AwaitingRelease:
        if (m_rc >= m_settings.retries) return end(EndReason::Local, "DISC not answered, " + count);
        ++m_rc;
        backOff();
        transmit(FrameType::DISC, true, true);
        startT1(now);
        break;
    case LinkState::Disconnected:
        break;
    }
}

} // namespace gw::ax25
