// The web page's server: listening, the page and its files, the status, monitor, log and
// metrics answers, and the checks every request passes.
#include "web/web_server.h"

#include "core/node_core.h"
#include "core/node_setup.h"
#include "setup/web_password.h"
#include "web/web_http.h"
#include "web/web_link_metrics.h"
#include "web/web_metrics.h"
#include "web/web_status.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QTcpServer>
#include <QUrlQuery>

namespace gw {
namespace {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponse::StatusCode;

QByteArray resource(const char* name) {
    QFile file(QString(":/web/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A host name (with its port) that only this machine answers to.
bool loopbackHost(const QByteArray& host) {
    QByteArray name = host;
    if (name.startsWith('[')) {
        name = name.mid(1, name.indexOf(']') - 1);
    } else if (const qsizetype colon = name.lastIndexOf(':'); colon >= 0) {
        name.truncate(colon);
    }
    if (name.compare("localhost", Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(QString::fromLatin1(name));
    return !address.isNull() && address.isLoopback();
}

} // namespace

WebServer::WebServer(Services services, WebConfig config, QObject* parent)
    : QObject(parent), m_services(services), m_config(std::move(config)),
      m_sessions(services.clock, [this] { return storedPasswordHash(); }) {
    addPageRoutes();
    addConsoleRoutes();
    m_server.afterRequest([](QHttpServerResponse&& response) {
        addSecurityHeaders(response);
        return std::move(response);
    });
}

bool WebServer::start() {
    if (!m_config.problem.empty()) {
        m_problem = m_config.problem;
        return false;
    }
    m_port = m_server.listen(m_config.address, m_config.port);
    if (m_port == 0) {
        const QList<QTcpServer*> servers = m_server.servers();
        m_problem = "cannot listen on " + m_config.address.toString().toStdString() + " port " +
                    std::to_string(m_config.port) +
                    (servers.isEmpty() ? std::string()
                                       : ": " + servers.last()->errorString().toStdString());
        return false;
    }
    return true;
}

std::string WebServer::storedPasswordHash() const {
    return m_services.settings.read(m_services.core.settingsSection(), kWebPasswordKey, "");
}

bool WebServer::hostAllowed(const QHttpServerRequest& request) const {
    return !m_config.loopbackOnly() || loopbackHost(headerValue(request, "Host"));
}

bool WebServer::sameOrigin(const QHttpServerRequest& request) const {
    const QByteArray origin = headerValue(request, "Origin");
    if (origin.isEmpty()) return false;
    if (!m_config.origin.isEmpty() && origin == m_config.origin) return true;
    return origin == "http://" + headerValue(request, "Host");
}

void WebServer::addPageRoutes() {
    struct File {
        const char* path;
        const char* resource;
        const char* type;
    };
    for (const File& file : {File{"/", "index.html", "text/html; charset=utf-8"},
                             File{"/app.js", "app.js", "text/javascript; charset=utf-8"},
                             File{"/style.css", "style.css", "text/css; charset=utf-8"}}) {
        const QByteArray body = resource(file.resource);
        const QByteArray type = file.type;
        m_server.route(file.path, Method::Get,
                       [this, body, type](const QHttpServerRequest& request) {
                           if (!hostAllowed(request))
                               return jsonError(Status::Forbidden, "Unknown host name.");
                           return QHttpServerResponse(type, body);
                       });
    }
    m_server.route("/api/status", Method::Get, [this](const QHttpServerRequest& request) {
        if (!hostAllowed(request)) return jsonError(Status::Forbidden, "Unknown host name.");
        return jsonAnswer(statusJson(m_services.core, m_services.setup, m_services.clock));
    });
    m_server.route("/api/monitor", Method::Get, [this](const QHttpServerRequest& request) {
        if (!hostAllowed(request)) return jsonError(Status::Forbidden, "Unknown host name.");
        const QUrlQuery query = request.query();
        bool ok = true;
        const int stream =
            query.hasQueryItem("stream") ? query.queryItemValue("stream").toInt(&ok) : 0;
        if (!ok || stream < 0 || stream >= StreamTable::kEntries)
            return jsonError(Status::BadRequest, "stream: 0 for all streams, or 1 to 10.");
        const qulonglong after =
            query.hasQueryItem("after") ? query.queryItemValue("after").toULongLong(&ok) : 0;
        if (!ok) return jsonError(Status::BadRequest, "after: a line's sequence number.");
        return jsonAnswer(monitorJson(m_services.core, stream, after));
    });
    m_server.route("/api/log", Method::Get, [this](const QHttpServerRequest& request) {
        if (!hostAllowed(request)) return jsonError(Status::Forbidden, "Unknown host name.");
        return jsonAnswer(logJson(m_services.core));
    });
    m_server.route("/metrics", Method::Get, [this](const QHttpServerRequest& request) {
        if (!hostAllowed(request)) return jsonError(Status::Forbidden, "Unknown host name.");
        return QHttpServerResponse(
            "text/plain; version=0.0.4; charset=utf-8",
            metricsText(m_services.core, m_services.clock) +
                linkMetricsText(m_services.setup, m_services.core.sInstance));
    });
}

} // namespace gw
