// One client connection of smsd: reads one request, answers it, closes. From accept until the
// answer is wholly handed to the system (and an S or K committed) a close resets the connection,
// so neither a refusal nor a stop or crash of the server can read as success to the node.
#pragma once

#include "wire.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <string>

namespace smsd {

class Server;

class Connection : public QObject {
  public:
    // Takes the accepted, non-blocking socket `fd`, already set to reset on close.
    Connection(Server& server, int fd, std::string peer);
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

  private:
    enum class Phase { Reading, Answering, Writing, Draining, Ended };

    void onReadable();
    void onWritable();
    void onIdleTimeout();
    void answerRequest();
    void send(std::string reply);
    void writeOut();
    void drain();
    // Ends the connection: a reset unless the answer was complete; logs `why` when given.
    void end(const std::string& why = {});
    // Logs a refusal of `kind` (throttled per kind), then ends with a reset.
    void refuse(const std::string& kind, const std::string& detail = {});
    void logRefusal(const std::string& kind, const std::string& detail = {});
    std::string what() const;

    Server& m_server;
    int m_fd;
    std::string m_peer;
    Phase m_phase = Phase::Reading;
    RequestReader m_reader;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
    QTimer m_idle;
    QTimer m_retry;
    std::chrono::steady_clock::time_point m_firstTry;
    std::string m_out;
    std::size_t m_sent = 0;
    bool m_released = false; // the answer is complete: a close is a normal one
};

} // namespace smsd
