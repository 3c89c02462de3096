// smsd's TCP side: one request per connection, answered and then closed. Refusals (bad
// account, unknown MID, malformed request) of L, K and S abort the connection with a reset,
// since the node counts any normal close of those as success; a refused R is answered with
// a one-line text and a normal close, which the node shows as a read error.
#pragma once

#include "store.h"
#include "wire.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace smsd {

struct ServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    std::uint16_t port = 8773;
    // Node accounts: upper-case call sign to password.
    std::map<std::string, std::string> accounts;
    // A connection that has not completed its request in this time is reset.
    std::chrono::milliseconds idleTimeout{60'000};
    // A request larger than this is refused.
    std::size_t maxRequest = 4 * 1024 * 1024;
};

class Server : public QObject {
    Q_OBJECT
  public:
    Server(Store& store, ServerOptions options, std::function<void(const std::string&)> log,
           QObject* parent = nullptr);

    // Starts listening; false with the reason in `error` when the address cannot be bound.
    bool listen(std::string& error);
    std::uint16_t port() const { return m_server.serverPort(); }

    // The reply text for a request, or nothing when the request must be refused with a
    // reset; `outcome` gets the log line's ending.
    std::optional<std::string> answer(const Request& request, std::string& outcome);

    void log(const std::string& line) { m_log(line); }
    const ServerOptions& options() const { return m_options; }

  private:
    void onNewConnection();
    bool authorised(const Request& request) const;

    Store& m_store;
    ServerOptions m_options;
    std::function<void(const std::string&)> m_log;
    QTcpServer m_server;
};

} // namespace smsd
