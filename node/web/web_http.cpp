// Header lookup, JSON answers and the security headers of every answer.
#include "web/web_http.h"

#include <QJsonDocument>

namespace gw {

QString latin1Text(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string latin1Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

QByteArray headerValue(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

QHttpServerResponse jsonAnswer(const QJsonObject& object, QHttpServerResponse::StatusCode status) {
    return QHttpServerResponse("application/json",
                               QJsonDocument(object).toJson(QJsonDocument::Compact), status);
}

QHttpServerResponse jsonError(QHttpServerResponse::StatusCode status, const QString& text) {
    return jsonAnswer({{"error", text}}, status);
}

void addSecurityHeaders(QHttpServerResponse& response) {
    response.setHeader("Content-Security-Policy",
                       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                       "connect-src 'self'; form-action 'self'; base-uri 'none'; "
                       "frame-ancestors 'none'");
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Cache-Control", "no-store");
}

} // namespace gw
