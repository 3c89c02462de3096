// The per-user class registry, this platform's classes root: an INI file read with QSettings,
// $XDG_CONFIG_HOME/gullwick/classes.ini. A registry key is a settings group; its default value
// is the entry "Default" and its named values are entries of their own names.
#pragma once

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QString>

#include <memory>
#include <string>

namespace classregistry {

inline QString filePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/gullwick/classes.ini";
}

inline std::unique_ptr<QSettings> open() {
    return std::make_unique<QSettings>(filePath(), QSettings::IniFormat);
}

inline QString key(const std::string& path) {
    return QString::fromStdString(path);
}

inline QString defaultValue(const std::string& path) {
    return QString::fromStdString(path + "/Default");
}

} // namespace classregistry
