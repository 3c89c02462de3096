// The sysop console on the web: login, logout, the console's state and requests (passed to the
// core as the window's console passes them), and the spool's set-aside messages sent again or
// dropped; every state change is a POST from the node's own page with the session's token.
#include "core/node_core.h"
#include "setup/web_password.h"
#include "web/web_http.h"
#include "web/web_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace gw {
namespace {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponse::StatusCode;

// A field of the console's form: at most `limit` characters, without control characters
// (the message keeps its line ends); false when it breaks either rule.
bool formField(const QJsonObject& form, const char* name, qsizetype limit, bool lines,
               std::string& out) {
    const QString value = form.value(name).toString();
    if (value.size() > limit) return false;
    const bool clean = std::all_of(value.begin(), value.end(), [lines](QChar c) {
        return !c.isNull() &&
               (c.category() != QChar::Other_Control || (lines && (c == '\n' || c == '\r')));
    });
    out = latin1Bytes(value);
    return clean;
}

} // namespace

std::string WebServer::cookie(const QHttpServerRequest& request) const {
    const QByteArray name = QByteArray(WebSessions::kCookieName) + "=";
    for (const QByteArray& part : headerValue(request, "Cookie").split(';')) {
        const QByteArray trimmed = part.trimmed();
        if (trimmed.startsWith(name)) return trimmed.mid(name.size()).toStdString();
    }
    return {};
}

const std::string* WebServer::sessionToken(const QHttpServerRequest& request) {
    const std::string value = cookie(request);
    return value.empty() ? nullptr : m_sessions.tokenFor(value);
}

std::optional<QHttpServerResponse> WebServer::refusePost(const QHttpServerRequest& request) {
    if (!hostAllowed(request)) return jsonError(Status::Forbidden, "Unknown host name.");
    if (!sameOrigin(request)) return jsonError(Status::Forbidden, "Cross-site request refused.");
    if (request.body().size() > kMaxBody)
        return jsonError(Status::PayloadTooLarge, "The request is too long.");
    return std::nullopt;
}

void WebServer::addConsoleRoutes() {
    m_server.route("/api/login", Method::Post, [this](const QHttpServerRequest& request) {
        if (auto refusal = refusePost(request)) return std::move(*refusal);
        return login(request);
    });
    m_server.route("/api/logout", Method::Post, [this](const QHttpServerRequest& request) {
        if (auto refusal = refusePost(request)) return std::move(*refusal);
        const std::string* token = sessionToken(request);
        if (token == nullptr) return jsonError(Status::Unauthorized, "Log in first.");
        if (!constantTimeEqual(*token, headerValue(request, "X-Gullwick-Token").toStdString()))
            return jsonError(Status::Forbidden, "Missing or wrong token.");
        m_sessions.logout(cookie(request));
        QHttpServerResponse response = jsonAnswer({{"ok", true}});
        response.setHeader("Set-Cookie", QByteArray(WebSessions::kCookieName) +
                                             "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0");
        return response;
    });
    m_server.route("/api/console", Method::Get, [this](const QHttpServerRequest& request) {
        if (!hostAllowed(request)) return jsonError(Status::Forbidden, "Unknown host name.");
        return consoleState(request);
    });
    m_server.route("/api/console", Method::Post, [this](const QHttpServerRequest& request) {
        if (auto refusal = refusePost(request)) return std::move(*refusal);
        return consoleRequest(request);
    });
    m_server.route("/api/spool", Method::Get, [this](const QHttpServerRequest& request) {
        if (!hostAllowed(request)) return jsonError(Status::Forbidden, "Unknown host name.");
        return spoolList(request);
    });
    m_server.route("/api/spool", Method::Post, [this](const QHttpServerRequest& request) {
        if (auto refusal = refusePost(request)) return std::move(*refusal);
        return spoolAction(request);
    });
}

QHttpServerResponse WebServer::login(const QHttpServerRequest& request) {
    const QString noPassword = "No web console password is set; set one with: brevane "
                               "--web-password " +
                               QString::fromStdString(m_services.core.sInstance);
    const QJsonObject form = QJsonDocument::fromJson(request.body()).object();
    const WebSessions::Login result =
        m_sessions.login(form.value("password").toString().toStdString());
    switch (result.result) {
    case WebSessions::Login::Result::NoPassword:
        return jsonError(Status::Forbidden, noPassword);
    case WebSessions::Login::Result::Wrong:
        return jsonError(Status::Unauthorized, "Wrong password.");
    case WebSessions::Login::Result::Throttled: {
        const auto seconds = static_cast<qint64>(result.retryAfter.count());
        QHttpServerResponse response = jsonAnswer(
            {{"error", QString("Too many failed logins; try again in %1 s.").arg(seconds)},
             {"retryAfter", seconds}},
            Status::TooManyRequests);
        response.setHeader("Retry-After", QByteArray::number(seconds));
        return response;
    }
    case WebSessions::Login::Result::Ok:
        break;
    }
    QHttpServerResponse response = jsonAnswer({{"token", QString::fromStdString(result.token)}});
    response.setHeader(
        "Set-Cookie",
        QByteArray(WebSessions::kCookieName) + "=" + QByteArray::fromStdString(result.cookie) +
            "; HttpOnly; SameSite=Strict; Path=/; Max-Age=" +
            QByteArray::number(static_cast<qint64>(
                std::chrono::duration_cast<std::chrono::seconds>(WebSessions::kIdleLife).count())));
    return response;
}

QHttpServerResponse WebServer::consoleState(const QHttpServerRequest& request) {
    const std::string* token = sessionToken(request);
    if (token == nullptr)
        return jsonAnswer({{"loggedIn", false}, {"passwordSet", !storedPasswordHash().empty()}});
    const NodeCore& core = m_services.core;
    return jsonAnswer({{"loggedIn", true},
                       {"token", QString::fromStdString(*token)},
                       {"command", latin1Text(core.consoleCommand())},
                       {"reply", latin1Text(core.receivedText())}});
}

QHttpServerResponse WebServer::consoleRequest(const QHttpServerRequest& request) {
    const std::string* token = sessionToken(request);
    if (token == nullptr) return jsonError(Status::Unauthorized, "Log in first.");
    if (!constantTimeEqual(*token, headerValue(request, "X-Gullwick-Token").toStdString()))
        return jsonError(Status::Forbidden, "Missing or wrong token.");
    const QJsonObject form = QJsonDocument::fromJson(request.body()).object();
    std::string command, call, mid, to, subject, message;
    if (!formField(form, "command", 2, false, command) ||
        !formField(form, "call", kMaxCall, false, call) ||
        !formField(form, "mid", kMaxMid, false, mid) ||
        !formField(form, "to", kMaxLine, false, to) ||
        !formField(form, "subject", kMaxLine, false, subject) ||
        !formField(form, "message", kMaxMessage, true, message))
        return jsonError(Status::BadRequest, "A field is too long or holds control characters.");
    NodeCore& core = m_services.core;
    if ((command == "K" || command == "SP") && !core.consoleOwnsCall(call))
        return jsonError(Status::Forbidden, "K and SP are for the node's own call sign only.");
    std::string refusal;
    bool queued = false;
    if (command == "L")
        queued = core.consoleList(call, &refusal);
    else if (command == "R")
        queued = core.consoleRead(call, mid, &refusal);
    else if (command == "K")
        queued = core.consoleKill(call, mid, &refusal);
    else if (command == "SP")
        queued = core.consoleSend(call, to, subject, message, mid, &refusal);
    else
        return jsonError(Status::BadRequest, "command: L, R, K or SP.");
    if (!queued) return jsonError(Status::BadRequest, latin1Text(refusal));
    return jsonAnswer({{"ok", true}, {"mid", latin1Text(mid)}});
}

QHttpServerResponse WebServer::spoolList(const QHttpServerRequest& request) {
    if (sessionToken(request) == nullptr) return jsonError(Status::Unauthorized, "Log in first.");
    Spool& spool = m_services.core.spool();
    if (!spool.isOpen())
        return jsonAnswer({{"setAside", QJsonArray()}, {"error", "The spool is not open."}});
    const auto list = spool.setAsideList();
    if (!list)
        return jsonAnswer({{"setAside", QJsonArray()},
                           {"error", latin1Text("Cannot read the spool: " + spool.problem())}});
    QJsonArray rows;
    for (const SetAsideMessage& aside : *list) {
        if (rows.size() == kMaxSetAsideShown) break;
        rows.append(QJsonObject{{"mid", latin1Text(aside.message.Mid)},
                                {"from", latin1Text(aside.message.UserCall)},
                                {"to", latin1Text(aside.message.AddressTo)},
                                {"subject", latin1Text(aside.message.Subject)},
                                {"reason", latin1Text(aside.reason)},
                                {"at", latin1Text(aside.at)}});
    }
    return jsonAnswer({{"setAside", rows},
                       {"more", static_cast<qint64>(list->size()) - rows.size()},
                       {"error", QJsonValue::Null}});
}

QHttpServerResponse WebServer::spoolAction(const QHttpServerRequest& request) {
    const std::string* token = sessionToken(request);
    if (token == nullptr) return jsonError(Status::Unauthorized, "Log in first.");
    if (!constantTimeEqual(*token, headerValue(request, "X-Gullwick-Token").toStdString()))
        return jsonError(Status::Forbidden, "Missing or wrong token.");
    const QJsonObject form = QJsonDocument::fromJson(request.body()).object();
    std::string action, mid;
    if (!formField(form, "action", 8, false, action) ||
        !formField(form, "mid", kMaxMid, false, mid) || mid.empty())
        return jsonError(Status::BadRequest, "A MID is wanted, without control characters.");
    std::string refusal;
    bool done = false;
    if (action == "retry")
        done = m_services.core.spoolRetry(mid, refusal);
    else if (action == "drop")
        done = m_services.core.spoolDrop(mid, refusal);
    else
        return jsonError(Status::BadRequest, "action: retry or drop.");
    if (!done) return jsonError(Status::BadRequest, latin1Text(refusal));
    return jsonAnswer({{"ok", true}});
}

} // namespace gw
