// The device map for "COM" + n.
#include "tnc/device_map.h"

#include "common/paths.h"

#include <filesystem>
#include <system_error>

namespace gw {

std::string commDevicePath(long commPort) {
    const std::string link = configFolder() + "/devices/com" + std::to_string(commPort);
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(link, error))) return link;
    return "/dev/ttyS" + std::to_string(commPort - 1);
}

} // namespace gw
