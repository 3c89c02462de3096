// The version as the node writes it.
#include "core/version_text.h"

#include "core/version.h"

namespace gw {
std::string versionText() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}
} // namespace gw
