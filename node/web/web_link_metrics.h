// The /metrics figures of the node's own AX.25 links (type KISS): frames in and out,
// retransmissions, REJs and failed links of each radio port, in the Prometheus text format.
#pragma once

#include <QByteArray>
#include <string>

namespace gw {

class NodeSetup;

// Empty unless the KISS driver runs; every sample labelled with the instance and the port.
QByteArray linkMetricsText(const NodeSetup& setup, const std::string& instance);

} // namespace gw
