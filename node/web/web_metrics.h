// The node's figures in the Prometheus text format (version 0.0.4), the form operators'
// dashboards read: a HELP and a TYPE line for each name, every sample labelled with the
// instance (as node_instance: a scraper sets `instance` to the target it scraped).
#pragma once

#include "common/clock.h"

#include <QByteArray>

namespace gw {

class NodeCore;
class WebSessions;

QByteArray metricsText(NodeCore& core, const Clock& clock, const WebSessions& sessions);

} // namespace gw
