// The TCP line to a modem program's AGW port: what the AGW driver needs of it, and the
// non-blocking client socket that connects in the background, queues what it cannot send at
// once (bounded), and says why it closed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gw {

// The AGW driver's view of its line; tests put a scripted modem program in its place.
class AgwConnection {
  public:
    enum class State { Closed, Connecting, Connected };

    virtual ~AgwConnection() = default;
    // Starts connecting to host:port; false (with error()) when that cannot even begin.
    virtual bool connectTo(const std::string& host, int port) = 0;
    // Finishes a connect in progress and sends what is queued; call it often.
    virtual void service() = 0;
    // Everything received; on end of stream or failure the line closes with error() set.
    virtual std::string read() = 0;
    // Queues bytes for the peer; dropped unless connected.
    virtual void send(std::string_view bytes) = 0;
    virtual void close() = 0;

    virtual State state() const = 0;
    virtual const std::string& error() const = 0;
    virtual std::size_t queued() const = 0;
};

class AgwSocket final : public AgwConnection {
  public:
    // More than this waiting to go out means the peer stopped reading.
    static constexpr std::size_t kMaxQueued = 1024 * 1024;

    AgwSocket() = default;
    ~AgwSocket() override;
    AgwSocket(const AgwSocket&) = delete;
    AgwSocket& operator=(const AgwSocket&) = delete;

    bool connectTo(const std::string& host, int port) override;
    void service() override;
    std::string read() override;
    void send(std::string_view bytes) override;
    void close() override;

    State state() const override { return m_state; }
    const std::string& error() const override { return m_error; }
    std::size_t queued() const override { return m_out.size(); }

  private:
    void fail(const std::string& why);
    void flush();

    int m_fd = -1;
    State m_state = State::Closed;
    std::string m_out;
    std::string m_error;
};

} // namespace gw
