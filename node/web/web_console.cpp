// The sysop console on the web: login, logout, the console's state and requests (passed to the
// core as the window's console passes them), and the spool's set-aside messages sent again or
// dropped; every state change is a POST with the session's token, logged with the client.
#include "common/text.h"
#include "core/node_core.h"
#include "setup/web_password.h"
#include "web/web_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace gw {
namespace {

// The key a client's failed logins are counted under: its address, or for IPv6 its /64
// network, which one machine commonly holds whole.
std::string throttleKey(const QHostAddress& peer) {
    if (peer.protocol() != QAbstractSocket::IPv6Protocol || peer.toIPv4Address() != 0)
        return QHostAddress(peer.toIPv4Address()).toString().toStdString();
    Q_IPV6ADDR bytes = peer.toIPv6Address();
    std::fill(std::begin(bytes.c) + 8, std::end(bytes.c), 0);
    return QHostAddress(bytes).toString().toStdString() + "/64";
}

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

std::string WebServer::cookie(const HttpRequest& request) const {
    const QByteArray name = QByteArray(WebSessions::kCookieName) + "=";
    for (const auto& [key, value] : request.headers) {
        if (key.compare("Cookie", Qt::CaseInsensitive) != 0) continue;
        for (const QByteArray& part : value.split(';')) {
            const QByteArray trimmed = part.trimmed();
            if (trimmed.startsWith(name)) return trimmed.mid(name.size()).toStdString();
        }
    }
    return {};
}

const std::string* WebServer::sessionToken(const HttpRequest& request) {
    const std::string value = cookie(request);
    return value.empty() ? nullptr : m_sessions.tokenFor(value);
}

QByteArray WebServer::sessionCookie(const std::string& value, long long maxAge) const {
    return QByteArray(WebSessions::kCookieName) + "=" + QByteArray::fromStdString(value) +
           "; HttpOnly; SameSite=Strict; Path=/; Max-Age=" + QByteArray::number(maxAge) +
           (m_config.secure() ? "; Secure" : "");
}

std::optional<HttpResponse> WebServer::refusePost(const HttpRequest& request, bool needsSession) {
    if (!sameOrigin(request))
        return jsonError(HttpStatus::Forbidden, "Cross-site request refused.");
    if (!needsSession) return std::nullopt;
    const std::string* token = sessionToken(request);
    if (token == nullptr) return jsonError(HttpStatus::Unauthorized, "Log in first.");
    if (!constantTimeEqual(*token, request.header("X-Gullwick-Token").toStdString()))
        return jsonError(HttpStatus::Forbidden, "Missing or wrong token.");
    return std::nullopt;
}

HttpResponse WebServer::consoleRoute(const HttpRequest& request) {
    const bool post = request.method == "POST";
    if (request.path == "/api/console" && request.method == "GET") return consoleState(request);
    if (request.path == "/api/spool" && request.method == "GET") return spoolList(request);
    if (!post) return jsonError(HttpStatus::MethodNotAllowed, "Use POST.");
    const bool isLogin = request.path == "/api/login";
    if (auto refusal = refusePost(request, !isLogin)) return std::move(*refusal);
    if (isLogin) return login(request);
    if (request.path == "/api/logout") return logout(request);
    if (request.path == "/api/spool") return spoolAction(request);
    return consoleRequest(request);
}

HttpResponse WebServer::login(const HttpRequest& request) {
    const QString setIt = "set one with: brevane --web-password " +
                          QString::fromStdString(m_services.core.instance());
    const QJsonObject form = QJsonDocument::fromJson(request.body).object();
    const WebSessions::Login result = m_sessions.login(
        throttleKey(request.peer), form.value("password").toString().toStdString());
    switch (result.result) {
    case WebSessions::Login::Result::NoPassword:
        return jsonError(HttpStatus::Forbidden, "No web console password is set; " + setIt);
    case WebSessions::Login::Result::Damaged:
        audit(request, "login refused: the stored web password is damaged");
        return jsonError(HttpStatus::Forbidden,
                         "The stored password is damaged; set it again with: brevane "
                         "--web-password " +
                             QString::fromStdString(m_services.core.instance()));
    case WebSessions::Login::Result::Wrong:
        return jsonError(HttpStatus::Unauthorized, "Wrong password.");
    case WebSessions::Login::Result::Throttled: {
        const auto seconds = static_cast<qint64>(result.retryAfter.count());
        HttpResponse response = jsonAnswer(
            {{"error", QString("Too many failed logins; try again in %1 s.").arg(seconds)},
             {"retryAfter", seconds}},
            HttpStatus::TooManyRequests);
        response.setHeader("Retry-After", QByteArray::number(seconds));
        return response;
    }
    case WebSessions::Login::Result::Ok:
        break;
    }
    audit(request, "logged in to the console");
    HttpResponse response = jsonAnswer({{"token", QString::fromStdString(result.token)}});
    response.setHeader(
        "Set-Cookie",
        sessionCookie(
            result.cookie,
            std::chrono::duration_cast<std::chrono::seconds>(WebSessions::kIdleLife).count()));
    return response;
}

HttpResponse WebServer::logout(const HttpRequest& request) {
    if (m_sessions.logout(cookie(request))) audit(request, "logged out of the console");
    HttpResponse response = jsonAnswer({{"ok", true}});
    response.setHeader("Set-Cookie", sessionCookie("", 0));
    return response;
}

HttpResponse WebServer::consoleState(const HttpRequest& request) {
    const std::string* token = sessionToken(request);
    if (token == nullptr) {
        const std::string stored = storedPasswordHash();
        return jsonAnswer(
            {{"loggedIn", false},
             {"passwordSet", !stored.empty()},
             {"passwordDamaged", !stored.empty() && !webPasswordHashReadable(stored)}});
    }
    const NodeCore& core = m_services.core;
    return jsonAnswer({{"loggedIn", true},
                       {"token", QString::fromStdString(*token)},
                       {"command", latin1Text(core.consoleCommand())},
                       {"reply", latin1Text(core.receivedText())}});
}

HttpResponse WebServer::consoleRequest(const HttpRequest& request) {
    const QJsonObject form = QJsonDocument::fromJson(request.body).object();
    std::string command, call, mid, to, subject, message;
    if (!formField(form, "command", 2, false, command) ||
        !formField(form, "call", kMaxCall, false, call) ||
        !formField(form, "mid", kMaxMid, false, mid) ||
        !formField(form, "to", kMaxLine, false, to) ||
        !formField(form, "subject", kMaxLine, false, subject) ||
        !formField(form, "message", kMaxMessage, true, message)) {
        audit(request, "console request refused: a field is too long or holds control characters");
        return jsonError(HttpStatus::BadRequest,
                         "A field is too long or holds control characters.");
    }
    NodeCore& core = m_services.core;
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
        return jsonError(HttpStatus::BadRequest, "command: L, R, K or SP.");
    std::string asked = command + " " + call;
    if (command == "R" || command == "K") asked += " " + mid;
    if (command == "SP") asked += " to " + to + " " + mid;
    audit(request, loggable(asked, 200) + (queued ? "" : " refused: " + refusal));
    if (!queued) return jsonError(HttpStatus::BadRequest, latin1Text(refusal));
    return jsonAnswer({{"ok", true}, {"mid", latin1Text(mid)}});
}

HttpResponse WebServer::spoolList(const HttpRequest& request) {
    if (sessionToken(request) == nullptr)
        return jsonError(HttpStatus::Unauthorized, "Log in first.");
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

HttpResponse WebServer::spoolAction(const HttpRequest& request) {
    const QJsonObject form = QJsonDocument::fromJson(request.body).object();
    std::string action, mid;
    if (!formField(form, "action", 8, false, action) ||
        !formField(form, "mid", kMaxMid, false, mid) || mid.empty())
        return jsonError(HttpStatus::BadRequest, "A MID is wanted, without control characters.");
    audit(request, "spool " + action + " " + mid);
    std::string refusal;
    bool done = false;
    if (action == "retry")
        done = m_services.core.spoolRetry(mid, refusal);
    else if (action == "drop")
        done = m_services.core.spoolDrop(mid, refusal);
    else
        return jsonError(HttpStatus::BadRequest, "action: retry or drop.");
    if (!done) return jsonError(HttpStatus::BadRequest, latin1Text(refusal));
    return jsonAnswer({{"ok", true}});
}

} // namespace gw
