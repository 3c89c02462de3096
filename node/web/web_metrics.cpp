// The /metrics answer. Label values come from the node's own fixed words and the instance
// number, yet are escaped as the format asks, so no text can break a line.
#include "web/web_metrics.h"

#include "core/node_core.h"
#include "web/web_sessions.h"

#include <QString>

namespace gw {
namespace {

std::string labelValue(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '\\' || c == '"') escaped += '\\';
        if (c == '\n') {
            escaped += "\\n";
            continue;
        }
        escaped += c;
    }
    return escaped;
}

class Writer {
  public:
    explicit Writer(const std::string& instance)
        : m_instance("node_instance=\"" + labelValue(instance) + "\"") {}

    void family(const char* name, const char* type, const char* help) {
        m_text +=
            std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    void sample(const char* name, double value, const std::string& labels = {}) {
        m_text += std::string(name) + "{" + m_instance + labels + "} " +
                  QString::number(value, 'g', 15).toStdString() + "\n";
    }
    void one(const char* name, const char* type, const char* help, double value) {
        family(name, type, help);
        sample(name, value);
    }
    QByteArray text() const { return QByteArray::fromStdString(m_text); }

  private:
    std::string m_instance;
    std::string m_text;
};

} // namespace

QByteArray metricsText(NodeCore& core, const Clock& clock, const WebSessions& sessions) {
    const Counters& counters = core.counters();
    Writer out(core.sInstance);
    out.one("gullwick_up", "gauge", "1 while the node runs.", 1);
    const QDateTime started = core.startedAt();
    out.one("gullwick_uptime_seconds", "gauge", "Seconds since the node started.",
            started.isValid() ? static_cast<double>(started.secsTo(clock.now())) : 0);
    out.one("gullwick_sessions_total", "counter", "Radio users connected since start.",
            static_cast<double>(counters.sessions));
    out.family("gullwick_requests_total", "counter",
               "Mailbox requests since start, by command and outcome.");
    for (const auto& [key, count] : counters.requests)
        out.sample("gullwick_requests_total", static_cast<double>(count),
                   ",command=\"" + labelValue(key.first) + "\",outcome=\"" +
                       labelValue(key.second) + "\"");
    out.one("gullwick_radio_bytes_received_total", "counter",
            "Bytes of user data received from radio users.",
            static_cast<double>(counters.bytesFromRadio));
    out.one("gullwick_radio_bytes_sent_total", "counter", "Bytes sent to radio users.",
            static_cast<double>(counters.bytesToRadio));
    out.one("gullwick_tnc_faults_total", "counter", "Times the TNC stopped working.",
            static_cast<double>(counters.tncFaults));
    out.one("gullwick_server_failures_total", "counter",
            "Requests whose server connection failed, was reset or timed out.",
            static_cast<double>(counters.serverFailures));
    int connected = 0;
    for (int index = 1; index < StreamTable::kEntries; ++index)
        if (core.Streams[index].inUse()) ++connected;
    out.one("gullwick_streams_connected", "gauge", "Radio users connected now.", connected);
    out.one("gullwick_tnc_working", "gauge", "1 while the TNC is working.",
            core.tncWorking() ? 1 : 0);
    Spool& spool = core.spool();
    out.one("gullwick_spool_messages", "gauge", "Messages waiting in the spool for the server.",
            static_cast<double>(spool.waitingCount()));
    const std::optional<QDateTime> oldest = spool.oldestWaiting();
    out.one("gullwick_spool_oldest_age_seconds", "gauge",
            "Age of the oldest message waiting in the spool; 0 when none waits.",
            oldest ? static_cast<double>(std::max<qint64>(0, oldest->secsTo(clock.now()))) : 0);
    out.one("gullwick_web_logins_failed_total", "counter",
            "Web console logins refused for a wrong password.",
            static_cast<double>(sessions.failedLogins()));
    out.one("gullwick_web_logins_throttled_total", "counter",
            "Web console logins refused because the client's address had to wait.",
            static_cast<double>(sessions.throttledLogins()));
    return out.text();
}

} // namespace gw
