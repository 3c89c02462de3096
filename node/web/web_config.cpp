// The web page's settings, read once at start-up.
#include "web/web_config.h"

#include "common/text.h"

#include <QRegularExpression>
#include <QUrl>

namespace gw {
namespace {
// A whole number from `low` to `high` in key `key`, else `fallback` with `problem` set.
unsigned readCount(const SettingsStore& settings, const std::string& section, const char* key,
                   unsigned fallback, unsigned low, unsigned high, std::string& problem) {
    const std::string text = trim(settings.read(section, key, ""));
    if (text.empty()) return fallback;
    bool ok = false;
    const unsigned value = QString::fromStdString(text).toUInt(&ok);
    if (ok && value >= low && value <= high) return value;
    problem = std::string(key) + ": \"" + loggable(text, 16) + "\" is not a whole number from " +
              std::to_string(low) + " to " + std::to_string(high) + ".";
    return fallback;
}
} // namespace

WebConfig readWebConfig(const SettingsStore& settings, const std::string& section,
                        const std::string& sInstance) {
    WebConfig config;
    config.enabled = settings.readBool(section, "WebServer", true);
    config.port = static_cast<std::uint16_t>(WebConfig::kBasePort + std::stoi(sInstance));
    const std::string address = trim(settings.read(section, "WebAddress", "127.0.0.1"));
    if (!config.address.setAddress(QString::fromStdString(address)))
        config.problem = "WebAddress: \"" + loggable(address, 64) + "\" is not an IP address.";
    config.port = static_cast<std::uint16_t>(
        readCount(settings, section, "WebPort", config.port, 1, 65535, config.problem));
    const std::string origin = trim(settings.read(section, "WebOrigin", ""));
    const QUrl url =
        QUrl(QString::fromStdString(origin), QUrl::StrictMode).adjusted(QUrl::StripTrailingSlash);
    if (!origin.empty() && (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") ||
                            url.host().isEmpty() || !url.path().isEmpty()))
        config.problem = "WebOrigin: \"" + loggable(origin, 128) +
                         "\" is not a page's origin (such as https://node.example.org).";
    else
        config.origin = url.toString(QUrl::FullyEncoded).toLatin1();
    HttpServer::Limits& limits = config.limits;
    limits.maxConnections = readCount(settings, section, "WebMaxConnections", limits.maxConnections,
                                      1, 4096, config.problem);
    limits.maxPerAddress = readCount(settings, section, "WebMaxPerAddress", limits.maxPerAddress, 1,
                                     4096, config.problem);
    limits.timeout = std::chrono::seconds(readCount(settings, section, "WebTimeout",
                                                    static_cast<unsigned>(limits.timeout.count()),
                                                    1, 60, config.problem));
    for (const QString& host : QString::fromStdString(settings.read(section, "WebHosts", ""))
                                   .split(QRegularExpression("[,; ]+"), Qt::SkipEmptyParts))
        config.hosts.append(host.toLower());
    config.openStatus = settings.readBool(section, "WebOpenStatus", false);
    config.metricsToken =
        QByteArray::fromStdString(trim(settings.read(section, "WebMetricsToken", "")));
    return config;
}

std::string fitDescriptorLimit(WebConfig& config, unsigned long long limit) {
    unsigned& connections = config.limits.maxConnections;
    if (connections + kDescriptorsForRadio <= limit) return "";
    const unsigned fitting =
        limit > kDescriptorsForRadio ? static_cast<unsigned>(limit - kDescriptorsForRadio) : 0;
    const std::string text = "WebMaxConnections=" + std::to_string(connections) +
                             " leaves the radio side too few of the node's " +
                             std::to_string(limit) + " file descriptors (it keeps " +
                             std::to_string(kDescriptorsForRadio) +
                             "); raise LimitNOFILE or lower WebMaxConnections";
    connections = fitting;
    return text + (fitting > 0
                       ? "; the page takes at most " + std::to_string(fitting) + " connections"
                       : "; the page stays off");
}

} // namespace gw
