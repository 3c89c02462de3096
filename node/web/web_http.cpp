// Header lookup, JSON answers and the security headers of every answer.
#include "web/web_http.h"

#include <QJsonDocument>

namespace gw {

QByteArray HttpRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

std::optional<QByteArray> HttpRequest::argument(const QByteArray& name) const {
    for (const auto& [key, value] : query)
        if (key == name) return value;
    return std::nullopt;
}

QString latin1Text(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string latin1Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

HttpResponse jsonAnswer(const QJsonObject& object, int status) {
    return {status, "application/json", QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

HttpResponse jsonError(int status, const QString& text) {
    return jsonAnswer({{"error", text}}, status);
}

void addSecurityHeaders(HttpResponse& response) {
    response.setHeader("Content-Security-Policy",
                       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                       "connect-src 'self'; form-action 'self'; base-uri 'none'; "
                       "frame-ancestors 'none'");
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Cache-Control", "no-store");
}

} // namespace gw
