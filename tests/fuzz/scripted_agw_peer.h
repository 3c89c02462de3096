// A modem program's AGW port for fuzzing the AGW driver through its real code: it answers the
// version, port and registration requests as a modem program does, hands the driver the bytes
// a test delivers, one delivery per read, and keeps what the driver sent.
#pragma once

#include "tnc/agw_frame.h"
#include "tnc/agw_socket.h"

#include <deque>
#include <string>
#include <vector>

namespace gw::fuzz {

class ScriptedAgwPeer final : public AgwConnection {
  public:
    bool refuseRegistration = false; // answers a registration with "refused"
    std::vector<AgwFrame> sent;      // frames from the driver, in order
    bool sentBroken = false;         // the driver sent bytes that are no frame

    // Bytes from the modem program; none can come while the connection is down.
    void deliver(std::string bytes) {
        if (m_state == State::Connected) m_inbox.push_back(std::move(bytes));
    }
    // The connection ends from the far side.
    void drop() {
        close();
        m_error = "connection reset by the fuzzer";
    }

    bool connectTo(const std::string&, int) override {
        m_state = State::Connecting;
        m_error.clear();
        return true;
    }
    void service() override {
        if (m_state == State::Connecting) m_state = State::Connected;
    }
    std::string read() override {
        service();
        if (m_state != State::Connected || m_inbox.empty()) return "";
        std::string in = std::move(m_inbox.front());
        m_inbox.pop_front();
        return in;
    }
    void send(std::string_view bytes) override {
        if (m_state == State::Connected && !m_reader.feed(bytes)) sentBroken = true;
    }
    void close() override {
        m_state = State::Closed;
        m_inbox.clear();
    }
    State state() const override { return m_state; }
    const std::string& error() const override { return m_error; }
    std::size_t queued() const override { return 0; }

  private:
    void onSent(AgwFrame frame) {
        if (frame.kind == 'R')
            deliver(encodeAgwFrame({0, 'R', 0, "", "", std::string("\x07\0\0\0\x14\0\0\0", 8)}));
        else if (frame.kind == 'G')
            deliver(encodeAgwFrame({0, 'G', 0, "", "", "2;Port1 AFSK 1200;Port2 AFSK 300;"}));
        else if (frame.kind == 'X')
            deliver(encodeAgwFrame(
                {0, 'X', 0, frame.callFrom, "", std::string(1, refuseRegistration ? 0 : 1)}));
        sent.push_back(std::move(frame));
    }

    State m_state = State::Closed;
    std::string m_error;
    std::deque<std::string> m_inbox;
    AgwFrameReader m_reader{[this](AgwFrame frame) { onSent(std::move(frame)); }};
};

} // namespace gw::fuzz
