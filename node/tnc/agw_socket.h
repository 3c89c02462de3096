// The TCP line to a modem program's AGW port: a non-blocking client socket that connects in
// the background, queues what it cannot send at once (bounded), and says why it closed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gw {

class AgwSocket {
  public:
    enum class State { Closed, Connecting, Connected };
    // More than this waiting to go out means the peer stopped reading.
    static constexpr std::size_t kMaxQueued = 1024 * 1024;

    AgwSocket() = default;
    ~AgwSocket();
    AgwSocket(const AgwSocket&) = delete;
    AgwSocket& operator=(const AgwSocket&) = delete;

    // Starts connecting to host:port; false (with error()) when that cannot even begin.
    bool connectTo(const std::string& host, int port);
    // Finishes a connect in progress and sends what is queued; call it often.
    void service();
    // Everything received; on end of stream or failure the socket closes with error() set.
    std::string read();
    // Queues bytes for the peer; dropped unless connected.
    void send(std::string_view bytes);
    void close();

    State state() const { return m_state; }
    const std::string& error() const { return m_error; }
    std::size_t queued() const { return m_out.size(); }

  private:
    void fail(const std::string& why);
    void flush();

    int m_fd = -1;
    State m_state = State::Closed;
    std::string m_out;
    std::string m_error;
};

} // namespace gw
