// The node's figures in the Prometheus text format (version 0.0.4), the form operators'
// dashboards read: a HELP and a TYPE line for each name, every sample labelled with the
// instance.
#pragma once

#include "common/clock.h"

#include <QByteArray>

namespace gw {

class NodeCore;

QByteArray metricsText(NodeCore& core, const Clock& clock);

} // namespace gw
