// Where "COM" + n lives on this machine: the operator's symlink in the configuration folder,
// else the n-th built-in serial port.
#pragma once

#include <string>

namespace gw {

// "$XDG_CONFIG_HOME/gullwick/devices/comN" when that link exists, else "/dev/ttyS(N-1)".
std::string commDevicePath(long commPort);

} // namespace gw
