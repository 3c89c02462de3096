// The simulated caller's link layer.
#include "user_link.h"

#include <algorithm>

namespace tncsim {

using ax25::Kind;

UserLink::UserLink(ax25::Address self, ax25::Address node, std::vector<ax25::Address> path,
                   LinkParams params, Hooks hooks)
    : m_self(std::move(self)), m_node(std::move(node)), m_path(std::move(path)), m_params(params),
      m_hooks(std::move(hooks)) {}

ax25::Frame UserLink::frame(Kind kind, bool command, bool pollFinal) const {
    ax25::Frame out;
    out.destination = m_node;
    out.source = m_self;
    out.digipeaters = m_path;
    out.kind = kind;
    out.command = command;
    out.pollFinal = pollFinal;
    out.nr = m_vr;
    return out;
}

void UserLink::transmit(const ax25::Frame& out) {
    if (m_vanished) return;
    // Any frame that carries N(R) acknowledges what came in.
    if (out.kind == Kind::I || out.kind == Kind::RR || out.kind == Kind::RNR ||
        out.kind == Kind::REJ)
        m_t2.reset();
    m_hooks.transmit(out, m_modulus);
}

void UserLink::sendSetUp() {
    transmit(frame(m_modulus == 128 ? Kind::SABME : Kind::SABM, true, true));
}

void UserLink::connect(Clock::time_point now) {
    m_modulus = m_params.sabme ? 128 : 8;
    m_vs = m_vr = m_va = 0;
    m_unacked.clear();
    m_rejectSent = m_peerBusy = m_disconnectWanted = false;
    m_retries = 0;
    m_state = State::AwaitingConnection;
    sendSetUp();
    startT1(now);
}

void UserLink::send(const std::string& text, Clock::time_point now) {
    const auto size = static_cast<std::size_t>(std::max(1, m_params.paclen));
    for (std::size_t at = 0; at < text.size(); at += size)
        m_queue.push_back(text.substr(at, size));
    pump(now);
}

void UserLink::disconnect(Clock::time_point now) {
    if (m_state == State::Disconnected) return;
    m_disconnectWanted = true;
    pump(now);
}

bool UserLink::settled() const {
    if (m_vanished || m_state == State::Disconnected) return true;
    return m_state == State::Connected && m_queue.empty() && m_va == m_vs && !m_disconnectWanted &&
           !m_t2;
}

std::optional<Clock::time_point> UserLink::nextDue() const {
    if (m_vanished) return std::nullopt;
    if (m_t1 && m_t2) return std::min(*m_t1, *m_t2);
    return m_t1 ? m_t1 : m_t2;
}

void UserLink::pump(Clock::time_point now) {
    if (m_state != State::Connected) return;
    const int window = std::min(m_params.window, m_modulus - 1);
    while (!m_queue.empty() && !m_peerBusy && outstanding() < window) {
        ax25::Frame out = frame(Kind::I, true, false);
        out.ns = m_vs;
        out.info = m_queue.front();
        m_queue.pop_front();
        m_unacked[m_vs] = out.info;
        m_vs = (m_vs + 1) % m_modulus;
        transmit(out);
        if (!m_t1) startT1(now);
    }
    if (m_disconnectWanted && m_queue.empty() && m_va == m_vs) {
        m_disconnectWanted = false;
        m_state = State::AwaitingRelease;
        m_retries = 0;
        m_t2.reset();
        transmit(frame(Kind::DISC, true, true));
        startT1(now);
    }
}

void UserLink::retransmit(Clock::time_point now) {
    for (int ns = m_va; ns != m_vs; ns = (ns + 1) % m_modulus) {
        ax25::Frame out = frame(Kind::I, true, false);
        out.ns = ns;
        out.info = m_unacked[ns];
        transmit(out);
    }
    if (m_va != m_vs) startT1(now);
}

// Takes N(R): the node has our frames up to N(R)-1. False when N(R) is outside the window.
bool UserLink::acknowledge(int nr, Clock::time_point now) {
    if ((nr - m_va + m_modulus) % m_modulus > outstanding()) {
        m_hooks.fault("N(R) " + std::to_string(nr) + " outside V(A) " + std::to_string(m_va) +
                      " to V(S) " + std::to_string(m_vs));
        down("failed: N(R) error");
        transmit(frame(Kind::DM, false, false));
        return false;
    }
    const bool moved = nr != m_va;
    for (; m_va != nr; m_va = (m_va + 1) % m_modulus)
        m_unacked.erase(m_va);
    if (m_state == State::Connected) {
        if (m_va == m_vs && !m_peerBusy)
            m_t1.reset();
        else if (moved)
            startT1(now);
    }
    return true;
}

void UserLink::down(const std::string& line) {
    m_state = State::Disconnected;
    m_t1.reset();
    m_t2.reset();
    m_queue.clear();
    m_unacked.clear();
    m_disconnectWanted = false;
    m_hooks.note(line);
}

void UserLink::receive(const ax25::Frame& in, Clock::time_point now) {
    if (m_vanished) return;
    const bool setUp = in.kind == Kind::SABM || in.kind == Kind::SABME;
    switch (m_state) {
    case State::Disconnected:
        // We take no calls: a command that asks for an answer hears that we are not linked.
        if (in.command && (in.pollFinal || setUp || in.kind == Kind::DISC))
            answer(Kind::DM, in.pollFinal);
        return;
    case State::AwaitingConnection:
        if (in.kind == Kind::UA) {
            if (!in.pollFinal) {
                m_hooks.fault("UA without F to our " +
                              std::string(m_modulus == 128 ? "SABME" : "SABM"));
                return;
            }
            m_state = State::Connected;
            m_t1.reset();
            m_retries = 0;
            m_hooks.note("*** CONNECTED to " + m_node.text());
            pump(now);
        } else if ((in.kind == Kind::DM && in.pollFinal) || in.kind == Kind::FRMR) {
            if (m_modulus == 128) {
                // A version 2.0 station: ask again modulo 8.
                m_modulus = 8;
                m_retries = 0;
                m_hooks.note("*** SABME refused, calling with SABM");
                sendSetUp();
                startT1(now);
                return;
            }
            if (in.kind == Kind::FRMR) return;
            down("*** " + m_node.text() + " busy");
            m_hooks.disconnectedByNode();
        } else if (in.kind == Kind::DISC) {
            answer(Kind::DM, in.pollFinal);
        }
        return;
    case State::AwaitingRelease:
        if (in.kind == Kind::UA && !in.pollFinal) {
            m_hooks.fault("UA without F to our DISC");
        } else if (in.kind == Kind::UA || (in.kind == Kind::DM && in.pollFinal)) {
            down("*** DISCONNECTED");
        } else if (in.kind == Kind::DISC) {
            answer(Kind::UA, in.pollFinal);
        } else if (in.command && (setUp || in.pollFinal)) {
            answer(Kind::DM, in.pollFinal);
        }
        return;
    case State::Connected:
    case State::TimerRecovery:
        receiveLinked(in, now);
        return;
    }
}

void UserLink::receiveLinked(const ax25::Frame& in, Clock::time_point now) {
    switch (in.kind) {
    case Kind::SABM:
    case Kind::SABME: {
        // The node resets the link: what was not acknowledged goes again.
        for (auto it = m_unacked.rbegin(); it != m_unacked.rend(); ++it)
            m_queue.push_front(it->second);
        m_unacked.clear();
        m_modulus = in.kind == Kind::SABME ? 128 : 8;
        m_vs = m_vr = m_va = 0;
        m_state = State::Connected;
        m_t1.reset();
        m_hooks.note("*** link reset by " + m_node.text());
        answer(Kind::UA, in.pollFinal);
        pump(now);
        return;
    }
    case Kind::DISC:
        answer(Kind::UA, in.pollFinal);
        down("*** DISCONNECTED by " + m_node.text());
        m_hooks.disconnectedByNode();
        return;
    case Kind::DM:
        down("*** DM from " + m_node.text());
        m_hooks.disconnectedByNode();
        return;
    case Kind::FRMR:
        m_hooks.fault("FRMR on a live link");
        down("failed: frame reject");
        return;
    case Kind::TEST:
        if (in.command) {
            ax25::Frame out = frame(Kind::TEST, false, in.pollFinal);
            out.info = in.info;
            transmit(out);
        }
        return;
    case Kind::I:
        receiveInformation(in, now);
        return;
    case Kind::RR:
    case Kind::RNR:
    case Kind::REJ:
    case Kind::SREJ:
        receiveSupervisory(in, now);
        return;
    default:
        // A repeated UA to our SABM, an XID we do not negotiate: nothing to do.
        return;
    }
}

void UserLink::receiveInformation(const ax25::Frame& in, Clock::time_point now) {
    if (!in.command) {
        m_hooks.fault("I frame sent as a response");
        return;
    }
    if (!acknowledge(in.nr, now)) return;
    if (m_silent) return;
    if (static_cast<int>(in.info.size()) > m_params.maxInfo) {
        m_hooks.fault("I field of " + std::to_string(in.info.size()) + " bytes, over N1 " +
                      std::to_string(m_params.maxInfo));
        return;
    }
    if (in.ns == m_vr) {
        m_vr = (m_vr + 1) % m_modulus;
        m_rejectSent = false;
        m_hooks.received(in.info);
        if (in.pollFinal)
            answer(Kind::RR, true);
        else if (!m_t2)
            m_t2 = now + std::chrono::milliseconds(m_params.t2Ms);
    } else if (!m_rejectSent) {
        m_rejectSent = true;
        answer(Kind::REJ, in.pollFinal);
    } else if (in.pollFinal) {
        answer(Kind::RR, true);
    }
    pump(now);
}

void UserLink::receiveSupervisory(const ax25::Frame& in, Clock::time_point now) {
    const bool busy = in.kind == Kind::RNR;
    if (m_state == State::TimerRecovery && !in.command && in.pollFinal) {
        // The answer to our poll: resend what it does not have, and carry on.
        m_t1.reset();
        if (!acknowledge(in.nr, now)) return;
        m_peerBusy = busy;
        m_state = State::Connected;
        m_retries = 0;
        if (!m_peerBusy) retransmit(now);
        if (m_va != m_vs || m_peerBusy) startT1(now);
    } else {
        m_peerBusy = busy;
        if (!acknowledge(in.nr, now)) return;
        if (in.kind == Kind::REJ) {
            retransmit(now);
        } else if (in.kind == Kind::SREJ && m_unacked.count(in.nr) != 0) {
            ax25::Frame out = frame(Kind::I, true, false);
            out.ns = in.nr;
            out.info = m_unacked[in.nr];
            transmit(out);
            startT1(now);
        }
        if (m_peerBusy && !m_t1) startT1(now);
    }
    if (in.command && in.pollFinal && !m_silent) answer(Kind::RR, true);
    pump(now);
}

void UserLink::service(Clock::time_point now) {
    if (m_vanished) return;
    if (m_t2 && now >= *m_t2) {
        m_t2.reset();
        if (!m_silent && (m_state == State::Connected || m_state == State::TimerRecovery))
            answer(Kind::RR, false);
    }
    if (m_t1 && now >= *m_t1) {
        m_t1.reset();
        timerT1(now);
    }
}

void UserLink::timerT1(Clock::time_point now) {
    if (m_state == State::Connected) {
        // Nothing heard in time: ask where the node stands.
        m_state = State::TimerRecovery;
        m_retries = 1;
        transmit(frame(Kind::RR, true, true));
        startT1(now);
        return;
    }
    if (m_retries >= m_params.n2) {
        if (m_state == State::TimerRecovery) transmit(frame(Kind::DM, false, false));
        down("failed: retry count exceeded");
        return;
    }
    ++m_retries;
    if (m_state == State::AwaitingConnection)
        sendSetUp();
    else if (m_state == State::AwaitingRelease)
        transmit(frame(Kind::DISC, true, true));
    else
        transmit(frame(Kind::RR, true, true));
    startT1(now);
}

} // namespace tncsim
