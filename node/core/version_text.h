// The version as the node writes it: "major.minor.revision".
#pragma once

#include <string>

namespace gw {
std::string versionText();
} // namespace gw
