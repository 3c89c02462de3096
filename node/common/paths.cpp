// Where the node keeps its files.
#include "common/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdlib>

namespace gw {
namespace {
std::string xdgFolder(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/" + fallbackUnderHome;
}
} // namespace

std::string configFolder() {
    return xdgFolder("XDG_CONFIG_HOME", ".config") + "/gullwick";
}

std::string defaultFileFolder() {
    return xdgFolder("XDG_DATA_HOME", ".local/share") + "/gullwick/";
}

bool makePrivateFolder(const std::string& folder) {
    const QString path = QString::fromStdString(folder);
    // A folder that is there already keeps its mode: it may be shared (a settings file put
    // straight into /tmp made the whole temporary folder private), and the files written
    // into it are private either way.
    if (QFileInfo(path).isDir()) return true;
    if (!QDir().mkpath(path)) return false;
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
}

} // namespace gw
