// Session keys that route a server reply back to the stream that asked.
#pragma once

#include <string>

namespace gw {

// The stream index as two digits ("00" console, "01"-"10" radio streams) followed by the
// digits of a random whole number from 0 to 10,000,000.
std::string newSessionKey(int streamIndex);

// The stream index a key routes to: the value of its first two digits (0 when unreadable).
int sessionStream(const std::string& session);

} // namespace gw
