// Start-up rules for one of the ten instances: the instance text from the command line and
// the heartbeat that keeps a second copy of a running instance from starting.
#pragma once

#include <QDateTime>
#include <string>

namespace gw {

inline constexpr int kHeartbeatSeconds = 70;

// The instance text: the command line as typed, "1" when empty.
std::string instanceText(const std::string& commandLine);

// Numeric and from 1 to 10 inclusive; the text itself ("03") names the settings section.
bool instanceValid(const std::string& sInstance);

// True when the stored heartbeat says another copy is running: it is fewer than 70 whole
// seconds old. A heartbeat more than 70 seconds in the future (a clock set back, a board
// without a real-time clock) is stale and blocks nothing; so is unreadable text.
bool heartbeatBlocks(const std::string& stored, const QDateTime& now);

} // namespace gw
