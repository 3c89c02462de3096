// The status, monitor and log answers. Texts from users, the TNC, the server and files go
// into JSON strings as they are; the page puts them on screen as text, never as markup.
#include "web/web_status.h"

#include "core/node_core.h"
#include "core/node_setup.h"
#include "core/version_text.h"
#include "web/web_http.h"

#include <QJsonArray>
#include <algorithm>

namespace gw {
namespace {

QString text(const std::string& value) {
    return latin1Text(value);
}

QJsonObject nodeJson(const NodeCore& core, const NodeSetup& setup, const Clock& clock) {
    const QDateTime started = core.startedAt();
    return {{"call", text(setup.nodeCall())},
            {"instance", text(core.instance())},
            {"version", text(versionText())},
            {"started", timeJson(started)},
            {"uptimeSeconds", started.isValid() ? started.secsTo(clock.now()) : 0}};
}

QJsonObject tncJson(const NodeCore& core, const NodeSetup& setup) {
    const bool agw = setup.tncType() == "AGW";
    const bool kiss = setup.tncType() == "KISS";
    return {{"type", text(setup.tncType())},
            {"state", text(core.tncStatusText())},
            {"working", core.tncWorking()},
            {"agwAddress", agw ? text(setup.live().agwAddress) : QString()},
            {"kissAddress", kiss ? text(setup.live().kiss.address) : QString()},
            {"lastFault", timeJson(core.lastTncFault())}};
}

// The AX.25 link behind a stream when the node runs the links itself (type KISS).
QJsonValue linkJson(const NodeSetup& setup, const StreamRecord& entry) {
    const CKISS* kiss = setup.dispatch().kiss();
    if (kiss == nullptr || entry.StreamID.size() != 1) return QJsonValue::Null;
    const auto link = kiss->linkInfo(entry.Port, entry.StreamID[0]);
    if (!link) return QJsonValue::Null;
    QJsonArray path;
    for (const std::string& digipeater : link->path)
        path.append(text(digipeater));
    return QJsonObject{{"state", text(std::string(ax25::toString(link->state)))},
                       {"modulo128", link->modulo128},
                       {"path", path},
                       {"retries", link->retries},
                       {"framesSent", static_cast<qint64>(link->framesSent)},
                       {"framesReceived", static_cast<qint64>(link->framesReceived)},
                       {"framesResent", static_cast<qint64>(link->framesResent)},
                       {"bytesWaiting", static_cast<qint64>(link->pendingBytes)}};
}

// The server's state as the main window's server label shows it; null before anything is known.
QJsonValue serverStateJson(ServerState state) {
    switch (state) {
    case ServerState::Unknown:
        break;
    case ServerState::Idle:
        return "idle";
    case ServerState::Verified:
        return "verified";
    case ServerState::Unreachable:
        return "unreachable";
    case ServerState::Connected:
        return "connected";
    case ServerState::Closed:
        return "closed";
    }
    return QJsonValue::Null;
}

QJsonObject serverJson(const NodeCore& core, const NodeSetup& setup) {
    const NodeCore::LastRequest& last = core.lastRequest();
    QJsonValue lastRequest = QJsonValue::Null;
    if (last.at.isValid())
        lastRequest = QJsonObject{{"at", timeJson(last.at)},
                                  {"command", text(last.command)},
                                  {"outcome", text(last.outcome)}};
    const NodeCore::ServerReach& reach = core.serverReach();
    QJsonValue reachable = QJsonValue::Null;
    if (reach.lastSuccess.isValid() || reach.lastFailure.isValid())
        reachable = !reach.unreachableSince.isValid();
    QJsonValue lastFailure = QJsonValue::Null;
    if (reach.lastFailure.isValid())
        lastFailure =
            QJsonObject{{"at", timeJson(reach.lastFailure)}, {"reason", text(reach.failure)}};
    return {{"address", text(setup.serverAddress())},
            {"indicator", serverStateJson(core.serverState())},
            {"reachable", reachable},
            {"lastSuccess", timeJson(reach.lastSuccess)},
            {"lastFailure", lastFailure},
            {"unreachableSince", timeJson(reach.unreachableSince)},
            {"lastRequest", lastRequest}};
}

QJsonValue pingJson(const NodeSetup& setup) {
    const NodeSetup::PingRecord& ping = setup.lastPing();
    if (!ping.at.isValid()) return QJsonValue::Null;
    return QJsonObject{{"at", timeJson(ping.at)},
                       {"ok", ping.ok},
                       {"milliseconds", static_cast<qint64>(ping.milliseconds)},
                       {"failure", text(ping.failure)}};
}

QJsonObject ipJson(const NodeSetup& setup) {
    const char* mode = "full-time";
    switch (setup.ipConnectionType()) {
    case IpConnectionType::FullTime:
        break;
    case IpConnectionType::DialUp:
        mode = "dial-up";
        break;
    case IpConnectionType::DialBackup:
        mode = "dial-backup";
        break;
    }
    return {{"mode", mode},
            {"dialUpConnected", setup.bConnectedByDialup()},
            {"lastPing", pingJson(setup)}};
}

QJsonValue countJson(const std::optional<Spool::Figures>& figures,
                     std::int64_t Spool::Figures::*count) {
    if (!figures) return QJsonValue::Null;
    return static_cast<qint64>((*figures).*count);
}

// The spool's state: "off" by its setting, "unopenable", "error" (figures null when they
// could not be read), or "ok"; the last repair of a damaged file, if any.
QJsonObject spoolJson(NodeCore& core) {
    const NodeCore::SpoolState state = core.spoolState();
    const char* health = "off";
    switch (state.health) {
    case NodeCore::SpoolHealth::Off:
        break;
    case NodeCore::SpoolHealth::Ok:
        health = "ok";
        break;
    case NodeCore::SpoolHealth::Unopenable:
        health = "unopenable";
        break;
    case NodeCore::SpoolHealth::Error:
        health = "error";
        break;
    }
    const auto& figures = state.figures;
    QJsonValue repair = QJsonValue::Null;
    if (state.repair)
        repair = QJsonObject{
            {"at", timeJson(state.repairedAt)},
            {"damage", text(state.repair->damage)},
            {"keptAs", text(state.repair->keptAs)},
            {"carried", static_cast<qint64>(state.repair->carried)},
            {"lost", static_cast<qint64>(state.repair->lost.size()) + state.repair->unnamed},
            {"moreLost", state.repair->unknown || state.repair->setAsideUnread}};
    return {{"state", health},
            {"problem", state.problem.empty() ? QJsonValue::Null : QJsonValue(text(state.problem))},
            {"waiting", countJson(figures, &Spool::Figures::waiting)},
            {"setAside", countJson(figures, &Spool::Figures::setAside)},
            {"undropped", countJson(figures, &Spool::Figures::undropped)},
            {"oldest", figures && figures->oldest ? timeJson(*figures->oldest) : QJsonValue::Null},
            {"repair", repair}};
}

// The log file and why it cannot be written, when it cannot.
QJsonObject logFileJson(NodeCore& core) {
    const std::string& problem = core.nodeLog().problem();
    return {{"file", text(core.nodeLog().fileName())},
            {"problem", problem.empty() ? QJsonValue::Null : QJsonValue(text(problem))}};
}

QJsonArray streamsJson(const NodeCore& core, const NodeSetup& setup, const Clock& clock) {
    QJsonArray streams;
    const QDateTime now = clock.now();
    for (int index = 1; index < StreamTable::kEntries; ++index) {
        const StreamRecord& entry = core.streams()[index];
        if (!entry.inUse()) continue;
        const QDateTime heard = entry.LastHeard.isValid() ? entry.LastHeard : entry.ConnectedAt;
        streams.append(QJsonObject{
            {"index", index},
            {"port", entry.Port},
            {"stream", text(entry.StreamID)},
            {"label", text(core.radioLabel(index))},
            {"call", text(entry.CallSign)},
            {"connectedSince", timeJson(entry.ConnectedAt)},
            {"idleSeconds", heard.isValid() ? std::max<qint64>(0, heard.secsTo(now)) : 0},
            {"lastCommand", text(entry.LastCommand)},
            {"requestsWaiting", core.requestsWaiting(index)},
            {"link", linkJson(setup, entry)}});
    }
    return streams;
}

// Every radio stream's own name ("1/A"), in index order from 1.
QJsonArray streamLabelsJson(const NodeCore& core) {
    QJsonArray labels;
    for (int index = 1; index < StreamTable::kEntries; ++index)
        labels.append(text(core.radioLabel(index)));
    return labels;
}

QJsonObject countersJson(const Counters& counters) {
    QJsonArray requests;
    for (const auto& [key, count] : counters.requests)
        requests.append(QJsonObject{{"command", text(key.first)},
                                    {"outcome", text(key.second)},
                                    {"count", static_cast<qint64>(count)}});
    return {{"sessions", static_cast<qint64>(counters.sessions)},
            {"requests", requests},
            {"bytesFromRadio", static_cast<qint64>(counters.bytesFromRadio)},
            {"bytesToRadio", static_cast<qint64>(counters.bytesToRadio)},
            {"tncFaults", static_cast<qint64>(counters.tncFaults)},
            {"serverFailures", static_cast<qint64>(counters.serverFailures)}};
}

} // namespace

QJsonValue timeJson(const QDateTime& time) {
    if (!time.isValid()) return QJsonValue::Null;
    return time.toString("yyyy-MM-ddTHH:mm:ss");
}

QJsonObject statusJson(NodeCore& core, const NodeSetup& setup, const Clock& clock) {
    return {{"node", nodeJson(core, setup, clock)},
            {"tnc", tncJson(core, setup)},
            {"server", serverJson(core, setup)},
            {"ip", ipJson(setup)},
            {"spool", spoolJson(core)},
            {"logFile", logFileJson(core)},
            {"streams", streamsJson(core, setup, clock)},
            {"streamLabels", streamLabelsJson(core)},
            {"counters", countersJson(core.counters())}};
}

QJsonObject monitorJson(const NodeCore& core, int stream, std::uint64_t after) {
    QJsonArray lines;
    const auto& all = core.monitor().all();
    // A page that has seen more lines than this node gave out saw an earlier run: it starts over.
    if (all.empty() || after > all.back().seq) after = 0;
    // Lines are in rising order: start at the first one after `after`.
    auto it = std::upper_bound(
        all.begin(), all.end(), after,
        [](std::uint64_t seq, const Monitor::Line& line) { return seq < line.seq; });
    for (; it != all.end() && lines.size() < kMonitorLinesPerAnswer; ++it) {
        if (stream != 0 && it->index != stream) continue;
        lines.append(QJsonObject{{"seq", static_cast<qint64>(it->seq)},
                                 {"stream", it->index},
                                 {"text", text(it->text)}});
    }
    std::uint64_t last = all.empty() ? 0 : all.back().seq;
    if (lines.size() == kMonitorLinesPerAnswer)
        last = static_cast<std::uint64_t>(lines.last().toObject()["seq"].toInteger());
    return {{"lines", lines}, {"last", static_cast<qint64>(last)}};
}

QJsonObject logJson(NodeCore& core) {
    QJsonArray lines;
    QJsonArray failures;
    for (const NodeLog::TailLine& line : core.nodeLog().tail()) {
        if (line.priority != JournalPriority::Info) failures.append(lines.size());
        lines.append(text(line.text));
    }
    return {{"lines", lines}, {"failures", failures}};
}

} // namespace gw
