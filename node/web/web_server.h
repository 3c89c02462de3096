// The node's own web page: its routes on an HTTP server with limits of its own, on the node's
// event loop. It answers from the core's state as it is (the page, the JSON status, monitor
// and log, /metrics) and carries the sysop console's requests for a logged-in operator. It
// never waits on the TNC or the server: a console request is queued and its reply read later,
// as the window's console does. Every login, logout and console request is logged with the
// client's address.
#pragma once

#include "common/clock.h"
#include "common/settings_store.h"
#include "web/http_server.h"
#include "web/web_config.h"
#include "web/web_sessions.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <optional>
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
    std::uint16_t port() const { return m_http.port(); }

    // Console fields: a call sign, a MID, an address or subject, and a message's text.
    static constexpr qsizetype kMaxCall = 16;
    static constexpr qsizetype kMaxMid = 64;
    static constexpr qsizetype kMaxLine = 256;
    static constexpr qsizetype kMaxMessage = 32 * 1024;

  private:
    HttpResponse handle(const HttpRequest& request);
    HttpResponse route(const HttpRequest& request);
    HttpResponse consoleRoute(const HttpRequest& request);
    // The request is for this node: a loopback host name while bound to loopback alone;
    // beyond it the address the client reached or a name listed in WebHosts. A page elsewhere
    // cannot point its own name at the node and read it.
    bool hostAllowed(const HttpRequest& request) const;
    // A POST from the node's own page: its Origin names the host the request was sent to, or
    // is the configured origin of the page behind a proxy.
    bool sameOrigin(const HttpRequest& request) const;
    // Whether the request may read the node's state: on loopback always; beyond it with a
    // session, or for the status when WebOpenStatus allows (`status`).
    bool mayRead(const HttpRequest& request, bool status);
    bool metricsAllowed(const HttpRequest& request);
    // The session's token when the request carries a live session cookie, else null.
    const std::string* sessionToken(const HttpRequest& request);
    std::string cookie(const HttpRequest& request) const;
    // Checks common to every POST: origin, and for all but the login the session's token; an
    // error answer or none.
    std::optional<HttpResponse> refusePost(const HttpRequest& request, bool needsSession);
    HttpResponse login(const HttpRequest& request);
    HttpResponse logout(const HttpRequest& request);
    HttpResponse consoleState(const HttpRequest& request);
    HttpResponse consoleRequest(const HttpRequest& request);
    HttpResponse metrics();
    QByteArray sessionCookie(const std::string& value, long long maxAge) const;
    // The spool's set-aside messages (at most kMaxSetAsideShown), and the operator's retry
    // or drop of one.
    HttpResponse spoolList(const HttpRequest& request);
    HttpResponse spoolAction(const HttpRequest& request);
    static constexpr qsizetype kMaxSetAsideShown = 200;
    std::string storedPasswordHash() const;
    // "web ADDRESS: what", to the node's log.
    void audit(const HttpRequest& request, const std::string& what);

    Services m_services;
    WebConfig m_config;
    WebSessions m_sessions;
    HttpServer m_http;
    // Ends the quiet episodes of failed logins, so that their counts reach the log.
    QTimer m_episodes;
    std::string m_problem;
};

} // namespace gw
