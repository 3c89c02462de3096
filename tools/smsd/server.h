// smsd's TCP side: one request per connection, answered and then closed. Refusals (bad
// account, unknown MID, malformed request, database failure) of L and K abort the connection
// with a reset, since the node counts any normal close of those as success; a refused R or S
// is answered with a one-line text and a normal close ("MID already stored: <mid>" for a send
// whose MID is held already), except for a malformed request or a database failure, which reset.
// Connections are counted and capped, in all and per client address, so that one address cannot
// take every slot; refusal log lines are throttled. Running out of descriptors pauses accepting.
#pragma once

#include "log_throttle.h"
#include "store.h"
#include "wire.h"

#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace smsd {

class Connection;

struct ServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    std::uint16_t port = 8773;
    // Node accounts: upper-case call sign to password.
    std::map<std::string, std::string> accounts;
    // A connection whose request is not complete and its answer read by then is reset.
    std::chrono::milliseconds idleTimeout{60'000};
    // A request larger than this is refused, and so is a longer request line.
    std::size_t maxRequest = 4 * 1024 * 1024;
    std::size_t maxRequestLine = 8 * 1024;
    // More connections at once are refused with a reset.
    std::size_t maxConnections = 400;
    // More connections at once from one address are refused with a reset.
    std::size_t maxPerAddress = 32;
    // After the first refusal of a kind, further ones are counted for this long and then
    // logged as one line.
    std::chrono::milliseconds refusalLogPeriod{10'000};
    // How long a request waits for a database locked by another process before it fails.
    std::chrono::milliseconds busyTimeout{5'000};
    // How long accepting pauses when the process is out of descriptors.
    std::chrono::milliseconds acceptPause{250};
    // Fault for tests: this many stored sends lose their answer (the connection is reset).
    std::size_t loseAnswers = 0;
};

// What the server makes of one request.
struct Answer {
    enum class Kind { Reply, Refuse, Busy } kind = Kind::Refuse;
    std::string text;    // the reply, for Kind::Reply
    std::string outcome; // the log line's ending; for a refusal, its kind
    std::string detail;  // what follows the outcome in the log line
};

class Server : public QObject {
    Q_OBJECT
  public:
    Server(Store& store, ServerOptions options, std::function<void(const std::string&)> log,
           QObject* parent = nullptr);
    ~Server() override;

    // Starts listening; false with the reason in `error` when the address cannot be bound.
    bool listen(std::string& error);
    std::uint16_t port() const { return m_port; }

    // The answer to a request whose account was accepted; a database failure is a refusal
    // (L, K, S) or an error line (R), or Busy while the database is locked elsewhere.
    Answer answer(const Request& request);
    // The answer to a request whose account was not accepted; nothing when it is accepted.
    std::optional<Answer> refusal(const Request& request) const;
    // The answer once the database stayed locked too long, or failed.
    static Answer databaseFailure(const Request& request, const std::string& why);

    void log(const std::string& line) { m_log(line); }
    // Logs a refusal of `kind`, throttled: `line` is the whole line.
    void logRefusal(const std::string& kind, const std::string& line) {
        m_refusals.write(kind, line);
    }
    const ServerOptions& options() const { return m_options; }
    // True (and counted) while stored sends are still to lose their answer.
    bool loseAnswer() {
        if (m_options.loseAnswers == 0) return false;
        --m_options.loseAnswers;
        return true;
    }
    std::size_t connections() const { return m_connections.size(); }
    // Called by a connection as it goes.
    void connectionEnded(Connection* connection);

  private:
    void onAcceptReady();
    void pauseAccepting(int error);

    Store& m_store;
    ServerOptions m_options;
    std::function<void(const std::string&)> m_log;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::unique_ptr<QSocketNotifier> m_acceptNotifier;
    QTimer m_acceptPause;
    bool m_acceptTroubleLogged = false;
    LogThrottle m_refusals;
    // Open connections and the client address of each; how many each address holds.
    std::map<Connection*, std::string> m_connections;
    std::map<std::string, std::size_t> m_perAddress;
};

} // namespace smsd
