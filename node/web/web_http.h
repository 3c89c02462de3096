// Small pieces of HTTP the web page's routes share: header lookup, JSON answers and the
// headers every answer carries.
#pragma once

#include <QByteArray>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <string>

namespace gw {

// The node's texts are bytes, one a character (Latin-1), whatever a radio user sent; this is
// how they reach the page, and how the page's text comes back.
QString latin1Text(const std::string& bytes);
std::string latin1Bytes(const QString& text);
// The value of the request's header `name` (any case); empty when absent.
QByteArray headerValue(const QHttpServerRequest& request, const QByteArray& name);
QHttpServerResponse
jsonAnswer(const QJsonObject& object,
           QHttpServerResponse::StatusCode status = QHttpServerResponse::StatusCode::Ok);
QHttpServerResponse jsonError(QHttpServerResponse::StatusCode status, const QString& text);
// The page's own scripts and styles only, no framing, no sniffing, no caching, no referrer.
void addSecurityHeaders(QHttpServerResponse& response);

} // namespace gw
