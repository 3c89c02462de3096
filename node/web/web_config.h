// Where the node's web page listens, from the instance's settings: "WebServer" (on unless
// "False"), "WebAddress" (127.0.0.1), "WebPort" (8780 + the instance number), and "WebOrigin",
// the page's address as a browser sees it behind a reverse proxy ("https://node.example.org").
#pragma once

#include "common/settings_store.h"

#include <QByteArray>
#include <QHostAddress>
#include <cstdint>
#include <string>

namespace gw {

struct WebConfig {
    bool enabled = true;
    QHostAddress address{QHostAddress::LocalHost};
    std::uint16_t port = 0;
    // Beside the host the request names, the one other origin a POST may come from.
    QByteArray origin;
    // Why the stored address or port cannot be used; the page then stays off.
    std::string problem;

    static constexpr std::uint16_t kBasePort = 8780;
    // Only the loopback address: nobody else can reach the page.
    bool loopbackOnly() const { return address.isLoopback(); }
};

WebConfig readWebConfig(const SettingsStore& settings, const std::string& section,
                        const std::string& sInstance);

} // namespace gw
