// A TCP server on 127.0.0.1 (ephemeral port) for tests: each accepted connection runs a
// script on a thread of its own, so the test's thread stays free to pump the node's events.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gwtest {

class ScriptedServer {
  public:
    using Script = std::function<void(int fd, int connection, ScriptedServer& server)>;

    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return m_port; }
    int connections() const { return m_connections.load(); }
    bool stopping() const { return m_stop.load(); }

    // What the scripts received, one entry per connection, in order of arrival.
    std::vector<std::string> received() const;
    void record(int connection, const std::string& text);

    // Script helpers. All return early once the server is stopping.
    // Reads until `text` ends with `terminator`, the peer closes, or `timeout` passes.
    std::string readUntil(int fd, const std::string& terminator,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits until the peer closes; true when it did within `timeout`.
    bool waitForClose(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    static void sendAll(int fd, const std::string& text);
    // Closes with a reset (linger 0) instead of a normal close.
    static void reset(int fd);

  private:
    void acceptLoop();

    Script m_script;
    int m_listen = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_received;
    std::thread m_acceptThread;
    std::vector<std::thread> m_workers;
};

// A port on 127.0.0.1 where nothing listens (bound, then released).
std::uint16_t closedPort();

} // namespace gwtest
