// Where the node keeps its files: per-user settings under $XDG_CONFIG_HOME/gullwick and the
// default file folder (banner, help, info, start-up files, logs) under $XDG_DATA_HOME/gullwick.
#pragma once

#include <string>

namespace gw {

// "$XDG_CONFIG_HOME/gullwick" (default ~/.config/gullwick), without a trailing "/".
std::string configFolder();

// "$XDG_DATA_HOME/gullwick/" (default ~/.local/share/gullwick/), with the trailing "/".
std::string defaultFileFolder();

// Creates `folder` and its parents; the last level, when created here, gets mode 0700.
// False on failure.
bool makePrivateFolder(const std::string& folder);

} // namespace gw
