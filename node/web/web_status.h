// The JSON answers of the node's web page: its whole state, the monitor's lines after a
// given one, and the log's tail. Built from the core's state as it is, without waiting.
#pragma once

#include "common/clock.h"

#include <QJsonObject>
#include <cstdint>

namespace gw {

class NodeCore;
class NodeSetup;

// At most this many monitor lines in one answer; the page asks again for the rest.
inline constexpr int kMonitorLinesPerAnswer = 200;

// The core is not const: the spool's figures are a read of its file.
QJsonObject statusJson(NodeCore& core, const NodeSetup& setup, const Clock& clock);
// Lines of stream `stream` (0 for every stream) with a sequence number above `after`.
QJsonObject monitorJson(const NodeCore& core, int stream, std::uint64_t after);
QJsonObject logJson(NodeCore& core);
// Local time as the page shows it ("yyyy-MM-ddTHH:mm:ss"); null when not valid.
QJsonValue timeJson(const QDateTime& time);

} // namespace gw
