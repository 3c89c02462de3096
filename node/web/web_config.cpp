// The web page's settings, read once at start-up.
#include "web/web_config.h"

#include "common/text.h"

#include <QUrl>

namespace gw {

WebConfig readWebConfig(const SettingsStore& settings, const std::string& section,
                        const std::string& sInstance) {
    WebConfig config;
    config.enabled = settings.readBool(section, "WebServer", true);
    config.port = static_cast<std::uint16_t>(WebConfig::kBasePort + std::stoi(sInstance));
    const std::string address = trim(settings.read(section, "WebAddress", "127.0.0.1"));
    if (!config.address.setAddress(QString::fromStdString(address)))
        config.problem = "WebAddress: \"" + loggable(address, 64) + "\" is not an IP address.";
    const std::string port = trim(settings.read(section, "WebPort", ""));
    if (!port.empty()) {
        bool ok = false;
        const int value = QString::fromStdString(port).toInt(&ok);
        if (ok && value >= 1 && value <= 65535)
            config.port = static_cast<std::uint16_t>(value);
        else
            config.problem =
                "WebPort: \"" + loggable(port, 16) + "\" is not a TCP port (1 to 65535).";
    }
    const std::string origin = trim(settings.read(section, "WebOrigin", ""));
    const QUrl url =
        QUrl(QString::fromStdString(origin), QUrl::StrictMode).adjusted(QUrl::StripTrailingSlash);
    if (!origin.empty() && (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") ||
                            url.host().isEmpty() || !url.path().isEmpty()))
        config.problem = "WebOrigin: \"" + loggable(origin, 128) +
                         "\" is not a page's origin (such as https://node.example.org).";
    else
        config.origin = url.toString(QUrl::FullyEncoded).toLatin1();
    return config;
}

} // namespace gw
