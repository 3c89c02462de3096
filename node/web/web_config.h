// Where the node's web page listens and what it allows, from the instance's settings:
// "WebServer" (on unless "False"), "WebAddress" (127.0.0.1), "WebPort" (8780 + the instance
// number), "WebOrigin" (the page's address behind a reverse proxy), the connection limits, and
// what the page opens beyond loopback ("WebHosts", "WebOpenStatus", "WebMetricsToken").
#pragma once

#include "common/settings_store.h"
#include "web/http_server.h"

#include <QByteArray>
#include <QHostAddress>
#include <QStringList>
#include <cstdint>
#include <string>

namespace gw {

struct WebConfig {
    bool enabled = true;
    QHostAddress address{QHostAddress::LocalHost};
    std::uint16_t port = 0;
    // Beside the host the request names, the one other origin a POST may come from.
    QByteArray origin;
    HttpServer::Limits limits;
    // Beyond loopback: the host names the page answers to besides the address it is reached
    // at (lower case); whether the read-only status opens without a login; the bearer token
    // that opens /metrics to a scraper ("" for none).
    QStringList hosts;
    bool openStatus = false;
    QByteArray metricsToken;
    // Why a stored value cannot be used; the page then stays off.
    std::string problem;

    static constexpr std::uint16_t kBasePort = 8780;
    // Only the loopback address: nobody else can reach the page.
    bool loopbackOnly() const { return address.isLoopback(); }
    // Served through HTTPS (the proxy's origin says so): the cookie is then Secure.
    bool secure() const { return origin.startsWith("https://"); }
};

WebConfig readWebConfig(const SettingsStore& settings, const std::string& section,
                        const std::string& sInstance);

// Descriptors kept for everything but the web page: the TNC line, the server link, the spool,
// the log, the ping and the program's own.
inline constexpr unsigned kDescriptorsForRadio = 128;
// With the process's descriptor limit `limit`: "" when the page's connection limit leaves the
// radio side its share, else what is wrong; the limit is then lowered to what leaves it (0:
// the page cannot run at all).
std::string fitDescriptorLimit(WebConfig& config, unsigned long long limit);

} // namespace gw
