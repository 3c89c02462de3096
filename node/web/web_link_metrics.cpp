// The link figures for /metrics. Labels hold the instance number and a port digit only.
#include "web/web_link_metrics.h"

#include "core/node_setup.h"

#include <QString>

namespace gw {

QByteArray linkMetricsText(const NodeSetup& setup, const std::string& instance) {
    const CKISS* kiss = setup.dispatch().kiss();
    if (kiss == nullptr) return {};
    struct Family {
        const char* name;
        const char* help;
        std::uint64_t ax25::PortCounters::*value;
    };
    const Family families[] = {
        {"gullwick_ax25_frames_received_total", "AX.25 frames the KISS TNC handed the node.",
         &ax25::PortCounters::framesIn},
        {"gullwick_ax25_frames_sent_total", "AX.25 frames the node gave the KISS TNC to send.",
         &ax25::PortCounters::framesOut},
        {"gullwick_ax25_retransmissions_total", "I frames the node sent again.",
         &ax25::PortCounters::retransmissions},
        {"gullwick_ax25_rejects_total", "REJ and SREJ frames, sent and received.",
         &ax25::PortCounters::rejects},
        {"gullwick_ax25_link_failures_total", "Links given up after N2 tries.",
         &ax25::PortCounters::linkFailures},
    };
    std::string text;
    for (const Family& family : families) {
        text += std::string("# HELP ") + family.name + " " + family.help + "\n# TYPE " +
                family.name + " counter\n";
        for (const int port : {1, 2}) {
            if (port == 1 ? !setup.bPort1() : !setup.bPort2()) continue;
            text += std::string(family.name) + "{node_instance=\"" + instance + "\",port=\"" +
                    std::to_string(port) + "\"} " +
                    std::to_string(kiss->counters(port).*family.value) + "\n";
        }
    }
    return QByteArray::fromStdString(text);
}

} // namespace gw
