// The node's own web page: an HTTP server on the node's event loop that answers from the
// core's state as it is (the page, the JSON status, monitor and log, /metrics) and carries
// the sysop console's requests for a logged-in operator. It never waits on the TNC or the
// server: a console request is queued and its reply read later, as the window's console does.
#pragma once

#include "common/clock.h"
#include "common/settings_store.h"
#include "web/web_config.h"
#include "web/web_sessions.h"

#include <QByteArray>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QObject>
#include <string>

namespace gw {

class NodeCore;
class NodeSetup;

class WebServer : public QObject {
    Q_OBJECT
  public:
    struct Services {
        NodeCore& core;
        NodeSetup& setup;
        SettingsStore& settings;
        const Clock& clock;
    };

    WebServer(Services services, WebConfig config, QObject* parent = nullptr);

    // Listens as configured; false, with the reason in problem(), when it cannot.
    bool start();
    const std::string& problem() const { return m_problem; }
    // The port listened on (the one asked for, or the system's choice for port 0).
    std::uint16_t port() const { return m_port; }

    // A request body longer than this is refused.
    static constexpr qsizetype kMaxBody = 64 * 1024;
    // Console fields: a call sign, a MID, an address or subject, and a message's text.
    static constexpr qsizetype kMaxCall = 16;
    static constexpr qsizetype kMaxMid = 64;
    static constexpr qsizetype kMaxLine = 256;
    static constexpr qsizetype kMaxMessage = 32 * 1024;

  private:
    void addPageRoutes();
    void addConsoleRoutes();
    // The request is for this node: a loopback host name while bound to loopback alone, so a
    // page elsewhere cannot point its own name at 127.0.0.1 and read the node.
    bool hostAllowed(const QHttpServerRequest& request) const;
    // A POST from the node's own page: its Origin names the host the request was sent to, or
    // is the configured origin of the page behind a proxy.
    bool sameOrigin(const QHttpServerRequest& request) const;
    // The session's token when the request carries a live session cookie, else null.
    const std::string* sessionToken(const QHttpServerRequest& request);
    std::string cookie(const QHttpServerRequest& request) const;
    // Checks common to every POST: host, origin and size; an error answer or none.
    std::optional<QHttpServerResponse> refusePost(const QHttpServerRequest& request);
    QHttpServerResponse login(const QHttpServerRequest& request);
    QHttpServerResponse consoleState(const QHttpServerRequest& request);
    QHttpServerResponse consoleRequest(const QHttpServerRequest& request);
    // The spool's set-aside messages (at most kMaxSetAsideShown), and the operator's retry
    // or drop of one.
    QHttpServerResponse spoolList(const QHttpServerRequest& request);
    QHttpServerResponse spoolAction(const QHttpServerRequest& request);
    static constexpr qsizetype kMaxSetAsideShown = 200;
    std::string storedPasswordHash() const;

    Services m_services;
    WebConfig m_config;
    WebSessions m_sessions;
    QHttpServer m_server;
    std::uint16_t m_port = 0;
    std::string m_problem;
};

} // namespace gw
