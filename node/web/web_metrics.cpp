// The /metrics answer. Label values come from the node's own fixed words and the instance
// number, yet are escaped as the format asks, so no text can break a line.
#include "web/web_metrics.h"

#include "core/node_core.h"
#include "web/web_sessions.h"

#include <QString>
#include <algorithm>

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

// The spool's state as one gauge per state, its figures when they could be read, and what
// the last repair of a damaged file carried and lost.
void spoolMetrics(Writer& out, NodeCore& core, const Clock& clock) {
    const NodeCore::SpoolState state = core.spoolState();
    out.family("gullwick_spool_state", "gauge",
               "1 for the spool's state: off, ok, unopenable or error.");
    const std::pair<NodeCore::SpoolHealth, const char*> states[] = {
        {NodeCore::SpoolHealth::Off, "off"},
        {NodeCore::SpoolHealth::Ok, "ok"},
        {NodeCore::SpoolHealth::Unopenable, "unopenable"},
        {NodeCore::SpoolHealth::Error, "error"}};
    for (const auto& [health, name] : states)
        out.sample("gullwick_spool_state", state.health == health ? 1 : 0,
                   std::string(",state=\"") + name + "\"");
    if (const auto& figures = state.figures) {
        out.one("gullwick_spool_messages", "gauge", "Messages waiting in the spool for the server.",
                static_cast<double>(figures->waiting));
        const double age =
            figures->oldest
                ? static_cast<double>(std::max<qint64>(0, figures->oldest->secsTo(clock.now())))
                : 0;
        out.one("gullwick_spool_oldest_age_seconds", "gauge",
                "Age of the oldest message waiting in the spool; 0 when none waits.", age);
        out.one("gullwick_spool_set_aside_messages", "gauge",
                "Messages the server refused for good, kept aside for the operator.",
                static_cast<double>(figures->setAside));
        out.one("gullwick_spool_undropped_messages", "gauge",
                "Messages the server has that the spool file could not drop yet.",
                static_cast<double>(figures->undropped));
    }
    const auto& repair = state.repair;
    out.one("gullwick_spool_repair_carried_messages", "gauge",
            "Messages carried out of a damaged spool file at its last repair.",
            repair ? static_cast<double>(repair->carried) : 0);
    out.one("gullwick_spool_repair_lost_messages", "gauge",
            "Messages that could not be read from a damaged spool file at its last repair.",
            repair ? static_cast<double>(repair->lost.size() + repair->unnamed) : 0);
}

} // namespace

QByteArray metricsText(NodeCore& core, const Clock& clock, const WebSessions& sessions) {
    const Counters& counters = core.counters();
    Writer out(core.instance());
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
        if (core.streams()[index].inUse()) ++connected;
    out.one("gullwick_streams_connected", "gauge", "Radio users connected now.", connected);
    out.one("gullwick_tnc_working", "gauge", "1 while the TNC is working.",
            core.tncWorking() ? 1 : 0);
    spoolMetrics(out, core, clock);
    out.one("gullwick_log_file_writable", "gauge",
            "0 while the log file cannot be written, else 1.",
            core.nodeLog().problem().empty() ? 1 : 0);
    out.one("gullwick_web_logins_failed_total", "counter",
            "Web console logins refused for a wrong password.",
            static_cast<double>(sessions.failedLogins()));
    out.one("gullwick_web_logins_throttled_total", "counter",
            "Web console logins refused because the client's address had to wait.",
            static_cast<double>(sessions.throttledLogins()));
    return out.text();
}

} // namespace gw
