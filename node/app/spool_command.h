// brevane --spool list|retry MID|drop MID [instance]: the operator's hand on an instance's
// spool file, whether or not its node runs (a running node takes up a change at once).
#pragma once

#include <string>

namespace gw {

struct SpoolCommand {
    std::string action; // "list", "retry" or "drop"
    std::string mid;    // for retry and drop
};

// The exit status: 0 done, 1 refused or failed, 2 a bad command line.
int runSpoolCommand(const SpoolCommand& command, const std::string& instanceWords);

} // namespace gw
