// The HTTP requests and answers the web page's routes see, and the small pieces they share:
// header lookup, JSON answers and the headers every answer carries.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <optional>
#include <string>
#include <utility>

namespace gw {

using HttpHeaders = QList<std::pair<QByteArray, QByteArray>>;

// A whole request as the server took it in (within its size limit).
struct HttpRequest {
    QByteArray method;
    QByteArray path;
    HttpHeaders query; // the query's arguments, decoded
    HttpHeaders headers;
    QByteArray body;
    // The client's address and the address of this host it connected to.
    QHostAddress peer;
    QHostAddress local;
    // The value of header `name` (any case); empty when absent.
    QByteArray header(const QByteArray& name) const;
    std::optional<QByteArray> argument(const QByteArray& name) const;
};

namespace HttpStatus {
constexpr int Ok = 200;
constexpr int BadRequest = 400;
constexpr int Unauthorized = 401;
constexpr int Forbidden = 403;
constexpr int NotFound = 404;
constexpr int MethodNotAllowed = 405;
constexpr int PayloadTooLarge = 413;
constexpr int TooManyRequests = 429;
constexpr int InternalError = 500;
} // namespace HttpStatus

struct HttpResponse {
    int status = HttpStatus::Ok;
    QByteArray type;
    QByteArray body;
    HttpHeaders headers;
    void setHeader(const QByteArray& name, const QByteArray& value) {
        headers.append({name, value});
    }
};

// The node's texts are bytes, one a character (Latin-1), whatever a radio user sent; this is
// how they reach the page, and how the page's text comes back.
QString latin1Text(const std::string& bytes);
std::string latin1Bytes(const QString& text);
HttpResponse jsonAnswer(const QJsonObject& object, int status = HttpStatus::Ok);
HttpResponse jsonError(int status, const QString& text);
// The page's own scripts and styles only, no framing, no sniffing, no caching, no referrer.
void addSecurityHeaders(HttpResponse& response);

} // namespace gw
