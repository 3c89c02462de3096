// A real smsd for tests: started on an ephemeral 127.0.0.1 port with an in-memory database,
// plus a plain blocking client that tells a normal close from a reset.
#pragma once

#include <QProcess>
#include <QStringList>
#include <cstdint>
#include <string>

namespace gwtest {

class SmsdProcess {
  public:
    // Starts smsd with --port 0 --db :memory: and the given extra arguments.
    explicit SmsdProcess(const QStringList& arguments);
    ~SmsdProcess();

    bool running() const { return m_port != 0; }
    std::uint16_t port() const { return m_port; }
    // What smsd wrote to stderr so far (waits briefly for more).
    std::string log();
    // Sends SIGTERM and waits (bounded) for the exit; the exit code, or -1.
    int terminate();
    // Kills with SIGKILL and waits (bounded) for the end.
    void kill();
    qint64 pid() const { return m_process.processId(); }

  private:
    QProcess m_process;
    std::string m_log;
    std::uint16_t m_port = 0;
};

struct Exchange {
    std::string reply;
    bool reset = false;  // the server aborted with a reset
    bool closed = false; // the server closed normally
};

// Connects from `from` (a 127.x address) to 127.0.0.1:port, sends `request`, reads until the
// server ends (at most 5 s).
Exchange exchange(std::uint16_t port, const std::string& request, const char* from = "127.0.0.1");

// Connects from `from` and returns the socket, or -1.
int connectTo(std::uint16_t port, const char* from = "127.0.0.1");
// Reads until the server ends the connection (at most 5 s), then closes `fd`.
Exchange finish(int fd);

} // namespace gwtest
