// The web page's server: listening, the routes, the page and its files, the status, monitor,
// log and metrics answers, and the checks every request passes (host, login beyond loopback).
#include "web/web_server.h"

#include "common/text.h"
#include "core/node_core.h"
#include "core/node_setup.h"
#include "setup/web_password.h"
#include "web/web_link_metrics.h"
#include "web/web_metrics.h"
#include "web/web_status.h"

#include <QFile>

namespace gw {
namespace {

QByteArray resource(const char* name) {
    QFile file(QString(":/web/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The name in a Host header, without its port or brackets, in lower case.
QByteArray hostName(const QByteArray& host) {
    QByteArray name = host.trimmed().toLower();
    if (name.startsWith('[')) return name.mid(1, name.indexOf(']') - 1);
    if (const qsizetype colon = name.lastIndexOf(':'); colon >= 0) name.truncate(colon);
    return name;
}

bool loopbackName(const QByteArray& name) {
    if (name == "localhost") return true;
    const QHostAddress address(QString::fromLatin1(name));
    return !address.isNull() && address.isLoopback();
}

struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
constexpr PageFile kPageFiles[] = {{"/", "index.html", "text/html; charset=utf-8"},
                                   {"/app.js", "app.js", "text/javascript; charset=utf-8"},
                                   {"/style.css", "style.css", "text/css; charset=utf-8"}};

} // namespace

WebServer::WebServer(Services services, WebConfig config, QObject* parent)
    : QObject(parent), m_services(services), m_config(std::move(config)),
      m_sessions({services.clock, [this] { return storedPasswordHash(); },
                  [this](const std::string& line) {
                      m_services.core.nodeLog().Log(line, JournalPriority::Warning);
                  }}),
      m_http(m_config.limits, services.clock,
             [this](const HttpRequest& request) { return handle(request); }) {
    m_episodes.setInterval(std::chrono::minutes(1));
    connect(&m_episodes, &QTimer::timeout, this, [this] { m_sessions.endQuietEpisodes(); });
}

bool WebServer::start() {
    if (!m_config.problem.empty()) {
        m_problem = m_config.problem;
        return false;
    }
    if (!m_http.listen(m_config.address, m_config.port, m_problem)) return false;
    m_episodes.start();
    return true;
}

std::string WebServer::storedPasswordHash() const {
    return m_services.settings.read(m_services.core.settingsSection(), kWebPasswordKey, "");
}

void WebServer::audit(const HttpRequest& request, const std::string& what) {
    m_services.core.nodeLog().Log("web " + request.peer.toString().toStdString() + ": " + what);
}

HttpResponse WebServer::handle(const HttpRequest& request) {
    HttpResponse response = route(request);
    addSecurityHeaders(response);
    return response;
}

bool WebServer::hostAllowed(const HttpRequest& request) const {
    const QByteArray name = hostName(request.header("Host"));
    if (name.isEmpty()) return false;
    if (m_config.loopbackOnly()) return loopbackName(name);
    if (m_config.hosts.contains(QString::fromLatin1(name))) return true;
    if (request.local.isLoopback() && loopbackName(name)) return true;
    const QHostAddress named(QString::fromLatin1(name));
    return !named.isNull() && named.isEqual(request.local, QHostAddress::TolerantConversion);
}

bool WebServer::sameOrigin(const HttpRequest& request) const {
    const QByteArray origin = request.header("Origin");
    if (origin.isEmpty()) return false;
    if (!m_config.origin.isEmpty() && origin == m_config.origin) return true;
    return origin == "http://" + request.header("Host");
}

bool WebServer::mayRead(const HttpRequest& request, bool status) {
    if (m_config.loopbackOnly()) return true;
    if (status && m_config.openStatus) return true;
    return sessionToken(request) != nullptr;
}

bool WebServer::metricsAllowed(const HttpRequest& request) {
    if (!m_config.metricsToken.isEmpty() &&
        constantTimeEqual(request.header("Authorization").toStdString(),
                          ("Bearer " + m_config.metricsToken).toStdString()))
        return true;
    return mayRead(request, true);
}

HttpResponse WebServer::route(const HttpRequest& request) {
    if (!hostAllowed(request)) return jsonError(HttpStatus::Forbidden, "Unknown host name.");
    const QByteArray& path = request.path;
    if (path == "/api/login" || path == "/api/logout" || path == "/api/console" ||
        path == "/api/spool")
        return consoleRoute(request);
    if (request.method != "GET") return jsonError(HttpStatus::MethodNotAllowed, "Use GET.");
    for (const PageFile& file : kPageFiles)
        if (path == file.path) return {HttpStatus::Ok, file.type, resource(file.resource), {}};
    const bool status = path == "/api/status";
    if (path == "/metrics") {
        if (!metricsAllowed(request)) return jsonError(HttpStatus::Unauthorized, "Log in first.");
        return metrics();
    }
    if (!status && path != "/api/monitor" && path != "/api/log")
        return jsonError(HttpStatus::NotFound, "No such page.");
    if (!mayRead(request, status)) return jsonError(HttpStatus::Unauthorized, "Log in first.");
    if (status) return jsonAnswer(statusJson(m_services.core, m_services.setup, m_services.clock));
    if (path == "/api/log") return jsonAnswer(logJson(m_services.core));
    bool ok = true;
    const std::optional<QByteArray> streamText = request.argument("stream");
    const int stream = streamText ? streamText->toInt(&ok) : 0;
    if (!ok || stream < 0 || stream >= StreamTable::kEntries)
        return jsonError(HttpStatus::BadRequest, "stream: 0 for all streams, or 1 to 10.");
    const std::optional<QByteArray> afterText = request.argument("after");
    const qulonglong after = afterText ? afterText->toULongLong(&ok) : 0;
    if (!ok) return jsonError(HttpStatus::BadRequest, "after: a line's sequence number.");
    return jsonAnswer(monitorJson(m_services.core, stream, after));
}

HttpResponse WebServer::metrics() {
    return {HttpStatus::Ok,
            "text/plain; version=0.0.4; charset=utf-8",
            metricsText(m_services.core, m_services.clock, m_sessions) +
                linkMetricsText(m_services.setup, m_services.core.instance()),
            {}};
}

} // namespace gw
