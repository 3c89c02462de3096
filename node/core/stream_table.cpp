// The table of connected radio streams.
#include "core/stream_table.h"

#include "common/text.h"

#include <string_view>

namespace gw {

void StreamRecord::clearTexts() {
    CallSign.clear();
    Session.clear();
    Destination.clear();
    Subject.clear();
    Mid.clear();
    Body.clear();
    StreamID.clear();
    Input = InputState::Command;
    ToldToWait = false;
    BodyTooLong = false;
    ByePending = false;
    ByeDeadline = std::chrono::milliseconds{0};
    ConnectedAt = QDateTime();
    LastHeard = QDateTime();
    LastCommand.clear();
}

int streamIndex(const std::string& sStreamID, int nPort, bool bPort1, bool bPort2, long maxUsers1) {
    int n = 0;
    if (!sStreamID.empty()) {
        const auto pos = std::string_view("0ABCDEFGHIJ").find(toUpper(sStreamID));
        n = pos == std::string_view::npos ? -1 : static_cast<int>(pos);
    }
    if (bPort1 != bPort2) return n;
    if (!bPort1) return 0;
    // "0" and unknown letters stay what they are on either port: adding port 1's stream
    // count to them would address one of port 1's users.
    if (n <= 0) return n;
    if (nPort == 1) return n;
    if (nPort == 2) return n + static_cast<int>(maxUsers1);
    return 0;
}

} // namespace gw
